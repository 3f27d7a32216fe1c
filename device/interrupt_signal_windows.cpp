// SPDX-License-Identifier: MIT
// SIGINT where the C runtime has signal() but no sigaction. What differs from POSIX:
// - the runtime puts SIG_DFL back before it runs a handler, so ours reinstalls itself once it has
//   passed the signal on; a second signal in between meets the default;
// - a console's Ctrl-C runs the handler on a thread of its own rather than interrupting one;
// - the action passed on to is a plain handler, SIG_IGN or SIG_DFL: there is no siginfo;
// - the default action ends the process with exit code 3 (POSIX: killed by the signal).
#include "device/interruption.h"

#include <csignal>
#include <mutex>

namespace divebridge {
namespace {

using SignalHandler = void (*)(int);

void onInterruptSignal(int signalNumber);

// Read by the handler, which may run on the console's thread.
std::atomic<SignalHandler> previousHandler{SIG_DFL};
static_assert(std::atomic<SignalHandler>::is_always_lock_free, "the signal handler reads it");
std::mutex installMutex;

void passOn(int signalNumber) {
    const SignalHandler previous = previousHandler.load();
    if (previous == SIG_DFL) {
        std::signal(signalNumber, SIG_DFL);
        std::raise(signalNumber);
    } else if (previous != SIG_IGN) {
        previous(signalNumber);
    }
}

// A host handler written for the runtime's reset reinstalls itself, as Windows handlers do, taking
// our place: what it left there, when not the reset's SIG_DFL, is the action to pass the next one
// to.
void reinstall(int signalNumber) {
    const SignalHandler left = std::signal(signalNumber, onInterruptSignal);
    if (left != SIG_DFL && left != SIG_ERR && left != onInterruptSignal) {
        previousHandler.store(left);
    }
}

void onInterruptSignal(int signalNumber) {
    requestStop();
    passOn(signalNumber);
    reinstall(signalNumber);
}

}  // namespace

// signal() tells the action in place only by replacing it: ours goes in, and what it replaced is
// kept unless it was ours already.
void installInterruptHandler() {
    const std::lock_guard<std::mutex> lock(installMutex);
    const SignalHandler replaced = std::signal(SIGINT, onInterruptSignal);
    if (replaced != SIG_ERR && replaced != onInterruptSignal) {
        previousHandler.store(replaced);
    }
}

}  // namespace divebridge
