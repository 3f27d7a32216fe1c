// SPDX-License-Identifier: MIT
#include "device/ble/bluez/acquired_notifications.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace divebridge {

AcquiredNotifications::AcquiredNotifications(int socket, std::size_t mtu, NotificationQueue &queue)
    : socket(socket), mtu(std::max<std::size_t>(mtu, 23)), queue(queue) {
    if (pipe(wake) != 0) {
        const int error = errno;
        close(socket);
        throw std::system_error(error, std::generic_category(), "pipe");
    }
    try {
        receiver = std::thread([this] { receive(); });
    } catch (...) {
        close(wake[0]);
        close(wake[1]);
        close(socket);
        throw;
    }
}

AcquiredNotifications::~AcquiredNotifications() {
    close(wake[1]);
    receiver.join();
    close(wake[0]);
    close(socket);
}

void AcquiredNotifications::receive() noexcept {
    Bytes buffer(mtu);
    pollfd watched[] = {{socket, POLLIN, 0}, {wake[0], POLLIN, 0}};
    for (;;) {
        if (poll(watched, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (watched[1].revents != 0) {
            return;  // closing: the link's own close tells the queue
        }
        // A notification holds at most MTU - 3 bytes; a larger one is still taken whole.
        const ssize_t size = recv(socket, nullptr, 0, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
        if (size > 0 && static_cast<std::size_t>(size) > buffer.size()) {
            buffer.resize(static_cast<std::size_t>(size));
        }
        const ssize_t received = recv(socket, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (received > 0) {
            try {
                queue.push(Bytes(buffer.begin(), buffer.begin() + received));
                continue;
            } catch (...) {
                break;
            }
        }
        if (received < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        break;  // BlueZ closed its end: the link is down
    }
    queue.loseLink();
}

}  // namespace divebridge
