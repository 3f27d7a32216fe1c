// SPDX-License-Identifier: MIT
// A BLE dive computer inside the test: custom stream callbacks that play both the application's
// stream and the peripheral at its other end, answering the simulator's BLE protocol at once.
#ifndef DCSIM_TESTS_BLE_PERIPHERAL_H
#define DCSIM_TESTS_BLE_PERIPHERAL_H

#include "sim_test_support.h"

#if DC_VERSION_CHECK(0, 7, 0)

#include <libdivecomputer/ble.h>
#include <libdivecomputer/custom.h>

#include <array>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace dcsim_test {

using AccessCode = std::array<unsigned char, 16>;

class BlePeripheral {
  public:
    // The image file served; notifications of the image carry notifySize bytes.
    explicit BlePeripheral(std::string image, std::size_t notifySize = 20)
        : image_(std::move(image)), notifySize_(notifySize) {}

    // The device: PIN-protected when pin is set; silent ones answer nothing.
    std::optional<std::string> pin;
    bool silent = false;
    // Stops answering after this many image notifications.
    std::optional<std::size_t> imageNotificationLimit;

    // The application's side: the name it was told, the access code it keeps (none: GET_ACCESSCODE
    // is unsupported) and the PIN the user types (GET_PINCODE answers pinStatus without one).
    std::string name = "Perdix 2 1A2B3C4D";
    std::optional<AccessCode> keptCode;
    std::optional<std::string> typedPin;
    dc_status_t pinStatus = DC_STATUS_UNSUPPORTED;

    // What happened.
    std::vector<Bytes> writes;
    std::size_t reads = 0;
    std::size_t splitReads = 0;  // reads that got only the start of a notification
    std::size_t pinShown = 0;
    std::size_t pinAsked = 0;
    std::size_t closes = 0;
    int timeout = 0;

    // The access code a PIN grants.
    static AccessCode codeFor(const std::string &pin);

    // Opens a custom BLE stream on this peripheral; the device opened on it answers open.
    dc_status_t open(dc_context_t *context, dc_descriptor_t *descriptor, Stream &stream,
                     DeviceHandle &device);

    static const dc_custom_cbs_t callbacks;

  private:
    static BlePeripheral &of(void *userdata) { return *static_cast<BlePeripheral *>(userdata); }
    static dc_status_t setTimeout(void *userdata, int timeout);
    static dc_status_t read(void *userdata, void *data, size_t size, size_t *actual);
    static dc_status_t write(void *userdata, const void *data, size_t size, size_t *actual);
    static dc_status_t ioctl(void *userdata, unsigned int request, void *data, size_t size);
    static dc_status_t purge(void *userdata, dc_direction_t direction);
    static dc_status_t close(void *userdata);

    void answer(const Bytes &request);
    void sendImage();
    dc_status_t askedFor(unsigned int request, void *data, size_t size);

    std::string image_;
    std::size_t notifySize_;
    bool unlocked_ = false;
    std::deque<Bytes> notifications_;
};

}  // namespace dcsim_test

#endif
#endif
