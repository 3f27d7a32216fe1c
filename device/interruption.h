// Stopping a running download: the process-wide stop request, the SIGINT handler and
// libdivecomputer's cancellation callback.
#pragma once

#include <atomic>

namespace divebridge {

// Set by interruptDeviceDownload from any thread, honoured by the dive callback at the next dive,
// cleared when a connection opens. Only the flag's own value matters: relaxed ordering suffices.
extern std::atomic<bool> cancelRequested;

// Installs a SIGINT handler that asks a running download to stop at the next dive, then passes
// the signal on to the action that was there before (the host's handler, or the default that ends
// the process). Installing again while ours is in place changes nothing. One implementation per
// platform: interrupt_signal_posix.cpp (sigaction), interrupt_signal_windows.cpp (signal).
void installInterruptHandler();

// libdivecomputer's cancellation callback. Never asks to abort a transfer: a half-read dive would
// be lost, so stops happen only between dives, through cancelRequested.
int cancelCallback(void *userdata);

}  // namespace divebridge
