// SPDX-License-Identifier: MIT
// The backend side of the simulator's BLE protocol: on a custom stream the simulated dive computer
// is a peripheral that answers requests written to it with notifications (see simulator/README.md,
// "The BLE protocol"). Opening greets it and unlocks a PIN-protected one; a download fetches its
// image.
#ifndef DCSIM_BLE_BACKEND_H
#define DCSIM_BLE_BACKEND_H

#include "image_fetcher.h"
#include "stream.h"

#include <libdivecomputer/ble.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace dcsim {

// How long a read waits for a notification.
inline constexpr int kBleReadTimeoutMs = 5000;
// The buffer each read fills: a longer notification is handed over in several reads.
inline constexpr std::size_t kBleReadBufferSize = 256;

class BleBackend final : public ImageFetcher {
  public:
    explicit BleBackend(std::shared_ptr<Stream> stream) : stream_(std::move(stream)) {}

    // Prepares the stream, asks its name, greets the peripheral and, when it is PIN-protected,
    // presents the access code or the PIN. Throws StatusError: a failing call's status, PROTOCOL
    // for an unexpected answer, NOACCESS for a refused PIN, UNSUPPORTED for a PIN-protected
    // peripheral under a release without the PIN requests.
    void open();

    Bytes fetch(const Cancelled &cancelled, const Progress &progress) override;
    // The advertised name, empty when the stream cannot tell it.
    const std::string &name() const { return name_; }

  private:
    using AccessCode = std::array<unsigned char, 16>;

    void askName();
    void unlock();
#ifdef DC_IOCTL_BLE_GET_PINCODE
    AccessCode storedAccessCode();
    std::string pinCode();
    void presentPin(const std::string &pin);
#endif

    void send(const Bytes &request);
    // The next count bytes the peripheral sent, whatever notifications carried them.
    Bytes receive(std::size_t count);
    // Reads one notification into the pending bytes.
    void readNotification();
    // The status byte of an answer tagged expected. Throws StatusError for any other answer.
    unsigned char receiveStatus(unsigned char expected);
    std::uint32_t receiveImageSize();

    std::shared_ptr<Stream> stream_;
    std::string name_;
    Bytes pending_;
};

}  // namespace dcsim

#endif
