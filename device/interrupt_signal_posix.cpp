// SPDX-License-Identifier: MIT
#include "device/interruption.h"

#include <signal.h>

#include <mutex>

namespace divebridge {
namespace {

void onInterruptSignal(int signalNumber, siginfo_t *info, void *context);

struct sigaction previousAction {};
std::once_flag installed;

// The union holds a plain handler or an SA_SIGINFO one; the default and ignore actions are the
// same two values whichever flag is set, and neither may be called.
bool isDefault(const struct sigaction &action) {
    return action.sa_handler == SIG_DFL;
}
bool isIgnore(const struct sigaction &action) {
    return action.sa_handler == SIG_IGN;
}

void passOn(int signalNumber, siginfo_t *info, void *context) {
    if (isIgnore(previousAction)) {
        return;
    }
    if (isDefault(previousAction)) {
        signal(signalNumber, SIG_DFL);
        raise(signalNumber);
    } else if ((previousAction.sa_flags & SA_SIGINFO) != 0) {
        previousAction.sa_sigaction(signalNumber, info, context);
    } else {
        previousAction.sa_handler(signalNumber);
    }
}

void onInterruptSignal(int signalNumber, siginfo_t *info, void *context) {
    requestStop();
    passOn(signalNumber, info, context);
}

void install() {
    struct sigaction current {};
    if (sigaction(SIGINT, nullptr, &current) != 0) {
        return;
    }
    struct sigaction ours {};
    ours.sa_sigaction = onInterruptSignal;
    sigemptyset(&ours.sa_mask);
    ours.sa_flags = SA_SIGINFO | SA_RESTART;
    previousAction = current;
    sigaction(SIGINT, &ours, nullptr);
}

}  // namespace

// Once per process: a handler installed later by someone else that chains to ours must not become
// our "previous" one, or the two would call each other for ever.
void installInterruptHandler() {
    std::call_once(installed, install);
}

}  // namespace divebridge
