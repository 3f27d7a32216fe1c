// SPDX-License-Identifier: MIT
// loadUserDivesFromDevice through a scripted JNIEnv and the simulated dive computer: lookups, the
// Java objects built for each dive, every failing step, and the resources a download holds.
#include "fake_jni_env.h"
#include "java_expectations.h"
#include "simulated_dive_computer.h"

#include <coralnote_main_java_core_DeviceConnector.h>
#include <dcsim/dcsim.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace divebridge {
namespace {

using fake::callOf;
using fake::FakeJni;
using testing::imageWith;
using testing::ScopedCatalogue;
using testing::ScopedTrace;
using testing::testCatalogue;
using testing::testProduct;
using testing::testVendor;
using testing::writeTempFile;

// Everything a dive can carry. The first tank breathes the second mix, so the gas is 21/13 and
// not the first mix's 32/0.
const char kFullDive[] = R"({
    "datetime": {"year": 2014, "month": 3, "day": 9, "hour": 8, "minute": 5, "second": 0,
                 "timezone": 3600},
    "divetime": 2700, "maxdepth": 18.5, "avgdepth": 9.25, "temperature_minimum": -2.0,
    "gasmixes": [{"oxygen": 0.32}, {"oxygen": 0.211, "helium": 0.125}],
    "tanks": [{"gasmix": 1, "type": 1, "volume": 12.0, "workpressure": 232.0,
               "beginpressure": 200.0, "endpressure": 50.0}],
    "samples": [{"time": 0}, {"depth": 0.0}, {"time": 10}, {"depth": 3.5}]})";

// No tanks, no samples, a zero average depth and a zero minimum temperature.
const char kBareDive[] = R"({
    "datetime": {"year": 2014, "month": 3, "day": 10, "hour": 23, "minute": 59, "second": 59},
    "divetime": 600, "maxdepth": 5.0, "avgdepth": 0.0, "temperature_minimum": 0.0,
    "gasmixes": [{"oxygen": 0.21}, {"oxygen": 0.32}]})";

std::string divesOf(const std::string &dives) {
    return R"("devinfo": {"model": 1, "firmware": 2, "serial": 3481327812}, "dives": [)" + dives +
           "]";
}

// Three copies of the full dive, a day apart: a failure scripted for the nth call hits dive n.
std::string threeFullDives() {
    std::string dive = kFullDive;
    dive.insert(dive.rfind('}'), R"(, "repeat": 3)");
    return divesOf(dive);
}

// A host that declares, of the optional methods, only the progress report; those it lacks, and the
// details a Dive may take, are where a real JVM shows them (the JVM suites).
class DownloadExport : public ::testing::Test {
  protected:
    DownloadExport() {
        for (const char *optional :
             {"bluetoothPinCode", "bluetoothAccessCode", "saveBluetoothAccessCode",
              "diveFingerprint", "saveDiveFingerprint", "libdivecomputerLog",
              "chooseBluetoothDevice"}) {
            java.missMethod(kDeviceConnector, optional);
        }
        for (const char *optional : {"setGasMixes", "setTanks", "setTankPressures",
                                     "setSampleColumns", "setEvents", "setDiveFields"}) {
            java.missMethod(kDive, optional);
        }
    }

    ScopedCatalogue catalogue{testCatalogue()};
    FakeJni java;
    jobject set = java.newObject("java/util/HashSet");
    jstring vendor = java.newString(testVendor);
    jstring model = java.newString(testProduct);
    std::string port;

    jobject download(const std::string &body) {
        port = writeTempFile("image.json", imageWith(body));
        return Java_coralnote_main_java_core_DeviceConnector_loadUserDivesFromDevice(
            java.env(), nullptr, java.newString(port), vendor, model, set);
    }

    const std::vector<jobject> &dives() const { return java.object(set).elements; }

    const fake::FakeObject &argumentObject(const fake::FakeObject &made, std::size_t index) const {
        return java.object(std::get<jobject>(made.arguments.at(index)));
    }

    // The value of a Float argument, or nothing for a null one.
    std::optional<jfloat> floatArgument(const fake::FakeObject &made, std::size_t index) const {
        const jobject boxed = std::get<jobject>(made.arguments.at(index));
        if (boxed == nullptr) {
            return std::nullopt;
        }
        EXPECT_EQ(java.object(boxed).className, kFloat);
        return std::get<jfloat>(java.object(boxed).arguments.at(0));
    }

