// SPDX-License-Identifier: MIT
#include "device/device_connection.h"

#include "base/native_exception.h"
#include "device/interruption.h"
#include "simulated_dive_computer.h"

#include <dcsim/dcsim.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace divebridge {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::imageWith;
using testing::ScopedCatalogue;
using testing::ScopedTrace;
using testing::testCatalogue;
using testing::testProduct;
using testing::testVendor;
using testing::writeTempFile;

std::string printedBy(dc_event_type_t event, const void *data, DiveDownloadRun *run = nullptr) {
    CallbackFailure failure;
    DiveDownloadRun unused(failure);
    ::testing::internal::CaptureStdout();
    onDeviceEvent(nullptr, event, data, run != nullptr ? run : &unused);
    return ::testing::internal::GetCapturedStdout();
}

TEST(DeviceEvents, LinesAreWrittenByteForByte) {
    EXPECT_EQ(printedBy(DC_EVENT_WAITING, nullptr), "Event: waiting for user action\n");

    const dc_event_progress_t half{512, 1024};
    EXPECT_EQ(printedBy(DC_EVENT_PROGRESS, &half), "Event: progress 50.00% (512/1024)\n");
    const dc_event_progress_t large{4294967295u, 4294967295u};
    EXPECT_EQ(printedBy(DC_EVENT_PROGRESS, &large),
              "Event: progress 100.00% (4294967295/4294967295)\n");
    // An exact half: rounded to even as glibc does (msvcrt's printf would print 0.13).
    const dc_event_progress_t tie{1, 800};
    EXPECT_EQ(printedBy(DC_EVENT_PROGRESS, &tie), "Event: progress 0.12% (1/800)\n");
    const dc_event_progress_t noTotal{512, 0};
    EXPECT_EQ(printedBy(DC_EVENT_PROGRESS, &noTotal), "Event: progress unknown (512/0)\n");

    const dc_event_clock_t clock{4294967295u, -9223372036854775807LL - 1};
    EXPECT_EQ(printedBy(DC_EVENT_CLOCK, &clock),
              "Event: systime=-9223372036854775808, devtime=4294967295\n");

    const dc_event_vendor_t vendor{nullptr, 0};
    EXPECT_EQ(printedBy(DC_EVENT_VENDOR, &vendor), "");
    EXPECT_EQ(printedBy(static_cast<dc_event_type_t>(1 << 12), &vendor), "");
}

TEST(DeviceEvents, DevinfoIsKeptAndPrinted) {
    CallbackFailure failure;
    DiveDownloadRun run(failure);
    const dc_event_devinfo_t devinfo{10, 0x1234, 4294967295u};
    EXPECT_EQ(printedBy(DC_EVENT_DEVINFO, &devinfo, &run),
              "Event: model=10 (0x0000000a), firmware=4660 (0x00001234), serial=4294967295 "
              "(0xffffffff)\n");
    EXPECT_TRUE(run.identity.received);
    EXPECT_EQ(run.identity.devinfo.serial, 4294967295u);
}

class Connection : public ::testing::Test {
  protected:
    // Opens the test device on an image with `body` and downloads it.
    std::unique_ptr<DiveDownload> download(const std::string &body,
                                           Application *application = nullptr,
                                           StopRequest stop = StopRequest()) {
        const std::string port = writeTempFile("image.json", imageWith(body));
        const DiveComputer computer(testVendor, testProduct, port.c_str(), application);
        DeviceConnection connection(computer, stop);
        std::unique_ptr<DiveDownload> result = connection.download();
        serial = connection.serialText();
        return result;
    }

    // The message of the exception that opening or downloading raises.
    template <typename Failure>
    std::string failureOf(const std::string &body) {
        try {
            download(body);
        } catch (const Failure &failure) {
            return failure.what();
        }
        return "no failure of that class";
    }

    ScopedCatalogue catalogue{testCatalogue()};
    std::string serial;
};

