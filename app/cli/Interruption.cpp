#include "Interruption.h"

#include <csignal>

namespace twinfold::cli {

namespace {

volatile std::sig_atomic_t interruptRequested = 0;
struct sigaction previousInterrupt, previousTerminate;

void onSignal(int) { interruptRequested = 1; }

}  // namespace

Interruption::Interruption() {
    interruptRequested = 0;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousInterrupt);
    sigaction(SIGTERM, &action, &previousTerminate);
}

Interruption::~Interruption() {
    sigaction(SIGINT, &previousInterrupt, nullptr);
    sigaction(SIGTERM, &previousTerminate, nullptr);
}

bool Interruption::requested() const { return interruptRequested != 0; }

}  // namespace twinfold::cli
