#include "cli/CliInterrupt.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t stopRequested = 0;
bool caught = false;

void OnStopSignal(int) {
    stopRequested = 1;
}

}  // namespace

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    // The second signal of a kind takes its default action: the program ends.
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
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
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    caught = false;
    return StopRequested();
}
