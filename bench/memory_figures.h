// SPDX-License-Identifier: MIT
// The native memory of a download in counts that do not depend on the machine's speed: the heap
// bytes a stored row keeps, and the minor page faults a download takes against the pages those
// bytes fill.
#pragma once

#include "figures.h"

namespace divebridge::bench {

void addMemoryFigures(FigureTable &table);

}  // namespace divebridge::bench
