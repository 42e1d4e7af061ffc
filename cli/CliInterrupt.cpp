#include "cli/CliInterrupt.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t stopRequested = 0;
bool caught = false;

void OnStopSignal(int) {
    stopRequested = 1;
}

// The one place that sets what SIGINT and SIGTERM do.
void HandleStopSignals(void (*handler)(int), int flags) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

void CatchStopSignals() {
    // The second signal of a kind takes its default action: the program ends.
    HandleStopSignals(OnStopSignal, SA_RESETHAND);
    caught = true;
}

bool StopRequested() {
    return stopRequested != 0;
}

bool RunStoppable(const std::function<void()>& work) {
    if (caught) {
        work();
        return StopRequested();
    }
    CatchStopSignals();
    work();
    HandleStopSignals(SIG_DFL, 0);
    caught = false;
    return StopRequested();
}
