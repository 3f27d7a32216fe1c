// SPDX-License-Identifier: MIT
// The notifications a BLE link has received and the stream has not read yet. Filled on the
// transport's own thread, emptied on the downloading thread.
#pragma once

#include "base/bytes.h"
#include "device/ble/wait_end.h"
#include "device/interruption.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

namespace divebridge {

class NotificationQueue {
  public:
    void push(Bytes notification);
    // The link is gone: waits answer LinkLost once the queue is empty.
    void loseLink();
    // Drops what is queued; answers how many notifications that was.
    std::size_t clear();

    // Waits until a notification is queued, for at most `timeout` (negative: without limit); Failed
    // once the link is lost and the queue empty. A stop asked for meanwhile ends the wait within a
    // few milliseconds.
    WaitEnd waitForNotification(std::chrono::milliseconds timeout, const StopRequest &stop);

    // The oldest notification; the queue must not be empty (a wait answered Ready).
    Bytes pop();
    // The size of the oldest notification, 0 when none is queued.
    std::size_t frontSize();

  private:
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<Bytes> notifications;
    bool linkLost = false;
};

// Sleeps `duration`, or less when a stop is asked for; answers whether the whole sleep was taken.
bool sleepUnlessStopped(std::chrono::milliseconds duration, const StopRequest &stop);

}  // namespace divebridge
