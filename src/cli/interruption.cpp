#include "interruption.h"

#include <csignal>
#include <unistd.h>

namespace vantrel::cli {

namespace {
volatile std::sig_atomic_t g_interrupted = 0;
struct sigaction g_previousInt {};
struct sigaction g_previousTerm {};

extern "C" void onInterrupt(int signal) {
    if (g_interrupted != 0) {
        // The second one: no more waiting for the loops.
        ::_exit(128 + signal);
    }
    g_interrupted = 1;
}
} // namespace

InterruptScope::InterruptScope() {
    g_interrupted = 0;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a blocking wait returns with EINTR
    ::sigaction(SIGINT, &action, &g_previousInt);
    ::sigaction(SIGTERM, &action, &g_previousTerm);
}

InterruptScope::~InterruptScope() {
    ::sigaction(SIGINT, &g_previousInt, nullptr);
    ::sigaction(SIGTERM, &g_previousTerm, nullptr);
}

bool interruptRequested() {
    return g_interrupted != 0;
}

} // namespace vantrel::cli
