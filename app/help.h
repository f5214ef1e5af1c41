// The help pages, looked for beside the program or in ../share/pelmora.
#pragma once

#include <QString>

constexpr const char* HELP_GENERAL_PAGE = "help_general.html";
constexpr const char* HELP_INTRODUCTION_PAGE = "introduction.html";

// The page's path, or empty when it is missing.
QString help_page_path(const QString& name);
// Opens the page in the default browser; does nothing when it is missing. Returns what to tell
// the user when no browser could be started (with the page's path), else an empty text.
QString open_help_page(const QString& name);
