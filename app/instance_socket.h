// Where the copies of one user find each other, and the checks that keep other users out: a
// socket in a folder only that user can create names in, and a look at who is at the other end
// of each connection. Plain POSIX, so that it can be checked without a window.
#pragma once

#include <sys/types.h>

#include <string>

struct InstancePlace {
    std::string socketPath;  // absolute; empty when refused
    std::string refusal;     // why no place can be trusted, naming the path; empty otherwise
};

// runtimeDir is $XDG_RUNTIME_DIR (empty when unset), tempDir the temporary folder. The socket
// goes into runtimeDir when that is a folder of uid closed to others; otherwise into a folder
// of uid's own under tempDir, created with mode 0700 when missing and refused when it belongs
// to someone else, is open to others or is no folder. A tempDir in which others could rename
// that folder (another user's, or open to others without the sticky bit) is refused as well.
InstancePlace instance_place(const std::string& runtimeDir, const std::string& tempDir, uid_t uid);

// Empty when path is a folder (not a link to one) owned by uid that gives nobody else any
// access; otherwise the reason, naming the path.
std::string folder_refusal(const std::string& path, uid_t uid);

// Who may serve the socket: the copy that holds an exclusive lock on a file beside it
// (socketPath + ".lock", never followed through a link), from its start to its end. So two
// copies started at once cannot both take the name, and a socket left by a copy that died
// can be told from a copy that is still starting.
enum class InstanceLock { Held, HeldByAnother, Unavailable };
struct InstanceLockResult {
    InstanceLock lock;
    int fd;  // open (close-on-exec) while Held, else -1
};
InstanceLockResult take_instance_lock(const std::string& socketPath);

// True when the process at the other end of the connected local socket fd runs as uid
// (SO_PEERCRED); false as well when the kernel cannot tell.
bool peer_runs_as(int fd, uid_t uid);
