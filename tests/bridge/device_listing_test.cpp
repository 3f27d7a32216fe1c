// SPDX-License-Identifier: MIT
// getSupportedDevices through a scripted JNIEnv: lookups, each failing step, and the Java objects
// built for the simulator's catalogue.
#include "environment.h"
#include "fake_jni_env.h"
#include "java_expectations.h"

#include <coralnote_main_java_core_DeviceConnector.h>
#include <libdivecomputer/descriptor.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <variant>
#include <vector>

namespace divebridge {
namespace {

using fake::callOf;
using fake::FakeJni;

// Two descriptors, so that a failure can hit the second one after the first went through.
const char kTwoDevices[] = R"([
    {"vendor": "Suunto", "product": "Vyper", "transport": "serial"},
    {"vendor": "Heinrichs Weikamp", "product": "OSTC 3", "transport": "bluetooth"}
])";

class DeviceListing : public ::testing::Test {
  protected:
    FakeJni java;

    void SetUp() override { useCatalogue(kTwoDevices); }

    void TearDown() override {
        environment::unset("DCSIM_CATALOGUE");
        std::filesystem::remove(cataloguePath);
    }

    // The simulator reads its descriptors from this file on every listing.
    void useCatalogue(const std::string &json) {
        std::ofstream(cataloguePath) << json;
        environment::set("DCSIM_CATALOGUE", cataloguePath);
    }

    jobject list() {
        return Java_coralnote_main_java_core_DeviceConnector_getSupportedDevices(java.env(),
                                                                                 nullptr);
    }

    std::string argumentText(const fake::FakeObject &made, std::size_t index) const {
        return java.text(std::get<jobject>(made.arguments.at(index)));
    }

    // Every failure ends with exactly one Java exception, no frame left open and no UTF held.
    void expectCleanFailure(jobject result) {
        EXPECT_EQ(result, nullptr);
        ASSERT_NE(java.pending(), nullptr);
        EXPECT_EQ(java.pendingCount(), 1);
        EXPECT_EQ(java.throwsOverPending(), 0);
        EXPECT_EQ(java.openLocalFrames(), 0);
        EXPECT_EQ(java.utfCharsHeld(), 0);
        EXPECT_TRUE(java.faults().empty());
    }

  private:
    const std::string cataloguePath =
        (std::filesystem::temp_directory_path() /
         ("device_listing_test_" + std::to_string(::getpid()) + ".json"))
            .string();
};

TEST_F(DeviceListing, EveryDescriptorBecomesADeviceInANewTreeSet) {
    jobject set = list();

    ASSERT_NE(set, nullptr);
    EXPECT_EQ(java.pending(), nullptr);
    EXPECT_EQ(java.object(set).className, kTreeSet);
    const std::vector<jobject> &devices = java.object(set).elements;
    ASSERT_EQ(devices.size(), 2u);

    const struct {
        const char *vendor;
        const char *product;
        jint transport;
    } expected[] = {{"Suunto", "Vyper", DC_TRANSPORT_SERIAL},
                    {"Heinrichs Weikamp", "OSTC 3", DC_TRANSPORT_BLUETOOTH}};
    for (std::size_t i = 0; i < devices.size(); ++i) {
        SCOPED_TRACE(expected[i].product);
        const fake::FakeObject &device = java.object(devices[i]);
        EXPECT_EQ(device.className, kDevice);
        ASSERT_EQ(device.arguments.size(), 4u);
        EXPECT_EQ(argumentText(device, 0), expected[i].vendor);
        EXPECT_EQ(argumentText(device, 1), expected[i].product);
        // The product is passed twice as the very same Java string.
        EXPECT_EQ(std::get<jobject>(device.arguments[2]), std::get<jobject>(device.arguments[1]));
        const fake::FakeObject &interface = java.object(std::get<jobject>(device.arguments[3]));
        EXPECT_EQ(interface.className, kInterface);
        EXPECT_EQ(std::get<jint>(interface.arguments.at(0)), expected[i].transport);
    }
    EXPECT_TRUE(java.callsWhilePending().empty());
    EXPECT_EQ(java.openLocalFrames(), 0);
    EXPECT_TRUE(java.faults().empty());
}

TEST_F(DeviceListing, NoDescriptorsGiveAnEmptySetAndDuplicatesAreAllOffered) {
    useCatalogue("[]");
    jobject empty = list();
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(java.object(empty).elements.empty());

    useCatalogue(R"([{"vendor": "Suunto", "product": "D9", "transport": "serial"},
                     {"vendor": "Suunto", "product": "D9", "transport": "serial"}])");
    jobject twice = list();
    ASSERT_NE(twice, nullptr);
    EXPECT_EQ(java.object(twice).elements.size(), 2u);
}

TEST_F(DeviceListing, AllClassesAreLookedUpInOrderBeforeAnyIsExamined) {
    const std::vector<std::string> order = {kNativeException, kTreeSet, kDevice, kInterface};
    for (const char *missing : {"", kNativeException, kTreeSet}) {
        SCOPED_TRACE(missing);
        FakeJni lookups;
        if (*missing != '\0') {
            lookups.missClass(missing);
        }
        Java_coralnote_main_java_core_DeviceConnector_getSupportedDevices(lookups.env(), nullptr);
        EXPECT_EQ(lookups.targetsOf("FindClass"), order);
        // Clearing a lookup error on the way is allowed; acting on a result is not.
        const auto &calls = lookups.calls();
        const auto actsOnResult = [](const fake::JniCall &call) {
            return call.function == "GetMethodID" || call.function == "GetStaticMethodID" ||
                   call.function == "Throw" || call.function == "ThrowNew";
        };
        const auto lastLookup =
            std::find_if(calls.rbegin(), calls.rend(),
                         [](const fake::JniCall &call) { return call.function == "FindClass"; });
        EXPECT_TRUE(std::none_of(calls.begin(), lastLookup.base(), actsOnResult));
    }
}

