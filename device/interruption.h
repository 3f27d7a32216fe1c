// SPDX-License-Identifier: MIT
// Stopping running downloads: the process-wide count of stop requests and the SIGINT handler.
#pragma once

#include <atomic>
#include <cstdint>

namespace divebridge {

// Counts every stop request (interruptDeviceDownload from any thread, SIGINT). Only the count's own
// value matters: relaxed ordering suffices.
extern std::atomic<std::uint64_t> stopRequests;

// Asks every download running now to stop.
inline void requestStop() noexcept {
    stopRequests.fetch_add(1, std::memory_order_relaxed);
}

// One download's view of the stop requests: those made after it was noted, when the download's
// call began, stop it; earlier ones are forgotten. A count rather than a flag, so that no download
// can clear a stop meant for another, nor its own opening erase a Cancel pressed meanwhile.
class StopRequest {
  public:
    StopRequest() noexcept
        : requests(&stopRequests), noted(requests->load(std::memory_order_relaxed)) {}

    bool requested() const noexcept { return requests->load(std::memory_order_relaxed) != noted; }

  private:
    // The bridge's count, also where a plug-in with a copy of this class checks it.
    const std::atomic<std::uint64_t> *requests;
    std::uint64_t noted;
};

// Installs a SIGINT handler that asks the running downloads to stop, then passes the signal on to
// the action that was there before (the host's handler, or the default that ends the process).
// Installing again changes nothing. One implementation per platform:
// interrupt_signal_posix.cpp (sigaction), interrupt_signal_windows.cpp (signal).
void installInterruptHandler();

}  // namespace divebridge