    // Each text obtained from the caller's strings was released exactly once, and every native
    // handle is gone.
    void expectEverythingReleased() const {
        EXPECT_EQ(java.utfCharsHeld(), 0);
        EXPECT_EQ(java.utfCharsReleased(), java.utfCharsObtained());
        EXPECT_EQ(dcsim_live_handles(), 0u);
        EXPECT_EQ(java.openLocalFrames(), 0);
        EXPECT_TRUE(java.faults().empty());
    }

    // A failed call returns null with exactly one Java exception pending, raised without any JNI
    // call made over a pending one.
    void expectOneFailure(jobject result) const {
        EXPECT_EQ(result, nullptr);
        ASSERT_NE(java.pending(), nullptr);
        EXPECT_EQ(java.pendingCount(), 1);
        EXPECT_EQ(java.throwsOverPending(), 0);
        EXPECT_EQ(java.callsWhilePending(), std::vector<std::string>{});
        expectEverythingReleased();
    }
};

TEST_F(DownloadExport, EveryDiveBecomesAJavaDiveWithItsOwnValues) {
    const jobject parent = download(divesOf(std::string(kFullDive) + ", " + kBareDive));

    ASSERT_NE(parent, nullptr);
    EXPECT_EQ(java.pending(), nullptr);
    const fake::FakeObject &device = java.object(parent);
    EXPECT_EQ(device.className, kDevice);
    ASSERT_EQ(device.arguments.size(), 3u);
    EXPECT_EQ(std::get<jobject>(device.arguments[0]), vendor);
    EXPECT_EQ(std::get<jobject>(device.arguments[1]), model);
    EXPECT_EQ(java.text(std::get<jobject>(device.arguments[2])), "3481327812");

    ASSERT_EQ(dives().size(), 2u);
    const fake::FakeObject &full = java.object(dives()[0]);
    EXPECT_EQ(full.className, kDive);
    ASSERT_EQ(full.arguments.size(), 9u);
    EXPECT_EQ(std::get<jobject>(full.arguments[0]), parent);
    EXPECT_EQ(java.text(std::get<jobject>(full.arguments[1])), "2014-03-09 08:05:00");
    EXPECT_EQ(std::get<jfloat>(full.arguments[2]), 2700.0f);
    EXPECT_EQ(std::get<jfloat>(full.arguments[3]), 18.5f);
    EXPECT_EQ(floatArgument(full, 4), 9.25f);
    EXPECT_EQ(floatArgument(full, 5), 150.0f);
    EXPECT_EQ(floatArgument(full, 6), -2.0f);
    const fake::FakeObject &gas = argumentObject(full, 7);
    EXPECT_EQ(gas.className, kGas);
    EXPECT_EQ(gas.madeBy.rfind("blendGas(II)", 0), 0u) << gas.madeBy;
    EXPECT_EQ(gas.arguments, (std::vector<fake::JavaValue>{jint{21}, jint{13}}));
    const fake::FakeObject &cylinder = argumentObject(full, 8);
    EXPECT_EQ(cylinder.className, kCylinder);
    EXPECT_EQ(cylinder.arguments, (std::vector<fake::JavaValue>{jfloat{12.0f}, jfloat{232.0f}}));

    const fake::FakeObject &bare = java.object(dives()[1]);
    ASSERT_EQ(bare.arguments.size(), 9u);
    EXPECT_EQ(std::get<jobject>(bare.arguments[0]), parent);
    EXPECT_EQ(java.text(std::get<jobject>(bare.arguments[1])), "2014-03-10 23:59:59");
    EXPECT_EQ(floatArgument(bare, 4), std::nullopt);
    EXPECT_EQ(floatArgument(bare, 5), std::nullopt);
    EXPECT_EQ(floatArgument(bare, 6), 0.0f);
    EXPECT_EQ(argumentObject(bare, 7).arguments, (std::vector<fake::JavaValue>{jint{21}, jint{0}}));
    EXPECT_EQ(std::get<jobject>(bare.arguments[8]), nullptr);

    // Only the dive with samples gets a profile.
    std::vector<jobject> profiled;
    for (const fake::MethodCall &call : java.methodCalls()) {
        if (call.name == "setDiveProfileAndUpdate") {
            profiled.push_back(call.self);
        }
    }
    EXPECT_EQ(profiled, std::vector<jobject>{dives()[0]});
    expectEverythingReleased();
    EXPECT_TRUE(java.callsWhilePending().empty());
}

