// The file list's logic without a window: which paths are accepted, folder expansion,
// duplicate refusal by file name, row texts, removal with the selection that follows.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

// Why a file named by the user is left out.
inline constexpr const char* NOT_MPEG_AUDIO_REASON =
    "not an MPEG audio file (.mp3, .mp2, .mp1, .mpa) or a folder";

// Drop settings flags.
constexpr std::uint32_t ACCEPT_FILES = 0x01;
constexpr std::uint32_t ACCEPT_FOLDERS = 0x02;
constexpr std::uint32_t NO_DUPLICATE_CHECK = 0x04;
constexpr std::uint32_t FILTER_BY_EXTENSION = 0x10;
constexpr std::uint32_t USE_CALLBACK = 0x20;
constexpr std::uint32_t DEFAULT_DROP_FLAGS = ACCEPT_FILES | ACCEPT_FOLDERS | FILTER_BY_EXTENSION;

// Path kinds handed to the drop callback.
constexpr int PATH_REFUSED = 0;
constexpr int PATH_FOLDER = 64;
constexpr int PATH_FILE = 128;

struct FileRow {
    std::string name;      // file name with extension, as the file system reports it
    std::string sizeText;  // size_text(size)
    std::string folder;    // ends in '/'
    // The added folder the file was found in, ending in '/'; empty for a file added by itself.
    std::string root = {};
    std::uint64_t size = 0;  // bytes, for the list's total
};

// Told about every change, so that a view over the rows can follow.
class RowObserver {
public:
    virtual ~RowObserver() = default;
    virtual void rowAppended(int index) = 0;
    virtual void rowRemoved(int index) = 0;
    virtual void rowsCleared() = 0;
};

// Reports what the list refused. The window stays silent about duplicates; the command line
// names both paths, since its user cannot see the list.
class FileListReporter {
public:
    virtual ~FileListReporter() = default;
    virtual void duplicate(const std::string& path, const std::string& listedPath) = 0;
    // A file that cannot be opened, a subfolder that cannot be read, a broken link with a
    // wanted extension; message is the system's.
    virtual void fileError(const std::string& path, const std::string& message) = 0;
};

using DropCallback = std::function<void(const std::string& path, int kind)>;

// After removing rows: which rows are selected, and the selection mark (-1 for none).
struct SelectionAfterRemove {
    std::vector<int> selected;
    int mark;
};

class FileList {
public:
    FileList();

    // Refuses (returns false) USE_CALLBACK without a callback.
    bool setDropSettings(std::uint32_t flags, std::vector<std::string> extensions,
                         DropCallback callback = {});
    void setObserver(RowObserver* observer) { observer_ = observer; }
    void setReporter(FileListReporter* reporter) { reporter_ = reporter; }
    // With the folder tree kept, two rows are duplicates when they would write the same WAV
    // path below the output folder, not when their names agree (both without regard to
    // letter case). Rows already listed stay.
    void setKeepFolders(bool keepFolders);
    bool keepFolders() const { return keepFolders_; }

    // PATH_REFUSED, PATH_FOLDER or PATH_FILE under the current settings.
    int acceptPath(const std::string& path) const;
    // Why a path the user named (not one found in a folder) cannot be added: the system's
    // message when it cannot be looked at, NOT_MPEG_AUDIO_REASON when it is neither a wanted
    // file nor a folder; empty when it can be added.
    std::string namedPathRefusal(const std::string& path) const;
    // A file, or a folder searched depth first in name order (natural_compare). The search
    // visits each folder once and follows links only to folders inside the one given.
    void addPath(const std::string& path);
    // Returns true when a row was appended.
    bool addFileRow(const std::string& path);
    // Dropped names, in order; a symbolic link is replaced by its target first.
    void dropPaths(const std::vector<std::string>& paths);

    // selected: indices in increasing order.
    SelectionAfterRemove removeRows(const std::vector<int>& selected);
    void clear();

    int rowCount() const { return static_cast<int>(rows_.size()); }
    const FileRow& row(int index) const { return rows_[static_cast<std::size_t>(index)]; }
    // Folder followed by name.
    std::string inputPath(int index) const;

private:
    struct FolderScan;
    void scanFolder(const std::string& path, FolderScan& scan);
    bool wantedExtension(const std::string& path) const;
    void rebuildNameIndex();
    std::string duplicateKey(const FileRow& row) const;

    std::uint32_t flags_;
    std::vector<std::string> extensions_;
    DropCallback callback_;
    RowObserver* observer_ = nullptr;
    FileListReporter* reporter_ = nullptr;
    std::vector<FileRow> rows_;
    bool keepFolders_ = false;
    std::string scanRoot_;  // the folder being added, for the rows found in it
    // Lower-cased name (or WAV path) -> row index, so that the duplicate check does not scan
    // every row.
    std::unordered_map<std::string, std::size_t> byName_;
};

// The extensions MPEG audio files carry (layers I to III), lower-cased with the dot.
std::vector<std::string> mpeg_audio_extensions();

// "%.2f MB" of size / 1048576 from 1 MiB on, "%.1f kB" of size / 1024 below.
std::string size_text(std::uint64_t bytes);
// The extension from the last dot of the last path element, lower-cased ("" without a dot).
std::string lower_extension(const std::string& path);
