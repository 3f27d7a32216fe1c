// SPDX-License-Identifier: MIT
// Opening images and playing a download back: events, dives, cancellation and faults.
#include "sim_test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

namespace dcsim_test {
namespace {

class DeviceImage : public SimulatorTest {
  protected:
    dc_status_t download(dc_device_t *device, DownloadLog &log,
                         unsigned int mask = DC_EVENT_WAITING | DC_EVENT_PROGRESS |
                                             DC_EVENT_DEVINFO | DC_EVENT_CLOCK) {
        log.device = device;
        EXPECT_EQ(dc_device_set_events(device, mask, DownloadLog::onEvent, &log),
                  DC_STATUS_SUCCESS);
        return dc_device_foreach(device, DownloadLog::onDive, &log);
    }

    std::string readJournal() const {
        std::ifstream file(path("journal.log"));
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }
};

TEST_F(DeviceImage, OpenFailsLikeASerialPort) {
    openImage(path("missing.json"), DC_STATUS_NODEVICE);
    openImage(path("missing-dir/image.json"), DC_STATUS_NODEVICE);
    openImage(writeFile("garbage.json", "{\"vendor\": "), DC_STATUS_IO);
    openImage(writeFile("array.json", "[]"), DC_STATUS_IO);
    openImage(path(""), DC_STATUS_IO);  // a directory
    openImage(writeFile("unknown.json", R"({"vendor": "Heinrichs Weikamp", "product": "OSTC 3",
                                            "colour": "blue"})"),
              DC_STATUS_IO);
    const Json wrongDive = {{{"divetime", "long"}}};
    openImage(writeImage(wrongDive, Json::object(), "wrong-dive.json"), DC_STATUS_IO);
}

// A port that is not a regular file, or a file over the size limit, is refused before it is read:
// reading a device such as /dev/zero or a FIFO without a writer would never end. Each says why on
// standard error. (Windows does not open a directory as a file: that fails as in OpenFails...)
TEST_F(DeviceImage, WhatCannotBeAnImageIsRefusedBeforeItIsRead) {
    const std::string sparse = writeImage(Json::array(), Json::object(), "sparse.json");
    std::filesystem::resize_file(sparse, (std::uintmax_t{64} << 20) + 1);
    const std::string notRegular = "not a regular file";
    std::vector<std::pair<std::string, std::string>> refused = {{sparse, "larger than"}};
#ifdef _WIN32
    refused.emplace_back("NUL", notRegular);
#else
    const std::string fifo = path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    refused.emplace_back(path("."), notRegular);
    refused.emplace_back("/dev/zero", notRegular);
    refused.emplace_back(fifo, notRegular);
#endif
    for (const auto &[port, reason] : refused) {
        ::testing::internal::CaptureStderr();
        openImage(port, DC_STATUS_IO);
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("dcsim: " + port + ": " + reason), std::string::npos) << said;
    }
}

TEST_F(DeviceImage, AnImageOfAnotherModelDoesNotOpen) {
    openImage(writeFile("other.json", R"({"vendor": "Heinrichs Weikamp", "product": "OSTC 2N"})"),
              DC_STATUS_IO);
    openImage(writeFile("case.json", R"({"vendor": "heinrichs weikamp", "product": "OSTC 3"})"),
              DC_STATUS_IO);
}

