#pragma once

#include "ExitCode.h"

namespace twinfold::cli {

// While an object lives, Ctrl-C (SIGINT), SIGTERM and SIGHUP (the terminal
// closing) only raise a flag, so a running conversion can be cancelled
// properly: its unfinished outputs removed and no original touched. The
// previous handlers come back when it goes. One at a time.
class Interruption {
public:
    Interruption();
    ~Interruption();
    Interruption(const Interruption&) = delete;
    Interruption& operator=(const Interruption&) = delete;

    bool requested() const;
    // The exit code for the signal that came first (interrupted before any).
    ExitCode exitCode() const;
};

}  // namespace twinfold::cli
