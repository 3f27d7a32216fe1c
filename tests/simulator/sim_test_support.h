// Shared helpers of the simulator tests: owned handles, images written to a temporary directory,
// and recorders for the callbacks.
#ifndef DCSIM_TESTS_SIM_TEST_SUPPORT_H
#define DCSIM_TESTS_SIM_TEST_SUPPORT_H

#include <dcsim/dcsim.h>
#include <gtest/gtest.h>
#include <libdivecomputer/context.h>
#include <libdivecomputer/descriptor.h>
#include <libdivecomputer/device.h>
#include <libdivecomputer/parser.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace dcsim_test {

using Json = nlohmann::json;
using Bytes = std::vector<unsigned char>;

struct ContextFree {
    void operator()(dc_context_t *c) const { dc_context_free(c); }
};
struct IteratorFree {
    void operator()(dc_iterator_t *i) const { dc_iterator_free(i); }
};
struct DescriptorFree {
    void operator()(dc_descriptor_t *d) const { dc_descriptor_free(d); }
};
struct DeviceClose {
    void operator()(dc_device_t *d) const { dc_device_close(d); }
};
struct ParserDestroy {
    void operator()(dc_parser_t *p) const { dc_parser_destroy(p); }
};
using Context = std::unique_ptr<dc_context_t, ContextFree>;
using Iterator = std::unique_ptr<dc_iterator_t, IteratorFree>;
using Descriptor = std::unique_ptr<dc_descriptor_t, DescriptorFree>;
using Device = std::unique_ptr<dc_device_t, DeviceClose>;
using Parser = std::unique_ptr<dc_parser_t, ParserDestroy>;

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
