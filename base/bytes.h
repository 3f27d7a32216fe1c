// SPDX-License-Identifier: MIT
// Bytes as they come from a dive computer or go to one: fingerprints, access codes, notifications.
#pragma once

#include <vector>

namespace divebridge {

using Bytes = std::vector<unsigned char>;

}  // namespace divebridge