TEST_F(Connection, DownloadsEveryDiveInOrderAndTakesTheSerial) {
    ::testing::internal::CaptureStdout();
    const auto result = download(R"("devinfo": {"model": 3, "firmware": 7, "serial": 4294967295},
        "dives": [{"divetime": 60}, {"divetime": 120}, {"divetime": 180}])");
    const std::string output = ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(result->dives.size(), 3u);
    EXPECT_EQ(result->dives[0].diveTime, 60.0);
    EXPECT_EQ(result->dives[2].diveTime, 180.0);
    EXPECT_EQ(serial, "4294967295");
    EXPECT_THAT(output, HasSubstr("serial=4294967295 (0xffffffff)"));
}

TEST_F(Connection, SerialStaysUnknownWithoutDeviceInformation) {
    download(R"("dives": [{}])");
    EXPECT_EQ(serial, "Unknown");
    download(R"("devinfo": {"model": 1, "firmware": 1, "serial": 0}, "dives": [])");
    EXPECT_EQ(serial, "0");
}

TEST_F(Connection, FailuresCarryTheirStatusAndClass) {
    EXPECT_EQ(failureOf<CommunicationException>(R"("faults": {"open": -6})"),
              "[-6]: Error opening device.");
    EXPECT_EQ(failureOf<Exception>(R"("faults": {"set_events": -2})"),
              "[-2]: Error registering the event handler.");
    EXPECT_EQ(failureOf<Exception>(R"("faults": {"set_cancel": -3})"),
              "[-3]: Error registering the cancellation handler.");
    EXPECT_EQ(failureOf<CommunicationException>(
                  R"("dives": [{}, {}], "faults": {"foreach": -7, "foreach_after": 1})"),
              "[-7]: Error downloading the dives.");
}

TEST_F(Connection, AParseFailureEndsTheDownloadAsItselfNotAsADownloadFailure) {
    const ScopedTrace trace;
    const std::string message = failureOf<Exception>(
        R"("dives": [{}, {"faults": {"datetime": -9}}, {}], "faults": {"foreach": -7, "foreach_after": 3})");
    EXPECT_EQ(message, "[-9]: Error parsing the datetime.");
    EXPECT_EQ(trace.lines("dc_parser_new").size(), 2u) << "no dive after the failing one is parsed";
}

TEST_F(Connection, TheDeviceIsClosedOnEveryWayOut) {
    failureOf<Exception>(R"("faults": {"set_cancel": -3})");
    failureOf<Exception>(R"("dives": [{"faults": {"parser_new": -3}}])");
    download(R"("dives": [{}])");
    EXPECT_EQ(dcsim_live_handles(), 0u);
}

TEST_F(Connection, AFailingCloseIsOnlyReported) {
    ::testing::internal::CaptureStdout();
    const auto result = download(R"("dives": [{}], "faults": {"close": -6})");
    EXPECT_THAT(::testing::internal::GetCapturedStdout(),
                ::testing::EndsWith("\nError closing the device (-6).\n"));
    EXPECT_EQ(result->dives.size(), 1u);
}

TEST_F(Connection, EventsArriveInOrderDuringTheDownload) {
    ::testing::internal::CaptureStdout();
    download(R"("waiting": true, "progress_maximum": 1024,
                "devinfo": {"model": 1, "firmware": 2, "serial": 3},
                "clock": {"devtime": 5, "systime": 1700000000}, "dives": [])");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Event: waiting for user action\n"
              "Event: progress 0.00% (0/1024)\n"
              "Event: model=1 (0x00000001), firmware=2 (0x00000002), serial=3 (0x00000003)\n"
              "Event: systime=1700000000, devtime=5\n"
              "Event: progress 100.00% (1024/1024)\n");
}

TEST_F(Connection, AStopRequestedBeforeTheFirstDiveIsHonouredWithoutParsing) {
    DiveDownload result;
    CallbackFailure failure;
    DiveDownloadRun run(failure);
    run.download = &result;
    const ScopedTrace trace;
    requestStop();
    EXPECT_EQ(diveCallback(nullptr, 0, nullptr, 0, &run), 0);
    EXPECT_TRUE(result.dives.empty());
    EXPECT_TRUE(trace.lines("dc_parser").empty());
}

