// SPDX-License-Identifier: MIT
// A stream made by dc_custom_open: every call goes to the application's callbacks, as
// libdivecomputer hands a BLE transport to the application.
#ifndef DCSIM_CUSTOM_STREAM_H
#define DCSIM_CUSTOM_STREAM_H

#include "stream.h"
#include "stream_hook.h"

#include <libdivecomputer/custom.h>

namespace dcsim {

class CustomStream final : public Stream {
  public:
    // callbacks is kept, not copied, as libdivecomputer keeps it: it must outlive the stream.
    CustomStream(dc_transport_t transport, const dc_custom_cbs_t *callbacks, void *userdata)
        : Stream(transport), callbacks_(callbacks), userdata_(userdata) {}

    dc_status_t setTimeout(int timeout) noexcept override {
        return invoke(callbacks_->set_timeout, timeout);
    }
    dc_status_t setBreak(unsigned int value) noexcept override {
        return invoke(callbacks_->set_break, value);
    }
    dc_status_t setDtr(unsigned int value) noexcept override {
        return invoke(callbacks_->set_dtr, value);
    }
    dc_status_t setRts(unsigned int value) noexcept override {
        return invoke(callbacks_->set_rts, value);
    }
    dc_status_t getLines(unsigned int *value) noexcept override {
        return invoke(callbacks_->get_lines, value);
    }
    dc_status_t getAvailable(std::size_t *value) noexcept override {
        return invoke(callbacks_->get_available, value);
    }
    dc_status_t configure(unsigned int baudrate, unsigned int databits, dc_parity_t parity,
                          dc_stopbits_t stopbits, dc_flowcontrol_t flowcontrol) noexcept override {
        return invoke(callbacks_->configure, baudrate, databits, parity, stopbits, flowcontrol);
    }
    dc_status_t poll(int timeout) noexcept override { return invoke(callbacks_->poll, timeout); }
    dc_status_t read(void *data, std::size_t size, std::size_t *actual) noexcept override {
        return invoke(callbacks_->read, data, size, actual);
    }
    dc_status_t write(const void *data, std::size_t size, std::size_t *actual) noexcept override {
        return invoke(callbacks_->write, data, size, actual);
    }
    dc_status_t ioctl(unsigned int request, void *data, std::size_t size) noexcept override {
        return invoke(callbacks_->ioctl, request, data, size);
    }
    dc_status_t flush() noexcept override { return invoke(callbacks_->flush); }
    dc_status_t purge(dc_direction_t direction) noexcept override {
        return invoke(callbacks_->purge, direction);
    }
    dc_status_t sleep(unsigned int milliseconds) noexcept override {
        return invoke(callbacks_->sleep, milliseconds);
    }

  private:
    // The callbacks run as if called from C: one that throws ends the process. A NULL callback
    // answers SUCCESS, as in libdivecomputer; a closed stream reaches no callback.
    template <typename Callback, typename... Args>
    dc_status_t invoke(Callback callback, Args... args) const noexcept {
        if (closed()) {
            return DC_STATUS_IO;
        }
        runStreamHook();
        return callback != nullptr ? callback(userdata_, args...) : DC_STATUS_SUCCESS;
    }

    dc_status_t release() noexcept override {
        return callbacks_->close != nullptr ? callbacks_->close(userdata_) : DC_STATUS_SUCCESS;
    }

    const dc_custom_cbs_t *callbacks_;
    void *userdata_;
};

}  // namespace dcsim

#endif
