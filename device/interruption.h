// Stopping a running download: the process-wide stop request and the SIGINT handler.
#pragma once

#include <atomic>

namespace divebridge {

// Set by interruptDeviceDownload from any thread, honoured by libdivecomputer's next cancellation
// check or the next dive, whichever comes first; cleared when a connection opens. Only the flag's
// own value matters: relaxed ordering suffices.
extern std::atomic<bool> cancelRequested;

// Installs a SIGINT handler that asks a running download to stop, then passes the signal on to
// the action that was there before (the host's handler, or the default that ends the process).
// Installing again while ours is in place changes nothing. One implementation per platform:
// interrupt_signal_posix.cpp (sigaction), interrupt_signal_windows.cpp (signal).
void installInterruptHandler();

}  // namespace divebridge
