// SPDX-License-Identifier: MIT
// A stream opened on an image file (serial port, USB, IrDA or Bluetooth address). The image is
// played back by the device, not sent over the stream: the stream takes what is written and has
// nothing to read.
#ifndef DCSIM_IMAGE_STREAM_H
#define DCSIM_IMAGE_STREAM_H

#include "stream.h"

#include <chrono>
#include <thread>

namespace dcsim {

class ImageStream final : public Stream {
  public:
    ImageStream(dc_transport_t transport, std::shared_ptr<const Image> image)
        : Stream(transport), image_(std::move(image)) {}

    std::shared_ptr<const Image> image() const override { return image_; }

    dc_status_t setTimeout(int) noexcept override { return DC_STATUS_SUCCESS; }
    dc_status_t setBreak(unsigned int) noexcept override { return DC_STATUS_SUCCESS; }
    dc_status_t setDtr(unsigned int) noexcept override { return DC_STATUS_SUCCESS; }
    dc_status_t setRts(unsigned int) noexcept override { return DC_STATUS_SUCCESS; }
    dc_status_t getLines(unsigned int *value) noexcept override {
        *value = 0;
        return DC_STATUS_SUCCESS;
    }
    dc_status_t getAvailable(std::size_t *value) noexcept override {
        *value = 0;
        return DC_STATUS_SUCCESS;
    }
    dc_status_t configure(unsigned int, unsigned int, dc_parity_t, dc_stopbits_t,
                          dc_flowcontrol_t) noexcept override {
        return DC_STATUS_SUCCESS;
    }
    // Nothing ever arrives, and waiting for it would only stall the caller.
    dc_status_t poll(int) noexcept override { return DC_STATUS_TIMEOUT; }
    dc_status_t read(void *, std::size_t, std::size_t *actual) noexcept override {
        *actual = 0;
        return DC_STATUS_TIMEOUT;
    }
    dc_status_t write(const void *, std::size_t size, std::size_t *actual) noexcept override {
        *actual = size;
        return DC_STATUS_SUCCESS;
    }
    dc_status_t ioctl(unsigned int, void *, std::size_t) noexcept override {
        return DC_STATUS_UNSUPPORTED;
    }
    dc_status_t flush() noexcept override { return DC_STATUS_SUCCESS; }
    dc_status_t purge(dc_direction_t) noexcept override { return DC_STATUS_SUCCESS; }
    dc_status_t sleep(unsigned int milliseconds) noexcept override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        return DC_STATUS_SUCCESS;
    }

  private:
    std::shared_ptr<const Image> image_;
};

}  // namespace dcsim

#endif
