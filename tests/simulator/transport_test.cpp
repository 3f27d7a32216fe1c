// SPDX-License-Identifier: MIT
// From release 0.7 on: devices opened on streams (serial, USB, USB HID, IrDA, Bluetooth); from 0.9
// on: parsers created with the dive's bytes, and sample times in milliseconds.
#include "environment.h"
#include "sim_test_support.h"

#if DC_VERSION_CHECK(0, 7, 0)

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace dcsim_test {
namespace {

class Transports : public SimulatorTest {
  protected:
    void TearDown() override {
        for (const char *variable : {"DCSIM_USB", "DCSIM_IRDA", "DCSIM_BLUETOOTH"}) {
            environment::unset(variable);
        }
        SimulatorTest::TearDown();
    }

    // An image of a model with one dive of this dive time.
    std::string writeModelImage(const std::string &name, const std::string &vendor,
                                const std::string &product, unsigned int divetime) const {
        const Json image = {
            {"vendor", vendor}, {"product", product}, {"dives", {{{"divetime", divetime}}}}};
        return writeFile(name, image.dump());
    }

    // Opens a device on the stream and answers the dive time of its only dive.
    unsigned int divetimeThrough(dc_iostream_t *stream, dc_descriptor_t *descriptor) {
        dc_device_t *raw = nullptr;
        EXPECT_EQ(dc_device_open(&raw, context_.get(), descriptor, stream), DC_STATUS_SUCCESS);
        const DeviceHandle device(raw);
        DownloadLog log;
        log.device = raw;
        EXPECT_EQ(dc_device_foreach(raw, DownloadLog::onDive, &log), DC_STATUS_SUCCESS);
        if (log.dives.size() != 1) {
            ADD_FAILURE() << log.dives.size() << " dives";
            return 0;
        }
        Parser parser;
        EXPECT_EQ(newParser(raw, log.dives[0].data(), log.dives[0].size(), parser),
                  DC_STATUS_SUCCESS);
        unsigned int divetime = 0;
        EXPECT_EQ(dc_parser_get_field(parser.get(), DC_FIELD_DIVETIME, 0, &divetime),
                  DC_STATUS_SUCCESS);
        return divetime;
    }

    std::string readJournal() const {
        std::ifstream file(path("journal.log"));
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }
};

TEST_F(Transports, TheStreamIsOpenedBeforeTheDeviceAndClosedAfterIt) {
    const std::string image = writeImage(Json::array(), {{"journal", path("journal.log")}});
    dcsim_trace_start();
    dc_iostream_t *stream = nullptr;
    ASSERT_EQ(dc_serial_open(&stream, context_.get(), image.c_str()), DC_STATUS_SUCCESS);
    EXPECT_EQ(dcsim_live_handles(), 3u) << "a stream is a handle";
    EXPECT_EQ(readJournal(), "") << "the device is opened by dc_device_open, not the stream";
    dc_device_t *device = nullptr;
    ASSERT_EQ(dc_device_open(&device, context_.get(), descriptor_.get(), stream),
              DC_STATUS_SUCCESS);
    EXPECT_EQ(dcsim_live_handles(), 4u);
    EXPECT_EQ(dc_device_close(device), DC_STATUS_SUCCESS);
    EXPECT_EQ(dcsim_live_handles(), 3u) << "the device does not own its stream";
    EXPECT_EQ(dc_iostream_close(stream), DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_iostream_close(stream), DC_STATUS_INVALIDARGS) << "closed twice";
    EXPECT_EQ(dc_iostream_close(nullptr), DC_STATUS_SUCCESS);
    dcsim_trace_stop();
    EXPECT_EQ(dcsim_live_handles(), 2u);
    EXPECT_EQ(readJournal(), "open\nclose\n");
    EXPECT_EQ(traceText(), "dc_serial_open " + image + " -> 0\n" +
                               "dc_device_open -> 0\n"
                               "dc_device_close -> 0\n"
                               "dc_iostream_close -> 0\n"
                               "dc_iostream_close -> -2\n"
                               "dc_iostream_close -> 0\n");
}

TEST_F(Transports, AStreamClosedBeforeItsDeviceLeavesTheDeviceWithoutTransport) {
    dc_iostream_t *stream = nullptr;
    ASSERT_EQ(dc_serial_open(&stream, nullptr, writeImage(Json::array({Json::object()})).c_str()),
              DC_STATUS_SUCCESS)
        << "the context is optional for a stream";
    dc_device_t *device = nullptr;
    ASSERT_EQ(dc_device_open(&device, context_.get(), descriptor_.get(), stream),
              DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_iostream_close(stream), DC_STATUS_SUCCESS);
    DownloadLog log;
    log.device = device;
    EXPECT_EQ(dc_device_foreach(device, DownloadLog::onDive, &log), DC_STATUS_IO);
    EXPECT_TRUE(log.dives.empty());
    EXPECT_EQ(dc_device_close(device), DC_STATUS_IO);
    EXPECT_EQ(dcsim_live_handles(), 2u) << "both released all the same";
}

TEST_F(Transports, TheStreamFailsLikeAPortAndTheDeviceChecksTheModel) {
    dc_iostream_t *stream = reinterpret_cast<dc_iostream_t *>(&stream);
    EXPECT_EQ(dc_serial_open(&stream, context_.get(), path("missing.json").c_str()),
              DC_STATUS_NODEVICE);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(dc_serial_open(&stream, context_.get(), writeFile("bad.json", "{").c_str()),
              DC_STATUS_IO);
    EXPECT_EQ(dc_serial_open(&stream, context_.get(), nullptr), DC_STATUS_INVALIDARGS);
    const std::string image = writeImage(Json::array());
    EXPECT_EQ(dc_serial_open(nullptr, context_.get(), image.c_str()), DC_STATUS_INVALIDARGS);
    EXPECT_EQ(
        dc_serial_open(&stream, reinterpret_cast<dc_context_t *>(descriptor_.get()), image.c_str()),
        DC_STATUS_INVALIDARGS)
        << "a descriptor is no context";

    dc_device_t *device = reinterpret_cast<dc_device_t *>(&device);
    EXPECT_EQ(dc_device_open(&device, context_.get(), descriptor_.get(), nullptr),
              DC_STATUS_INVALIDARGS);
    EXPECT_EQ(device, nullptr);
    ASSERT_EQ(dc_serial_open(&stream, context_.get(), image.c_str()), DC_STATUS_SUCCESS);
    const Stream owned(stream);
    const Descriptor vyper = findDescriptor("Suunto", "Vyper");
    EXPECT_EQ(dc_device_open(&device, context_.get(), vyper.get(), stream), DC_STATUS_IO);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(dc_device_open(&device, nullptr, descriptor_.get(), stream), DC_STATUS_INVALIDARGS);
    EXPECT_EQ(dc_device_open(&device, context_.get(), descriptor_.get(),
                             reinterpret_cast<dc_iostream_t *>(context_.get())),
              DC_STATUS_INVALIDARGS)
        << "a context is no stream";
    ASSERT_EQ(dc_device_open(&device, context_.get(), descriptor_.get(), stream), DC_STATUS_SUCCESS)
        << "the stream stays usable after a refused model";
    EXPECT_EQ(dc_device_close(device), DC_STATUS_SUCCESS);
}

TEST_F(Transports, AnOpenFaultHitsTheDeviceNotTheStream) {
    const std::string image =
        writeImage(Json::array(), {{"journal", path("journal.log")}, {"faults", {{"open", -5}}}});
    dc_iostream_t *stream = nullptr;
    ASSERT_EQ(dc_serial_open(&stream, context_.get(), image.c_str()), DC_STATUS_SUCCESS);
    const Stream owned(stream);
    dc_device_t *device = nullptr;
    EXPECT_EQ(dc_device_open(&device, context_.get(), descriptor_.get(), stream),
              DC_STATUS_NOACCESS);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(dcsim_live_handles(), 3u);
    EXPECT_EQ(readJournal(), "open\n");
}

TEST_F(Transports, UsbIteratorsListTheImagesOfDcsimUsbThatEmulateTheModel) {
    const std::string first = writeImage({{{"divetime", 11}}}, Json::object(), "first.json");
    const std::string other = writeModelImage("other.json", "Suunto", "Vyper", 0);
    const std::string second = writeImage({{{"divetime", 22}}}, Json::object(), "second.json");
    const std::string steel = writeModelImage("steel.json", "Suunto", "EON Steel", 33);

    const auto listUsb = [&](dc_descriptor_t *descriptor) {
        dc_iterator_t *raw = nullptr;
        EXPECT_EQ(dc_usb_iterator_new(&raw, context_.get(), descriptor), DC_STATUS_SUCCESS);
        const Iterator iterator(raw);
        std::vector<unsigned int> divetimes;
        dc_usb_device_t *device = nullptr;
        while (dc_iterator_next(raw, &device) == DC_STATUS_SUCCESS) {
            dc_iostream_t *stream = nullptr;
            EXPECT_EQ(dc_usb_open(&stream, context_.get(), device), DC_STATUS_SUCCESS);
            dc_usb_device_free(device);
            const Stream owned(stream);
            divetimes.push_back(descriptor != nullptr ? divetimeThrough(stream, descriptor) : 0);
        }
        EXPECT_EQ(device, nullptr);
        return divetimes;
    };
    EXPECT_TRUE(listUsb(descriptor_.get()).empty()) << "DCSIM_USB unset: no device";

    // Paths are separated as in PATH; Windows' own contain ':' after the drive letter.
#ifdef _WIN32
    const std::string separator = ";";
#else
    const std::string separator = ":";
#endif
    environment::set("DCSIM_USB", first + separator + other + separator + separator +
                                      path("missing.json") + separator + second);
    EXPECT_EQ(listUsb(descriptor_.get()), std::vector<unsigned int>({11, 22}));
    EXPECT_EQ(listUsb(nullptr).size(), 3u) << "without a descriptor every image that loads";

    environment::set("DCSIM_USB", steel + separator + first);
    const Descriptor eonSteel = findDescriptor("Suunto", "EON Steel");
    dc_iterator_t *raw = nullptr;
    ASSERT_EQ(dc_usbhid_iterator_new(&raw, nullptr, eonSteel.get()), DC_STATUS_SUCCESS);
    const Iterator iterator(raw);
    dc_usbhid_device_t *device = nullptr;
    ASSERT_EQ(dc_iterator_next(raw, &device), DC_STATUS_SUCCESS);
    EXPECT_EQ(dcsim_live_handles(), 5u) << "the USB HID device and the iterator are handles";
    dc_iostream_t *stream = nullptr;
    ASSERT_EQ(dc_usbhid_open(&stream, context_.get(), device), DC_STATUS_SUCCESS);
    const Stream owned(stream);
    EXPECT_EQ(divetimeThrough(stream, eonSteel.get()), 33u);
    dc_usbhid_device_free(device);
    EXPECT_EQ(dcsim_live_handles(), 5u) << "the stream outlives the USB HID device";
    EXPECT_EQ(dc_iterator_next(raw, &device), DC_STATUS_DONE);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(dc_usbhid_open(&stream, context_.get(), nullptr), DC_STATUS_INVALIDARGS);
    EXPECT_EQ(dc_usb_iterator_new(&raw, context_.get(),
                                  reinterpret_cast<dc_descriptor_t *>(context_.get())),
              DC_STATUS_INVALIDARGS);
}

TEST_F(Transports, Str2addrReadsSixHexBytesAndAnswersZeroForAnythingElse) {
    EXPECT_EQ(dc_bluetooth_str2addr("01:23:45:67:89:AB"), 0x0123456789ABull);
    EXPECT_EQ(dc_bluetooth_str2addr("fe:dc:ba:98:76:54"), 0xFEDCBA987654ull);
    EXPECT_EQ(dc_bluetooth_str2addr("00:00:00:00:00:01"), 1u);
    for (const char *malformed :
         {"", "01:23:45:67:89", "01:23:45:67:89:AB:CD", "01-23-45-67-89-AB", "0G:23:45:67:89:AB",
          "1:23:45:67:89:AB:", " 01:23:45:67:89:A", "01:23:45:67:89:AB "}) {
        EXPECT_EQ(dc_bluetooth_str2addr(malformed), 0u) << '"' << malformed << '"';
    }
    EXPECT_EQ(dc_bluetooth_str2addr(nullptr), 0u);
}

TEST_F(Transports, BluetoothAndIrdaAddressesAreMappedToImages) {
    const std::string perdix = writeImage({{{"divetime", 44}}}, Json::object(), "perdix.json");
    const std::string other = writeImage({{{"divetime", 55}}}, Json::object(), "other.json");
    dc_iostream_t *stream = nullptr;
    const dc_bluetooth_address_t address = dc_bluetooth_str2addr("01:23:45:67:89:AB");
    EXPECT_EQ(dc_bluetooth_open(&stream, context_.get(), address, 1), DC_STATUS_NODEVICE)
        << "DCSIM_BLUETOOTH unset";

    environment::set("DCSIM_BLUETOOTH",
                     "00:11:22:33:44:55=" + other + ";01:23:45:67:89:ab=" + perdix);
    dcsim_trace_start();
    ASSERT_EQ(dc_bluetooth_open(&stream, context_.get(), address, 1), DC_STATUS_SUCCESS);
    dcsim_trace_stop();
    EXPECT_EQ(traceText(), "dc_bluetooth_open 01:23:45:67:89:AB 1 -> 0\n");
    Stream owned(stream);
    EXPECT_EQ(divetimeThrough(stream, descriptor_.get()), 44u);
    EXPECT_EQ(dc_bluetooth_open(&stream, context_.get(), address + 1, 1), DC_STATUS_NODEVICE);
    EXPECT_EQ(stream, nullptr);
    environment::set("DCSIM_BLUETOOTH", "01:23:45:67:89=" + perdix);
    EXPECT_EQ(dc_bluetooth_open(&stream, context_.get(), address, 1), DC_STATUS_IO)
        << "a malformed address in the variable";

    environment::set("DCSIM_IRDA", "7=" + other + ";4294967295=" + perdix);
    ASSERT_EQ(dc_irda_open(&stream, context_.get(), 4294967295u, 1), DC_STATUS_SUCCESS);
    owned.reset(stream);
    EXPECT_EQ(divetimeThrough(stream, descriptor_.get()), 44u);
    ASSERT_EQ(dc_irda_open(&stream, nullptr, 7, 0), DC_STATUS_SUCCESS);
    owned.reset(stream);
    EXPECT_EQ(divetimeThrough(stream, descriptor_.get()), 55u);
    EXPECT_EQ(dc_irda_open(&stream, context_.get(), 8, 1), DC_STATUS_NODEVICE);
    for (const std::string &malformed :
         std::vector<std::string>{"x=" + perdix, "7" + perdix, "7=", "4294967296=" + perdix}) {
        environment::set("DCSIM_IRDA", malformed);
        EXPECT_EQ(dc_irda_open(&stream, context_.get(), 7, 1), DC_STATUS_IO) << malformed;
    }
    environment::set("DCSIM_IRDA", "7=" + path("missing.json"));
    EXPECT_EQ(dc_irda_open(&stream, context_.get(), 7, 1), DC_STATUS_NODEVICE)
        << "a listed image that does not exist";
}

#if DC_VERSION_CHECK(0, 9, 0)
TEST_F(Transports, SampleTimesAreMillisecondsUpToWhatThirtyTwoBitsHold) {
    const ParsedDive dive = parse({{"samples", {{{"time", 0}}, {{"time", 1}}, {{"time", 4294967}}}},
                                   {"generate", {{"rows", 2}, {"interval", 30}}}});
    std::vector<unsigned int> times;
    for (const auto &sample : collectSamples(dive.parser.get(), DC_STATUS_SUCCESS)) {
        if (sample.type == DC_SAMPLE_TIME) {
            times.push_back(sample.value.time);
        }
    }
    EXPECT_EQ(times, std::vector<unsigned int>({0, 1000, 4294967000u, 0, 30000}));

    unsigned char *bytes = nullptr;
    unsigned int size = 0;
    EXPECT_EQ(dcsim_encode_dive(R"({"samples": [{"time": 4294968}]})", &bytes, &size),
              DC_STATUS_DATAFORMAT);
    EXPECT_EQ(dcsim_encode_dive(R"({"generate": {"rows": 2, "interval": 4294968}})", &bytes, &size),
              DC_STATUS_DATAFORMAT);

    // The same bytes with the time raised past the limit are refused by the parser too.
    Bytes raised = encode({{"samples", {{{"time", 4294967}}}}});
    const unsigned char limit[4] = {0x37, 0x89, 0x41, 0x00};  // 4294967, little endian
    const auto at = std::search(raised.begin(), raised.end(), limit, limit + 4);
    ASSERT_NE(at, raised.end());
    *at = 0x38;
    Parser parser;
    EXPECT_EQ(newParser(dive.device.get(), raised.data(), raised.size(), parser),
              DC_STATUS_DATAFORMAT);
    EXPECT_EQ(parser, nullptr);
}

TEST_F(Transports, ParserNewTakesTheBytesAndAnswersTheirFaults) {
    const Device device = openImage(writeImage(
        {{{"divetime", 1}, {"faults", {{"parser_new", -8}}}}, {{"faults", {{"set_data", -7}}}}}));
    struct Seen {
        dc_device_t *device;
        std::vector<dc_status_t> statuses;
        unsigned int livePending = 0;
    } seen{device.get(), {}};
    const auto onDive = [](const unsigned char *data, unsigned int size, const unsigned char *,
                           unsigned int, void *userdata) {
        auto *seen = static_cast<Seen *>(userdata);
        const Bytes garbage(size, 0xEE);
        dc_parser_t *parser = reinterpret_cast<dc_parser_t *>(seen);
        // The parser_new fault comes before the bytes are looked at.
        seen->statuses.push_back(dc_parser_new(&parser, seen->device, garbage.data(), size));
        seen->statuses.push_back(dc_parser_new(&parser, seen->device, data, size));
        seen->livePending += parser != nullptr;
        dc_parser_destroy(parser);
        return 1;
    };
    ASSERT_EQ(dc_device_foreach(device.get(), onDive, &seen), DC_STATUS_SUCCESS);
    EXPECT_EQ(seen.statuses, std::vector<dc_status_t>({DC_STATUS_PROTOCOL, DC_STATUS_PROTOCOL,
                                                       DC_STATUS_DATAFORMAT, DC_STATUS_TIMEOUT}));
    EXPECT_EQ(seen.livePending, 0u) << "a refused dive leaves no parser";

    const Bytes bytes =
        encode({{"gasmixes", {{{"oxygen", 0.32}}}},
                {"tanks", {{{"volume", 11.1}}}},
                {"samples", {{{"type", DC_SAMPLE_PPO2}}, {{"type", DC_SAMPLE_DECO}}}}});
    Parser parser;
    dcsim_trace_start();
    ASSERT_EQ(newParser(device.get(), bytes.data(), bytes.size(), parser), DC_STATUS_SUCCESS);
    dcsim_trace_stop();
    EXPECT_EQ(traceText(), "dc_parser_new " + std::to_string(bytes.size()) + " -> 0\n");
    dc_gasmix_t mix;
    std::memset(&mix, 0xFF, sizeof mix);
    ASSERT_EQ(dc_parser_get_field(parser.get(), DC_FIELD_GASMIX, 0, &mix), DC_STATUS_SUCCESS);
    EXPECT_EQ(mix.usage, DC_USAGE_NONE);
    dc_tank_t tank;
    std::memset(&tank, 0xFF, sizeof tank);
    ASSERT_EQ(dc_parser_get_field(parser.get(), DC_FIELD_TANK, 0, &tank), DC_STATUS_SUCCESS);
    EXPECT_EQ(tank.usage, DC_USAGE_NONE);
    EXPECT_EQ(tank.volume, 11.1);
    const auto samples = collectSamples(parser.get(), DC_STATUS_SUCCESS);
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0].value.ppo2.sensor, 0u);
    EXPECT_EQ(samples[0].value.ppo2.value, 0.0);
    EXPECT_EQ(samples[1].value.deco.tts, 0u);
}
#endif

}  // namespace
}  // namespace dcsim_test

#endif
