// Progress bars on a terminal: redrawn in place below the lines already printed, at the
// terminal's width at each redraw; none on a terminal too narrow for a bar and a name.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

struct DisplayBar {
    double fraction;    // 0..1
    std::string label;  // shown after the bar
};

class TerminalDisplay {
public:
    explicit TerminalDisplay(std::FILE* out);
    ~TerminalDisplay();
    TerminalDisplay(const TerminalDisplay&) = delete;
    TerminalDisplay& operator=(const TerminalDisplay&) = delete;

    // Replaces the bars; redraws at most every 50 ms unless forced. Labels may hold file
    // names: they are shown through terminal_safe.
    void show(const std::vector<DisplayBar>& bars, bool force = false);
    // Prints a finished line above the bars, through terminal_safe_lines.
    void print(const std::string& line);
    // Removes the bars for good.
    void erase();

private:
    void draw();
    void clearDrawn();

    std::FILE* out_;
    std::vector<DisplayBar> bars_;
    std::vector<int> drawnWidths_;  // display width of each line drawn, to erase it again
    std::chrono::steady_clock::time_point lastDraw_{};
};

// Narrower terminals show no bars, only the line of each finished file.
constexpr int DISPLAY_MIN_COLUMNS = 30;

// The bar lines for a terminal of the given columns: each cut to columns - 1, so that the
// cursor never reaches the last column and the terminal cannot wrap a line by itself.
std::vector<std::string> bar_lines(const std::vector<DisplayBar>& bars, int columns);
// Terminal rows that lines of the given widths take on a terminal of the given columns: a
// terminal narrowed after the drawing wraps each line over several rows.
int rows_taken(const std::vector<int>& widths, int columns);

// "[#####.....]  42%" of the given width in characters between the brackets.
std::string bar_text(double fraction, int width);
// m:ss or h:mm:ss.
std::string clock_text(double seconds);
// The batch line: elapsed time and, once something is done, the estimated time left.
std::string batch_label(double fraction, double elapsedSeconds);
