#include "Interruption.h"

#include <array>
#include <csignal>

namespace twinfold::cli {

namespace {

constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t interruptRequested = 0;
std::array<struct sigaction, kSignals.size()> previous;

void onSignal(int) { interruptRequested = 1; }

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

}  // namespace twinfold::cli
