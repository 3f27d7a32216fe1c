// SPDX-License-Identifier: MIT
// Allocations counted by replacing the global operator new, in the benchmark binary only: every
// C++ allocation of the process, the bridge's and the simulator's alike.
#pragma once

#include <cstdint>

namespace divebridge::bench {

// Calls of operator new in this process so far.
std::uint64_t allocationsSoFar();

}  // namespace divebridge::bench
