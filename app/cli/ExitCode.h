#pragma once

namespace twinfold::cli {

// What the process reports to its caller, so scripts can tell a refusal
// from a failure without reading the text.
enum class ExitCode : int {
    success = 0,
    failed = 1,        // a scan, conversion or demo write failed; the error text is on stderr
    usage = 2,         // the command line could not be understood
    notConfirmed = 3,  // a conversion was declined, or could not be confirmed (no terminal, no --yes)
    originalsNotHandled = 4,  // converted, but some originals were not moved or deleted as asked (stderr says which)
    interrupted = 130, // Ctrl-C, SIGTERM or SIGHUP cancelled the run, as shells report an interrupt
};

inline int toInt(ExitCode code) { return static_cast<int>(code); }

}  // namespace twinfold::cli
