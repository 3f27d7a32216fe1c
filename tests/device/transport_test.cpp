// SPDX-License-Identifier: MIT
// Opening dive computers whatever the libdivecomputer release: the port text, the transports a
// model offers, and sample times that reach the profile in seconds.
#include "base/native_exception.h"
#include "device/device_connection.h"
#include "environment.h"
#include "optional_column_printing.h"
#include "simulated_dive_computer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace divebridge {
namespace {

using testing::imageWith;
using testing::ScopedCatalogue;
using testing::ScopedTrace;
using testing::testProduct;
using testing::testVendor;
using testing::writeTempFile;

// Downloads the image at `port` from the test model offering `transports` (catalogue JSON).
std::unique_ptr<DiveDownload> downloadWith(const char *transports, const char *port) {
    const ScopedCatalogue catalogue(std::string(R"([{"vendor": ")") + testVendor +
                                    R"(", "product": ")" + testProduct + R"(", "transport": )" +
                                    transports + "}]");
    const DiveComputer computer(testVendor, testProduct, port);
    DeviceConnection connection(computer);
    return connection.download();
}

TEST(Transports, SampleTimesReachTheProfileInSeconds) {
    const std::string image = writeTempFile(
        "times.json", imageWith(R"("dives": [{"samples": [{"time": 0}, {"depth": 1}, {"time": 10},
            {"depth": 2}, {"time": 3600}, {"depth": 3}, {"time": 4294967}, {"depth": 4}]}])"));
    const auto download = downloadWith(R"("serial")", image.c_str());
    ASSERT_EQ(download->dives.size(), 1u);
    EXPECT_EQ(download->dives[0].profile.times,
              (std::vector<OptionalFloat>{0.0f, 10.0f, 3600.0f, 4294967.0f}));
}

#if DC_VERSION_CHECK(0, 7, 0)

class StreamTransports : public ::testing::Test {
  protected:
    void TearDown() override {
        environment::unset("DCSIM_USB");
        environment::unset("DCSIM_BLUETOOTH");
        environment::unset("DCSIM_IRDA");
    }
    const std::string image =
        writeTempFile("image.json", imageWith(R"("dives": [{"divetime": 60}])"));
};

TEST_F(StreamTransports, APortTextOpensTheSerialPortBeforeOtherTransports) {
    EXPECT_EQ(downloadWith(R"(["serial", "bluetooth", "ble"])", image.c_str())->dives.size(), 1u);
}

TEST_F(StreamTransports, APortNameReachesTheSerialPortUnchanged) {
    for (const char *port : {"COM255", "\\\\.\\COM255", "/dev/ttyUSB255"}) {
        const ScopedTrace trace;
        EXPECT_THROW(downloadWith(R"(["serial", "bluetooth"])", port), CommunicationException);
        EXPECT_EQ(trace.lines("dc_serial_open"),
                  std::vector<std::string>{std::string("dc_serial_open ") + port + " -> -4"});
    }
}

TEST_F(StreamTransports, ABluetoothAddressOpensBluetooth) {
    environment::set("DCSIM_BLUETOOTH", "01:23:45:67:89:AB=" + image);
    EXPECT_EQ(downloadWith(R"(["serial", "bluetooth"])", "01:23:45:67:89:ab")->dives.size(), 1u);
}

// Only six colon-separated pairs of hex digits are an address, white space around them aside.
TEST_F(StreamTransports, OnlyAWholeBluetoothAddressOpensBluetooth) {
    environment::set("DCSIM_BLUETOOTH", "01:23:45:67:89:AB=" + image);
    EXPECT_EQ(downloadWith(R"(["serial", "bluetooth"])", " 01:23:45:67:89:aB\t")->dives.size(), 1u);
    for (const char *port : {"CAFE", "1:2:3:4:5:6", "0123456789AB"}) {
        const ScopedTrace trace;
        EXPECT_THROW(downloadWith(R"(["serial", "bluetooth"])", port), CommunicationException);
        EXPECT_EQ(trace.lines("dc_serial_open"),
                  std::vector<std::string>{std::string("dc_serial_open ") + port + " -> -4"});
    }
}

TEST_F(StreamTransports, UsbModelsOpenTheFirstMatchingDevice) {
    environment::set("DCSIM_USB", image);
    EXPECT_EQ(downloadWith(R"(["usbhid", "ble"])", nullptr)->dives.size(), 1u);
    EXPECT_EQ(downloadWith(R"("usb")", "ignored")->dives.size(), 1u);
    environment::unset("DCSIM_USB");
    try {
        downloadWith(R"("usb")", nullptr);
        FAIL() << "opened a USB model with no device attached";
    } catch (const CommunicationException &failure) {
        EXPECT_STREQ(failure.what(), "[-4]: Error opening device.");
    }
}

TEST_F(StreamTransports, IrdaTakesItsAddressFromThePortText) {
    environment::set("DCSIM_IRDA", "1234=" + image);
    EXPECT_EQ(downloadWith(R"("irda")", "1234")->dives.size(), 1u);
    try {
        downloadWith(R"("irda")", "not an address");
        FAIL() << "opened IrDA without an address";
    } catch (const CommunicationException &failure) {
        EXPECT_STREQ(failure.what(), "[-2]: Error opening device.");
    }
}

#ifndef DIVEBRIDGE_BLE
// Windows builds, and Linux builds without sdbus-c++, have no BLE stack: asked for BLE, they say
// so.
TEST_F(StreamTransports, ABuildWithoutBluetoothLowEnergySaysSo) {
    try {
        downloadWith(R"(["ble"])", "LE:01:23:45:67:89:AB");
        FAIL() << "opened a Bluetooth Low Energy model without a BLE stack";
    } catch (const CommunicationException &failure) {
        EXPECT_STREQ(failure.what(),
                     "[-1]: Error opening device: this build of the bridge has no Bluetooth Low "
                     "Energy (it is built on Linux, with BlueZ).");
    }
}
#endif

// A model with BLE alone reads every port text as a BLE one: a text that is no Bluetooth address
// says so before any Bluetooth is touched.
TEST_F(StreamTransports, ABluetoothLowEnergyModelTakesOnlyAnAddressOrNothing) {
    try {
        downloadWith(R"(["ble"])", image.c_str());
        FAIL() << "opened a Bluetooth Low Energy model on an image path";
    } catch (const CommunicationException &failure) {
        EXPECT_EQ(std::string(failure.what()),
                  "[-2]: Error opening device: '" + image + "' is not a Bluetooth address.");
    }
    for (const char *port : {"LE:F01122334456", "le:1:2:3:4:5:6", "LE:01:23:45:67:89:AB:CD"}) {
        try {
            downloadWith(R"(["serial", "ble"])", port);
            FAIL() << "took " << port << " for a Bluetooth address";
        } catch (const CommunicationException &failure) {
            EXPECT_EQ(std::string(failure.what()), std::string("[-2]: Error opening device: '") +
                                                       (port + 3) +
                                                       "' is not a Bluetooth address.");
        }
    }
}

#endif

}  // namespace
}  // namespace divebridge
