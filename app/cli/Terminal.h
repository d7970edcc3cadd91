#pragma once

// The few things the command line needs from the terminal: whether a stream
// is one, a yes/no question, and a progress line on standard error that is
// redrawn in place.

#include <string>

namespace twinfold::cli {

bool standardInputIsTerminal();
bool standardErrorIsTerminal();
// Whether escape sequences may go to standard error: it is a terminal and
// TERM does not say "dumb".
bool standardErrorTakesEscapes();

// `text` (a file name, or a message naming one) with every control
// character written as an octal escape, as `ls -b` does: "\033" for ESC,
// "\n" spelled "\012", the C1 controls (U+0080…U+009F) likewise byte by
// byte. Everything else, a name that is not UTF-8 included, stays byte for
// byte, so that a printed name cannot move the cursor or recolour the
// terminal.
std::string escapedText(const std::string& text);

// Asks on standard error and reads one line from standard input; true only
// for "y" or "yes" (any case).
bool askYesNo(const std::string& question);

// One line on standard error, redrawn in place and cut to the terminal's
// width; does nothing unless standardErrorTakesEscapes().
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
