// The numbers of the skin's pictures and data blocks. The renderer draws each picture under its
// number and the windows load it back by the same number, so this list is the contract between
// the artwork and the windows.
#pragma once

#include <QColor>
#include <array>

#include "app/skin/layout.h"

namespace pictures {

// window and page backgrounds
constexpr int MAIN_BACKGROUND = 145;
constexpr int OUTPUT_PAGE = 218;
constexpr int INFO_PAGE = 219;
constexpr int OPTIONS_PAGE = 220;
constexpr int ABOUT_BACKGROUND = 293;

// bitmap buttons and boxes: normal, pressed (also "checked"), hover
using Triple = std::array<int, 3>;
constexpr Triple ADD_FILES = {194, 251, 249};
constexpr Triple ADD_FOLDER = {205, 257, 247};
constexpr Triple REMOVE = {204, 255, 245};
constexpr Triple CLEAR = {201, 252, 242};
constexpr Triple EXIT = {199, 256, 246};
constexpr Triple ALWAYS_ON_TOP = {326, 327, 325};
constexpr Triple DECODE_SELECTED = {203, 254, 244};
constexpr Triple DECODE_ALL = {202, 253, 243};
constexpr Triple BROWSE = {200, 250, 248};
constexpr Triple OPEN_FOLDER_BOX = {342, 343, 344};
constexpr Triple EXIT_WHEN_DONE_BOX = {345, 346, 347};
constexpr Triple KEEP_FOLDERS_BOX = {357, 358, 359};
constexpr Triple EXISTING_OVERWRITE_BOX = {360, 361, 362};
constexpr Triple EXISTING_SKIP_BOX = {363, 364, 365};
constexpr Triple EXISTING_RENAME_BOX = {366, 367, 368};
constexpr Triple BITS_16 = {330, 331, 332};
constexpr Triple BITS_8 = {333, 334, 335};
constexpr Triple NORMALIZE = {336, 337, 338};
constexpr Triple SKIP_SILENCE = {339, 340, 341};
constexpr Triple EXACT_LENGTH = {354, 355, 356};
constexpr Triple COPY_TAGS = {369, 370, 371};
constexpr Triple CANCEL = {291, 316, 292};
constexpr Triple ABOUT_CLOSE = {295, 317, 301};

// single pictures over the main window's header, drawn with a key colour
constexpr int CLOSE = 177;
constexpr int MINIMIZE = 174;
constexpr int MAIN_MENU = 258;
// left out where the three pictures above are drawn
constexpr QColor MENU_BUTTON_KEY(226, 234, 246);

constexpr int BAR_FILL = 289;
constexpr int SLIDER_CHANNEL = 350;
constexpr int SLIDER_ACTIVE_CHANNEL = 351;
constexpr int SLIDER_THUMB = 352;
constexpr int SLIDER_THUMB_PRESSED = 353;

constexpr int LIST_BACKGROUND = 307;
constexpr int LIST_ARROW_DOWN = 303;
constexpr int LIST_ARROW_UP = 304;

// data blocks
constexpr int MAIN_REGION = 316;

struct Picture {
    int id;
    int width;
    int height;
};

namespace detail {
constexpr Picture sized(int id, layout::Box box) {
    return {id, box.width, box.height};
}
}  // namespace detail

// Every picture with the size it is drawn at.
constexpr std::array<Picture, 85> ALL = [] {
    using detail::sized;
    using namespace layout;
    std::array<Picture, 85> all{};
    std::size_t n = 0;
    auto triple = [&](const Triple& ids, Box box) {
        for (int id : ids) {
            all[n++] = sized(id, box);
        }
    };
    all[n++] = sized(MAIN_BACKGROUND, MAIN_WINDOW);
    all[n++] = sized(OUTPUT_PAGE, PAGE);
    all[n++] = sized(INFO_PAGE, PAGE);
    all[n++] = sized(OPTIONS_PAGE, PAGE);
    all[n++] = sized(ABOUT_BACKGROUND, ABOUT_DIALOG);
    triple(ADD_FILES, ADD_FILES_BUTTON);
    triple(ADD_FOLDER, ADD_FOLDER_BUTTON);
    triple(REMOVE, REMOVE_BUTTON);
    triple(CLEAR, CLEAR_BUTTON);
    triple(EXIT, EXIT_BUTTON);
    triple(ALWAYS_ON_TOP, ALWAYS_ON_TOP_BOX);
    triple(DECODE_SELECTED, DECODE_SELECTED_BUTTON);
    triple(DECODE_ALL, DECODE_ALL_BUTTON);
    triple(BROWSE, BROWSE_BUTTON);
    triple(OPEN_FOLDER_BOX, layout::OPEN_FOLDER_BOX);
    triple(EXIT_WHEN_DONE_BOX, layout::EXIT_WHEN_DONE_BOX);
    triple(KEEP_FOLDERS_BOX, layout::KEEP_FOLDERS_BOX);
    triple(EXISTING_OVERWRITE_BOX, layout::EXISTING_OVERWRITE_BOX);
    triple(EXISTING_SKIP_BOX, layout::EXISTING_SKIP_BOX);
    triple(EXISTING_RENAME_BOX, layout::EXISTING_RENAME_BOX);
    triple(BITS_16, BITS_16_BUTTON);
    triple(BITS_8, BITS_8_BUTTON);
    triple(NORMALIZE, NORMALIZE_BOX);
    triple(SKIP_SILENCE, SKIP_SILENCE_BOX);
    triple(EXACT_LENGTH, EXACT_LENGTH_BOX);
    triple(COPY_TAGS, COPY_TAGS_BOX);
    triple(CANCEL, CANCEL_BUTTON);
    triple(ABOUT_CLOSE, ABOUT_CLOSE_BUTTON);
    all[n++] = sized(CLOSE, CLOSE_BUTTON);
    all[n++] = sized(MINIMIZE, MINIMIZE_BUTTON);
    all[n++] = sized(MAIN_MENU, MAIN_MENU_BUTTON);
    // one tile; the bar's inside is its height less two border and two inner pixels
    all[n++] = {BAR_FILL, 24, FILE_BAR.height - 4};
    all[n++] = sized(SLIDER_CHANNEL, FADE_IN_SLIDER);
    all[n++] = sized(SLIDER_ACTIVE_CHANNEL, FADE_IN_SLIDER);
    all[n++] = {SLIDER_THUMB, SLIDER_THUMB_WIDTH, FADE_IN_SLIDER.height};
    all[n++] = {SLIDER_THUMB_PRESSED, SLIDER_THUMB_WIDTH, FADE_IN_SLIDER.height};
    all[n++] = {LIST_BACKGROUND, FILE_LIST.width - LIST_SCROLL_BAR_WIDTH, FILE_LIST.height};
    all[n++] = {LIST_ARROW_DOWN, LIST_SCROLL_BAR_WIDTH, 15};
    all[n++] = {LIST_ARROW_UP, LIST_SCROLL_BAR_WIDTH, 15};
    return all;
}();

}  // namespace pictures
