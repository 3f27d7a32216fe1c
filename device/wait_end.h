// SPDX-License-Identifier: MIT
// How a wait of the downloading thread ended: for a notification, a reply of BlueZ's, or a
// device's state. The BLE stream answers libdivecomputer with the status each end means.
#pragma once

#include <libdivecomputer/common.h>

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

}  // namespace divebridge