TEST_F(DeviceListing, MissingTreeSetGivesUnchainedNativeException) {
    java.missClass(kTreeSet);

    expectCleanFailure(list());

    expectUnchainedNativeException(java, "Could not find the necessary Java classes.");
    EXPECT_EQ(java.countOf("GetMethodID"), 0);
    EXPECT_EQ(java.countOf("NewObject"), 0);
}

TEST_F(DeviceListing, MissingNativeExceptionLeavesOnlyTheLookupError) {
    java.missClass(kNativeException);

    expectCleanFailure(list());

    const fake::JavaException pending = java.describe(java.pending());
    EXPECT_EQ(pending.className, "java/lang/NoClassDefFoundError");
    EXPECT_EQ(pending.message, kNativeException);
    EXPECT_EQ(java.countOf("ThrowNew"), 0);
    EXPECT_EQ(java.countOf("NewObject"), 0);
}

TEST_F(DeviceListing, AnyMissingMethodGivesUnchainedNativeException) {
    const std::pair<const char *, const char *> methods[] = {
        {kNativeException, "<init>"}, {kTreeSet, "<init>"},    {kTreeSet, "add"},
        {kDevice, "<init>"},          {kInterface, "valueOf"},
    };
    for (const auto &[owner, name] : methods) {
        SCOPED_TRACE(std::string(owner) + "." + name);
        FakeJni lookups;
        lookups.missMethod(owner, name);

        jobject result = Java_coralnote_main_java_core_DeviceConnector_getSupportedDevices(
            lookups.env(), nullptr);

        EXPECT_EQ(result, nullptr);
        ASSERT_NE(lookups.pending(), nullptr);
        EXPECT_EQ(lookups.pendingCount(), 1);
        expectUnchainedNativeException(lookups, "Could not find the necessary Java methods.");
        EXPECT_EQ(lookups.countOf("NewObject"), 0);
    }
}

TEST_F(DeviceListing, EachFailingStepThrowsNativeExceptionChainedToTheJavaFailure) {
    struct Step {
        const char *failing;
        fake::CallMatch match;
        int nth;
        const char *message;
    };
    const std::string treeSet = kTreeSet;
    const Step steps[] = {
        {"container", callOf("NewObject", treeSet + ".<init>"), 0, "Could not create container."},
        {"vendor string", callOf("NewStringUTF", "Heinrichs Weikamp"), 0,
         "Unknown device communication interface encountered."},
        {"product string", callOf("NewStringUTF", "OSTC 3"), 0,
         "Unknown device communication interface encountered."},
        {"interface", callOf("CallStaticObjectMethod", std::string(kInterface) + ".valueOf"), 2,
         "Unknown device communication interface encountered."},
        {"device", callOf("NewObject", std::string(kDevice) + ".<init>"), 2,
         "Could not create device."},
        {"save", callOf("CallBooleanMethod", treeSet + ".add"), 2, "Could not save device."},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.failing);
        FakeJni failing;
        failing.failWhen(step.match, "java/lang/OutOfMemoryError", step.nth);

        jobject result = Java_coralnote_main_java_core_DeviceConnector_getSupportedDevices(
            failing.env(), nullptr);

        EXPECT_EQ(result, nullptr);
        ASSERT_NE(failing.pending(), nullptr);
        EXPECT_EQ(failing.pendingCount(), 1);
        EXPECT_EQ(failing.throwsOverPending(), 0);
        EXPECT_EQ(failing.pendingRaisedBy(), "Throw");
        const fake::JavaException thrown = failing.describe(failing.pending());
        EXPECT_EQ(thrown.className, kNativeException);
        EXPECT_EQ(thrown.message, step.message);
        EXPECT_EQ(failing.causeChain(failing.pending()),
                  (std::vector<std::string>{kNativeException, "java/lang/OutOfMemoryError"}));
        // No JNI call runs while the failure is pending.
        EXPECT_TRUE(failing.callsWhilePending().empty());
        EXPECT_EQ(failing.openLocalFrames(), 0);
        EXPECT_TRUE(failing.faults().empty());
    }
}

TEST_F(DeviceListing, TransportUnknownToJavaFailsTheWholeListing) {
    useCatalogue(R"([{"vendor": "Suunto", "product": "Vyper", "transport": "serial"},
                     {"vendor": "Acme", "product": "Future", "transport": 99}])");
    java.answer(kInterface, "valueOf",
                [](FakeJni &host, jobject, const std::vector<fake::JavaValue> &args) {
                    const jint transport = std::get<jint>(args.at(0));
                    if (transport > 5) {
                        host.raise("java/lang/IllegalArgumentException", std::to_string(transport));
                    }
                    return fake::JavaValue{host.newObject(kInterface)};
                });

    expectCleanFailure(list());

    const fake::JavaException thrown = java.describe(java.pending());
    EXPECT_EQ(thrown.message, "Unknown device communication interface encountered.");
    ASSERT_NE(thrown.cause, nullptr);
    EXPECT_EQ(java.describe(thrown.cause).className, "java/lang/IllegalArgumentException");
    EXPECT_EQ(java.describe(thrown.cause).message, "99");
}

}  // namespace
}  // namespace divebridge
