// Test helpers: a scratch folder removed at the end of the test, whole-file reads and
// writes, and paths of the committed fixtures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::vector<unsigned char> read_file_bytes(const std::string& path);
void write_file_bytes(const std::string& path, const std::vector<unsigned char>& bytes);
bool file_exists(const std::string& path);
// The names in a folder but "." and "..", sorted; none when it cannot be read.
std::vector<std::string> folder_entries(const std::string& path);

// Path of a committed fixture under tests/data.
std::string fixture_path(const std::string& name);
