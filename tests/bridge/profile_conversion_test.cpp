// SPDX-License-Identifier: MIT
// convertProfile through a scripted JNIEnv: which rows and values reach the five Java arrays, each
// failing step, and the local references a long profile keeps alive.
#include "bridge/profile_conversion.h"
#include "fake_jni_env.h"
#include "java_expectations.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace divebridge {
namespace {

using fake::callOf;
using fake::FakeJni;

const char kConversionFailed[] = "Error while converting profile data.";

struct Row {
    OptionalFloat time = std::nullopt;
    OptionalFloat depth = std::nullopt;
    OptionalFloat pressure = std::nullopt;
    OptionalFloat temperature = std::nullopt;
    OptionalInt event = std::nullopt;
};

DiveProfile profileOf(const std::vector<Row> &rows) {
    DiveProfile profile;
    profile.rowCount = static_cast<std::uint32_t>(rows.size());
    for (const Row &row : rows) {
        profile.times.push(row.time);
        profile.depths.push(row.depth);
        profile.pressures.push(row.pressure);
        profile.temperatures.push(row.temperature);
        profile.events.push(row.event);
    }
    return profile;
}

// Rows with every cell present.
DiveProfile fullProfile(std::uint32_t rows) {
    std::vector<Row> table;
    for (std::uint32_t i = 0; i < rows; ++i) {
        table.push_back(
            {10.0f * i, 1.0f + i % 30, 200.0f - i % 100, 18.0f, static_cast<std::int32_t>(i % 3)});
    }
    return profileOf(table);
}

// A fake JVM with the handles the download export would pass, and a Dive to attach to.
class ProfileHarness {
  public:
    FakeJni java;
    HostJava handles;
    jobject dive = nullptr;

    ProfileHarness() {
        const HostClass classes[] = {HostClass::NativeException, HostClass::Float,
                                     HostClass::Integer, HostClass::Dive};
        const HostMethod methods[] = {HostMethod::NativeExceptionInit, HostMethod::FloatValueOf,
                                      HostMethod::IntegerValueOf,
                                      HostMethod::SetDiveProfileAndUpdate};
        EXPECT_TRUE(lookUpHost(java.env(), classes, methods, handles));
        dive = java.newObject(kDive);
    }

    void convert(const DiveProfile &profile) {
        convertProfile(java.env(), profile, dropRowsWithoutDepth(profile), dive, handles);
    }

    std::vector<const fake::MethodCall *> profileCalls() const {
        std::vector<const fake::MethodCall *> found;
        for (const fake::MethodCall &call : java.methodCalls()) {
            if (call.name == "setDiveProfileAndUpdate") {
                found.push_back(&call);
            }
        }
        return found;
    }

    // The five arrays of the one setDiveProfileAndUpdate call.
    std::vector<jobject> attachedArrays() const {
        const auto calls = profileCalls();
        EXPECT_EQ(calls.size(), 1u);
        if (calls.size() != 1) {
            return {};
        }
        EXPECT_EQ(calls[0]->self, dive);
        std::vector<jobject> arrays;
        for (const fake::JavaValue &argument : calls[0]->arguments) {
            arrays.push_back(std::get<jobject>(argument));
        }
        EXPECT_EQ(arrays.size(), 5u);
        return arrays;
    }

    std::vector<OptionalFloat> floatsOf(jobject array) const {
        std::vector<OptionalFloat> values;
        for (jobject element : java.object(array).elements) {
            if (element == nullptr) {
                values.push_back(std::nullopt);
                continue;
            }
            EXPECT_EQ(java.object(element).className, kFloat);
            values.push_back(std::get<jfloat>(java.object(element).arguments.at(0)));
        }
        return values;
    }

    std::vector<OptionalInt> integersOf(jobject array) const {
        std::vector<OptionalInt> values;
        for (jobject element : java.object(array).elements) {
            if (element == nullptr) {
                values.push_back(std::nullopt);
                continue;
            }
            EXPECT_EQ(java.object(element).className, kInteger);
            values.push_back(std::get<jint>(java.object(element).arguments.at(0)));
        }
        return values;
    }

