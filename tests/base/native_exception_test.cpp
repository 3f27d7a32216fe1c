// SPDX-License-Identifier: MIT
// The native exception family's messages: what Java finally reads.
#include "base/native_exception.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <utility>

namespace divebridge {
namespace {

// libdivecomputer is C: a status it hands over may be any int, not only a named one.
dc_status_t anyStatus(int value) {
    return static_cast<dc_status_t>(value);
}

TEST(NativeExceptionMessage, StatusIsFoldedInAsSignedDecimalInBrackets) {
    EXPECT_STREQ(CommunicationException(DC_STATUS_IO, "Error opening device.").what(),
                 "[-6]: Error opening device.");
    EXPECT_STREQ(Exception(DC_STATUS_DATAFORMAT, "Error parsing the datetime.").what(),
                 "[-9]: Error parsing the datetime.");
    EXPECT_STREQ(Exception(DC_STATUS_SUCCESS, "x").what(), "[0]: x");
    EXPECT_STREQ(Exception(DC_STATUS_DONE, "").what(), "[1]: ");
}

TEST(NativeExceptionMessage, ExtremeStatusesAreWrittenInFull) {
    EXPECT_STREQ(Exception(anyStatus(INT_MIN), "t").what(), "[-2147483648]: t");
    EXPECT_STREQ(Exception(anyStatus(INT_MAX), "t").what(), "[2147483647]: t");
    EXPECT_EQ(statusMessage(anyStatus(INT_MIN), "t"), "[-2147483648]: t");
}

TEST(NativeExceptionMessage, ModifiedUtf8TextPassesThroughByteForByte) {
    // "é" as UTF-8 and NUL in its modified UTF-8 form: a caller's port or model text.
    const std::string text = "Port /dev/tty\xC3\xA9\xC0\x80 failed";
    EXPECT_EQ(std::string(CommunicationException(DC_STATUS_IO, text).what()), "[-6]: " + text);
    EXPECT_EQ(std::string(UnknownDeviceException(text).what()), text);
}

TEST(NativeExceptionMessage, UnknownDeviceKeepsItsTextWithoutStatus) {
    const UnknownDeviceException unknown("No matching device found: Suunto Nothing");
    EXPECT_STREQ(unknown.what(), "No matching device found: Suunto Nothing");
    const Exception &asBase = unknown;
    EXPECT_STREQ(asBase.what(), "No matching device found: Suunto Nothing");
}

TEST(NativeExceptionMessage, LongTextIsNotCut) {
    const std::string text(10000, 'x');
    EXPECT_EQ(std::string(Exception(DC_STATUS_IO, text).what()), "[-6]: " + text);
}

TEST(NativeExceptionCopies, CopyOutlivesAndIgnoresItsSource) {
    auto source =
        std::make_unique<CommunicationException>(DC_STATUS_TIMEOUT, "Error downloading the dives.");
    CommunicationException copy = *source;
    const char *before = copy.what();
    source.reset();
    EXPECT_STREQ(copy.what(), "[-7]: Error downloading the dives.");
    EXPECT_EQ(copy.what(), before);

    Exception assigned(DC_STATUS_IO, "first");
    const Exception other(DC_STATUS_NOMEMORY, "second");
    assigned = other;
    EXPECT_STREQ(assigned.what(), "[-3]: second");
    EXPECT_NE(assigned.what(), other.what());
}

TEST(NativeExceptionFamily, HandlersCanTellTheClassesApart) {
    const auto caughtAs = [](auto &&raise) -> std::string {
        try {
            raise();
        } catch (const UnknownDeviceException &) {
            return "unknown device";
        } catch (const CommunicationException &) {
            return "communication";
        } catch (const std::exception &failure) {
            return failure.what();
        }
        return "nothing";
    };
    EXPECT_EQ(caughtAs([] { throw UnknownDeviceException("u"); }), "unknown device");
    EXPECT_EQ(caughtAs([] { throw CommunicationException(DC_STATUS_IO, "c"); }), "communication");
    EXPECT_EQ(caughtAs([] { throw Exception(DC_STATUS_IO, "e"); }), "[-6]: e");
}

}  // namespace
}  // namespace divebridge
