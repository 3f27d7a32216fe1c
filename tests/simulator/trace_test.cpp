// SPDX-License-Identifier: MIT
// The call trace, the live-handle count, and handles used from several threads at once.
#include "sim_test_support.h"

#include <atomic>
#include <thread>

namespace dcsim_test {
namespace {

class Trace : public SimulatorTest {};

TEST_F(Trace, EveryCallAppendsOneLineWithItsArgumentsAndStatus) {
    const std::string image = writeImage(Json::parse(R"([{"maxdepth": 3.5}])"));
    dcsim_trace_start();
    dc_device_t *device = nullptr;
#if DC_VERSION_CHECK(0, 7, 0)
    dc_iostream_t *stream = nullptr;
    ASSERT_EQ(dc_serial_open(&stream, context_.get(), image.c_str()), DC_STATUS_SUCCESS);
    ASSERT_EQ(dc_device_open(&device, context_.get(), descriptor_.get(), stream),
              DC_STATUS_SUCCESS);
    dc_device_set_events(device, 15, nullptr, nullptr);
    dc_device_t *unopened = nullptr;
    dc_device_open(&unopened, context_.get(), descriptor_.get(), nullptr);
#else
    ASSERT_EQ(dc_device_open(&device, context_.get(), descriptor_.get(), image.c_str()),
              DC_STATUS_SUCCESS);
    dc_device_set_events(device, 15, nullptr, nullptr);
    dc_device_t *unopened = nullptr;
    dc_device_open(&unopened, context_.get(), descriptor_.get(), nullptr);
#endif
    DownloadLog log;
    log.device = device;
    dc_device_foreach(device, DownloadLog::onDive, &log);
    ASSERT_EQ(log.dives.size(), 1u);
    Parser owned;
    newParser(device, log.dives[0].data(), log.dives[0].size(), owned);
    dc_parser_t *parser = owned.release();
    dc_gasmix_t mix;
    dc_parser_get_field(parser, DC_FIELD_GASMIX, 1, &mix);
    dc_parser_get_field(parser, static_cast<dc_field_type_t>(42), 0, &mix);
    dc_datetime_t datetime;
    dc_parser_get_datetime(parser, &datetime);
    dc_parser_destroy(parser);
    dc_device_close(device);
#if DC_VERSION_CHECK(0, 7, 0)
    dc_iostream_close(stream);
#endif
    dc_descriptor_get_vendor(descriptor_.get());
    dcsim_trace_stop();
    dc_context_free(nullptr);

    const std::string size = std::to_string(log.dives[0].size());
#if DC_VERSION_CHECK(0, 7, 0)
    const std::string opening = "dc_serial_open " + image + " -> 0\n" +
                                "dc_device_open -> 0\n"
                                "dc_device_set_events 15 -> 0\n"
                                "dc_device_open -> -2\n";
    const std::string closing = "dc_device_close -> 0\ndc_iostream_close -> 0\n";
#else
    const std::string opening = "dc_device_open " + image + " -> 0\n" +
                                "dc_device_set_events 15 -> 0\n"
                                "dc_device_open (null) -> -2\n";
    const std::string closing = "dc_device_close -> 0\n";
#endif
#if DC_VERSION_CHECK(0, 9, 0)
    const std::string newParserLine = "dc_parser_new " + size + " -> 0\n";
    const std::string callbackParser = newParserLine;
#else
    const std::string newParserLine = "dc_parser_new -> 0\ndc_parser_set_data " + size + " -> 0\n";
    const std::string callbackParser = "dc_parser_new -> 0\n";
#endif
    EXPECT_EQ(traceText(), opening +
                               // calls made from a callback come before the call that made it
                               callbackParser + "dc_parser_destroy -> 0\n" +
                               "dc_device_foreach -> 0\n" + newParserLine +
                               "dc_parser_get_field DC_FIELD_GASMIX 1 -> -2\n"
                               "dc_parser_get_field 42 0 -> -1\n"
                               "dc_parser_get_datetime -> -1\n"
                               "dc_parser_destroy -> 0\n" +
                               closing + "dc_descriptor_get_vendor\n");
}

TEST_F(Trace, StartClearsAndCopyReportsTheLengthWhenTheBufferIsTooSmall) {
    dcsim_trace_start();
    dc_context_free(nullptr);
    dcsim_trace_start();
    dc_descriptor_free(nullptr);
    dcsim_trace_stop();
    const std::string expected = "dc_descriptor_free\n";
    char small[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(dcsim_trace_copy(small, sizeof small), expected.size());
    EXPECT_EQ(small[0], 'x') << "nothing is written when the trace does not fit";
    std::string exact(expected.size(), 'x');
    EXPECT_EQ(dcsim_trace_copy(exact.data(), exact.size()), expected.size());
    EXPECT_EQ(exact[0], 'x') << "the terminator needs room too";
    EXPECT_EQ(traceText(), expected);
}

TEST_F(Trace, HandlesAreCountedUntilReleasedAndReleasedOnlyOnce) {
    const unsigned int base = dcsim_live_handles();
    EXPECT_EQ(base, 2u) << "the fixture's context and descriptor";
    Context context = newContext();
    EXPECT_EQ(dcsim_live_handles(), base + 1);
    dc_context_t *raw = context.release();
    EXPECT_EQ(dc_context_free(raw), DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_context_free(raw), DC_STATUS_INVALIDARGS);
    EXPECT_EQ(dcsim_live_handles(), base);
    EXPECT_EQ(dc_device_close(reinterpret_cast<dc_device_t *>(context_.get())),
              DC_STATUS_INVALIDARGS)
        << "a context is no device";
    EXPECT_EQ(dcsim_live_handles(), base);
}

// A whole download with parsing, as the bridge runs it; answers the number of samples read.
std::size_t downloadAndParse(const std::string &image) {
    dc_context_t *rawContext = nullptr;
    dc_context_new(&rawContext);
    const Context context(rawContext);
    dc_iterator_t *rawIterator = nullptr;
    dc_descriptor_iterator(&rawIterator);
    const Iterator iterator(rawIterator);
    dc_descriptor_t *raw = nullptr;
    Descriptor descriptor;
    while (!descriptor && dc_iterator_next(rawIterator, &raw) == DC_STATUS_SUCCESS) {
        Descriptor candidate(raw);
        if (std::string(dc_descriptor_get_product(raw)) == "OSTC 3") {
            descriptor = std::move(candidate);
        }
    }
    Device device;
    if (openDevice(rawContext, descriptor.get(), image, device) != DC_STATUS_SUCCESS) {
        return 0;
    }
    struct Walk {
        dc_device_t *device;
        std::size_t samples;
    } walk{device.get(), 0};
    const auto onDive = [](const unsigned char *data, unsigned int size, const unsigned char *,
                           unsigned int, void *userdata) {
        auto *walk = static_cast<Walk *>(userdata);
        Parser parser;
        newParser(walk->device, data, size, parser);
        dc_parser_samples_foreach(
            parser.get(),
            [](dc_sample_type_t, SampleValue, void *count) {
                ++*static_cast<std::size_t *>(count);
            },
            &walk->samples);
        return 1;
    };
    dc_device_foreach(device.get(), onDive, &walk);
    return walk.samples;
}

TEST_F(Trace, DownloadsOnSeveralThreadsBesideAListingShareNothing) {
    dcsim_trace_start();
    const std::string image =
        writeImage(Json::parse(R"([{"generate": {"rows": 500, "maxdepth": 20.0}, "repeat": 20}])"));
    std::atomic<bool> failed{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&] {
            for (int round = 0; round < 5; ++round) {
                failed = failed || downloadAndParse(image) != 20 * 1000;
            }
        });
    }
    threads.emplace_back([&] {
        for (int round = 0; round < 50; ++round) {
            findDescriptor("Shearwater", "Perdix");
        }
    });
    for (auto &thread : threads) {
        thread.join();
    }
    dcsim_trace_stop();
    EXPECT_FALSE(failed);
    const std::string trace = traceText();
    std::size_t foreachLines = 0;
    for (std::size_t at = trace.find("dc_device_foreach -> 0\n"); at != std::string::npos;
         at = trace.find("dc_device_foreach -> 0\n", at + 1)) {
        ++foreachLines;
    }
    EXPECT_EQ(foreachLines, 20u) << "no trace line lost or torn";
}

}  // namespace
}  // namespace dcsim_test
