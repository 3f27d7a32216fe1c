// Turning downloaded dive records into the host's Java objects.
#pragma once

#include "bridge/profile_conversion.h"
#include "parse/dive_record.h"

#include <jni.h>

#include <optional>

namespace divebridge {

struct DiveJava {
    ProfileJava profile;
    jclass setClass;
    jmethodID setAdd;
    jclass gasClass;
    jmethodID blendGas;
    jclass diveClass;
    jmethodID diveInit;
    jclass cylinderClass;
    jmethodID cylinderInit;
};

// The mix passed to Java as the dive's gas: the first tank's mix, or the first mix when there are
// no tanks; none when that index is unknown or out of range, or the oxygen fraction is not above 0.
std::optional<dc_gasmix_t> selectGasMix(const DiveRecord &record);

// A gas fraction as whole percent, an exact half rounding up.
jint gasPercentage(double fraction);

// Builds the Dive of one record with its gas, cylinder, optional values and profile, and adds it to
// `set`. A Java failure raises the chained NativeException and PendingJavaException.
void buildJavaDive(JNIEnv *env, const DiveJava &java, const DiveRecord &record, jobject parent,
                   jobject set);

}  // namespace divebridge
