// SPDX-License-Identifier: MIT
// From release 0.7 on: the dc_iostream_* calls, handed to a custom stream's callbacks or answered
// by a stream on an image; from 0.9 on, UUIDs as text.
#include "sim_test_support.h"

#if DC_VERSION_CHECK(0, 7, 0)

#include <libdivecomputer/ble.h>
#include <libdivecomputer/custom.h>

#include <string>
#include <vector>

namespace dcsim_test {
namespace {

using Calls = std::vector<std::string>;

Calls &calls(void *userdata) {
    return *static_cast<Calls *>(userdata);
}

dc_status_t record(void *userdata, std::string call) {
    calls(userdata).push_back(std::move(call));
    return DC_STATUS_SUCCESS;
}

// Each callback records its name and arguments, so a call handed to the wrong one shows.
const dc_custom_cbs_t kRecording = {
    [](void *u, int timeout) { return record(u, "set_timeout " + std::to_string(timeout)); },
    [](void *u, unsigned int v) { return record(u, "set_break " + std::to_string(v)); },
    [](void *u, unsigned int v) { return record(u, "set_dtr " + std::to_string(v)); },
    [](void *u, unsigned int v) { return record(u, "set_rts " + std::to_string(v)); },
    [](void *u, unsigned int *lines) {
        *lines = DC_LINE_CTS;
        return record(u, "get_lines");
    },
    [](void *u, size_t *available) {
        *available = 7;
        return record(u, "get_available");
    },
    [](void *u, unsigned int baudrate, unsigned int databits, dc_parity_t parity,
       dc_stopbits_t stopbits, dc_flowcontrol_t flowcontrol) {
        return record(u, "configure " + std::to_string(baudrate) + " " + std::to_string(databits) +
                             " " + std::to_string(parity) + " " + std::to_string(stopbits) + " " +
                             std::to_string(flowcontrol));
    },
    [](void *u, int timeout) {
        record(u, "poll " + std::to_string(timeout));
        return DC_STATUS_TIMEOUT;
    },
    [](void *u, void *data, size_t size, size_t *actual) {
        static_cast<char *>(data)[0] = 'x';
        *actual = 1;
        return record(u, "read " + std::to_string(size));
    },
    [](void *u, const void *data, size_t size, size_t *actual) {
        *actual = size;
        return record(u, "write " + std::string(static_cast<const char *>(data), size));
    },
    [](void *u, unsigned int request, void *, size_t size) {
        record(u, "ioctl " + std::to_string(request) + " " + std::to_string(size));
        return DC_STATUS_UNSUPPORTED;
    },
    [](void *u) { return record(u, "flush"); },
    [](void *u, dc_direction_t direction) {
        return record(u, "purge " + std::to_string(direction));
    },
    [](void *u, unsigned int milliseconds) {
        return record(u, "sleep " + std::to_string(milliseconds));
    },
    [](void *u) {
        record(u, "close");
        return DC_STATUS_PROTOCOL;
    },
};

class StreamCalls : public SimulatorTest {};

TEST_F(StreamCalls, EachCallReachesItsCallbackWithItsArguments) {
    Calls seen;
    dc_iostream_t *stream = nullptr;
    ASSERT_EQ(dc_custom_open(&stream, context_.get(), DC_TRANSPORT_SERIAL, &kRecording, &seen),
              DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_iostream_get_transport(stream), DC_TRANSPORT_SERIAL);
    unsigned int lines = 0;
    size_t available = 0;
    char buffer[8] = {};
    size_t actual = 0;
    EXPECT_EQ(dc_iostream_set_timeout(stream, -1), DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_iostream_set_break(stream, 1), DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_iostream_set_dtr(stream, 2), DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_iostream_set_rts(stream, 3), DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_iostream_get_lines(stream, &lines), DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_iostream_get_available(stream, &available), DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_iostream_configure(stream, 9600, 8, DC_PARITY_EVEN, DC_STOPBITS_TWO,
                                    DC_FLOWCONTROL_SOFTWARE),
              DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_iostream_poll(stream, 25), DC_STATUS_TIMEOUT);
    EXPECT_EQ(dc_iostream_read(stream, buffer, sizeof buffer, &actual), DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_iostream_write(stream, "H", 1, nullptr), DC_STATUS_SUCCESS) << "actual optional";
    EXPECT_EQ(dc_iostream_ioctl(stream, DC_IOCTL_BLE_GET_NAME, buffer, sizeof buffer),
              DC_STATUS_UNSUPPORTED);
    EXPECT_EQ(dc_iostream_ioctl(stream, DC_IOCTL_IOR('x', 1, 4), buffer, 3), DC_STATUS_INVALIDARGS)
        << "a request of fixed size takes exactly that size";
    EXPECT_EQ(dc_iostream_flush(stream), DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_iostream_purge(stream, DC_DIRECTION_INPUT), DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_iostream_sleep(stream, 0), DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_iostream_close(stream), DC_STATUS_PROTOCOL) << "the close callback's status";
    EXPECT_EQ(dc_iostream_close(stream), DC_STATUS_INVALIDARGS) << "and only once";
    EXPECT_EQ(lines, static_cast<unsigned int>(DC_LINE_CTS));
    EXPECT_EQ(available, 7u);
    EXPECT_EQ(actual, 1u);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(seen, Calls({"set_timeout -1", "set_break 1", "set_dtr 2", "set_rts 3", "get_lines",
                           "get_available", "configure 9600 8 2 2 2", "poll 25", "read 8",
                           "write H", "ioctl " + std::to_string(DC_IOCTL_BLE_GET_NAME) + " 8",
                           "flush", "purge 1", "sleep 0", "close"}));
    EXPECT_EQ(DC_IOCTL_BLE_GET_NAME, (1u << 30) | ('b' << 8)) << "read, variable size, 'b', 0";
}

TEST_F(StreamCalls, NullCallbacksAnswerSuccessAndImageStreamsHaveNothingToRead) {
    const dc_custom_cbs_t none{};
    dc_iostream_t *raw = nullptr;
    ASSERT_EQ(dc_custom_open(&raw, nullptr, DC_TRANSPORT_BLE, &none, nullptr), DC_STATUS_SUCCESS);
    Stream custom(raw);
    char buffer[4];
    size_t actual = 99;
    EXPECT_EQ(dc_iostream_read(custom.get(), buffer, sizeof buffer, &actual), DC_STATUS_SUCCESS);
    EXPECT_EQ(actual, 0u);
    EXPECT_EQ(dc_iostream_ioctl(custom.get(), DC_IOCTL_BLE_GET_NAME, buffer, sizeof buffer),
              DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_custom_open(&raw, nullptr, DC_TRANSPORT_BLE, nullptr, nullptr),
              DC_STATUS_INVALIDARGS);
    EXPECT_EQ(raw, nullptr);

    dcsim_trace_start();
    ASSERT_EQ(dc_serial_open(&raw, nullptr, writeImage(Json::array()).c_str()), DC_STATUS_SUCCESS);
    const Stream serial(raw);
    EXPECT_EQ(dc_iostream_get_transport(serial.get()), DC_TRANSPORT_SERIAL);
    EXPECT_EQ(dc_iostream_set_timeout(serial.get(), 1000), DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_iostream_write(serial.get(), "ab", 2, &actual), DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_iostream_read(serial.get(), buffer, sizeof buffer, &actual), DC_STATUS_TIMEOUT);
    EXPECT_EQ(dc_iostream_ioctl(serial.get(), DC_IOCTL_BLE_GET_NAME, buffer, 4),
              DC_STATUS_UNSUPPORTED);
    EXPECT_EQ(dc_iostream_read(nullptr, buffer, sizeof buffer, &actual), DC_STATUS_INVALIDARGS);
    dcsim_trace_stop();
    const std::string trace = traceText();
    EXPECT_EQ(trace.substr(trace.find('\n') + 1),
              "dc_iostream_get_transport\n"
              "dc_iostream_set_timeout 1000 -> 0\n"
              "dc_iostream_write 2 -> 0\n"
              "dc_iostream_read 4 -> -7\n"
              "dc_iostream_ioctl DC_IOCTL_BLE_GET_NAME 4 -> -1\n"
              "dc_iostream_read 4 -> -2\n");
}

#if DC_VERSION_CHECK(0, 9, 0)
TEST_F(StreamCalls, UuidsRoundTripThroughTheirText) {
    const char *text = "fe25c237-0ece-443c-b0aa-e02033e7029d";
    dc_ble_uuid_t uuid{};
    ASSERT_EQ(dc_ble_str2uuid("FE25C237-0ECE-443C-B0AA-E02033E7029D", uuid), 1);
    EXPECT_EQ(uuid[0], 0xFE);
    EXPECT_EQ(uuid[15], 0x9D);
    char written[DC_BLE_UUID_SIZE];
    EXPECT_EQ(dc_ble_uuid2str(uuid, written, sizeof written), written);
    EXPECT_STREQ(written, text);
    EXPECT_EQ(dc_ble_uuid2str(uuid, written, sizeof written - 1), nullptr);
    for (const char *malformed :
         {"fe25c237-0ece-443c-b0aa-e02033e7029", "fe25c237+0ece-443c-b0aa-e02033e7029d",
          "fe25c237-0ece-443c-b0aa-e02033e7029g", ""}) {
        EXPECT_EQ(dc_ble_str2uuid(malformed, uuid), 0) << malformed;
    }
    EXPECT_EQ(uuid[15], 0x9D) << "a malformed text leaves the UUID alone";
}
#endif

}  // namespace
}  // namespace dcsim_test

#endif
