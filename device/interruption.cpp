#include "device/interruption.h"

namespace divebridge {

std::atomic<bool> cancelRequested{false};

static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler stores the flag");

}  // namespace divebridge
