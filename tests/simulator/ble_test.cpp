// SPDX-License-Identifier: MIT
// From release 0.7 on: devices on custom BLE streams, which fetch their image from a peripheral
// played by the test (ble_peripheral.h); from 0.9 on the PIN and the access code.
#include "ble_peripheral.h"

#if DC_VERSION_CHECK(0, 7, 0)

#include <cstring>

namespace dcsim_test {
namespace {

constexpr unsigned int kAllEvents =
    DC_EVENT_WAITING | DC_EVENT_PROGRESS | DC_EVENT_DEVINFO | DC_EVENT_CLOCK;

class BleDownload : public SimulatorTest {
  protected:
    BleDownload() { descriptor_ = findDescriptor("Shearwater", "Perdix 2"); }

    // Transfer pacing is the file's own: over BLE the fetch is the transfer.
    const Json image = {
        {"vendor", "Shearwater"},
        {"product", "Perdix 2"},
        {"devinfo", {{"model", 11}, {"firmware", 93}, {"serial", 0x1A2B3C4D}}},
        {"clock", {{"devtime", 5000}, {"systime", 1700000000}}},
        {"waiting", true},
        {"transfer", {{"block_size", 64}}},
        {"dives",
         {{{"datetime", {{"year", 2024}, {"month", 6}, {"day", 2}}}, {"generate", {{"rows", 40}}}},
          {{"datetime", {{"year", 2024}, {"month", 6}, {"day", 1}}}, {"divetime", 600}}}}};
    const std::string text = image.dump();

    dc_status_t download(dc_device_t *device, DownloadLog &log, unsigned int mask = kAllEvents) {
        log.device = device;
        EXPECT_EQ(dc_device_set_events(device, mask, DownloadLog::onEvent, &log),
                  DC_STATUS_SUCCESS);
        return dc_device_foreach(device, DownloadLog::onDive, &log);
    }

