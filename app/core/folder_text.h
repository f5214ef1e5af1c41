// The output folder as a user types it, made into the absolute path the folder check judges,
// so that the window and the command line take the same texts the same way.
#pragma once

#include <string>

struct FolderTextBase {
    // Relative texts are taken from here. Empty: a relative text stays as typed, and the
    // folder check then calls it invalid.
    std::string current;
    // "~" and "~/…" name this folder. Empty: "~" is an ordinary folder name.
    std::string home;
};

// Absolute texts and those made absolute lose ".", repeated and trailing slashes, and each
// ".." with the name before it (by the text, not by following links, as a shell user reads
// it); "/" stays "/". Nothing else changes: a name the check refuses reaches it unchanged.
std::string resolve_folder_text(const std::string& text, const FolderTextBase& base);

// The process's current folder as the system names it (bytes, which need not be text); empty
// when the system cannot tell (the folder was removed).
std::string current_folder();
