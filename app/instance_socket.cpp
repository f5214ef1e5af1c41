#include "app/instance_socket.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr const char* RUNTIME_SOCKET_NAME = "pelmora-instance";
constexpr const char* TEMP_FOLDER_PREFIX = "pelmora-";
constexpr const char* TEMP_SOCKET_NAME = "instance";

// Longer paths do not fit sockaddr_un: binding and connecting would both fail.
bool fits_a_socket_address(const std::string& path) {
    return path.size() < sizeof(sockaddr_un{}.sun_path);
}

// Someone who may rename entries in the temporary folder could swap the checked folder for one
// of their own between the check and its use: only its owner, root, or nobody at all where it
// is open to others without the sticky bit.
std::string parent_refusal(const std::string& path, uid_t uid) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return path + ": " + std::strerror(errno);
    }
    if (info.st_uid != uid && info.st_uid != 0) {
        return path + " belongs to another user";
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (info.st_mode & S_ISVTX) == 0) {
        return path + " is open to other users without the sticky bit";
    }
    return {};
}

InstancePlace place_at(const std::string& socketPath) {
    if (!fits_a_socket_address(socketPath)) {
        return {{}, socketPath + " is too long for a socket path"};
    }
    return {socketPath, {}};
}

}  // namespace

std::string folder_refusal(const std::string& path, uid_t uid) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        return path + ": " + std::strerror(errno);
    }
    if (!S_ISDIR(info.st_mode)) {
        return path + " is not a folder";
    }
    if (info.st_uid != uid) {
        return path + " belongs to another user";
    }
    if ((info.st_mode & 077) != 0) {
        return path + " is open to other users";
    }
    return {};
}

InstancePlace instance_place(const std::string& runtimeDir, const std::string& tempDir, uid_t uid) {
    // A runtime folder that is not this user's alone (a session's variable kept across su, a
    // mistyped path) is passed over for the temporary folder, whose checks then decide.
    if (!runtimeDir.empty() && runtimeDir.front() == '/' &&
        folder_refusal(runtimeDir, uid).empty()) {
        return place_at(runtimeDir + "/" + RUNTIME_SOCKET_NAME);
    }
    std::string refusal = parent_refusal(tempDir, uid);
    if (!refusal.empty()) {
        return {{}, refusal};
    }
    const std::string folder = tempDir + "/" + TEMP_FOLDER_PREFIX + std::to_string(uid);
    // Created by whoever comes first: when that was someone else, the checks below see it.
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return {{}, "cannot create " + folder + ": " + std::strerror(errno)};
    }
    refusal = folder_refusal(folder, uid);
    if (!refusal.empty()) {
        return {{}, refusal};
    }
    return place_at(folder + "/" + TEMP_SOCKET_NAME);
}

InstanceLockResult take_instance_lock(const std::string& socketPath) {
    const std::string path = socketPath + ".lock";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd == -1) {
        return {InstanceLock::Unavailable, -1};
    }
    int result = 0;
    do {
        result = flock(fd, LOCK_EX | LOCK_NB);
    } while (result == -1 && errno == EINTR);
    if (result == 0) {
        return {InstanceLock::Held, fd};
    }
    const int error = errno;
    close(fd);
    return {error == EWOULDBLOCK ? InstanceLock::HeldByAnother : InstanceLock::Unavailable, -1};
}

bool peer_runs_as(int fd, uid_t uid) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
        length != sizeof credentials) {
        return false;
    }
    return credentials.uid == uid;
}