TEST_F(DownloadExport, TheCallerTextsAreReleasedOnceBeforeAnyJavaObjectIsMade) {
    download(divesOf(kBareDive));

    EXPECT_EQ(java.targetsOf("GetStringUTFChars"),
              (std::vector<std::string>{port, testVendor, testProduct}));
    EXPECT_EQ(java.targetsOf("ReleaseStringUTFChars"),
              (std::vector<std::string>{testProduct, testVendor, port}));
    const auto &calls = java.calls();
    const auto lastRelease = std::find_if(calls.rbegin(), calls.rend(), [](const auto &call) {
        return call.function == "ReleaseStringUTFChars";
    });
    const auto firstObject = std::find_if(calls.begin(), calls.end(), [](const auto &call) {
        return call.function == "NewObject" || call.function == "NewStringUTF";
    });
    EXPECT_LE(lastRelease.base() - calls.begin(), firstObject - calls.begin());
    expectEverythingReleased();
}

TEST_F(DownloadExport, AnEmptyDeviceStillGivesTheParentDevice) {
    const jobject parent = download(R"("dives": [])");

    ASSERT_NE(parent, nullptr);
    EXPECT_TRUE(dives().empty());
    // No device information: the serial is unknown.
    EXPECT_EQ(java.text(std::get<jobject>(java.object(parent).arguments.at(2))), "Unknown");
    expectEverythingReleased();
}

TEST_F(DownloadExport, ANullVendorSelectsByModelAloneAndObtainsNoTextForIt) {
    port = writeTempFile("image.json", imageWith(divesOf(kBareDive)));
    const jobject parent = Java_coralnote_main_java_core_DeviceConnector_loadUserDivesFromDevice(
        java.env(), nullptr, java.newString(port), nullptr, model, set);

    ASSERT_NE(parent, nullptr) << java.describe(java.pending()).message;
    EXPECT_EQ(java.targetsOf("GetStringUTFChars"), (std::vector<std::string>{port, testProduct}));
    EXPECT_EQ(std::get<jobject>(java.object(parent).arguments.at(0)), nullptr);
    EXPECT_EQ(dives().size(), 1u);
    expectEverythingReleased();
}

TEST_F(DownloadExport, AllTenClassesAreLookedUpInOrderBeforeAnyIsExamined) {
    const std::vector<std::string> order = {kSet,
                                            kNativeException,
                                            kCommunicationException,
                                            kUnknownDeviceException,
                                            kDevice,
                                            kGas,
                                            kDive,
                                            kCylinder,
                                            kInteger,
                                            kFloat};
    for (const char *missing : {"", kSet, kNativeException, kDive, kFloat}) {
        SCOPED_TRACE(missing);
        FakeJni lookups;
        if (*missing != '\0') {
            lookups.missClass(missing);
        }
        Java_coralnote_main_java_core_DeviceConnector_loadUserDivesFromDevice(
            lookups.env(), nullptr, nullptr, nullptr, nullptr, lookups.newObject("java/util/Set"));
        // The optional progress report is looked up last, once the required lookups succeeded.
        std::vector<std::string> expected = order;
        if (*missing == '\0') {
            expected.push_back(kDeviceConnector);
        }
        EXPECT_EQ(lookups.targetsOf("FindClass"), expected);
        // Clearing a lookup error on the way is allowed; acting on a result is not.
        const auto &calls = lookups.calls();
        const auto lastLookup = std::find_if(calls.rbegin(), calls.rend(), [](const auto &call) {
            return call.function == "FindClass" && call.target != kDeviceConnector;
        });
        EXPECT_TRUE(std::none_of(calls.begin(), lastLookup.base(), [](const auto &call) {
            return call.function == "GetMethodID" || call.function == "GetStaticMethodID" ||
                   call.function == "Throw" || call.function == "ThrowNew";
        }));
    }
}

