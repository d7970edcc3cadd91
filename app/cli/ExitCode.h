#pragma once

namespace twinfold::cli {

// What the process reports to its caller, so scripts can tell a refusal
// from a failure without reading the text.
enum class ExitCode : int {
    success = 0,
    failed = 1,        // a scan, conversion or demo write failed; the error text is on stderr
    usage = 2,         // the command line could not be understood
    notConfirmed = 3,  // a conversion was declined, or could not be confirmed (no terminal, no --yes)
    originalsNotHandled =
        4,  // converted (or restored), but some originals were not handled as asked (stderr says which)
    // A signal cancelled the run: 128 + its number, as shells report a process the signal ended.
    hangUp = 129,       // SIGHUP, the terminal closed
    interrupted = 130,  // SIGINT, Ctrl-C
    terminated = 143,   // SIGTERM
};

inline int toInt(ExitCode code) { return static_cast<int>(code); }

}  // namespace twinfold::cli
