// C API (generation B): the calls on an open stream, answered by the stream's kind (see Stream).
#include "handles.h"
#include "status_error.h"
#include "trace.h"

#include <libdivecomputer/ble.h>
#include <libdivecomputer/iostream.h>

#include <cstdio>

using namespace dcsim;

namespace {

// A call on a live stream handle; anything else is a wrong argument.
template <typename Body>
dc_status_t onStream(dc_iostream_t *iostream, Body &&body) noexcept {
    return answerStatus(
        [&] { return isLive(iostream) ? body(*iostream->stream) : DC_STATUS_INVALIDARGS; });
}

dc_status_t traceNumber(const char *function, long long number, dc_status_t status) noexcept {
    char args[24];
    std::snprintf(args, sizeof args, "%lld", number);
    return traceStatus(function, args, status);
}

// The name of a request this release defines, or null.
const char *ioctlName(unsigned int request) noexcept {
    struct Named {
        unsigned int request;
        const char *name;
    };
    static constexpr Named kRequests[] = {
        {DC_IOCTL_BLE_GET_NAME, "DC_IOCTL_BLE_GET_NAME"},
#ifdef DC_IOCTL_BLE_GET_PINCODE
        {DC_IOCTL_BLE_GET_PINCODE, "DC_IOCTL_BLE_GET_PINCODE"},
        {DC_IOCTL_BLE_GET_ACCESSCODE, "DC_IOCTL_BLE_GET_ACCESSCODE"},
        {DC_IOCTL_BLE_SET_ACCESSCODE, "DC_IOCTL_BLE_SET_ACCESSCODE"},
        {DC_IOCTL_BLE_CHARACTERISTIC_READ, "DC_IOCTL_BLE_CHARACTERISTIC_READ"},
        {DC_IOCTL_BLE_CHARACTERISTIC_WRITE, "DC_IOCTL_BLE_CHARACTERISTIC_WRITE"},
#endif
    };
    for (const auto &named : kRequests) {
        if (named.request == request) {
            return named.name;
        }
    }
    return nullptr;
}

}  // namespace

extern "C" {

dc_transport_t dc_iostream_get_transport(dc_iostream_t *iostream) {
    traceCall("dc_iostream_get_transport");
    return isLive(iostream) ? iostream->stream->transport() : DC_TRANSPORT_NONE;
}

dc_status_t dc_iostream_set_timeout(dc_iostream_t *iostream, int timeout) {
    return traceNumber("dc_iostream_set_timeout", timeout,
                       onStream(iostream, [&](Stream &s) { return s.setTimeout(timeout); }));
}

dc_status_t dc_iostream_set_break(dc_iostream_t *iostream, unsigned int value) {
    return traceNumber("dc_iostream_set_break", value,
                       onStream(iostream, [&](Stream &s) { return s.setBreak(value); }));
}

dc_status_t dc_iostream_set_dtr(dc_iostream_t *iostream, unsigned int value) {
    return traceNumber("dc_iostream_set_dtr", value,
                       onStream(iostream, [&](Stream &s) { return s.setDtr(value); }));
}

dc_status_t dc_iostream_set_rts(dc_iostream_t *iostream, unsigned int value) {
    return traceNumber("dc_iostream_set_rts", value,
                       onStream(iostream, [&](Stream &s) { return s.setRts(value); }));
}

dc_status_t dc_iostream_get_lines(dc_iostream_t *iostream, unsigned int *value) {
    const dc_status_t status = onStream(iostream, [&](Stream &s) {
        return value != nullptr ? s.getLines(value) : DC_STATUS_INVALIDARGS;
    });
    return traceStatus("dc_iostream_get_lines", status);
}

dc_status_t dc_iostream_get_available(dc_iostream_t *iostream, size_t *value) {
    const dc_status_t status = onStream(iostream, [&](Stream &s) {
        return value != nullptr ? s.getAvailable(value) : DC_STATUS_INVALIDARGS;
    });
    return traceStatus("dc_iostream_get_available", status);
}

dc_status_t dc_iostream_configure(dc_iostream_t *iostream, unsigned int baudrate,
                                  unsigned int databits, dc_parity_t parity, dc_stopbits_t stopbits,
                                  dc_flowcontrol_t flowcontrol) {
    const dc_status_t status = onStream(iostream, [&](Stream &s) {
        return s.configure(baudrate, databits, parity, stopbits, flowcontrol);
    });
    char args[64];
    std::snprintf(args, sizeof args, "%u %u %d %d %d", baudrate, databits, parity, stopbits,
                  flowcontrol);
    return traceStatus("dc_iostream_configure", args, status);
}

dc_status_t dc_iostream_poll(dc_iostream_t *iostream, int timeout) {
    return traceNumber("dc_iostream_poll", timeout,
                       onStream(iostream, [&](Stream &s) { return s.poll(timeout); }));
}

// actual is optional, as in libdivecomputer.
dc_status_t dc_iostream_read(dc_iostream_t *iostream, void *data, size_t size, size_t *actual) {
    size_t transferred = 0;
    const dc_status_t status = onStream(iostream, [&](Stream &s) {
        return data != nullptr || size == 0 ? s.read(data, size, &transferred)
                                            : DC_STATUS_INVALIDARGS;
    });
    if (actual != nullptr) {
        *actual = transferred;
    }
    return traceNumber("dc_iostream_read", static_cast<long long>(size), status);
}

dc_status_t dc_iostream_write(dc_iostream_t *iostream, const void *data, size_t size,
                              size_t *actual) {
    size_t transferred = 0;
    const dc_status_t status = onStream(iostream, [&](Stream &s) {
        return data != nullptr || size == 0 ? s.write(data, size, &transferred)
                                            : DC_STATUS_INVALIDARGS;
    });
    if (actual != nullptr) {
        *actual = transferred;
    }
    return traceNumber("dc_iostream_write", static_cast<long long>(size), status);
}

// A request of fixed size takes exactly that size.
dc_status_t dc_iostream_ioctl(dc_iostream_t *iostream, unsigned int request, void *data,
                              size_t size) {
    const dc_status_t status = onStream(iostream, [&](Stream &s) {
        const unsigned int fixed = DC_IOCTL_SIZE(request);
        if ((fixed != DC_IOCTL_SIZE_VARIABLE && size != fixed) || (data == nullptr && size != 0)) {
            return DC_STATUS_INVALIDARGS;
        }
        return s.ioctl(request, data, size);
    });
    char args[64];
    if (const char *name = ioctlName(request)) {
        std::snprintf(args, sizeof args, "%s %llu", name, static_cast<unsigned long long>(size));
    } else {
        std::snprintf(args, sizeof args, "%u %llu", request, static_cast<unsigned long long>(size));
    }
    return traceStatus("dc_iostream_ioctl", args, status);
}

dc_status_t dc_iostream_flush(dc_iostream_t *iostream) {
    return traceStatus("dc_iostream_flush",
                       onStream(iostream, [](Stream &s) { return s.flush(); }));
}

dc_status_t dc_iostream_purge(dc_iostream_t *iostream, dc_direction_t direction) {
    return traceNumber("dc_iostream_purge", direction,
                       onStream(iostream, [&](Stream &s) { return s.purge(direction); }));
}

dc_status_t dc_iostream_sleep(dc_iostream_t *iostream, unsigned int milliseconds) {
    return traceNumber("dc_iostream_sleep", milliseconds,
                       onStream(iostream, [&](Stream &s) { return s.sleep(milliseconds); }));
}

}  // extern "C"