TEST_F(DownloadExport, TheNineMethodsThenTheOptionalOnesAreLookedUp) {
    download(R"("dives": [])");

    std::vector<std::string> lookups;
    for (const fake::JniCall &call : java.calls()) {
        if (call.function == "GetMethodID" || call.function == "GetStaticMethodID") {
            lookups.push_back(call.function + " " + call.target + call.detail);
        }
    }
    const std::string set = kSet, nativeException = kNativeException, device = kDevice, gas = kGas,
                      dive = kDive, cylinder = kCylinder, integer = kInteger, boxedFloat = kFloat,
                      connector = "GetStaticMethodID " + std::string(kDeviceConnector);
    EXPECT_EQ(
        lookups,
        (std::vector<std::string>{
            "GetMethodID " + set + ".add(Ljava/lang/Object;)Z",
            "GetMethodID " + nativeException + ".<init>(Ljava/lang/String;Ljava/lang/Throwable;)V",
            "GetMethodID " + device +
                ".<init>(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)V",
            "GetStaticMethodID " + gas + ".blendGas(II)Lcoralnote/main/java/core/Gas;",
            "GetMethodID " + dive +
                ".<init>(Lcoralnote/main/java/core/Device;Ljava/lang/String;FFLjava/lang/"
                "Float;Ljava/lang/Float;Ljava/lang/Float;Lcoralnote/main/java/core/Gas;"
                "Lcoralnote/main/java/core/Cylinder;)V",
            "GetMethodID " + dive +
                ".setDiveProfileAndUpdate([Ljava/lang/Float;[Ljava/lang/Float;[Ljava/lang/"
                "Float;[Ljava/lang/Float;[Ljava/lang/Integer;)V",
            "GetMethodID " + cylinder + ".<init>(FF)V",
            "GetStaticMethodID " + integer + ".valueOf(I)Ljava/lang/Integer;",
            "GetStaticMethodID " + boxedFloat + ".valueOf(F)Ljava/lang/Float;",
            connector + ".downloadProgress(JJ)V",
            connector + ".bluetoothPinCode(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;",
            connector + ".bluetoothAccessCode(Ljava/lang/String;Ljava/lang/String;)[B",
            connector + ".saveBluetoothAccessCode(Ljava/lang/String;Ljava/lang/String;[B)V",
            connector +
                ".diveFingerprint(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)[B",
            connector + ".saveDiveFingerprint(Ljava/lang/String;Ljava/lang/String;Ljava/lang/"
                        "String;[B)V",
            connector + ".libdivecomputerLog(ILjava/lang/String;)V",
            connector +
                ".chooseBluetoothDevice([Ljava/lang/String;[Ljava/lang/String;)Ljava/lang/String;",
            "GetMethodID " + dive + ".setGasMixes([F[F[I)V",
            "GetMethodID " + dive + ".setTanks([I[F[F[F[F[I[I)V",
            "GetMethodID " + dive + ".setTankPressures([[F)V",
            "GetMethodID " + dive + ".setSampleColumns([Ljava/lang/String;[[F)V",
            "GetMethodID " + dive + ".setEvents([I[I[I[I[I)V",
            "GetMethodID " + dive + ".setDiveFields([Ljava/lang/String;[D)V",
        }));
}

TEST_F(DownloadExport, AHostWithoutTheProgressReportDownloadsAsBefore) {
    java.missMethod(kDeviceConnector, "downloadProgress");

    EXPECT_NE(download(threeFullDives()), nullptr);

    EXPECT_EQ(java.pending(), nullptr);
    EXPECT_EQ(java.countOf("CallStaticVoidMethod"), 0);
    EXPECT_EQ(dives().size(), 3u);
    expectEverythingReleased();
}

TEST_F(DownloadExport, ADiveTheSetAlreadyHoldsIsNoFailure) {
    java.answer(kSet, "add", [](FakeJni &, jobject, const std::vector<fake::JavaValue> &) {
        return fake::JavaValue{jint{0}};
    });

    EXPECT_NE(download(divesOf(std::string(kBareDive) + ", " + kBareDive)), nullptr);

    EXPECT_EQ(java.pending(), nullptr);
    EXPECT_EQ(java.targetsOf("CallBooleanMethod").size(), 2u);
    expectEverythingReleased();
}

