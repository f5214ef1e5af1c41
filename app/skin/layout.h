// Where the skinned windows put their controls. The renderer paints frames and captions around
// these boxes and the windows place their controls on them, so the pictures and the controls
// line up by construction.
#pragma once

namespace layout {

struct Box {
    int x;
    int y;
    int width;
    int height;
    constexpr int right() const { return x + width; }    // exclusive
    constexpr int bottom() const { return y + height; }  // exclusive
};

// main window, in its own pixels; the outline runs from (0, 2) to (645, 386)
constexpr Box MAIN_WINDOW = {0, 0, 645, 386};
constexpr int MAIN_OUTLINE_TOP = 2;
constexpr Box MAIN_MENU_BUTTON = {548, 11, 26, 22};
constexpr Box MINIMIZE_BUTTON = {578, 11, 26, 22};
constexpr Box CLOSE_BUTTON = {608, 11, 26, 22};
constexpr Box FILE_LIST = {10, 48, 310, 300};
constexpr int LIST_SCROLL_BAR_WIDTH = 13;
// The count of rows and their size, at the foot of the list's box while it has rows; the list
// gives up that strip then.
constexpr int LIST_COUNT_HEIGHT = 20;
constexpr Box LIST_COUNT_LINE = {FILE_LIST.x, FILE_LIST.bottom() - LIST_COUNT_HEIGHT,
                                 FILE_LIST.width, LIST_COUNT_HEIGHT};
constexpr Box PAGE_TABS = {328, 48, 307, 300};
constexpr int TAB_BAR_HEIGHT = 26;
constexpr int TAB_WIDTH = 84;
constexpr Box PAGE = {PAGE_TABS.x, PAGE_TABS.y + TAB_BAR_HEIGHT, PAGE_TABS.width,
                      PAGE_TABS.height - TAB_BAR_HEIGHT};
constexpr Box ADD_FILES_BUTTON = {10, 354, 73, 26};
constexpr Box ADD_FOLDER_BUTTON = {89, 354, 73, 26};
constexpr Box REMOVE_BUTTON = {168, 354, 73, 26};
constexpr Box CLEAR_BUTTON = {247, 354, 73, 26};
constexpr Box ALWAYS_ON_TOP_BOX = {328, 354, 132, 26};
constexpr Box EXIT_BUTTON = {555, 354, 80, 26};

// pages, in page pixels; every page is PAGE.width x PAGE.height
constexpr int PAGE_CORNER_RADIUS = 9;
// output page
constexpr Box OUTPUT_GROUP = {8, 8, 291, 206};
constexpr Box OUTPUT_FOLDER_CAPTION = {20, 34, 200, 18};
constexpr Box OUTPUT_FOLDER_EDIT = {20, 54, 232, 24};
constexpr Box BROWSE_BUTTON = {258, 54, 30, 24};
constexpr Box OPEN_FOLDER_BOX = {16, 90, 275, 22};
constexpr Box EXIT_WHEN_DONE_BOX = {16, 116, 275, 22};
// the library choices: the tree kept, and what happens to a WAV file that exists
constexpr Box KEEP_FOLDERS_BOX = {16, 142, 275, 22};
constexpr Box EXISTING_CAPTION = {20, 168, 260, 16};
// Each box holds its mark, its word and the focus ring around them, with room to spare.
constexpr Box EXISTING_OVERWRITE_BOX = {16, 186, 104, 22};
constexpr Box EXISTING_SKIP_BOX = {124, 186, 64, 22};
constexpr Box EXISTING_RENAME_BOX = {192, 186, 99, 22};
constexpr Box DECODE_SELECTED_BUTTON = {8, 224, 141, 42};
constexpr Box DECODE_ALL_BUTTON = {158, 224, 141, 42};
// info page
constexpr Box MPEG_GROUP = {8, 8, 291, 106};
// below the caption's descenders ("Mpeg" has two)
constexpr Box INFO_PROMPT = {14, 33, 279, 16};
constexpr Box INFO_LINE_FIRST = {14, 49, 279, 16};  // the next lines follow 16 pixels apart
constexpr Box TAG_GROUP = {8, 120, 291, 146};
constexpr int TAG_CAPTION_X = 18;
constexpr Box TAG_TITLE = {76, 146, 116, 20};
constexpr Box TAG_TRACK = {248, 146, 45, 20};
constexpr Box TAG_ARTIST = {76, 169, 116, 20};
constexpr Box TAG_YEAR = {248, 169, 45, 20};
constexpr Box TAG_ALBUM = {76, 192, 217, 20};
constexpr Box TAG_GENRE = {76, 215, 217, 20};
constexpr Box TAG_COMMENT = {76, 238, 217, 20};
// options page
// "Exact length" and "Copy tags into the WAV" shape the file rather than the sound, so they sit
// under the bit depth; every row is packed to keep both groups and the fade scales on the page.
constexpr Box QUALITY_GROUP = {8, 8, 291, 96};
constexpr Box BITS_16_BUTTON = {16, 30, 134, 24};
constexpr Box BITS_8_BUTTON = {152, 30, 134, 24};
// Ends before "Files at once" on the same row, so that its focus ring stays off the caption.
constexpr Box EXACT_LENGTH_BOX = {16, 54, 128, 22};
// Each ends before the box that shares its row, so that its focus ring stays off it.
constexpr Box COPY_TAGS_BOX = {16, 76, 182, 22};
// The output format sits on the free end of the "Quality select" caption row; its list opens
// wide enough for the longest choice.
constexpr Box OUTPUT_FORMAT_CHOICE = {150, 9, 142, 20};
constexpr Box EFFECTS_GROUP = {8, 108, 291, 160};
constexpr Box NORMALIZE_BOX = {16, 130, 94, 22};
constexpr Box SKIP_SILENCE_BOX = {16, 152, 275, 22};
constexpr Box FADE_IN_SLIDER = {74, 178, 170, 24};
constexpr Box FADE_IN_EDIT = {250, 178, 42, 24};
constexpr Box FADE_OUT_SLIDER = {74, 222, 170, 24};
constexpr Box FADE_OUT_EDIT = {250, 222, 42, 24};
constexpr int FADE_MAXIMUM = 60;
// "Files at once" shares the exact-length row, its number box under the fade boxes.
constexpr Box FILES_AT_ONCE_LINE = {150, 54, 96, 22};
constexpr Box FILES_AT_ONCE_EDIT = {250, 54, 42, 22};
constexpr int FILES_AT_ONCE_MAXIMUM = 8;
constexpr int SLIDER_THUMB_WIDTH = 16;

// progress dialog (no picture of its own)
constexpr Box PROGRESS_DIALOG = {0, 0, 380, 186};
constexpr Box FILE_LINE = {20, 16, 340, 18};
constexpr Box FILE_BAR = {20, 38, 340, 18};
constexpr Box COUNT_LINE = {20, 68, 340, 18};
constexpr Box BATCH_BAR = {20, 90, 340, 18};
constexpr Box TIME_LINE = {20, 114, 340, 18};
constexpr Box CANCEL_BUTTON = {146, 146, 88, 28};
// With several files at once a row per file takes the place of the file line and bar: its name
// on the left, its bar on the right; the dialog grows by the rows beyond the first two.
constexpr Box RUNNING_NAME = {20, 16, 236, 18};
constexpr Box RUNNING_BAR = {262, 16, 98, 18};
constexpr int RUNNING_ROW_HEIGHT = 22;

// About dialog
constexpr Box ABOUT_DIALOG = {0, 0, 380, 260};
constexpr int ABOUT_HEADER_HEIGHT = 84;
constexpr int ABOUT_TEXT_X = 20;
constexpr int ABOUT_TEXT_WIDTH = 340;
constexpr int ABOUT_FIRST_LINE_Y = 98;
constexpr int ABOUT_LINE_HEIGHT = 22;
constexpr Box ABOUT_CLOSE_BUTTON = {272, 218, 88, 28};

// colours shared by the pictures and the widgets drawn over them, as 0xRRGGBB
constexpr unsigned PAGE_COLOUR = 0xE2EBF6;           // RGB 226, 235, 246
constexpr unsigned LIST_COLOUR = 0x272935;           // RGB 39, 41, 53
constexpr unsigned LIST_SELECTED_COLOUR = 0x515362;  // RGB 81, 83, 98
constexpr unsigned PROGRESS_COLOUR = 0x252733;
constexpr unsigned ACCENT_COLOUR = 0x3D8BFD;

}  // namespace layout
