// SPDX-License-Identifier: MIT
// How a wait of the downloading thread ended (for a notification, a reply of BlueZ's, or a
// device's state), and the one wait they all use. The BLE stream answers libdivecomputer with the
// status each end means.
#pragma once

#include "device/interruption.h"

#include <libdivecomputer/common.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace divebridge {

enum class WaitEnd {
    Done,      // what was waited for came
    TimedOut,  // its time ran out
    Stopped,   // a stop was asked for
    Failed,    // the link is gone, or the call failed
};

inline dc_status_t statusOf(WaitEnd end) {
    switch (end) {
        case WaitEnd::Done:
            return DC_STATUS_SUCCESS;
        case WaitEnd::TimedOut:
            return DC_STATUS_TIMEOUT;
        case WaitEnd::Stopped:
            return DC_STATUS_CANCELLED;
        case WaitEnd::Failed:
            break;
    }
    return DC_STATUS_IO;
}

// Nothing signals a stop request, so a wait looks at it this often.
inline constexpr std::chrono::milliseconds stopCheckInterval{5};

// The time left until `deadline`, none once it has passed.
inline std::chrono::milliseconds until(std::chrono::steady_clock::time_point deadline) {
    return std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now()),
                    std::chrono::milliseconds(0));
}

// Waits on `changed`, with `lock` held around each look, until `settled()` answers how the wait
// ends, `timeout` runs out (negative: no limit) or `stop` (null: none may) is asked for.
template <typename Settled>
WaitEnd waitUntil(std::unique_lock<std::mutex> &lock, std::condition_variable &changed,
                  std::chrono::milliseconds timeout, const StopRequest *stop, Settled settled) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (const std::optional<WaitEnd> end = settled()) {
            return *end;
        }
        if (stop != nullptr && stop->requested()) {
            return WaitEnd::Stopped;
        }
        const auto now = std::chrono::steady_clock::now();
        auto until = now + stopCheckInterval;
        if (timeout.count() >= 0) {
            if (now >= deadline) {
                return WaitEnd::TimedOut;
            }
            until = std::min(until, deadline);
        }
        changed.wait_until(lock, until);
    }
}

}  // namespace divebridge