TEST_F(DownloadExport, WideDateFieldsAreWrittenInFull) {
    download(divesOf(R"({"datetime": {"year": 12345, "month": 1, "day": 2,
        "hour": -1, "minute": 100000, "second": -2147483648}})"));

    ASSERT_EQ(dives().size(), 1u);
    EXPECT_EQ(java.text(std::get<jobject>(java.object(dives()[0]).arguments.at(1))),
              "12345-01-02 -1:100000:-2147483648");
}

TEST_F(DownloadExport, AMissingClassOpensNothing) {
    const ScopedTrace trace;
    java.missClass(kDive);

    expectOneFailure(download(divesOf(kBareDive)));

    expectUnchainedNativeException(java, "Could not find the necessary Java classes.");
    EXPECT_TRUE(trace.lines("dc_").empty());
    EXPECT_EQ(java.countOf("GetStringUTFChars"), 0);
    EXPECT_EQ(java.countOf("GetMethodID"), 0);
}

TEST_F(DownloadExport, AMissingNativeExceptionLeavesOnlyTheLookupError) {
    const ScopedTrace trace;
    java.missClass(kNativeException);
    java.missClass(kGas);

    expectOneFailure(download(divesOf(kBareDive)));

    const fake::JavaException pending = java.describe(java.pending());
    EXPECT_EQ(pending.className, "java/lang/NoClassDefFoundError");
    EXPECT_EQ(pending.message, kNativeException);
    EXPECT_EQ(java.countOf("ThrowNew"), 0);
    EXPECT_EQ(java.countOf("GetStringUTFChars"), 0);
    EXPECT_TRUE(trace.lines("dc_").empty());
}

TEST_F(DownloadExport, AnyMissingMethodGivesUnchainedNativeException) {
    const std::pair<const char *, const char *> methods[] = {
        {kSet, "add"},         {kNativeException, "<init>"},
        {kDevice, "<init>"},   {kGas, "blendGas"},
        {kDive, "<init>"},     {kDive, "setDiveProfileAndUpdate"},
        {kCylinder, "<init>"}, {kInteger, "valueOf"},
        {kFloat, "valueOf"},
    };
    for (const auto &[owner, name] : methods) {
        SCOPED_TRACE(std::string(owner) + "." + name);
        FakeJni lookups;
        lookups.missMethod(owner, name);
        const ScopedTrace trace;

        const jobject result =
            Java_coralnote_main_java_core_DeviceConnector_loadUserDivesFromDevice(
                lookups.env(), nullptr, lookups.newString(port), lookups.newString(testVendor),
                lookups.newString(testProduct), lookups.newObject("java/util/HashSet"));

        EXPECT_EQ(result, nullptr);
        ASSERT_NE(lookups.pending(), nullptr);
        EXPECT_EQ(lookups.pendingCount(), 1);
        expectUnchainedNativeException(lookups, "Could not find the necessary Java methods.");
        EXPECT_EQ(lookups.countOf("GetStringUTFChars"), 0);
        EXPECT_TRUE(trace.lines("dc_").empty());
    }
}

TEST_F(DownloadExport, ANullSetFailsBeforeAnythingIsOpened) {
    const ScopedTrace trace;
    port = writeTempFile("image.json", imageWith(divesOf(kBareDive)));

    expectOneFailure(Java_coralnote_main_java_core_DeviceConnector_loadUserDivesFromDevice(
        java.env(), nullptr, java.newString(port), vendor, model, nullptr));

    EXPECT_EQ(java.describe(java.pending()).className, kNativeException);
    EXPECT_TRUE(trace.lines("dc_").empty());
    EXPECT_EQ(java.countOf("GetStringUTFChars"), 0);
}

TEST_F(DownloadExport, ATextThatCannotBeObtainedFailsWithoutFurtherJniCalls) {
    const ScopedTrace trace;
    java.failWhen(callOf("GetStringUTFChars", testVendor), "java/lang/OutOfMemoryError");

    expectOneFailure(download(divesOf(kBareDive)));

    const fake::JavaException thrown = java.describe(java.pending());
    EXPECT_EQ(thrown.className, kNativeException);
    ASSERT_NE(thrown.cause, nullptr);
    EXPECT_EQ(java.describe(thrown.cause).className, "java/lang/OutOfMemoryError");
    EXPECT_TRUE(trace.lines("dc_device_open").empty());
}

