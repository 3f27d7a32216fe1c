// SPDX-License-Identifier: MIT
// How the opening of a BlueZ link fails: one BleOpeningFailure ("Error opening device: ..."), and
// what a call that did not answer as it must means for it.
#pragma once

#include "device/ble/ble_link.h"
#include "device/ble/bluez/bluez_call.h"

#include <chrono>
#include <string>

namespace divebridge {

[[noreturn]] inline void failOpening(dc_status_t status, const std::string &cause) {
    throw BleOpeningFailure{status, "Error opening device: " + cause + "."};
}

// A failed, stopped or timed-out call during the opening ends it; `what` names the call.
inline void requireReply(const CallOutcome &outcome, const std::string &what) {
    switch (outcome.end) {
        case WaitEnd::Done:
            return;
        case WaitEnd::Stopped:
            failOpening(DC_STATUS_CANCELLED, "stopped while waiting for " + what);
        case WaitEnd::TimedOut:
            failOpening(DC_STATUS_TIMEOUT, what + " did not answer in time");
        case WaitEnd::Failed:
            if (outcome.error.rfind("org.freedesktop.DBus.Error.AccessDenied", 0) == 0) {
                failOpening(DC_STATUS_NOACCESS,
                            "this user may not use Bluetooth (" + outcome.error + ")");
            }
            failOpening(DC_STATUS_IO, what + " failed (" + outcome.error + ")");
    }
}

inline std::string seconds(std::chrono::milliseconds time) {
    return std::to_string(time.count() / 1000) + " s";
}

}  // namespace divebridge
