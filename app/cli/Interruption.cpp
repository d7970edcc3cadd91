#include "Interruption.h"

#include <array>
#include <csignal>

namespace twinfold::cli {

namespace {

constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t interruptRequested = 0;  // the first signal's number, 0 before any
std::array<struct sigaction, kSignals.size()> previous;

void onSignal(int signal) {
    if (interruptRequested == 0) interruptRequested = signal;
}

}  // namespace

Interruption::Interruption() {
    interruptRequested = 0;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (std::size_t k = 0; k < kSignals.size(); ++k) sigaction(kSignals[k], &action, &previous[k]);
}

Interruption::~Interruption() {
    for (std::size_t k = 0; k < kSignals.size(); ++k) sigaction(kSignals[k], &previous[k], nullptr);
}

bool Interruption::requested() const { return interruptRequested != 0; }

ExitCode Interruption::exitCode() const {
    switch (interruptRequested) {
    case SIGHUP: return ExitCode::hangUp;
    case SIGTERM: return ExitCode::terminated;
    default: return ExitCode::interrupted;
    }
}

}  // namespace twinfold::cli