TEST_F(DownloadExport, NativeFailuresReachJavaAsTheirOwnClassWithoutCause) {
    struct Case {
        const char *failing;
        std::string body;
        const char *model;
        const char *javaClass;
        std::string message;  // "{port}" stands for the image's path
    };
    const Case cases[] = {
        {"unknown device", divesOf(kBareDive), "Parser Probe 2", kUnknownDeviceException,
         "No matching device found: vendor='Testing Vendor', model='Parser Probe 2', "
         "port='{port}'"},
        {"open", R"("faults": {"open": -6})", testProduct, kCommunicationException,
         "[-6]: Error opening device."},
        {"event hook", R"("faults": {"set_events": -2})", testProduct, kNativeException,
         "[-2]: Error registering the event handler."},
        {"download",
         divesOf(std::string(kBareDive) + ", " + kBareDive) +
             R"(, "faults": {"foreach": -7, "foreach_after": 1})",
         testProduct, kCommunicationException, "[-7]: Error downloading the dives."},
        {"parse", divesOf(std::string(kBareDive) + R"(, {"faults": {"datetime": -9}})"),
         testProduct, kNativeException, "[-9]: Error parsing the datetime."},
    };
    for (const Case &failure : cases) {
        SCOPED_TRACE(failure.failing);
        FakeJni failing;
        const jobject into = failing.newObject("java/util/HashSet");
        const std::string image = writeTempFile("image.json", imageWith(failure.body));

        const jobject result =
            Java_coralnote_main_java_core_DeviceConnector_loadUserDivesFromDevice(
                failing.env(), nullptr, failing.newString(image), failing.newString(testVendor),
                failing.newString(failure.model), into);

        EXPECT_EQ(result, nullptr);
        ASSERT_NE(failing.pending(), nullptr);
        EXPECT_EQ(failing.pendingCount(), 1);
        EXPECT_EQ(failing.pendingRaisedBy(), "ThrowNew");
        EXPECT_TRUE(failing.callsWhilePending().empty());
        const fake::JavaException thrown = failing.describe(failing.pending());
        EXPECT_EQ(thrown.className, failure.javaClass);
        std::string expected = failure.message;
        if (const auto at = expected.find("{port}"); at != std::string::npos) {
            expected.replace(at, 6, image);
        }
        EXPECT_EQ(thrown.message, expected);
        EXPECT_EQ(thrown.cause, nullptr);
        // A failure before the download has ended lets no dive through.
        EXPECT_TRUE(failing.object(into).elements.empty());
        EXPECT_EQ(failing.utfCharsObtained(), 3);
        EXPECT_EQ(failing.utfCharsReleased(), 3);
        EXPECT_EQ(failing.utfCharsHeld(), 0);
        EXPECT_EQ(dcsim_live_handles(), 0u);
        EXPECT_TRUE(failing.faults().empty());
    }
}