    int boxedValuesOf(const std::string &className) const {
        int count = 0;
        for (const std::string &target : java.targetsOf("CallStaticObjectMethod")) {
            count += target == className + ".valueOf" ? 1 : 0;
        }
        return count;
    }

    // The failure left exactly one NativeException with `message`, caused by `causeClass`.
    void expectChainedFailure(const char *message, const std::string &causeClass) const {
        ASSERT_NE(java.pending(), nullptr);
        EXPECT_EQ(java.pendingCount(), 1);
        EXPECT_EQ(java.throwsOverPending(), 0);
        EXPECT_EQ(java.pendingRaisedBy(), "Throw");
        const fake::JavaException thrown = java.describe(java.pending());
        EXPECT_EQ(thrown.className, kNativeException);
        EXPECT_EQ(thrown.message, message);
        EXPECT_EQ(java.causeChain(java.pending()),
                  (std::vector<std::string>{kNativeException, causeClass}));
        EXPECT_EQ(java.openLocalFrames(), 0);
        EXPECT_TRUE(java.faults().empty());
    }
};

class ProfileConversion : public ::testing::Test, protected ProfileHarness {};

TEST_F(ProfileConversion, RowsWithoutDepthAreDroppedAndTheRestKeepTheirOrder) {
    convert(profileOf({{0.0f, std::nullopt}, {10.0f, 1.2f}, {20.0f, 2.5f}}));

    EXPECT_EQ(java.targetsOf("NewObjectArray"),
              (std::vector<std::string>{kFloat, kFloat, kFloat, kFloat, kInteger}));
    const std::vector<jobject> arrays = attachedArrays();
    ASSERT_EQ(arrays.size(), 5u);
    for (jobject array : arrays) {
        EXPECT_EQ(java.object(array).elements.size(), 2u);
    }
    EXPECT_EQ(floatsOf(arrays[0]), (std::vector<OptionalFloat>{10.0f, 20.0f}));
    EXPECT_EQ(floatsOf(arrays[1]), (std::vector<OptionalFloat>{1.2f, 2.5f}));
    EXPECT_EQ(java.pending(), nullptr);
    EXPECT_EQ(java.openLocalFrames(), 0);
}

TEST_F(ProfileConversion, AProfileWithoutAKeptRowAttachesNothing) {
    convert(profileOf({{0.0f, std::nullopt, 200.0f}, {10.0f, std::nullopt, 199.0f, 20.0f, 1}}));
    convert(DiveProfile{});

    EXPECT_EQ(java.countOf("NewObjectArray"), 0);
    EXPECT_EQ(java.countOf("NewObject"), 0);
    EXPECT_TRUE(profileCalls().empty());
    EXPECT_EQ(java.pending(), nullptr);
}

TEST_F(ProfileConversion, NonPositiveTimesDepthsAndPressuresBecomePositiveZero) {
    convert(profileOf(
        {{0.0f, -0.3f, -1.0f, -2.0f}, {-0.0f, -0.0f, 0.0f, 0.0f}, {-5.0f, 0.5f, 150.0f, -0.0f}}));

    const std::vector<jobject> arrays = attachedArrays();
    ASSERT_EQ(arrays.size(), 5u);
    const auto times = floatsOf(arrays[0]);
    const auto depths = floatsOf(arrays[1]);
    const auto pressures = floatsOf(arrays[2]);
    EXPECT_EQ(times, (std::vector<OptionalFloat>{0.0f, 0.0f, 0.0f}));
    EXPECT_EQ(depths, (std::vector<OptionalFloat>{0.0f, 0.0f, 0.5f}));
    EXPECT_EQ(pressures, (std::vector<OptionalFloat>{0.0f, 0.0f, 150.0f}));
    // -0.0 compares equal to 0.0: the sign bit tells them apart.
    for (const auto *column : {&times, &depths, &pressures}) {
        for (const OptionalFloat &value : *column) {
            ASSERT_TRUE(value.has_value());
            EXPECT_FALSE(std::signbit(*value));
        }
    }
    // Temperatures are passed as they are, signs included.
    const auto temperatures = floatsOf(arrays[3]);
    EXPECT_EQ(temperatures, (std::vector<OptionalFloat>{-2.0f, 0.0f, -0.0f}));
    EXPECT_TRUE(std::signbit(*temperatures[2]));
}

TEST_F(ProfileConversion, ClampToZeroKeepsAbsentAndNotANumberCells) {
    EXPECT_EQ(clampToZero(std::nullopt), std::nullopt);
    const OptionalFloat nan = clampToZero(std::numeric_limits<float>::quiet_NaN());
    ASSERT_TRUE(nan.has_value());
    EXPECT_TRUE(std::isnan(*nan));
    EXPECT_EQ(clampToZero(-std::numeric_limits<float>::infinity()), 0.0f);
    EXPECT_EQ(clampToZero(std::numeric_limits<float>::denorm_min()),
              std::numeric_limits<float>::denorm_min());
}

TEST_F(ProfileConversion, ANotANumberDepthIsPresentSoItsRowStays) {
    convert(profileOf({{0.0f, std::numeric_limits<float>::quiet_NaN()}, {10.0f, 3.0f}}));

    const std::vector<jobject> arrays = attachedArrays();
    ASSERT_EQ(arrays.size(), 5u);
    const auto depths = floatsOf(arrays[1]);
    ASSERT_EQ(depths.size(), 2u);
    ASSERT_TRUE(depths[0].has_value());
    EXPECT_TRUE(std::isnan(*depths[0]));
    EXPECT_EQ(depths[1], 3.0f);
}

TEST_F(ProfileConversion, EmptyCellsGiveNullAtTheirIndexOnly) {
    convert(profileOf({{0.0f, 1.0f, 200.0f, 20.0f, 0},
                       {10.0f, 2.0f, std::nullopt, 19.5f, std::nullopt},
                       {20.0f, 3.0f, 198.0f, std::nullopt, 11}}));

    const std::vector<jobject> arrays = attachedArrays();
    ASSERT_EQ(arrays.size(), 5u);
    EXPECT_EQ(floatsOf(arrays[0]), (std::vector<OptionalFloat>{0.0f, 10.0f, 20.0f}));
    EXPECT_EQ(floatsOf(arrays[1]), (std::vector<OptionalFloat>{1.0f, 2.0f, 3.0f}));
    EXPECT_EQ(floatsOf(arrays[2]), (std::vector<OptionalFloat>{200.0f, std::nullopt, 198.0f}));
    EXPECT_EQ(floatsOf(arrays[3]), (std::vector<OptionalFloat>{20.0f, 19.5f, std::nullopt}));
    // An event of 0 is a value, not an absent cell.
    EXPECT_EQ(integersOf(arrays[4]), (std::vector<OptionalInt>{0, std::nullopt, 11}));
}

TEST_F(ProfileConversion, CellsFromTheRowCountOnAreNotPassed) {
    DiveProfile profile = profileOf({{0.0f, 1.0f, 200.0f}, {10.0f, 2.0f, 180.0f}});
    // A column holding more cells than the profile has rows.
    profile.pressures.push(199.0f);
    profile.pressures.push(179.0f);

    convert(profile);

    const std::vector<jobject> arrays = attachedArrays();
    ASSERT_EQ(arrays.size(), 5u);
    EXPECT_EQ(floatsOf(arrays[2]), (std::vector<OptionalFloat>{200.0f, 180.0f}));
    EXPECT_EQ(floatsOf(arrays[0]), (std::vector<OptionalFloat>{0.0f, 10.0f}));
}

TEST(ProfileConversionFailure, AnArrayThatCannotBeCreatedEndsTheConversion) {
    const std::string floatArray = kFloat;
    for (const auto &[failing, nth] :
         {std::pair{floatArray, 1}, std::pair{std::string(kInteger), 1}}) {
        SCOPED_TRACE(failing);
        ProfileHarness harness;
        harness.java.failWhen(callOf("NewObjectArray", failing), "java/lang/OutOfMemoryError", nth);

        EXPECT_THROW(harness.convert(fullProfile(3)), PendingJavaException);

        harness.expectChainedFailure(kConversionFailed, "java/lang/OutOfMemoryError");
        EXPECT_TRUE(harness.java.callsWhilePending().empty());
        EXPECT_EQ(harness.boxedValuesOf(kFloat), 0);
        EXPECT_EQ(harness.java.countOf("SetObjectArrayElement"), 0);
        EXPECT_TRUE(harness.profileCalls().empty());
    }
}

TEST(ProfileConversionFailure, AnElementThatCannotBeCreatedStopsAtOnce) {
    ProfileHarness harness;
    // Row 0 makes four Floats and an Integer; the sixth Float is the depth of row 1.
    harness.java.failWhen(callOf("CallStaticObjectMethod", std::string(kFloat) + ".valueOf"),
                          "java/lang/OutOfMemoryError", 6);

    EXPECT_THROW(harness.convert(fullProfile(3)), PendingJavaException);

    harness.expectChainedFailure(kConversionFailed, "java/lang/OutOfMemoryError");
    EXPECT_EQ(harness.boxedValuesOf(kFloat), 6);
    EXPECT_EQ(harness.boxedValuesOf(kInteger), 1);
    EXPECT_TRUE(harness.java.callsWhilePending().empty());
    EXPECT_TRUE(harness.profileCalls().empty());
}

TEST(ProfileConversionFailure, AStoreThatFailsEndsTheConversion) {
    ProfileHarness harness;
    harness.java.failWhen(callOf("SetObjectArrayElement", kInteger),
                          "java/lang/ArrayStoreException", 2);

    EXPECT_THROW(harness.convert(fullProfile(3)), PendingJavaException);

    harness.expectChainedFailure(kConversionFailed, "java/lang/ArrayStoreException");
    EXPECT_TRUE(harness.java.callsWhilePending().empty());
    EXPECT_EQ(harness.boxedValuesOf(kFloat), 8);
    EXPECT_TRUE(harness.profileCalls().empty());
}

TEST(ProfileConversionFailure, AnExceptionFromSetDiveProfileBecomesTheCause) {
    ProfileHarness harness;
    harness.java.answer(kDive, "setDiveProfileAndUpdate",
                        [](FakeJni &host, jobject, const std::vector<fake::JavaValue> &) {
                            host.raise("java/lang/IllegalStateException", "profile rejected");
                            return fake::JavaValue{};
                        });

    EXPECT_THROW(harness.convert(fullProfile(2)), PendingJavaException);

    harness.expectChainedFailure("Could not set dive profile.", "java/lang/IllegalStateException");
    const fake::JavaException cause =
        harness.java.describe(harness.java.describe(harness.java.pending()).cause);
    EXPECT_EQ(cause.message, "profile rejected");
    EXPECT_TRUE(harness.java.callsWhilePending().empty());
}

// The peak of live local references after converting `rows` rows, and whether every row arrived.
int peakLocalReferencesFor(std::uint32_t rows) {
    ProfileHarness harness;
    harness.convert(fullProfile(rows));
    const std::vector<jobject> arrays = harness.attachedArrays();
    EXPECT_EQ(arrays.size(), 5u);
    if (arrays.size() == 5) {
        const auto times = harness.floatsOf(arrays[0]);
        EXPECT_EQ(times.size(), rows);
        EXPECT_EQ(times.back(), 10.0f * (rows - 1));
    }
    EXPECT_EQ(harness.java.openLocalFrames(), 0);
    EXPECT_EQ(harness.java.pending(), nullptr);
    return harness.java.peakLocalRefs();
}

TEST(ProfileConversionScale, ALongProfileKeepsLiveLocalReferencesBounded) {
    const int peak5000 = peakLocalReferencesFor(5000);
    const int peak20000 = peakLocalReferencesFor(20000);

    // Five boxed cells per row would be 25000 and 100000 references.
    EXPECT_LT(peak5000, 2 * 5000);
    EXPECT_LE(peak20000, peak5000 + 8) << "the peak grows with the length of the dive";
}

}  // namespace
}  // namespace divebridge
