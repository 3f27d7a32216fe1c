// SPDX-License-Identifier: MIT
#include "device/dive_computer.h"

#include "base/native_exception.h"
#include "simulated_dive_computer.h"

#include <gtest/gtest.h>

#include <string>

namespace divebridge {
namespace {

using testing::ScopedCatalogue;

// Products chosen so that the rules can be told apart: "Perdix" exists under two vendors, and
// "Aladin" under one vendor as a bare product and under another inside a longer name.
const char *const catalogue = R"([
    {"vendor": "Uwatec", "product": "Aladin", "transport": "serial"},
    {"vendor": "Heinrichs Weikamp", "product": "OSTC 3", "transport": "serial"},
    {"vendor": "Shearwater", "product": "Perdix", "transport": "bluetooth"},
    {"vendor": "Other", "product": "Perdix", "transport": "usb"},
    {"vendor": "Scubapro", "product": "Aladin Square", "transport": "usbhid"},
    {"vendor": "Mares", "product": "Uwatec Aladin", "transport": "serial"}
])";

// The vendor and product of the descriptor that vendor and model select.
std::string select(const char *vendor, const char *model) {
    const DiveComputer computer(vendor, model, "port");
    return std::string(dc_descriptor_get_vendor(computer.descriptorHandle())) + "/" +
           dc_descriptor_get_product(computer.descriptorHandle());
}

// The message of the UnknownDeviceException that selection raises.
std::string noMatch(const char *vendor, const char *model, const char *port) {
    try {
        const DiveComputer computer(vendor, model, port);
    } catch (const UnknownDeviceException &failure) {
        return failure.what();
    }
    return "matched";
}

class Selection : public ::testing::Test {
  protected:
    ScopedCatalogue scoped{catalogue};
};

TEST_F(Selection, VendorAndModelMatchIgnoringAsciiCase) {
    EXPECT_EQ(select("Shearwater", "Perdix"), "Shearwater/Perdix");
    EXPECT_EQ(select("SHEARWATER", "perDIX"), "Shearwater/Perdix");
    EXPECT_EQ(select("other", "PERDIX"), "Other/Perdix");
    EXPECT_EQ(select("heinrichs weikamp", "ostc 3"), "Heinrichs Weikamp/OSTC 3");
}

TEST_F(Selection, OnlyTheJoinedNameCounts) {
    EXPECT_EQ(select("Heinrichs", "Weikamp OSTC 3"), "Heinrichs Weikamp/OSTC 3");
    EXPECT_EQ(select("Heinrichs Weikamp OSTC", "3"), "Heinrichs Weikamp/OSTC 3");
    EXPECT_EQ(select(nullptr, "Heinrichs Weikamp OSTC 3"), "Heinrichs Weikamp/OSTC 3");
}

TEST_F(Selection, ABareModelTakesTheFirstDescriptorWithThatProduct) {
    EXPECT_EQ(select(nullptr, "perdix"), "Shearwater/Perdix");
    // "Uwatec Aladin" is Mares's product as a whole and Uwatec's vendor and product: the earlier
    // descriptor wins.
    EXPECT_EQ(select(nullptr, "Uwatec Aladin"), "Uwatec/Aladin");
    EXPECT_EQ(select("Mares", "Uwatec Aladin"), "Mares/Uwatec Aladin");
}

TEST_F(Selection, NamesThatAreNotExactlyEqualDoNotMatch) {
    EXPECT_NE(noMatch("Shearwater", " Perdix", "p"), "matched");  // two spaces
    EXPECT_NE(noMatch("Shearwater ", "Perdix", "p"), "matched");
    EXPECT_NE(noMatch(nullptr, "Perdix ", "p"), "matched");        // trailing space
    EXPECT_NE(noMatch(nullptr, " Perdix", "p"), "matched");        // leading space
    EXPECT_NE(noMatch("Shearwater", "Perd", "p"), "matched");      // prefix of the product
    EXPECT_NE(noMatch("Shearwater", "Perdix 2", "p"), "matched");  // longer than the product
    EXPECT_NE(noMatch("Shear", "Perdix", "p"), "matched");
    EXPECT_NE(noMatch("Scubapro", "Aladin", "p"), "matched");
}

TEST_F(Selection, NoMatchNamesWhatWasAskedFor) {
    EXPECT_EQ(noMatch("Acme", "Diver \xC3\xA9", "/dev/ttyUSB0"),
              "No matching device found: vendor='Acme', model='Diver \xC3\xA9', "
              "port='/dev/ttyUSB0'");
    EXPECT_EQ(noMatch("Acme", "X", nullptr),
              "No matching device found: vendor='Acme', model='X', port=''");
    EXPECT_EQ(noMatch(nullptr, nullptr, nullptr),
              "No matching device found: vendor='', model='', port=''");
}

TEST(SelectionFailures, IteratorFailuresAreReportedWithTheirStatus) {
    const auto failureOf = [](const char *catalogueJson) {
        const ScopedCatalogue scoped(catalogueJson);
        ::testing::internal::CaptureStdout();
        std::string message = "no failure";
        try {
            const DiveComputer computer("Uwatec", "Aladin", nullptr);
        } catch (const UnknownDeviceException &) {
            message = "unknown device";
        } catch (const Exception &failure) {
            message = failure.what();
        }
        return message + " | " + ::testing::internal::GetCapturedStdout();
    };
    EXPECT_EQ(failureOf(R"({"descriptors": [], "faults": {"iterator": -3}})"),
              "[-3]: No matching device descriptor found. | "
              "Error creating the device descriptor iterator.\n");
    EXPECT_EQ(failureOf(R"({"descriptors": [{"vendor": "A", "product": "B", "transport": "serial"}],
                            "faults": {"next": -6, "next_after": 1}})"),
              "[-6]: No matching device descriptor found. | "
              "Error iterating the device descriptors.\n");
    EXPECT_EQ(failureOf("[]"), "unknown device | ");
}

}  // namespace
}  // namespace divebridge
