#include "Terminal.h"

#include <QString>

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <iostream>

namespace twinfold::cli {

namespace {

int terminalColumns() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

// Cut to the width in characters, not bytes, so a UTF-8 name is never split.
std::string fitted(const std::string& text, int columns) {
    const QString line = QString::fromStdString(text);
    return line.left(std::max(0, columns - 1)).toStdString();
}

}  // namespace

bool standardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }
bool standardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

bool standardErrorTakesEscapes() {
    const char* term = std::getenv("TERM");
    return standardErrorIsTerminal() && term && *term && std::string_view(term) != "dumb";
}

std::string escapedText(const std::string& text) {
    std::string out;
    const auto escape = [&out](unsigned char c) {
        const char digits[] = {'\\', char('0' + (c >> 6)), char('0' + ((c >> 3) & 7)), char('0' + (c & 7)), 0};
        out += digits;
    };
    for (std::size_t k = 0; k < text.size(); ++k) {
        const auto c = static_cast<unsigned char>(text[k]);
        const auto next = k + 1 < text.size() ? static_cast<unsigned char>(text[k + 1]) : 0;
        if (c < 0x20 || c == 0x7f) {
            escape(c);
        } else if (c == 0xc2 && next >= 0x80 && next <= 0x9f) {
            escape(c);
            escape(next);
            ++k;
        } else {
            out += char(c);
        }
    }
    return out;
}

bool askYesNo(const std::string& question) {
    std::cerr << question << " [y/N] " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    const QString a = QString::fromStdString(answer).trimmed().toLower();
    return a == "y" || a == "yes";
}

ProgressLine::ProgressLine() : enabled_(standardErrorTakesEscapes()) {}

ProgressLine::~ProgressLine() { clear(); }

void ProgressLine::show(const std::string& text) {
    if (!enabled_) return;
    // Carriage return and "erase line" redraw the same line.
    std::cerr << "\r\033[K" << fitted(escapedText(text), terminalColumns()) << std::flush;
    shown_ = true;
}

void ProgressLine::showBar(double fraction, int completed, int total, const std::string& name) {
    constexpr int width = 24;
    fraction = std::clamp(fraction, 0.0, 1.0);
    const int filled = int(fraction * width);
    const std::string bar = std::string(std::size_t(filled), '#') + std::string(std::size_t(width - filled), '-');
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", int(fraction * 100));
    show("[" + bar + "] " + percent + "  " + std::to_string(completed) + "/" + std::to_string(total) + "  " + name);
}

void ProgressLine::clear() {
    if (!shown_) return;
    std::cerr << "\r\033[K" << std::flush;
    shown_ = false;
}

}  // namespace twinfold::cli
