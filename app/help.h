// The help pages, looked for beside the program or in ../share/pelmora.
#pragma once

#include <QString>

constexpr const char* HELP_GENERAL_PAGE = "help_general.html";
constexpr const char* HELP_INTRODUCTION_PAGE = "introduction.html";

// The page's path, or empty when it is missing.
QString help_page_path(const QString& name);
// Opens the page in the default browser; does nothing when it is missing.
void open_help_page(const QString& name);
