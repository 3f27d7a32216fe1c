// SPDX-License-Identifier: MIT
// Building the host's Java Dive of one downloaded record: its gas, cylinder, optional values, date
// text and profile.
#pragma once

#include "bridge/host_contract.h"
#include "parse/dive_record.h"

#include <jni.h>

#include <optional>

namespace divebridge {

// The mix passed to Java as the dive's gas: the first tank's mix, or the first mix when there are
// no tanks; none when that index is unknown or out of range, or the oxygen fraction is not above 0.
std::optional<dc_gasmix_t> selectGasMix(const DiveRecord &record);

// A gas fraction as whole percent, an exact half rounding up.
jint gasPercentage(double fraction);

// Builds the Dive of one record with its gas, cylinder, optional values and profile, and adds it to
// `set`; `java` holds the download export's lookups. A Java failure raises the chained
// NativeException and PendingJavaException.
void buildJavaDive(JNIEnv *env, const HostJava &java, const DiveRecord &record, jobject parent,
                   jobject set);

}  // namespace divebridge
