// Ctrl+C (SIGINT) and SIGTERM during a command that writes large files: while
// an InterruptScope lives, the signal only sets a flag, which the command's
// loops test to stop, remove what they did not finish, print "interrupted"
// and exit 130. A second signal ends the program at once.
#pragma once

namespace vantrel::cli {

class InterruptScope {
public:
    InterruptScope();
    ~InterruptScope();
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;
};

// True once SIGINT or SIGTERM came while a scope lived.
bool interruptRequested();

} // namespace vantrel::cli
