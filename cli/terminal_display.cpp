#include "cli/terminal_display.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "cli/terminal_text.h"

namespace {

constexpr auto REDRAW_INTERVAL = std::chrono::milliseconds(50);

// Asked at every redraw, so that the display follows a resized window without a signal
// handler (which would interrupt the worker loop's waits).
int terminal_columns(std::FILE* out) {
    winsize size{};
    if (ioctl(fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

}  // namespace

std::string bar_text(double fraction, int width) {
    fraction = std::clamp(fraction, 0.0, 1.0);
    int filled = static_cast<int>(fraction * width + 0.5);
    std::string text = "[";
    text.append(static_cast<std::size_t>(filled), '#');
    text.append(static_cast<std::size_t>(width - filled), '.');
    char percent[8];
    std::snprintf(percent, sizeof percent, "] %3d%%", static_cast<int>(fraction * 100));
    return text + percent;
}

std::vector<std::string> bar_lines(const std::vector<DisplayBar>& bars, int columns) {
    std::vector<std::string> lines;
    if (columns < DISPLAY_MIN_COLUMNS) {
        return lines;
    }
    int width = std::clamp(columns / 3, 10, 40);
    for (const DisplayBar& bar : bars) {
        lines.push_back(cut_to_width(
            bar_text(bar.fraction, width) + "  " + terminal_safe(bar.label), columns - 1));
    }
    return lines;
}

int rows_taken(const std::vector<int>& widths, int columns) {
    int rows = 0;
    for (int width : widths) {
        rows += columns > 0 && width > columns ? (width + columns - 1) / columns : 1;
    }
    return rows;
}

std::string clock_text(double seconds) {
    long total = seconds < 0 ? 0 : std::lround(seconds);
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    }
    return text;
}

std::string batch_label(double fraction, double elapsedSeconds) {
    std::string label = "elapsed " + clock_text(elapsedSeconds);
    if (fraction > 0.005) {
        label += ", about " + clock_text(elapsedSeconds * (1.0 - fraction) / fraction) + " left";
    }
    return label;
}

TerminalDisplay::TerminalDisplay(std::FILE* out) : out_(out) {}

TerminalDisplay::~TerminalDisplay() {
    erase();
}

void TerminalDisplay::show(const std::vector<DisplayBar>& bars, bool force) {
    bars_ = bars;
    auto now = std::chrono::steady_clock::now();
    if (force || now - lastDraw_ >= REDRAW_INTERVAL) {
        lastDraw_ = now;
        draw();
    }
}

void TerminalDisplay::print(const std::string& line) {
    clearDrawn();
    std::fprintf(out_, "%s\n", terminal_safe_lines(line).c_str());
    draw();
}

void TerminalDisplay::erase() {
    clearDrawn();
    bars_.clear();
    std::fflush(out_);
}

void TerminalDisplay::clearDrawn() {
    if (!drawnWidths_.empty()) {
        int rows = rows_taken(drawnWidths_, terminal_columns(out_));
        std::fprintf(out_, "\033[%dA\r\033[J", rows);
        drawnWidths_.clear();
    }
}

void TerminalDisplay::draw() {
    clearDrawn();
    for (const std::string& line : bar_lines(bars_, terminal_columns(out_))) {
        std::fprintf(out_, "%s\n", line.c_str());
        drawnWidths_.push_back(display_width(line));
    }
    std::fflush(out_);
}
