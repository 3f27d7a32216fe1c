// SPDX-License-Identifier: MIT
// Handing a dive's sample profile to its Java Dive as five boxed arrays.
#pragma once

#include "bridge/host_contract.h"
#include "parse/dive_record.h"

#include <jni.h>

#include <cstdint>
#include <vector>

namespace divebridge {

// The rows below rowCount whose depth cell is present, in row order: rows without a depth are
// dropped, nothing is merged or reordered.
std::vector<std::uint32_t> dropRowsWithoutDepth(const DiveProfile &profile);

// Present values at or below zero (negative zero included) become 0; NaN and absent pass through.
OptionalFloat clampToZero(OptionalFloat cell);

// Builds the arrays of the kept `rows` (dropRowsWithoutDepth's) and calls setDiveProfileAndUpdate;
// does nothing without a kept row. `java` holds the Float and Integer classes and constructors,
// setDiveProfileAndUpdate and NativeException. A Java failure raises the chained NativeException
// and PendingJavaException.
void convertProfile(JNIEnv *env, const DiveProfile &profile, const std::vector<std::uint32_t> &rows,
                    jobject dive, const HostJava &java);

}  // namespace divebridge
