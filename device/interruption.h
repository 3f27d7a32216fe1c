// Stopping a running download: the process-wide stop request and the SIGINT handler.
#pragma once

#include <atomic>

#include <signal.h>

namespace divebridge {

// Set by interruptDeviceDownload from any thread, honoured by libdivecomputer's next cancellation
// check or the next dive, whichever comes first; cleared when a connection opens. Only the flag's
// own value matters: relaxed ordering suffices.
extern std::atomic<bool> cancelRequested;

// Installs onInterruptSignal for SIGINT, keeping the action that was there before so that the
// signal still reaches it. Installing again while ours is in place changes nothing.
void installInterruptHandler();

// Asks a running download to stop, then passes the signal on to the previous action (the host's
// handler, or the default that ends the process).
void onInterruptSignal(int signalNumber, siginfo_t *info, void *context);

}  // namespace divebridge
