// SPDX-License-Identifier: MIT
#include "sim_test_support.h"

#include "environment.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace dcsim_test {

SimulatorTest::SimulatorTest() {
    environment::unset("DCSIM_CATALOGUE");
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    directory_ = std::filesystem::temp_directory_path() /
                 ("dcsim-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" +
                  std::to_string(::getpid()));
    std::filesystem::remove_all(directory_);
    std::filesystem::create_directories(directory_);
    context_ = newContext();
    descriptor_ = findDescriptor("Heinrichs Weikamp", "OSTC 3");
}

SimulatorTest::~SimulatorTest() {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
}

void SimulatorTest::TearDown() {
    environment::unset("DCSIM_CATALOGUE");
    dcsim_trace_stop();
    descriptor_.reset();
    context_.reset();
    EXPECT_EQ(dcsim_live_handles(), 0u) << "a handle was leaked";
}

std::string SimulatorTest::writeFile(const std::string &name, const std::string &text) const {
    const std::string file = path(name);
    std::ofstream(file, std::ios::binary) << text;
    return file;
}

std::string SimulatorTest::writeImage(const Json &dives, const Json &extra,
                                      const std::string &name) const {
    Json image = {{"vendor", "Heinrichs Weikamp"}, {"product", "OSTC 3"}, {"dives", dives}};
    image.update(extra);
    return writeFile(name, image.dump());
}

Context SimulatorTest::newContext() const {
    dc_context_t *context = nullptr;
    EXPECT_EQ(dc_context_new(&context), DC_STATUS_SUCCESS);
    return Context(context);
}

Descriptor SimulatorTest::findDescriptor(const std::string &vendor,
                                         const std::string &product) const {
    dc_iterator_t *raw = nullptr;
    EXPECT_EQ(dc_descriptor_iterator(&raw), DC_STATUS_SUCCESS);
    const Iterator iterator(raw);
    dc_descriptor_t *descriptor = nullptr;
    while (dc_iterator_next(iterator.get(), &descriptor) == DC_STATUS_SUCCESS) {
        Descriptor owned(descriptor);
        if (vendor == dc_descriptor_get_vendor(descriptor) &&
            product == dc_descriptor_get_product(descriptor)) {
            return owned;
        }
    }
    ADD_FAILURE() << "no descriptor " << vendor << " " << product;
    return nullptr;
}

Device SimulatorTest::openImage(const std::string &image, dc_status_t expected) {
    Device device;
    EXPECT_EQ(openDevice(context_.get(), descriptor_.get(), image, device), expected) << image;
    if (expected != DC_STATUS_SUCCESS) {
        EXPECT_EQ(device.get(), nullptr);
    }
    return device;
}

ParsedDive SimulatorTest::parse(const Json &dive, dc_status_t expected) {
    ParsedDive parsed{openImage(writeImage(Json::array(), Json::object(), "empty.json")),
                      encode(dive), nullptr};
    EXPECT_EQ(
        newParser(parsed.device.get(), parsed.bytes.data(), parsed.bytes.size(), parsed.parser),
        expected);
    return parsed;
}

dc_status_t openDevice(dc_context_t *context, dc_descriptor_t *descriptor, const std::string &path,
                       Device &out) {
    dc_device_t *device = nullptr;
#if DC_VERSION_CHECK(0, 7, 0)
    dc_iostream_t *stream = nullptr;
    const dc_status_t opened = dc_serial_open(&stream, context, path.c_str());
    out.stream_.reset(stream);
    if (opened != DC_STATUS_SUCCESS) {
        return opened;
    }
    const dc_status_t status = dc_device_open(&device, context, descriptor, stream);
#else
    const dc_status_t status = dc_device_open(&device, context, descriptor, path.c_str());
#endif
    out.device_.reset(device);
    return status;
}

dc_status_t newParser(dc_device_t *device, const unsigned char *data, std::size_t size,
                      Parser &out) {
    dc_parser_t *parser = nullptr;
#if DC_VERSION_CHECK(0, 9, 0)
    const dc_status_t status = dc_parser_new(&parser, device, data, size);
    out.reset(parser);
    return status;
#else
    const dc_status_t created = dc_parser_new(&parser, device);
    out.reset(parser);
    if (created != DC_STATUS_SUCCESS) {
        return created;
    }
    return dc_parser_set_data(parser, data, static_cast<unsigned int>(size));
#endif
}

Bytes encode(const Json &dive) {
    unsigned char *bytes = nullptr;
    unsigned int size = 0;
    EXPECT_EQ(dcsim_encode_dive(dive.dump().c_str(), &bytes, &size), 0) << dive.dump();
    Bytes encoded(bytes, bytes + size);
    dcsim_free(bytes);
    return encoded;
}

namespace {

void recordSample(dc_sample_type_t type, SampleValue value, void *userdata) {
    static_cast<std::vector<RecordedSample> *>(userdata)->push_back({type, valueOf(value)});
}

}  // namespace

std::vector<RecordedSample> collectSamples(dc_parser_t *parser, dc_status_t expected) {
    std::vector<RecordedSample> samples;
    EXPECT_EQ(dc_parser_samples_foreach(parser, recordSample, &samples), expected);
    return samples;
}

void DownloadLog::onEvent(dc_device_t *device, dc_event_type_t event, const void *data,
                          void *userdata) {
    auto *log = static_cast<DownloadLog *>(userdata);
    EXPECT_EQ(device, log->device);
    RecordedEvent recorded{event};
    if (event == DC_EVENT_PROGRESS) {
        recorded.progress = *static_cast<const dc_event_progress_t *>(data);
    } else if (event == DC_EVENT_DEVINFO) {
        recorded.devinfo = *static_cast<const dc_event_devinfo_t *>(data);
    } else if (event == DC_EVENT_CLOCK) {
        recorded.clock = *static_cast<const dc_event_clock_t *>(data);
    }
    log->events.push_back(recorded);
}

int DownloadLog::onDive(const unsigned char *data, unsigned int size,
                        const unsigned char *fingerprint, unsigned int fsize, void *userdata) {
    auto *log = static_cast<DownloadLog *>(userdata);
    log->dives.emplace_back(data, data + size);
    log->eventsBeforeDive.push_back(log->events.size());
    log->fingerprints.emplace_back(fingerprint, fingerprint + fsize);
    Parser parser;
#if DC_VERSION_CHECK(0, 9, 0)
    log->parserNewStatuses.push_back(newParser(log->device, data, size, parser));
#else
    // Only dc_parser_new: its fault is what is recorded.
    dc_parser_t *raw = nullptr;
    log->parserNewStatuses.push_back(dc_parser_new(&raw, log->device));
    parser.reset(raw);
#endif
    return log->stopAfter == 0 || log->dives.size() < log->stopAfter;
}

std::string traceText() {
    const std::size_t length = dcsim_trace_copy(nullptr, 0);
    std::string text(length + 1, '\0');
    dcsim_trace_copy(text.data(), text.size());
    text.resize(length);
    return text;
}

}  // namespace dcsim_test
