// SPDX-License-Identifier: MIT
// The notifications of a characteristic that BlueZ hands over as a socket of their own
// (AcquireNotify): one datagram a notification, none of another program's, no echo of a read.
#pragma once

#include "device/ble/notification_queue.h"

#include <cstddef>
#include <thread>

namespace divebridge {

class AcquiredNotifications {
  public:
    // Takes the socket; its notifications, at most `mtu` bytes each, are queued on `queue` by a
    // thread of their own until this object goes. The socket's end (BlueZ closes it when the link
    // goes down) loses the queue's link.
    AcquiredNotifications(int socket, std::size_t mtu, NotificationQueue &queue);
    // Closing the socket ends BlueZ's notify session.
    ~AcquiredNotifications();

    AcquiredNotifications(const AcquiredNotifications &) = delete;
    AcquiredNotifications &operator=(const AcquiredNotifications &) = delete;

  private:
    void receive() noexcept;

    int socket;
    int wake[2] = {-1, -1};  // a pipe whose writing end, closed, ends the receiving thread
    std::size_t mtu;
    NotificationQueue &queue;
    std::thread receiver;
};

}  // namespace divebridge
