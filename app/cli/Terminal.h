#pragma once

// The few things the command line needs from the terminal: whether a stream
// is one, a yes/no question, and a progress line on standard error that is
// redrawn in place.

#include <string>

namespace twinfold::cli {

bool standardInputIsTerminal();
bool standardErrorIsTerminal();

// Asks on standard error and reads one line from standard input; true only
// for "y" or "yes" (any case).
bool askYesNo(const std::string& question);

// One line on standard error, redrawn in place and cut to the terminal's
// width; does nothing when standard error is not a terminal.
class ProgressLine {
public:
    ProgressLine();
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void show(const std::string& text);
    // "[#######-------]  45%  3/7  name"
    void showBar(double fraction, int completed, int total, const std::string& name);
    void clear();

private:
    bool enabled_;
    bool shown_ = false;
};

}  // namespace twinfold::cli