// A download notes the stop requests when its call begins: an earlier one is forgotten, one made
// while the device is being reached stops it, even when that makes the opening fail.
TEST_F(Connection, AStopCountsFromTheStartOfItsCallThroughTheOpening) {
    requestStop();
    EXPECT_EQ(download(R"("dives": [{}, {}])")->dives.size(), 2u);

    const StopRequest callBegan;
    requestStop();
    EXPECT_TRUE(download(R"("dives": [{}, {}])", nullptr, callBegan)->dives.empty());
    EXPECT_TRUE(download(R"("devinfo": {"serial": 5}, "faults": {"open": -6}, "dives": [{}])",
                         nullptr, callBegan)
                    ->dives.empty());
    EXPECT_EQ(serial, "Unknown");
    EXPECT_EQ(dcsim_live_handles(), 0u);
}

TEST_F(Connection, TheCancellationCallbackAsksToStopOnlyOnceAStopIsWanted) {
    CallbackFailure none;
    DiveDownloadRun run(none);
    EXPECT_EQ(cancelCallback(&run), 0);
    requestStop();
    EXPECT_EQ(cancelCallback(&run), 1);

    CallbackFailure failure;
    failure.capture([] { throw std::runtime_error("listener"); });
    DiveDownloadRun failed(failure);
    EXPECT_EQ(cancelCallback(&failed), 1);
}

// Records every report and raises, or asks for a stop, at the report numbered `at` (from 1).
struct ScriptedListener final : Application {
    enum class Action { Raise, Stop } action = Action::Raise;
    std::size_t at = 0;
    std::vector<std::pair<unsigned int, unsigned int>> reports;

    bool wantsProgress() const override { return true; }
    void progress(unsigned int current, unsigned int maximum) override {
        reports.emplace_back(current, maximum);
        if (reports.size() != at) {
            return;
        }
        if (action == Action::Raise) {
            throw std::runtime_error("the host refused the report");
        }
        requestStop();
    }
};

// A stop asked for while libdivecomputer moves the memory ends the transfer at its next check,
// which it reports as CANCELLED: that is a stopped download, with the dives completed before it.
TEST_F(Connection, AStopRequestedDuringTheTransferKeepsTheDivesCompletedBeforeIt) {
    const struct {
        const char *transfer;
        std::size_t stopAtReport;
        std::size_t divesKept;
    } cases[] = {
        // The whole memory first: the third block's report asks, the fourth block is refused.
        {R"({"block_size": 8, "memory_first": true})", 3, 0},
        // Dive by dive: a stop during the second dive's blocks keeps the first dive.
        {R"({"block_size": 1000000})", 3, 1},
    };
    for (const auto &stop : cases) {
        SCOPED_TRACE(stop.transfer);
        ScriptedListener listener;
        listener.action = ScriptedListener::Action::Stop;
        listener.at = stop.stopAtReport;
        const auto result =
            download(std::string(R"("devinfo": {"serial": 77}, "transfer": )") + stop.transfer +
                         R"(, "dives": [{"divetime": 1}, {"divetime": 2}, {}])",
                     &listener);
        EXPECT_EQ(listener.reports.size(), stop.stopAtReport);
        ASSERT_EQ(result->dives.size(), stop.divesKept);
        EXPECT_EQ(serial, "77");
    }
}

TEST_F(Connection, AListenerThatRaisesEndsTheDownloadWithItsFailureAndHearsNoMore) {
    ScriptedListener listener;
    listener.at = 2;
    const ScopedTrace trace;
    try {
        download(R"("dives": [{}, {}, {}])", &listener);
        ADD_FAILURE() << "the download went on";
    } catch (const std::runtime_error &failure) {
        EXPECT_STREQ(failure.what(), "the host refused the report");
    }
    EXPECT_EQ(listener.reports.size(), 2u);
    EXPECT_TRUE(trace.lines("dc_parser_new").empty());
    EXPECT_EQ(dcsim_live_handles(), 0u);
}

}  // namespace
}  // namespace divebridge