TEST_F(DownloadExport, EachFailingJavaStepThrowsNativeExceptionChainedToTheJavaFailure) {
    struct Step {
        const char *failing;
        fake::CallMatch match;
        int nth;
        const char *message;  // null where the message is the bridge's own choice
        std::size_t divesSaved;
    };
    const std::string constructor = ".<init>";
    const fake::CallMatch floatBoxing =
        callOf("CallStaticObjectMethod", std::string(kFloat) + ".valueOf");
    const Step steps[] = {
        {"parent device", callOf("NewObject", kDevice + constructor), 1,
         "Could not create parent device.", 0},
        {"gas", callOf("CallStaticObjectMethod", std::string(kGas) + ".blendGas"), 1,
         "Could not create gas.", 0},
        {"used pressure", floatBoxing, 1, "Could not create used pressure.", 0},
        {"bottom temperature", floatBoxing, 2, "Could not create bottom temperature.", 0},
        {"average depth", floatBoxing, 3, nullptr, 0},
        {"cylinder of the second dive", callOf("NewObject", kCylinder + constructor), 2,
         "Could not create cylinder.", 1},
        {"third dive", callOf("NewObject", kDive + constructor), 3, "Could not create dive.", 2},
        {"profile of the second dive",
         callOf("CallVoidMethod", std::string(kDive) + ".setDiveProfileAndUpdate"), 2,
         "Could not set dive profile.", 1},
        {"details of the second dive",
         callOf("CallVoidMethod", std::string(kDive) + ".setSampleColumns"), 2,
         "Could not hand the dive's details to the application.", 1},
        {"save of the third dive", callOf("CallBooleanMethod", std::string(kSet) + ".add"), 3,
         "Could not save dive.", 2},
        // The report of the first dive's transfer: nothing is parsed or handed over after it.
        {"progress report",
         callOf("CallStaticVoidMethod", std::string(kDeviceConnector) + ".downloadProgress"), 2,
         "Could not report download progress.", 0},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.failing);
        FakeJni failing;
        const jobject into = failing.newObject("java/util/HashSet");
        const std::string image = writeTempFile("image.json", imageWith(threeFullDives()));
        failing.failWhen(step.match, "java/lang/OutOfMemoryError", step.nth);

        const jobject result =
            Java_coralnote_main_java_core_DeviceConnector_loadUserDivesFromDevice(
                failing.env(), nullptr, failing.newString(image), failing.newString(testVendor),
                failing.newString(testProduct), into);

        EXPECT_EQ(result, nullptr);
        ASSERT_NE(failing.pending(), nullptr);
        EXPECT_EQ(failing.pendingCount(), 1);
        EXPECT_EQ(failing.throwsOverPending(), 0);
        EXPECT_EQ(failing.pendingRaisedBy(), "Throw");
        EXPECT_TRUE(failing.callsWhilePending().empty());
        const fake::JavaException thrown = failing.describe(failing.pending());
        EXPECT_EQ(thrown.className, kNativeException);
        if (step.message != nullptr) {
            EXPECT_EQ(thrown.message, step.message);
        } else {
            EXPECT_FALSE(thrown.message.empty());
        }
        EXPECT_EQ(failing.causeChain(failing.pending()),
                  (std::vector<std::string>{kNativeException, "java/lang/OutOfMemoryError"}));
        // Dives handed over before the failure stay in the set.
        const std::vector<jobject> &saved = failing.object(into).elements;
        EXPECT_EQ(saved.size(), step.divesSaved);
        for (jobject dive : saved) {
            EXPECT_EQ(failing.object(dive).className, kDive);
        }
        EXPECT_EQ(failing.utfCharsObtained(), 3);
        EXPECT_EQ(failing.utfCharsReleased(), 3);
        EXPECT_EQ(dcsim_live_handles(), 0u);
        EXPECT_EQ(failing.openLocalFrames(), 0);
        EXPECT_TRUE(failing.faults().empty());
    }
}

// Peak of live local references for a download of `count` dives of 100 sample rows each.
int peakLocalReferencesFor(int count) {
    const ScopedCatalogue catalogue(testCatalogue());
    FakeJni java;
    const jobject set = java.newObject("java/util/HashSet");
    const std::string image = writeTempFile(
        "image.json",
        imageWith(R"("dives": [{"datetime": {"year": 2020, "month": 1, "day": 1}, "avgdepth": 8,
            "temperature_minimum": 12, "gasmixes": [{"oxygen": 0.32}],
            "tanks": [{"gasmix": 0, "type": 1, "volume": 12, "workpressure": 232,
                       "beginpressure": 200, "endpressure": 60}],
            "generate": {"rows": 100, "maxdepth": 20, "pressure": [200, 60], "temperature": 12},
            "repeat": )" +
                  std::to_string(count) + "}]"));

    const jobject parent = Java_coralnote_main_java_core_DeviceConnector_loadUserDivesFromDevice(
        java.env(), nullptr, java.newString(image), java.newString(testVendor),
        java.newString(testProduct), set);

    EXPECT_NE(parent, nullptr);
    EXPECT_EQ(java.object(set).elements.size(), static_cast<std::size_t>(count));
    EXPECT_EQ(java.openLocalFrames(), 0);
    return java.peakLocalRefs();
}

TEST(DiveDownloadScale, LiveLocalReferencesAreBoundedByOneDiveNotByTheDownload) {
    const int peak20 = peakLocalReferencesFor(20);
    const int peak200 = peakLocalReferencesFor(200);

    // One dive of 100 rows holds at most five boxed cells per row and a dozen objects of its own.
    EXPECT_LT(peak20, 5 * 100 + 64);
    EXPECT_LE(peak200, peak20) << "local references pile up from dive to dive";
}

}  // namespace
}  // namespace divebridge
