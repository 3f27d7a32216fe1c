// SPDX-License-Identifier: MIT
#include "device/ble/notification_queue.h"

namespace divebridge {

void NotificationQueue::push(Bytes notification) {
    {
        const std::lock_guard<std::mutex> lock(mutex);
        notifications.push_back(std::move(notification));
    }
    arrived.notify_one();
}

void NotificationQueue::loseLink() {
    {
        const std::lock_guard<std::mutex> lock(mutex);
        linkLost = true;
    }
    arrived.notify_one();
}

std::size_t NotificationQueue::clear() {
    const std::lock_guard<std::mutex> lock(mutex);
    const std::size_t dropped = notifications.size();
    notifications.clear();
    return dropped;
}

WaitEnd NotificationQueue::waitForNotification(std::chrono::milliseconds timeout,
                                               const StopRequest &stop) {
    std::unique_lock<std::mutex> lock(mutex);
    return waitUntil(lock, arrived, timeout, &stop, [&]() -> std::optional<WaitEnd> {
        if (!notifications.empty()) {
            return WaitEnd::Done;
        }
        if (linkLost) {
            return WaitEnd::Failed;
        }
        return std::nullopt;
    });
}

Bytes NotificationQueue::pop() {
    const std::lock_guard<std::mutex> lock(mutex);
    Bytes front = std::move(notifications.front());
    notifications.pop_front();
    return front;
}

std::size_t NotificationQueue::frontSize() {
    const std::lock_guard<std::mutex> lock(mutex);
    return notifications.empty() ? 0 : notifications.front().size();
}

bool sleepUnlessStopped(std::chrono::milliseconds duration, const StopRequest &stop) {
    std::mutex mutex;
    std::condition_variable never;
    std::unique_lock<std::mutex> lock(mutex);
    return waitUntil(lock, never, duration, &stop, [] { return std::optional<WaitEnd>(); }) ==
           WaitEnd::TimedOut;
}

}  // namespace divebridge