    // Opens the peripheral and downloads it; answers the first failing status.
    dc_status_t downloadFrom(BlePeripheral &peripheral, DownloadLog &log) {
        Stream stream;
        DeviceHandle device;
        const dc_status_t opened =
            peripheral.open(context_.get(), descriptor_.get(), stream, device);
        return opened != DC_STATUS_SUCCESS ? opened : download(device.get(), log);
    }
};

std::vector<RecordedEvent> progressEvents(const DownloadLog &log, bool progress) {
    std::vector<RecordedEvent> chosen;
    for (const auto &event : log.events) {
        if ((event.type == DC_EVENT_PROGRESS) == progress) {
            chosen.push_back(event);
        }
    }
    return chosen;
}

// Notifications of 20 bytes, and of 600: longer than the backend's read buffer, so that the
// stream hands each over in several reads.
TEST_F(BleDownload, AWholeFetchPlaysTheImageBackAsTheFileWould) {
    const Device fromFile = openImage(writeFile("perdix.json", text));
    DownloadLog file;
    ASSERT_EQ(download(fromFile.get(), file), DC_STATUS_SUCCESS);
    ASSERT_EQ(file.dives.size(), 2u);

    for (const std::size_t notifySize : {std::size_t{20}, std::size_t{600}}) {
        BlePeripheral peripheral(text, notifySize);
        Stream stream;
        DeviceHandle device;
        dcsim_trace_start();
        ASSERT_EQ(peripheral.open(context_.get(), descriptor_.get(), stream, device),
                  DC_STATUS_SUCCESS);
        dcsim_trace_stop();
        EXPECT_EQ(traceText(), "dc_custom_open 32 -> 0\ndc_device_open Perdix 2 1A2B3C4D -> 0\n");
        EXPECT_GT(peripheral.timeout, 0);
        DownloadLog ble;
        ASSERT_EQ(download(device.get(), ble), DC_STATUS_SUCCESS) << notifySize;
        EXPECT_EQ(ble.dives, file.dives);
        EXPECT_EQ(ble.fingerprints, file.fingerprints);
        EXPECT_EQ(peripheral.writes, std::vector<Bytes>({{'H'}, {'I'}}));
        EXPECT_EQ(peripheral.splitReads > 0, notifySize > 256) << notifySize;

        // The fetch's progress comes first, one event per read; the playback adds none.
        const auto progress = progressEvents(ble, true);
        ASSERT_FALSE(progress.empty());
        ASSERT_EQ(ble.events.front().type, DC_EVENT_PROGRESS);
        unsigned int previous = 0;
        for (const auto &event : progress) {
            EXPECT_GT(event.progress.current, previous);
            EXPECT_EQ(event.progress.maximum, text.size());
            previous = event.progress.current;
        }
        EXPECT_EQ(previous, text.size());
        EXPECT_EQ(progress.size(), peripheral.reads - 2) << "the hello and size reads report none";
        const auto rest = progressEvents(ble, false);
        ASSERT_EQ(rest.size(), 3u);
        EXPECT_EQ(rest[0].type, DC_EVENT_WAITING);
        EXPECT_EQ(rest[1].devinfo.serial, 0x1A2B3C4Du);
        EXPECT_EQ(rest[2].clock.devtime, 5000u);

        EXPECT_EQ(dc_device_close(device.release()), DC_STATUS_SUCCESS);
        EXPECT_EQ(peripheral.closes, 0u) << "the device does not close its stream";
        stream.reset();
        EXPECT_EQ(peripheral.closes, 1u);
    }
}

int cancelAfterThreeProgressEvents(void *userdata) {
    return static_cast<const DownloadLog *>(userdata)->events.size() >= 3;
}

TEST_F(BleDownload, TheCancelCallbackStopsTheFetchBetweenNotifications) {
    BlePeripheral peripheral(text, 20);
    Stream stream;
    DeviceHandle device;
    ASSERT_EQ(peripheral.open(context_.get(), descriptor_.get(), stream, device),
              DC_STATUS_SUCCESS);
    DownloadLog log;
    ASSERT_EQ(dc_device_set_cancel(device.get(), cancelAfterThreeProgressEvents, &log),
              DC_STATUS_SUCCESS);
    EXPECT_EQ(download(device.get(), log, DC_EVENT_PROGRESS), DC_STATUS_CANCELLED);
    EXPECT_EQ(log.events.size(), 3u);
    EXPECT_TRUE(log.dives.empty());
    EXPECT_EQ(peripheral.reads, 2u + 3u) << "hello, size, three notifications, and no more";
}

// Silence answers TIMEOUT wherever it falls; an image the backend cannot use answers IO.
TEST_F(BleDownload, AFailedFetchAnswersWhyAndDeliversNothing) {
    BlePeripheral silent(text);
    silent.silent = true;
    DownloadLog log;
    EXPECT_EQ(downloadFrom(silent, log), DC_STATUS_TIMEOUT);

    BlePeripheral fallsSilent(text);
    fallsSilent.imageNotificationLimit = 2;
    EXPECT_EQ(downloadFrom(fallsSilent, log), DC_STATUS_TIMEOUT);
    EXPECT_EQ(log.events.size(), 2u) << "one progress event per notification that came";

    Json otherModel = image;
    otherModel["product"] = "Teric";
    for (const std::string &served : {otherModel.dump(), text.substr(0, text.size() - 1)}) {
        BlePeripheral peripheral(served);
        log = DownloadLog();
        EXPECT_EQ(downloadFrom(peripheral, log), DC_STATUS_IO) << served;
        EXPECT_TRUE(log.dives.empty());
    }
}

#if DC_VERSION_CHECK(0, 9, 0)
TEST_F(BleDownload, APinUnlocksThePeripheralOnceAndTheKeptCodeAfterwards) {
    BlePeripheral first(text);
    first.pin = "042917";
    first.typedPin = "042917";
    DownloadLog log;
    ASSERT_EQ(downloadFrom(first, log), DC_STATUS_SUCCESS);
    EXPECT_EQ(log.dives.size(), 2u);
    EXPECT_EQ(first.pinShown, 1u) << "no code kept: the zeros make it show its PIN";
    EXPECT_EQ(first.pinAsked, 1u);
    ASSERT_TRUE(first.keptCode);
    EXPECT_EQ(*first.keptCode, BlePeripheral::codeFor("042917"));

    BlePeripheral again(text);
    again.pin = first.pin;
    again.keptCode = first.keptCode;
    log = DownloadLog();
    ASSERT_EQ(downloadFrom(again, log), DC_STATUS_SUCCESS);
    EXPECT_EQ(log.dives.size(), 2u);
    EXPECT_EQ(again.pinShown, 0u);
    EXPECT_EQ(again.pinAsked, 0u);
}

TEST_F(BleDownload, ARefusedPinOrAFailedPinRequestFailsOpen) {
    const auto openWith = [&](std::optional<std::string> typed, dc_status_t pinStatus) {
        BlePeripheral peripheral(text);
        peripheral.pin = "042917";
        peripheral.typedPin = std::move(typed);
        peripheral.pinStatus = pinStatus;
        Stream stream;
        DeviceHandle device;
        const dc_status_t status =
            peripheral.open(context_.get(), descriptor_.get(), stream, device);
        EXPECT_EQ(device, nullptr);
        EXPECT_FALSE(peripheral.keptCode);
        return std::make_pair(status, peripheral.writes.size());
    };
    EXPECT_EQ(openWith("042918", DC_STATUS_SUCCESS),
              std::make_pair(DC_STATUS_NOACCESS, std::size_t{3}));
    EXPECT_EQ(openWith(std::nullopt, DC_STATUS_IO), std::make_pair(DC_STATUS_IO, std::size_t{2}))
        << "the failing request's status";
    EXPECT_EQ(openWith("42a", DC_STATUS_SUCCESS),
              std::make_pair(DC_STATUS_NOACCESS, std::size_t{2}))
        << "no digits, nothing sent";
}
#else
TEST_F(BleDownload, APinProtectedPeripheralNeedsTheRequestsOfRelease09) {
    BlePeripheral peripheral(text);
    peripheral.pin = "042917";
    DownloadLog log;
    EXPECT_EQ(downloadFrom(peripheral, log), DC_STATUS_UNSUPPORTED);
    EXPECT_EQ(peripheral.writes, std::vector<Bytes>({{'H'}}));
}
#endif

}  // namespace
}  // namespace dcsim_test

#endif