#ifdef _WIN32
TEST_F(DeviceImage, AnUnreadableImageAnswersNoAccess) {
    // A file held without sharing cannot be read, as a serial port in use cannot be opened (and
    // Wine does not enforce the access lists that would make a file unreadable).
    const std::string image = writeImage(Json::array());
    const std::unique_ptr<void, decltype(&CloseHandle)> held(
        CreateFileA(image.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
        CloseHandle);
    ASSERT_NE(held.get(), INVALID_HANDLE_VALUE);
    openImage(image, DC_STATUS_NOACCESS);
}
#else
TEST_F(DeviceImage, AnUnreadableImageAnswersNoAccess) {
    std::string image = writeImage(Json::array());
    ASSERT_EQ(chmod(image.c_str(), 0), 0);
    const int fd = open(image.c_str(), O_RDONLY);
    if (fd >= 0) {
        close(fd);
        // Permissions do not stop this user; a write-only kernel file still refuses reading.
        image = "/sys/bus/pci/rescan";
        if (access(image.c_str(), F_OK) != 0) {
            GTEST_SKIP() << "no file this user cannot read";
        }
    }
    openImage(image, DC_STATUS_NOACCESS);
}
#endif

// Windows takes the path as UTF-16 converted from UTF-8, not in its ANSI code page.
TEST_F(DeviceImage, AnImagePathIsUtf8) {
    const std::string image = path("") + "plong\xC3\xA9-\xE6\xBD\x9C\xE6\xB0\xB4.json";
    const Json content = {
        {"vendor", "Heinrichs Weikamp"}, {"product", "OSTC 3"}, {"dives", {Json::object()}}};
    std::ofstream(std::filesystem::u8path(image), std::ios::binary) << content.dump();
    const Device device = openImage(image);
    DownloadLog log;
    EXPECT_EQ(download(device.get(), log), DC_STATUS_SUCCESS);
    EXPECT_EQ(log.dives.size(), 1u);
}

#if !DC_VERSION_CHECK(0, 7, 0)
TEST_F(DeviceImage, OpenChecksItsArguments) {
    const std::string image = writeImage(Json::array());
    dc_device_t *device = reinterpret_cast<dc_device_t *>(&device);
    EXPECT_EQ(dc_device_open(&device, context_.get(), descriptor_.get(), nullptr),
              DC_STATUS_INVALIDARGS);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(dc_device_open(&device, nullptr, descriptor_.get(), image.c_str()),
              DC_STATUS_INVALIDARGS);
    EXPECT_EQ(dc_device_open(&device, context_.get(), nullptr, image.c_str()),
              DC_STATUS_INVALIDARGS);
    EXPECT_EQ(dc_device_open(nullptr, context_.get(), descriptor_.get(), image.c_str()),
              DC_STATUS_INVALIDARGS);
    EXPECT_EQ(dc_device_open(&device, reinterpret_cast<dc_context_t *>(descriptor_.get()),
                             descriptor_.get(), image.c_str()),
              DC_STATUS_INVALIDARGS)
        << "a descriptor is no context";
    EXPECT_EQ(dc_device_foreach(nullptr, nullptr, nullptr), DC_STATUS_INVALIDARGS);
    EXPECT_EQ(dc_device_close(nullptr), DC_STATUS_SUCCESS);
}
#endif

TEST_F(DeviceImage, ForeachSendsTheEventsInOrderAndProgressCountsTheBytes) {
    const Json image = {{"devinfo", {{"model", 10}, {"firmware", 110}, {"serial", 4294967295u}}},
                        {"clock", {{"devtime", 123456}, {"systime", -1700000000000LL}}},
                        {"waiting", true}};
    const Json dated = {{"datetime", {{"year", 2024}, {"month", 5}, {"day", 1}}}};
    const Device device = openImage(writeImage({{{"divetime", 1}}, dated}, image));
    DownloadLog log;
    ASSERT_EQ(download(device.get(), log), DC_STATUS_SUCCESS);
    ASSERT_EQ(log.dives.size(), 2u);
    const unsigned int first = log.dives[0].size();
    const unsigned int total = first + log.dives[1].size();

    std::vector<dc_event_type_t> kinds;
    for (const auto &event : log.events) {
        kinds.push_back(event.type);
    }
    EXPECT_EQ(kinds, std::vector<dc_event_type_t>(
                         {DC_EVENT_WAITING, DC_EVENT_PROGRESS, DC_EVENT_DEVINFO, DC_EVENT_CLOCK,
                          DC_EVENT_PROGRESS, DC_EVENT_PROGRESS, DC_EVENT_PROGRESS}));
    const auto progress = [&](std::size_t i) {
        return std::make_pair(log.events[i].progress.current, log.events[i].progress.maximum);
    };
    EXPECT_EQ(progress(1), std::make_pair(0u, total));
    EXPECT_EQ(progress(4), std::make_pair(first, total));
    EXPECT_EQ(progress(5), std::make_pair(total, total));
    EXPECT_EQ(progress(6), std::make_pair(total, total));
    EXPECT_EQ(log.events[2].devinfo.serial, 4294967295u);
    EXPECT_EQ(log.events[2].devinfo.firmware, 110u);
    EXPECT_EQ(log.events[3].clock.devtime, 123456u);
    EXPECT_EQ(log.events[3].clock.systime, -1700000000000LL);
    EXPECT_EQ(log.dives[0], encode({{"divetime", 1}})) << "the dive callback gets the dive's bytes";
    EXPECT_NE(log.fingerprints[0], log.fingerprints[1]);
}

TEST_F(DeviceImage, TheEventMaskAndAMissingCallbackSilenceEvents) {
    const std::string image =
        writeImage(Json::array({Json::object()}),
                   {{"devinfo", {{"serial", 1}}}, {"waiting", true}, {"progress_maximum", 0}});
    const Device device = openImage(image);
    DownloadLog log;
    ASSERT_EQ(download(device.get(), log, DC_EVENT_DEVINFO | DC_EVENT_PROGRESS), DC_STATUS_SUCCESS);
    ASSERT_EQ(log.events.size(), 4u) << "no waiting, no clock in the image";
    EXPECT_EQ(log.events[1].type, DC_EVENT_DEVINFO);
    EXPECT_EQ(log.events[2].progress.maximum, 0u) << "progress_maximum overrides the total";
    EXPECT_GT(log.events[2].progress.current, 0u);

    ASSERT_EQ(dc_device_set_events(device.get(), 0xFF, nullptr, nullptr), DC_STATUS_SUCCESS);
    log.events.clear();
    ASSERT_EQ(dc_device_foreach(device.get(), DownloadLog::onDive, &log), DC_STATUS_SUCCESS);
    EXPECT_TRUE(log.events.empty());
}

int cancelOnSecondAsk(void *userdata) {
    return ++*static_cast<int *>(userdata) >= 2;
}

TEST_F(DeviceImage, TheCancelCallbackIsAskedBeforeEachDive) {
    const Device device =
        openImage(writeImage({Json::object(), Json::object(), Json::object()}, {{"delay_ms", 1}}));
    int asked = 0;
    ASSERT_EQ(dc_device_set_cancel(device.get(), cancelOnSecondAsk, &asked), DC_STATUS_SUCCESS);
    DownloadLog log;
    EXPECT_EQ(download(device.get(), log), DC_STATUS_CANCELLED);
    EXPECT_EQ(log.dives.size(), 1u);
    EXPECT_EQ(asked, 2);
}

// A paced transfer: three dives of different sizes in blocks of 64 bytes.
class PacedTransfer : public DeviceImage {
  protected:
    const Json dives = {{{"divetime", 1}}, {{"generate", {{"rows", 20}}}}, Json::object()};
    static constexpr unsigned int kBlockSize = 64;

    Device openPaced(bool memoryFirst) {
        const Json transfer = {{"block_size", kBlockSize}, {"memory_first", memoryFirst}};
        return openImage(writeImage(dives, {{"transfer", transfer}}));
    }

    // The progress of each block, in bytes transferred so far, and the blocks of each dive.
    void expectedBlocks(std::vector<unsigned int> &progress,
                        std::vector<std::size_t> &blocks) const {
        unsigned int transferred = 0;
        for (const Json &dive : dives) {
            const std::size_t size = encode(dive).size();
            blocks.push_back((size + kBlockSize - 1) / kBlockSize);
            for (std::size_t sent = 0; sent < size; sent += kBlockSize) {
                transferred += std::min<std::size_t>(kBlockSize, size - sent);
                progress.push_back(transferred);
            }
        }
    }

    // The progress events between the first (0) and the last (the maximum) of a download.
    static std::vector<unsigned int> blockProgress(const DownloadLog &log, unsigned int maximum) {
        std::vector<unsigned int> progress;
        for (std::size_t i = 1; i < log.events.size(); ++i) {
            EXPECT_EQ(log.events[i].type, DC_EVENT_PROGRESS);
            EXPECT_EQ(log.events[i].progress.maximum, maximum);
            progress.push_back(log.events[i].progress.current);
        }
        return progress;
    }
};

TEST_F(PacedTransfer, EachBlockSendsItsProgressBeforeItsDiveOrBeforeAllDives) {
    std::vector<unsigned int> progress;
    std::vector<std::size_t> blocks;
    expectedBlocks(progress, blocks);
    ASSERT_GT(blocks[1], 2u) << "the second dive spans several blocks";
    const unsigned int total = progress.back();
    for (const bool memoryFirst : {false, true}) {
        const Device device = openPaced(memoryFirst);
        DownloadLog log;
        ASSERT_EQ(download(device.get(), log, DC_EVENT_PROGRESS), DC_STATUS_SUCCESS);
        ASSERT_EQ(log.dives.size(), 3u);
        EXPECT_EQ(log.events.front().progress.current, 0u);
        std::vector<unsigned int> expected = progress;
        expected.push_back(total);  // the closing maximum, as without a transfer
        EXPECT_EQ(blockProgress(log, total), expected) << memoryFirst;
        // Events before each dive: the first progress and the blocks moved by then.
        const std::vector<std::size_t> before =
            memoryFirst ? std::vector<std::size_t>(3, 1 + progress.size())
                        : std::vector<std::size_t>{1 + blocks[0], 1 + blocks[0] + blocks[1],
                                                   1 + progress.size()};
        EXPECT_EQ(log.eventsBeforeDive, before) << memoryFirst;
    }
    openImage(writeImage(dives, {{"transfer", {{"block_size", 0}}}}, "zero.json"), DC_STATUS_IO);
    openImage(writeImage(dives, {{"transfer", {{"memory_first", true}}}}, "no-size.json"),
              DC_STATUS_IO);
}

// Asks to cancel once the log holds this many block progress events.
struct CancelAfterBlocks {
    const DownloadLog *log;
    std::size_t blocks;

    static int ask(void *userdata) {
        const auto *self = static_cast<const CancelAfterBlocks *>(userdata);
        return self->log->events.size() >= 1 + self->blocks;
    }
};

TEST_F(PacedTransfer, TheCancelCallbackStopsTheTransferBetweenBlocks) {
    std::vector<unsigned int> progress;
    std::vector<std::size_t> blocks;
    expectedBlocks(progress, blocks);
    const std::size_t midSecondDive = blocks[0] + 2;
    for (const bool memoryFirst : {false, true}) {
        const Device device = openPaced(memoryFirst);
        DownloadLog log;
        CancelAfterBlocks cancel{&log, midSecondDive};
        ASSERT_EQ(dc_device_set_cancel(device.get(), CancelAfterBlocks::ask, &cancel),
                  DC_STATUS_SUCCESS);
        EXPECT_EQ(download(device.get(), log, DC_EVENT_PROGRESS), DC_STATUS_CANCELLED);
        EXPECT_EQ(log.events.size(), 1 + midSecondDive) << "no event after the stop";
        EXPECT_EQ(log.events.back().progress.current, progress[midSecondDive - 1]);
        EXPECT_EQ(log.dives.size(), memoryFirst ? 0u : 1u)
            << "only the dives whose blocks all came before the stop";
    }
}

TEST_F(DeviceImage, ADiveCallbackAnsweringZeroEndsTheWalkWithSuccess) {
    const Device device = openImage(writeImage({Json::object(), Json::object(), Json::object()}));
    DownloadLog log;
    log.stopAfter = 2;
    EXPECT_EQ(download(device.get(), log), DC_STATUS_SUCCESS);
    EXPECT_EQ(log.dives.size(), 2u);
}

TEST_F(DeviceImage, AForeachFaultFollowsTheGivenNumberOfDives) {
    const Json dives = {Json::object(), Json::object(), Json::object()};
    for (unsigned int after : {0u, 2u, 3u, 10u}) {
        const Device device =
            openImage(writeImage(dives, {{"faults", {{"foreach", -7}, {"foreach_after", after}}}}));
        DownloadLog log;
        EXPECT_EQ(download(device.get(), log), DC_STATUS_TIMEOUT) << after;
        EXPECT_EQ(log.dives.size(), std::min(after, 3u));
    }
}

TEST_F(DeviceImage, RepeatedDivesMoveOneDayEachAcrossMonthAndLeapDay) {
    const Json dives = {
        {{"datetime", {{"year", 2023}, {"month", 12}, {"day", 31}, {"hour", 23}}}, {"repeat", 2}},
        {{"datetime", {{"year", 2024}, {"month", 2}, {"day", 28}}}, {"repeat", 3}},
        {{"datetime", {{"year", 2023}, {"month", 2}, {"day", 28}}}, {"repeat", 2}},
        {{"repeat", 0}}};
    const Device device = openImage(writeImage(dives));
    DownloadLog log;
    ASSERT_EQ(download(device.get(), log), DC_STATUS_SUCCESS);
    std::vector<std::string> dates;
    for (const auto &bytes : log.dives) {
        Parser parser;
        ASSERT_EQ(newParser(device.get(), bytes.data(), bytes.size(), parser), DC_STATUS_SUCCESS);
        dc_datetime_t dt{};
        ASSERT_EQ(dc_parser_get_datetime(parser.get(), &dt), DC_STATUS_SUCCESS);
        dates.push_back(std::to_string(dt.year) + "-" + std::to_string(dt.month) + "-" +
                        std::to_string(dt.day) + " " + std::to_string(dt.hour));
        EXPECT_EQ(dt.timezone, DC_TIMEZONE_NONE);
    }
    EXPECT_EQ(dates,
              std::vector<std::string>({"2023-12-31 23", "2024-1-1 23", "2024-2-28 0",
                                        "2024-2-29 0", "2024-3-1 0", "2023-2-28 0", "2023-3-1 0"}));
    openImage(
        writeImage({{{"datetime", {{"year", 2023}, {"month", 2}, {"day", 30}}}, {"repeat", 2}}},
                   Json::object(), "invalid-date.json"),
        DC_STATUS_IO);
}

TEST_F(DeviceImage, AParserNewFaultHitsOnlyWhileItsDiveIsDelivered) {
    const Device device = openImage(writeImage(
        {Json::object(), {{"faults", {{"parser_new", -3}}}, {"repeat", 2}}, Json::object()}));
    DownloadLog log;
    ASSERT_EQ(download(device.get(), log), DC_STATUS_SUCCESS);
    EXPECT_EQ(log.parserNewStatuses,
              std::vector<dc_status_t>(
                  {DC_STATUS_SUCCESS, DC_STATUS_NOMEMORY, DC_STATUS_NOMEMORY, DC_STATUS_SUCCESS}));
    Parser parser;
    EXPECT_EQ(newParser(device.get(), log.dives[1].data(), log.dives[1].size(), parser),
              DC_STATUS_SUCCESS)
        << "outside foreach";
}

TEST_F(DeviceImage, TheJournalRecordsEveryDeviceCallAndFaultsAnswerTheirStatus) {
    const std::string journal = path("journal.log");
    const std::string image =
        writeImage(Json::array({Json::object()}),
                   {{"journal", journal},
                    {"faults", {{"set_events", -2}, {"set_cancel", -8}, {"close", -6}}}});
    Device opened = openImage(image);
    dc_device_t *device = opened.releaseDevice();
    EXPECT_EQ(dc_device_set_events(device, 15, DownloadLog::onEvent, nullptr),
              DC_STATUS_INVALIDARGS);
    EXPECT_EQ(dc_device_set_cancel(device, cancelOnSecondAsk, nullptr), DC_STATUS_PROTOCOL);
    EXPECT_EQ(dc_device_set_fingerprint(device, nullptr, 0), DC_STATUS_SUCCESS);
    DownloadLog log;
    log.device = device;
    EXPECT_EQ(dc_device_foreach(device, DownloadLog::onDive, &log), DC_STATUS_SUCCESS)
        << "failed registrations left no callback behind";
    EXPECT_EQ(dc_device_close(device), DC_STATUS_IO);
#if DC_VERSION_CHECK(0, 7, 0)
    EXPECT_EQ(dcsim_live_handles(), 3u) << "the failed close still released the device";
#else
    EXPECT_EQ(dcsim_live_handles(), 2u) << "the failed close still released the device";
#endif
    EXPECT_EQ(readJournal(), "open\nset_events\nset_cancel\nset_fingerprint\nforeach\nclose\n");
}

TEST_F(DeviceImage, AnOpenFaultLeavesNothingOpen) {
    const std::string image =
        writeImage(Json::array(), {{"journal", path("journal.log")}, {"faults", {{"open", -6}}}});
    openImage(image, DC_STATUS_IO);
    EXPECT_EQ(dcsim_live_handles(), 2u);
    EXPECT_EQ(readJournal(), "open\n");
}

}  // namespace
}  // namespace dcsim_test
