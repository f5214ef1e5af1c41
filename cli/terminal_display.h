// Progress bars on a terminal: redrawn in place below the lines already printed.
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

    // Replaces the bars; redraws at most every 50 ms unless forced.
    void show(const std::vector<DisplayBar>& bars, bool force = false);
    // Prints a finished line above the bars.
    void print(const std::string& line);
    // Removes the bars for good.
    void erase();

private:
    void draw();
    void clearDrawn();

    std::FILE* out_;
    std::vector<DisplayBar> bars_;
    int drawnLines_ = 0;
    std::chrono::steady_clock::time_point lastDraw_{};
};

// "[#####.....]  42%" of the given width in characters between the brackets.
std::string bar_text(double fraction, int width);
// m:ss or h:mm:ss.
std::string clock_text(double seconds);
// The batch line: elapsed time and, once something is done, the estimated time left.
std::string batch_label(double fraction, double elapsedSeconds);
