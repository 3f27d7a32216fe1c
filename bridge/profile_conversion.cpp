// SPDX-License-Identifier: MIT
#include "bridge/profile_conversion.h"

#include "bridge/java_scoped.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace divebridge {
namespace {

// Boxed elements are created in blocks of rows, each inside a local frame of its own: the arrays
// keep the elements, and the number of live references stays bounded however long the dive is.
constexpr std::size_t rowsPerFrame = 1024;
constexpr jint referencesPerRow = 5;

const char *const conversionFailed = "Error while converting profile data.";

jobject boxFloat(JNIEnv *env, const HostJava &java, const OptionalFloat &cell) {
    return cell
               ? env->CallStaticObjectMethod(java[HostClass::Float], java[HostMethod::FloatValueOf],
                                             static_cast<jfloat>(*cell))
               : nullptr;
}

jobject boxInteger(JNIEnv *env, const HostJava &java, const OptionalInt &cell) {
    return cell ? env->CallStaticObjectMethod(java[HostClass::Integer],
                                              java[HostMethod::IntegerValueOf],
                                              static_cast<jint>(*cell))
                : nullptr;
}

// The element is checked before it is stored: JNI allows no call while its creation's failure is
// pending.
void storeElement(JNIEnv *env, const HostJava &java, jobjectArray array, jsize index,
                  jobject element) {
    checkStep(env, java.nativeException(), conversionFailed);
    env->SetObjectArrayElement(array, index, element);
    checkStep(env, java.nativeException(), conversionFailed);
}

struct ProfileArrays {
    jobjectArray times;
    jobjectArray depths;
    jobjectArray pressures;
    jobjectArray temperatures;
    jobjectArray events;
};

ProfileArrays newProfileArrays(JNIEnv *env, const HostJava &java, jsize length) {
    const auto newArray = [&](jclass elementClass) {
        jobjectArray array = env->NewObjectArray(length, elementClass, nullptr);
        checkStep(env, java.nativeException(), conversionFailed);
        return array;
    };
    ProfileArrays arrays{};
    arrays.times = newArray(java[HostClass::Float]);
    arrays.depths = newArray(java[HostClass::Float]);
    arrays.pressures = newArray(java[HostClass::Float]);
    arrays.temperatures = newArray(java[HostClass::Float]);
    arrays.events = newArray(java[HostClass::Integer]);
    return arrays;
}

void fillRow(JNIEnv *env, const HostJava &java, const DiveProfile &profile, std::uint32_t row,
             const ProfileArrays &arrays, jsize index) {
    storeElement(env, java, arrays.times, index,
                 boxFloat(env, java, clampToZero(profile.times[row])));
    storeElement(env, java, arrays.depths, index,
                 boxFloat(env, java, clampToZero(profile.depths[row])));
    storeElement(env, java, arrays.pressures, index,
                 boxFloat(env, java, clampToZero(profile.pressures[row])));
    storeElement(env, java, arrays.temperatures, index,
                 boxFloat(env, java, profile.temperatures[row]));
    storeElement(env, java, arrays.events, index, boxInteger(env, java, profile.events[row]));
}

}  // namespace

std::vector<std::uint32_t> dropRowsWithoutDepth(const DiveProfile &profile) {
    std::vector<std::uint32_t> kept;
    kept.reserve(profile.rowCount);
    for (std::uint32_t row = 0; row < profile.rowCount; ++row) {
        if (profile.depths[row]) {
            kept.push_back(row);
        }
    }
    return kept;
}

OptionalFloat clampToZero(OptionalFloat cell) {
    if (cell && *cell <= 0.0f) {
        return 0.0f;
    }
    return cell;
}

void convertProfile(JNIEnv *env, const DiveProfile &profile, const std::vector<std::uint32_t> &rows,
                    jobject dive, const HostJava &java) {
    if (rows.empty()) {
        return;
    }
    if (rows.size() > static_cast<std::size_t>(std::numeric_limits<jsize>::max())) {
        throw std::length_error("The dive has more sample rows than a Java array can hold.");
    }
    const ProfileArrays arrays = newProfileArrays(env, java, static_cast<jsize>(rows.size()));
    for (std::size_t first = 0; first < rows.size(); first += rowsPerFrame) {
        const std::size_t last = std::min(rows.size(), first + rowsPerFrame);
        const ScopedLocalFrame frame(env, static_cast<jint>((last - first) * referencesPerRow));
        checkStep(env, java.nativeException(), conversionFailed);
        for (std::size_t index = first; index < last; ++index) {
            fillRow(env, java, profile, rows[index], arrays, static_cast<jsize>(index));
        }
    }
    env->CallVoidMethod(dive, java[HostMethod::SetDiveProfileAndUpdate], arrays.times,
                        arrays.depths, arrays.pressures, arrays.temperatures, arrays.events);
    checkStep(env, java.nativeException(), "Could not set dive profile.");
}

}  // namespace divebridge
