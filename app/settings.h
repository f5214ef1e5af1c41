// The settings store: every setting is a string value in one group.
#pragma once

#include <QString>

constexpr const char* SETTINGS_GROUP = "2.3";
constexpr const char* SETTING_LAST_INPUT_PATH = "LastInputPath";
constexpr const char* SETTING_OUTPUT_PATH = "Output Path";
constexpr const char* SETTING_PATH = "Path";
// "1" or "0"
constexpr const char* SETTING_KEEP_FOLDERS = "Keep Folders";
// "overwrite", "skip" or "rename"
constexpr const char* SETTING_EXISTING_FILES = "Existing Files";
// The Options page's check boxes for the file's shape, "1" when ticked.
constexpr const char* SETTING_EXACT_LENGTH = "Exact Length";
constexpr const char* SETTING_COPY_TAGS = "Copy Tags";
// How many files a run decodes at once, "1" to "8"; 1 decodes in the window's own process.
constexpr const char* SETTING_FILES_AT_ONCE = "Files At Once";
// The output-format choice: "mp3" (as the MP3), "cd" or "video48".
constexpr const char* SETTING_OUTPUT_FORMAT = "Output Format";

// The main window's top-left corner, "x,y" in screen pixels, as it was when it closed.
constexpr const char* SETTING_WINDOW_POSITION = "Window Position";

// Missing values read as fallback.
QString read_setting(const char* name, const QString& fallback = QString());
void write_setting(const char* name, const QString& value);
// A switch: "1" is on; anything else, or no value, is off.
bool read_switch_setting(const char* name);
void write_switch_setting(const char* name, bool on);
