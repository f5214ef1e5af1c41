#include "app/core/file_list.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <utility>

#include "app/core/natural_order.h"
#include "app/core/output_plan.h"
#include "app/core/system_message.h"

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return text;
}

struct DirCloser {
    void operator()(DIR* dir) const noexcept { closedir(dir); }
};

}  // namespace

// Device and inode of every folder entered, so that a link back into the tree (or a bind
// mount) cannot make the search go round; and the real path of the folder given, which a link
// must not lead out of.
struct FileList::FolderScan {
    std::set<std::pair<dev_t, ino_t>> visited;
    std::string root;  // real path with a trailing '/'
};

std::vector<std::string> mpeg_audio_extensions() {
    return {".mp3", ".mp2", ".mp1", ".mpa"};
}

std::string size_text(std::uint64_t bytes) {
    char text[32];
    // Below a megabyte in kilobytes: in megabytes an empty file and a small one both read 0.00.
    if (bytes < 1048576) {
        std::snprintf(text, sizeof text, "%.1f kB", static_cast<double>(bytes) / 1024.0);
    } else {
        std::snprintf(text, sizeof text, "%.2f MB", static_cast<double>(bytes) / 1048576.0);
    }
    return text;
}

std::string lower_extension(const std::string& path) {
    std::size_t slash = path.rfind('/');
    std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < start) {
        return {};
    }
    return lower(path.substr(dot));
}

FileList::FileList() : flags_(DEFAULT_DROP_FLAGS), extensions_(mpeg_audio_extensions()) {}

bool FileList::setDropSettings(std::uint32_t flags, std::vector<std::string> extensions,
                               DropCallback callback) {
    if ((flags & USE_CALLBACK) != 0 && !callback) {
        return false;
    }
    flags_ = flags;
    extensions_ = std::move(extensions);
    callback_ = std::move(callback);
    return true;
}

int FileList::acceptPath(const std::string& path) const {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return PATH_REFUSED;
    }
    if ((flags_ & ACCEPT_FOLDERS) != 0 && S_ISDIR(info.st_mode)) {
        return PATH_FOLDER;
    }
    if ((flags_ & ACCEPT_FILES) == 0 || !S_ISREG(info.st_mode)) {
        return PATH_REFUSED;
    }
    return wantedExtension(path) ? PATH_FILE : PATH_REFUSED;
}

std::string FileList::namedPathRefusal(const std::string& path) const {
    if (acceptPath(path) != PATH_REFUSED) {
        return {};
    }
    struct stat info {};
    return stat(path.c_str(), &info) != 0 ? errno_message(errno) : NOT_MPEG_AUDIO_REASON;
}

bool FileList::wantedExtension(const std::string& path) const {
    if ((flags_ & FILTER_BY_EXTENSION) == 0) {
        return true;
    }
    std::string extension = lower_extension(path);
    return std::find(extensions_.begin(), extensions_.end(), extension) != extensions_.end();
}

void FileList::addPath(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return;
    }
    if ((flags_ & ACCEPT_FOLDERS) == 0 || !S_ISDIR(info.st_mode)) {
        addFileRow(path);
        return;
    }
    FolderScan scan;
    if (char* real = realpath(path.c_str(), nullptr); real != nullptr) {
        scan.root = real;
        std::free(real);
    }
    if (scan.root.empty() || scan.root.back() != '/') {
        scan.root += '/';
    }
    scan.visited.emplace(info.st_dev, info.st_ino);
    scanRoot_ = path.back() == '/' ? path : path + "/";
    scanFolder(path, scan);
    scanRoot_.clear();
}

void FileList::scanFolder(const std::string& path, FolderScan& scan) {
    std::unique_ptr<DIR, DirCloser> dir(opendir(path.c_str()));
    if (!dir) {
        if (reporter_ != nullptr) {
            reporter_->fileError(path, std::strerror(errno));
        }
        return;
    }
    std::vector<std::string> names;
    errno = 0;
    while (dirent* entry = readdir(dir.get())) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            names.emplace_back(entry->d_name);
        }
        errno = 0;
    }
    if (errno != 0 && reporter_ != nullptr) {
        reporter_->fileError(path, std::strerror(errno));  // the names read so far still count
    }
    dir.reset();
    std::sort(names.begin(), names.end(), natural_less);

    std::string prefix = path.back() == '/' ? path : path + "/";
    for (const std::string& name : names) {
        std::string child = prefix + name;
        struct stat info {};
        if (stat(child.c_str(), &info) != 0) {
            // A broken link or a path too long would be lost without a word; other names
            // that fail (a stray socket, a link to nothing we want) are no input of ours.
            int error = errno;
            if (reporter_ != nullptr && (error == ENAMETOOLONG || wantedExtension(child))) {
                reporter_->fileError(child, std::strerror(error));
            }
            continue;
        }
        if (!S_ISDIR(info.st_mode)) {
            addFileRow(child);
            continue;
        }
        if (!scan.visited.emplace(info.st_dev, info.st_ino).second) {
            continue;  // entered already: a link back into the tree, or a second way in
        }
        struct stat link_info {};
        if (lstat(child.c_str(), &link_info) == 0 && S_ISLNK(link_info.st_mode)) {
            char* real = realpath(child.c_str(), nullptr);
            bool inside = real != nullptr && (std::string(real) + "/").rfind(scan.root, 0) == 0;
            std::free(real);
            if (!inside) {
                continue;  // a link out of the folder given: its neighbours were not asked for
            }
        }
        scanFolder(child, scan);
    }
}

