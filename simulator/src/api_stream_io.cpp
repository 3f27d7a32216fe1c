// SPDX-License-Identifier: MIT
// C API (generation B): the calls on an open stream, answered by the stream's kind (see Stream).
#include "api_checks.h"
#include "trace.h"

#include <libdivecomputer/ble.h>
#include <libdivecomputer/iostream.h>

#include <cstdio>

using namespace dcsim;

namespace {

template <typename Body>
dc_status_t onStream(dc_iostream_t *iostream, Body &&body) noexcept {
    return onLive(iostream, [&](dc_iostream_t &live) { return body(*live.stream); });
}

// The getters need somewhere to put the value.
template <typename Value>
dc_status_t getFrom(dc_iostream_t *iostream, dc_status_t (Stream::*get)(Value *) noexcept,
                    Value *value) noexcept {
    return onStream(iostream, [&](Stream &s) {
        return value != nullptr ? (s.*get)(value) : DC_STATUS_INVALIDARGS;
    });
}

// A read or write: data may be NULL only for no bytes, and actual is optional, as in
// libdivecomputer.
template <typename Transfer>
dc_status_t transferOn(dc_iostream_t *iostream, const void *data, size_t size, size_t *actual,
                       Transfer &&transfer) noexcept {
    size_t transferred = 0;
    const dc_status_t status = onStream(iostream, [&](Stream &s) {
        return data != nullptr || size == 0 ? transfer(s, &transferred) : DC_STATUS_INVALIDARGS;
    });
    if (actual != nullptr) {
        *actual = transferred;
    }
    return status;
}

dc_status_t traceNumber(const char *function, long long number, dc_status_t status) noexcept {
    char args[24];
    std::snprintf(args, sizeof args, "%lld", number);
    return traceStatus(function, args, status);
}

// The calls that hand the stream one number, traced with it.
template <typename Number>
dc_status_t passNumber(const char *function, dc_iostream_t *iostream,
                       dc_status_t (Stream::*call)(Number) noexcept, Number number) noexcept {
    return traceNumber(function, number,
                       onStream(iostream, [&](Stream &s) { return (s.*call)(number); }));
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
    return passNumber("dc_iostream_set_timeout", iostream, &Stream::setTimeout, timeout);
}

dc_status_t dc_iostream_set_break(dc_iostream_t *iostream, unsigned int value) {
    return passNumber("dc_iostream_set_break", iostream, &Stream::setBreak, value);
}

dc_status_t dc_iostream_set_dtr(dc_iostream_t *iostream, unsigned int value) {
    return passNumber("dc_iostream_set_dtr", iostream, &Stream::setDtr, value);
}

dc_status_t dc_iostream_set_rts(dc_iostream_t *iostream, unsigned int value) {
    return passNumber("dc_iostream_set_rts", iostream, &Stream::setRts, value);
}

dc_status_t dc_iostream_get_lines(dc_iostream_t *iostream, unsigned int *value) {
    return traceStatus("dc_iostream_get_lines", getFrom(iostream, &Stream::getLines, value));
}

dc_status_t dc_iostream_get_available(dc_iostream_t *iostream, size_t *value) {
    return traceStatus("dc_iostream_get_available",
                       getFrom(iostream, &Stream::getAvailable, value));
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
    return passNumber("dc_iostream_poll", iostream, &Stream::poll, timeout);
}

dc_status_t dc_iostream_read(dc_iostream_t *iostream, void *data, size_t size, size_t *actual) {
    const dc_status_t status =
        transferOn(iostream, data, size, actual,
                   [&](Stream &s, size_t *done) { return s.read(data, size, done); });
    return traceNumber("dc_iostream_read", static_cast<long long>(size), status);
}

dc_status_t dc_iostream_write(dc_iostream_t *iostream, const void *data, size_t size,
                              size_t *actual) {
    const dc_status_t status =
        transferOn(iostream, data, size, actual,
                   [&](Stream &s, size_t *done) { return s.write(data, size, done); });
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
    return passNumber("dc_iostream_purge", iostream, &Stream::purge, direction);
}

dc_status_t dc_iostream_sleep(dc_iostream_t *iostream, unsigned int milliseconds) {
    return passNumber("dc_iostream_sleep", iostream, &Stream::sleep, milliseconds);
}

}  // extern "C"
