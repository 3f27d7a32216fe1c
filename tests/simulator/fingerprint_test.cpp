// SPDX-License-Identifier: MIT
// Fingerprints: each dive's, and downloads that stop at the first dive the device's fingerprint
// knows, in every transfer mode and when it is set from inside the devinfo event.
#include "sim_test_support.h"

#include <cstddef>

namespace dcsim_test {
namespace {

constexpr unsigned int kBlockSize = 64;

// Four dives, newest first, as dive computers list them.
Json datedDives() {
    Json dives = Json::array();
    for (int day : {9, 7, 4, 1}) {
        const Json datetime = {{"year", 2024}, {"month", 3},    {"day", day},
                               {"hour", 10},   {"minute", day}, {"second", 30}};
        dives.push_back({{"datetime", datetime}, {"generate", {{"rows", 10 * day}}}});
    }
    return dives;
}

class Fingerprints : public SimulatorTest {
  protected:
    const Json dives = datedDives();
    // The third dive's start: the first dive an earlier download already had.
    const Bytes known = {0xE8, 0x07, 3, 4, 10, 4, 30};

    static dc_status_t download(dc_device_t *device, DownloadLog &log) {
        log.device = device;
        EXPECT_EQ(dc_device_set_events(device, DC_EVENT_PROGRESS | DC_EVENT_DEVINFO,
                                       DownloadLog::onEvent, &log),
                  DC_STATUS_SUCCESS);
        return dc_device_foreach(device, DownloadLog::onDive, &log);
    }

    std::vector<Bytes> newDives() const { return {encode(dives[0]), encode(dives[1])}; }
};

unsigned int totalSize(const std::vector<Bytes> &dives) {
    std::size_t total = 0;
    for (const auto &dive : dives) {
        total += dive.size();
    }
    return static_cast<unsigned int>(total);
}

TEST_F(Fingerprints, EachDiveCarriesItsStartAndTheDownloadStopsAtTheKnownOneInEveryMode) {
    const Json transfers[] = {nullptr,
                              {{"block_size", kBlockSize}},
                              {{"block_size", kBlockSize}, {"memory_first", true}}};
    const std::vector<Bytes> expected = newDives();
    const unsigned int newBytes = totalSize(expected);
    std::size_t blocks = 0;
    for (const auto &dive : expected) {
        blocks += (dive.size() + kBlockSize - 1) / kBlockSize;
    }
    for (const Json &transfer : transfers) {
        const Json extra = transfer.is_null() ? Json::object() : Json{{"transfer", transfer}};
        const Device device = openImage(writeImage(dives, extra));
        DownloadLog all;
        ASSERT_EQ(download(device.get(), all), DC_STATUS_SUCCESS);
        ASSERT_EQ(all.fingerprints.size(), 4u);
        EXPECT_EQ(all.fingerprints[2], known);

        ASSERT_EQ(dc_device_set_fingerprint(device.get(), known.data(), known.size()),
                  DC_STATUS_SUCCESS);
        DownloadLog log;
        ASSERT_EQ(download(device.get(), log), DC_STATUS_SUCCESS) << transfer;
        EXPECT_EQ(log.dives, expected) << transfer;
        // Only the new dives move: the first event, one per block or dive, and the last.
        const std::size_t steps = transfer.is_null() ? expected.size() : blocks;
        EXPECT_EQ(log.events.size(), 1 + steps + 1) << transfer;
        for (const auto &event : log.events) {
            EXPECT_EQ(event.progress.maximum, newBytes) << transfer;
        }
        EXPECT_EQ(log.events.back().progress.current, newBytes);
    }
}

TEST_F(Fingerprints, ARefusedFingerprintChangesNothingAndSizeZeroClearsIt) {
    const Device device = openImage(writeImage(dives));
    ASSERT_EQ(dc_device_set_fingerprint(device.get(), known.data(), known.size()),
              DC_STATUS_SUCCESS);
    EXPECT_EQ(dc_device_set_fingerprint(device.get(), known.data(), 4), DC_STATUS_INVALIDARGS);
    EXPECT_EQ(dc_device_set_fingerprint(device.get(), nullptr, 7), DC_STATUS_INVALIDARGS);
    EXPECT_EQ(dc_device_set_fingerprint(nullptr, known.data(), 7), DC_STATUS_INVALIDARGS);
    DownloadLog stopped;
    ASSERT_EQ(download(device.get(), stopped), DC_STATUS_SUCCESS);
    EXPECT_EQ(stopped.dives.size(), 2u) << "the fingerprint set first still holds";

    ASSERT_EQ(dc_device_set_fingerprint(device.get(), nullptr, 0), DC_STATUS_SUCCESS);
    DownloadLog all;
    ASSERT_EQ(download(device.get(), all), DC_STATUS_SUCCESS);
    EXPECT_EQ(all.dives.size(), 4u);
}

// As an application does once it knows the serial number: it looks the fingerprint up.
struct FingerprintLookup {
    DownloadLog log;
    Bytes fingerprint;

    static void onEvent(dc_device_t *device, dc_event_type_t event, const void *data,
                        void *userdata) {
        auto *self = static_cast<FingerprintLookup *>(userdata);
        if (event == DC_EVENT_DEVINFO) {
            EXPECT_EQ(
                dc_device_set_fingerprint(device, self->fingerprint.data(),
                                          static_cast<unsigned int>(self->fingerprint.size())),
                DC_STATUS_SUCCESS);
        }
        DownloadLog::onEvent(device, event, data, &self->log);
    }
};

TEST_F(Fingerprints, AFingerprintSetInTheDevinfoEventHoldsForThatDownload) {
    const Device device = openImage(writeImage(dives, {{"devinfo", {{"serial", 77}}}}));
    FingerprintLookup lookup{{}, known};
    lookup.log.device = device.get();
    ASSERT_EQ(dc_device_set_events(device.get(), DC_EVENT_PROGRESS | DC_EVENT_DEVINFO,
                                   FingerprintLookup::onEvent, &lookup),
              DC_STATUS_SUCCESS);
    ASSERT_EQ(dc_device_foreach(device.get(), DownloadLog::onDive, &lookup.log), DC_STATUS_SUCCESS);
    EXPECT_EQ(lookup.log.dives, newDives());
    const auto &events = lookup.log.events;
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[1].type, DC_EVENT_DEVINFO);
    EXPECT_GT(events[0].progress.maximum, totalSize(newDives()))
        << "before the devinfo event every dive was new";
    for (std::size_t i = 2; i < events.size(); ++i) {
        EXPECT_EQ(events[i].progress.maximum, totalSize(newDives()));
    }
}

}  // namespace
}  // namespace dcsim_test