bool FileList::addFileRow(const std::string& path) {
    if (acceptPath(path) != PATH_FILE) {
        return false;
    }
    FILE* file = std::fopen(path.c_str(), "rbe");
    struct stat info {};
    if (file == nullptr || fstat(fileno(file), &info) != 0) {
        int error = errno;
        if (file != nullptr) {
            std::fclose(file);
        }
        if (reporter_ != nullptr) {
            reporter_->fileError(path, errno_message(error));
        }
        return false;
    }
    std::fclose(file);

    std::size_t slash = path.rfind('/');
    FileRow row;
    row.name = slash == std::string::npos ? path : path.substr(slash + 1);
    row.folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    row.size = static_cast<std::uint64_t>(info.st_size);
    row.sizeText = size_text(row.size);
    row.root = scanRoot_;

    std::string key = duplicateKey(row);
    if ((flags_ & NO_DUPLICATE_CHECK) == 0) {
        if (auto found = byName_.find(key); found != byName_.end()) {
            if (reporter_ != nullptr) {
                reporter_->duplicate(path, inputPath(static_cast<int>(found->second)));
            }
            return false;
        }
    }
    byName_.emplace(key, rows_.size());  // keeps the first row of a name without the check
    rows_.push_back(std::move(row));
    if (observer_ != nullptr) {
        observer_->rowAppended(rowCount() - 1);
    }
    return true;
}

void FileList::dropPaths(const std::vector<std::string>& paths) {
    for (const std::string& dropped : paths) {
        // A symbolic link stands for its target, as a shortcut would.
        std::string path = dropped;
        struct stat link_info {};
        if (lstat(dropped.c_str(), &link_info) == 0 && S_ISLNK(link_info.st_mode)) {
            if (char* target = realpath(dropped.c_str(), nullptr); target != nullptr) {
                path = target;
                std::free(target);
            }
        }
        int kind = acceptPath(path);
        if (kind == PATH_REFUSED) {
            continue;
        }
        if ((flags_ & USE_CALLBACK) != 0) {
            callback_(path, kind);
        } else {
            addPath(path);
        }
    }
}

SelectionAfterRemove FileList::removeRows(const std::vector<int>& selected) {
    // Deleting from the last selected row to the first, each time selecting the row that moves
    // into the freed place; those selections shift down with every later deletion.
    std::vector<bool> chosen(rows_.size(), false);
    int mark = -1;
    for (auto it = selected.rbegin(); it != selected.rend(); ++it) {
        auto index = static_cast<std::size_t>(*it);
        if (index >= rows_.size()) {
            continue;
        }
        rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
        chosen.erase(chosen.begin() + static_cast<std::ptrdiff_t>(index));
        if (observer_ != nullptr) {
            observer_->rowRemoved(static_cast<int>(index));
        }
        if (index < rows_.size()) {
            chosen[index] = true;
            mark = static_cast<int>(index);
        }
    }
    rebuildNameIndex();
    SelectionAfterRemove after{{}, mark};
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        if (chosen[i]) {
            after.selected.push_back(static_cast<int>(i));
        }
    }
    return after;
}

void FileList::clear() {
    rows_.clear();
    byName_.clear();
    if (observer_ != nullptr) {
        observer_->rowsCleared();
    }
}

std::string FileList::inputPath(int index) const {
    const FileRow& r = row(index);
    return r.folder + r.name;
}

void FileList::rebuildNameIndex() {
    byName_.clear();
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        byName_.emplace(duplicateKey(rows_[i]), i);
    }
}

void FileList::setKeepFolders(bool keepFolders) {
    if (keepFolders != keepFolders_) {
        keepFolders_ = keepFolders;
        rebuildNameIndex();
    }
}

std::string FileList::duplicateKey(const FileRow& row) const {
    if (!keepFolders_) {
        return lower(row.name);
    }
    return case_folded(relative_output_path(BatchFile{row.name, row.folder, row.root}, true));
}
