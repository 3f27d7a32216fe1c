// SPDX-License-Identifier: MIT
#include "device/notification_queue.h"

#include <algorithm>
#include <thread>

namespace divebridge {
namespace {

constexpr std::chrono::milliseconds stopCheckInterval{5};

}  // namespace

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

void NotificationQueue::clear() {
    const std::lock_guard<std::mutex> lock(mutex);
    notifications.clear();
}

WaitEnd NotificationQueue::waitForNotification(std::chrono::milliseconds timeout,
                                               const StopRequest &stop) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        if (!notifications.empty()) {
            return WaitEnd::Done;
        }
        if (linkLost) {
            return WaitEnd::Failed;
        }
        if (stop.requested()) {
            return WaitEnd::Stopped;
        }
        auto until = std::chrono::steady_clock::now() + stopCheckInterval;
        if (timeout.count() >= 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return WaitEnd::TimedOut;
            }
            until = std::min(until, deadline);
        }
        arrived.wait_until(lock, until);
    }
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
    const auto deadline = std::chrono::steady_clock::now() + duration;
    for (;;) {
        if (stop.requested()) {
            return false;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return true;
        }
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(deadline - now, stopCheckInterval));
    }
}

}  // namespace divebridge
