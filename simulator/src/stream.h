// SPDX-License-Identifier: MIT
// An open transport, what a generation B device is opened on. The device shares the stream
// without owning it; closing the stream first leaves the device without a transport.
#ifndef DCSIM_STREAM_H
#define DCSIM_STREAM_H

#include "image.h"

#include <libdivecomputer/iostream.h>

#include <atomic>
#include <cstddef>
#include <memory>

namespace dcsim {

// The dc_iostream_* calls, answered by the stream's kind: an image file or the application's
// callbacks.
class Stream {
  public:
    explicit Stream(dc_transport_t transport) : transport_(transport) {}
    virtual ~Stream() = default;
    Stream(const Stream &) = delete;
    Stream &operator=(const Stream &) = delete;

    dc_transport_t transport() const noexcept { return transport_; }
    // The image the stream was opened on; null when the dive computer is reached through the
    // stream's reads and writes.
    virtual std::shared_ptr<const Image> image() const { return nullptr; }

    virtual dc_status_t setTimeout(int timeout) noexcept = 0;
    virtual dc_status_t setBreak(unsigned int value) noexcept = 0;
    virtual dc_status_t setDtr(unsigned int value) noexcept = 0;
    virtual dc_status_t setRts(unsigned int value) noexcept = 0;
    virtual dc_status_t getLines(unsigned int *value) noexcept = 0;
    virtual dc_status_t getAvailable(std::size_t *value) noexcept = 0;
    virtual dc_status_t configure(unsigned int baudrate, unsigned int databits, dc_parity_t parity,
                                  dc_stopbits_t stopbits,
                                  dc_flowcontrol_t flowcontrol) noexcept = 0;
    virtual dc_status_t poll(int timeout) noexcept = 0;
    virtual dc_status_t read(void *data, std::size_t size, std::size_t *actual) noexcept = 0;
    virtual dc_status_t write(const void *data, std::size_t size, std::size_t *actual) noexcept = 0;
    virtual dc_status_t ioctl(unsigned int request, void *data, std::size_t size) noexcept = 0;
    virtual dc_status_t flush() noexcept = 0;
    virtual dc_status_t purge(dc_direction_t direction) noexcept = 0;
    virtual dc_status_t sleep(unsigned int milliseconds) noexcept = 0;

    bool closed() const noexcept { return closed_; }
    // Releases the transport once; later calls answer SUCCESS and release nothing.
    dc_status_t close() noexcept { return closed_.exchange(true) ? DC_STATUS_SUCCESS : release(); }

  private:
    virtual dc_status_t release() noexcept { return DC_STATUS_SUCCESS; }

    dc_transport_t transport_;
    std::atomic<bool> closed_{false};
};

}  // namespace dcsim

#endif
