#pragma once

namespace twinfold {

// Ends the program with exit status 1 and one plain sentence when there is
// no graphical session to show a window on, instead of letting Qt abort
// (SIGABRT, "Reinstalling the application may fix this problem").
// Call before the QApplication is built: looks only at the environment and
// the command line's -platform option.
void requireGraphicalSession(int argc, char** argv);

// Watches the QApplication being built: a display that is named but cannot
// be opened makes Qt raise a fatal error, which ends the program the same
// way. Qt's messages during that time are held back and passed on once the
// application exists.
class DisplayOpeningGuard {
public:
    DisplayOpeningGuard();
    ~DisplayOpeningGuard();
    DisplayOpeningGuard(const DisplayOpeningGuard&) = delete;
    DisplayOpeningGuard& operator=(const DisplayOpeningGuard&) = delete;
};

}  // namespace twinfold
