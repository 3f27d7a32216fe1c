// SPDX-License-Identifier: MIT
// Handing the host's Java Dive what its dive computer recorded beyond the dive's own values:
// every gas mix and tank, each tank's pressures, the other sample kinds, every event and the
// summary fields, through the optional Dive methods the host declares.
#pragma once

#include "bridge/host_contract.h"
#include "parse/dive_record.h"

#include <jni.h>

#include <cstdint>
#include <vector>

namespace divebridge {

// Calls each optional Dive method the host declares, in the table's order, with primitive arrays
// (one JNI call fills each); `rows` are the profile rows handed to the Dive, so that cell i of a
// column is the value of the Dive's row i. A failure raises the chained NativeException and
// PendingJavaException.
void handDiveDetails(JNIEnv *env, const HostJava &java, const DiveRecord &record,
                     const std::vector<std::uint32_t> &rows, jobject dive);

// The Dive's row of an event that came in profile row `row` (-1 before the first): the last
// handed-over row at or before it, -1 when there is none.
std::int32_t handedRowOf(std::int32_t row, const std::vector<std::uint32_t> &rows);

}  // namespace divebridge
