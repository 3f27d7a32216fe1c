// SPDX-License-Identifier: MIT
#include "device/interruption.h"

namespace divebridge {

std::atomic<std::uint64_t> stopRequests{0};

static_assert(std::atomic<std::uint64_t>::is_always_lock_free,
              "the signal handler counts stop requests");

}  // namespace divebridge
