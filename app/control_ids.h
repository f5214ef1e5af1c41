// Control and menu ids. Every control carries its id as its object name (see id_name), so the
// same number may name controls on different pages.
#pragma once

#include <QString>

namespace ids {
// main window
constexpr int FILE_LIST = 1000;
constexpr int PAGE_TABS = 1007;
constexpr int ADD_FILES = 1001;
constexpr int ADD_FOLDER = 1025;
constexpr int REMOVE_SELECTION = 4;
constexpr int CLEAR_ALL = 5;
constexpr int EXIT = 1084;
constexpr int CLOSE = 1062;
constexpr int MINIMIZE = 1061;
constexpr int MAIN_MENU = 1073;
constexpr int ALWAYS_ON_TOP = 1021;
constexpr int LIST_COUNT = 1096;  // the count of rows and their size under the list
// menus and their commands
constexpr int MENU_MAIN = 259;
constexpr int MENU_LIST = 270;
constexpr int CMD_HELP = 262;
constexpr int CMD_ABOUT = 264;
constexpr int CMD_MINIMIZE = 265;
constexpr int CMD_EXIT = 267;
constexpr int CMD_ADD_FILES = 271;
constexpr int CMD_ADD_DIR = 272;
constexpr int CMD_DELETE = 273;
constexpr int CMD_CLEAR_ALL = 274;
constexpr int CMD_SELECT_ALL = 323;
constexpr int CMD_RETRY_FAILED = 275;
// output page
constexpr int OUTPUT_FOLDER = 1029;
constexpr int BROWSE = 1002;
constexpr int DECODE_SELECTED = 1012;
constexpr int DECODE_ALL = 1014;
constexpr int OPEN_FOLDER_WHEN_DONE = 1056;
constexpr int EXIT_WHEN_DONE = 1013;
constexpr int KEEP_FOLDERS = 1092;
constexpr int EXISTING_OVERWRITE = 1093;
constexpr int EXISTING_SKIP = 1094;
constexpr int EXISTING_RENAME = 1095;
// options page
constexpr int BITS_16 = 1019;
constexpr int BITS_8 = 1020;
constexpr int NORMALIZE = 1021;
constexpr int SKIP_SILENCE = 1011;
constexpr int COPY_TAGS = 1090;
constexpr int FADE_IN_SLIDER = 1082;
constexpr int FADE_OUT_SLIDER = 1083;
constexpr int FADE_IN_EDIT = 1059;
constexpr int FADE_OUT_EDIT = 1060;
constexpr int EXACT_LENGTH = 1091;
constexpr int FILES_AT_ONCE = 1098;
constexpr int OUTPUT_FORMAT = 1099;
// info page
constexpr int INFO_PROMPT = 1085;
constexpr int INFO_LINE_FIRST = 1086;  // the four header lines are 1086 to 1089
constexpr int TAG_TITLE = 1014;
constexpr int TAG_TRACK = 1010;
constexpr int TAG_ARTIST = 1015;
constexpr int TAG_YEAR = 1011;
constexpr int TAG_ALBUM = 1016;
constexpr int TAG_GENRE = 1074;
constexpr int TAG_COMMENT = 1012;
// progress dialog
constexpr int FILE_BAR = 1047;
constexpr int BATCH_BAR = 1066;
constexpr int FILE_LINE = 1067;
constexpr int COUNT_LINE = 1068;
constexpr int CANCEL = 2;
constexpr int TIME_LINE = 1069;
// with several files at once: a name and a bar for each, 1100 upwards
constexpr int RUNNING_FIRST = 1100;
// About dialog
constexpr int ABOUT_CLOSE = 1;
// the report at the end of a run
constexpr int REPORT_DIALOG = 3000;
constexpr int REPORT_SUMMARY = 3001;
constexpr int REPORT_SHORT_LIST = 3002;
constexpr int REPORT_DETAILS = 3003;
constexpr int REPORT_DETAILS_BUTTON = 3004;
constexpr int REPORT_OK = 3005;
}  // namespace ids

inline QString id_name(int id) {
    return QString::number(id);
}
