// SPDX-License-Identifier: MIT
// Shared helpers of the simulator tests: owned handles, images written to a temporary directory,
// and recorders for the callbacks.
#ifndef DCSIM_TESTS_SIM_TEST_SUPPORT_H
#define DCSIM_TESTS_SIM_TEST_SUPPORT_H

#include "base/libdivecomputer_handles.h"

#include <dcsim/dcsim.h>
#include <gtest/gtest.h>
#include <libdivecomputer/context.h>
#include <libdivecomputer/descriptor.h>
#include <libdivecomputer/device.h>
#include <libdivecomputer/parser.h>
#include <libdivecomputer/version.h>
#include <nlohmann/json.hpp>
#if DC_VERSION_CHECK(0, 7, 0)
#include <libdivecomputer/bluetooth.h>
#include <libdivecomputer/irda.h>
#include <libdivecomputer/serial.h>
#include <libdivecomputer/usb.h>
#include <libdivecomputer/usbhid.h>
#endif

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace dcsim_test {

using Json = nlohmann::json;
using Bytes = std::vector<unsigned char>;

// The bridge's own owning handles, named as these tests name them.
using Context = divebridge::ContextHandle;
using Iterator = divebridge::IteratorHandle;
using Descriptor = divebridge::DescriptorHandle;
using DeviceHandle = divebridge::DeviceHandle;
using Parser = divebridge::ParserHandle;
#if DC_VERSION_CHECK(0, 7, 0)
using Stream = divebridge::StreamHandle;
#endif

#if DC_VERSION_CHECK(0, 9, 0)
// Sample times arrive in milliseconds, and the callback gets the value by pointer.
constexpr unsigned int kTimeUnitsPerSecond = 1000;
using SampleValue = const dc_sample_value_t *;
#else
constexpr unsigned int kTimeUnitsPerSecond = 1;
using SampleValue = dc_sample_value_t;
#endif
inline const dc_sample_value_t &valueOf(const dc_sample_value_t *value) {
    return *value;
}
inline const dc_sample_value_t &valueOf(const dc_sample_value_t &value) {
    return value;
}

// An open device; from release 0.7 on together with the stream it was opened on, which is closed
// after the device.
class Device {
  public:
    Device() = default;
    dc_device_t *get() const { return device_.get(); }
    // Gives the device up, for a test that closes it itself; the stream stays with this object.
    dc_device_t *releaseDevice() { return device_.release(); }

  private:
    friend dc_status_t openDevice(dc_context_t *, dc_descriptor_t *, const std::string &, Device &);
#if DC_VERSION_CHECK(0, 7, 0)
    Stream stream_;
#endif
    DeviceHandle device_;  // after the stream: released first
};

// Opens the image at path for the descriptor: dc_device_open on the path up to release 0.6, on a
// serial stream from 0.7 on. Answers the first failing status.
dc_status_t openDevice(dc_context_t *context, dc_descriptor_t *descriptor, const std::string &path,
                       Device &out);

// A parser of one dive's bytes: dc_parser_new and dc_parser_set_data up to release 0.8 (a parser
// whose data was refused is kept), dc_parser_new alone from 0.9 on. Answers the first failing
// status.
dc_status_t newParser(dc_device_t *device, const unsigned char *data, std::size_t size,
                      Parser &out);

// Every test starts and must end with no live handle and no override catalogue.
class SimulatorTest : public ::testing::Test {
  protected:
    SimulatorTest();
    ~SimulatorTest() override;
    void TearDown() override;

    // Writes text to a file of the test's directory and answers its path.
    std::string writeFile(const std::string &name, const std::string &text) const;
    // An image of the given dives for the default model, with extra top-level members.
    std::string writeImage(const Json &dives, const Json &extra = Json::object(),
                           const std::string &name = "image.json") const;
    std::string path(const std::string &name) const { return (directory_ / name).string(); }

    Context newContext() const;
    // The first descriptor of the current catalogue with this vendor and product.
    Descriptor findDescriptor(const std::string &vendor, const std::string &product) const;
    Device openImage(const std::string &image, dc_status_t expected = DC_STATUS_SUCCESS);
    struct ParsedDive parse(const Json &dive, dc_status_t expected = DC_STATUS_SUCCESS);

    Context context_;
    Descriptor descriptor_;  // the default model: Heinrichs Weikamp OSTC 3

  private:
    std::filesystem::path directory_;
};

// The bytes of one dive through dcsim_encode_dive.
Bytes encode(const Json &dive);

struct RecordedSample {
    dc_sample_type_t type;
    dc_sample_value_t value;
};
std::vector<RecordedSample> collectSamples(dc_parser_t *parser, dc_status_t expected);

// A parser that has been given the bytes of a dive, on a device of an empty image.
struct ParsedDive {
    Device device;
    Bytes bytes;
    Parser parser;
};

struct RecordedEvent {
    dc_event_type_t type;
    dc_event_progress_t progress{};
    dc_event_devinfo_t devinfo{};
    dc_event_clock_t clock{};
};

// Records events and dives of dc_device_foreach; stops after stopAfter dives when set.
struct DownloadLog {
    std::vector<RecordedEvent> events;
    std::vector<Bytes> dives;
    std::vector<Bytes> fingerprints;
    std::vector<dc_status_t> parserNewStatuses;
    std::vector<std::size_t> eventsBeforeDive;  // how many events came before each dive
    dc_device_t *device = nullptr;
    std::size_t stopAfter = 0;

    static void onEvent(dc_device_t *device, dc_event_type_t event, const void *data,
                        void *userdata);
    static int onDive(const unsigned char *data, unsigned int size,
                      const unsigned char *fingerprint, unsigned int fsize, void *userdata);
};

std::string traceText();

}  // namespace dcsim_test

#endif
