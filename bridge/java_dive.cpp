// SPDX-License-Identifier: MIT
#include "bridge/java_dive.h"

#include "bridge/java_dive_details.h"
#include "bridge/java_scoped.h"
#include "bridge/profile_conversion.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace divebridge {
namespace {

// A dive's own references: gas, three optional floats, cylinder, date text, dive and the five
// profile arrays, with room to spare.
constexpr jint referencesPerDive = 16;

// The host takes any Float as a measurement: a value that is not a number, infinite, or beyond a
// float's range is passed as absent rather than as a Float that looks measured.
bool fitsFloat(double value) {
    return std::fabs(value) <= static_cast<double>(std::numeric_limits<float>::max());
}

// A Float of `value`; a Java failure raises the chained NativeException with `failed`.
jobject newFloat(JNIEnv *env, const HostJava &java, double value, const char *failed) {
    jobject boxed = env->CallStaticObjectMethod(
        java[HostClass::Float], java[HostMethod::FloatValueOf], static_cast<jfloat>(value));
    checkStep(env, java.nativeException(), failed);
    return boxed;
}

jobject newGas(JNIEnv *env, const HostJava &java, const DiveRecord &record) {
    const std::optional<dc_gasmix_t> mix = selectGasMix(record);
    if (!mix) {
        return nullptr;
    }
    jobject gas =
        env->CallStaticObjectMethod(java[HostClass::Gas], java[HostMethod::BlendGas],
                                    gasPercentage(mix->oxygen), gasPercentage(mix->helium));
    checkStep(env, java.nativeException(), "Could not create gas.");
    return gas;
}

jobject newUsedPressure(JNIEnv *env, const HostJava &java, const DiveRecord &record) {
    if (record.tanks.empty()) {
        return nullptr;
    }
    const dc_tank_t &tank = record.tanks.front();
    const double used = tank.beginpressure - tank.endpressure;
    if (!(used > 0) || !fitsFloat(used)) {
        return nullptr;
    }
    return newFloat(env, java, used, "Could not create used pressure.");
}

jobject newBottomTemperature(JNIEnv *env, const HostJava &java, const DiveRecord &record) {
    if (!record.minimumTemperature || !fitsFloat(*record.minimumTemperature)) {
        return nullptr;
    }
    return newFloat(env, java, *record.minimumTemperature, "Could not create bottom temperature.");
}

jobject newCylinder(JNIEnv *env, const HostJava &java, const DiveRecord &record) {
    if (record.tanks.empty()) {
        return nullptr;
    }
    const dc_tank_t &tank = record.tanks.front();
    if (tank.type == DC_TANKVOLUME_NONE || !(tank.volume > 0) || !(tank.workpressure > 0)) {
        return nullptr;
    }
    jobject cylinder =
        env->NewObject(java[HostClass::Cylinder], java[HostMethod::CylinderInit],
                       static_cast<jfloat>(tank.volume), static_cast<jfloat>(tank.workpressure));
    checkStep(env, java.nativeException(), "Could not create cylinder.");
    return cylinder;
}

jobject newAverageDepth(JNIEnv *env, const HostJava &java, const DiveRecord &record) {
    if (!record.averageDepth || !(*record.averageDepth > 0) || !fitsFloat(*record.averageDepth)) {
        return nullptr;
    }
    return newFloat(env, java, *record.averageDepth, "Could not create average depth.");
}

// Wide values are written in full; the buffer holds the six ints at their widest.
std::string formatDateTime(const dc_datetime_t &dateTime) {
    char text[96];
    std::snprintf(text, sizeof text, "%04i-%02i-%02i %02i:%02i:%02i", dateTime.year, dateTime.month,
                  dateTime.day, dateTime.hour, dateTime.minute, dateTime.second);
    return text;
}

}  // namespace

std::optional<dc_gasmix_t> selectGasMix(const DiveRecord &record) {
    const std::vector<dc_gasmix_t> &mixes = record.gasMixes;
    const dc_gasmix_t *candidate = nullptr;
    if (!record.tanks.empty()) {
        const unsigned int index = record.tanks.front().gasmix;
        if (index != DC_GASMIX_UNKNOWN && index < mixes.size()) {
            candidate = &mixes[index];
        }
    } else if (!mixes.empty()) {
        candidate = &mixes.front();
    }
    // A fraction that is not a number cannot be given as a percentage: no gas rather than an
    // invented one.
    if (candidate == nullptr || !(candidate->oxygen > 0) || !std::isfinite(candidate->oxygen) ||
        !std::isfinite(candidate->helium)) {
        return std::nullopt;
    }
    return *candidate;
}

jint gasPercentage(double fraction) {
    const double percentage = std::floor(fraction * 100.0 + 0.5);
    if (std::isnan(percentage)) {
        return 0;  // selectGasMix keeps NaN away; this only keeps the conversion defined
    }
    // Saturated so that an absurd fraction reaches the host's own validation instead of
    // overflowing the conversion.
    if (percentage >= static_cast<double>(std::numeric_limits<jint>::max())) {
        return std::numeric_limits<jint>::max();
    }
    if (percentage <= static_cast<double>(std::numeric_limits<jint>::min())) {
        return std::numeric_limits<jint>::min();
    }
    return static_cast<jint>(percentage);
}

void buildJavaDive(JNIEnv *env, const HostJava &java, const DiveRecord &record, jobject parent,
                   jobject set) {
    const NativeExceptionClass nativeException = java.nativeException();
    const ScopedLocalFrame frame(env, referencesPerDive);
    checkStep(env, nativeException, "Could not create dive.");

    jobject gas = newGas(env, java, record);
    jobject usedPressure = newUsedPressure(env, java, record);
    jobject bottomTemperature = newBottomTemperature(env, java, record);
    jobject cylinder = newCylinder(env, java, record);
    jobject averageDepth = newAverageDepth(env, java, record);

    jstring start = env->NewStringUTF(formatDateTime(record.dateTime).c_str());
    checkStep(env, nativeException, "Could not create dive.");
    jobject dive =
        env->NewObject(java[HostClass::Dive], java[HostMethod::DiveInit], parent, start,
                       static_cast<jfloat>(record.diveTime), static_cast<jfloat>(record.maxDepth),
                       averageDepth, usedPressure, bottomTemperature, gas, cylinder);
    checkStep(env, nativeException, "Could not create dive.");

    const std::vector<std::uint32_t> rows = dropRowsWithoutDepth(record.profile);
    convertProfile(env, record.profile, rows, dive, java);
    handDiveDetails(env, java, record, rows, dive);

    env->CallBooleanMethod(set, java[HostMethod::SetAdd], dive);
    checkStep(env, nativeException, "Could not save dive.");
}

}  // namespace divebridge
