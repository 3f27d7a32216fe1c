// SPDX-License-Identifier: MIT
#include "device/interruption.h"

#include <signal.h>

#include <mutex>

namespace divebridge {
namespace {

void onInterruptSignal(int signalNumber, siginfo_t *info, void *context);

struct sigaction previousAction {};
std::mutex installMutex;

bool isOurs(const struct sigaction &action) {
    return (action.sa_flags & SA_SIGINFO) != 0 && action.sa_sigaction == onInterruptSignal;
}

void passOn(int signalNumber, siginfo_t *info, void *context) {
    if (previousAction.sa_flags & SA_SIGINFO) {
        previousAction.sa_sigaction(signalNumber, info, context);
    } else if (previousAction.sa_handler == SIG_DFL) {
        signal(signalNumber, SIG_DFL);
        raise(signalNumber);
    } else if (previousAction.sa_handler != SIG_IGN) {
        previousAction.sa_handler(signalNumber);
    }
}

void onInterruptSignal(int signalNumber, siginfo_t *info, void *context) {
    requestStop();
    passOn(signalNumber, info, context);
}

}  // namespace

void installInterruptHandler() {
    const std::lock_guard<std::mutex> lock(installMutex);
    struct sigaction current {};
    if (sigaction(SIGINT, nullptr, &current) != 0 || isOurs(current)) {
        return;
    }
    struct sigaction ours {};
    ours.sa_sigaction = onInterruptSignal;
    sigemptyset(&ours.sa_mask);
    ours.sa_flags = SA_SIGINFO | SA_RESTART;
    previousAction = current;
    sigaction(SIGINT, &ours, nullptr);
}

}  // namespace divebridge
