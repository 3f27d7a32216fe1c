// Stopping a running download: the process-wide stop request, the SIGINT handler and
// libdivecomputer's cancellation callback.
#pragma once

#include <atomic>

#include <signal.h>

namespace divebridge {

// Set by interruptDeviceDownload from any thread, honoured by the dive callback at the next dive,
// cleared when a connection opens. Only the flag's own value matters: relaxed ordering suffices.
extern std::atomic<bool> cancelRequested;

// Installs onInterruptSignal for SIGINT, keeping the action that was there before so that the
// signal still reaches it. Installing again while ours is in place changes nothing.
void installInterruptHandler();

// Asks a running download to stop at the next dive, then passes the signal on to the previous
// action (the host's handler, or the default that ends the process).
void onInterruptSignal(int signalNumber, siginfo_t *info, void *context);

// libdivecomputer's cancellation callback. Never asks to abort a transfer: a half-read dive would
// be lost, so stops happen only between dives, through cancelRequested.
int cancelCallback(void *userdata);

}  // namespace divebridge
