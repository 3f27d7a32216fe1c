// SPDX-License-Identifier: MIT
// How a model's dive computers advertise themselves over BLE, for dc_descriptor_filter: a name
// starts with one of the model's prefixes, and what follows depends on the family.
#ifndef DCSIM_BLE_NAMES_H
#define DCSIM_BLE_NAMES_H

#include <string>
#include <vector>

namespace dcsim {

struct BleNaming {
    enum class Tail {
        kAnything,
        // Nothing, or a space and a serial number in hex digits (Shearwater: "Perdix 2 1A2B3C4D").
        kOptionalHexSerial,
        // A serial number in decimal digits, after an optional space (Pelagic: "i330R 0123456").
        kDecimalSerial,
    };
    std::vector<std::string> prefixes;
    Tail tail = Tail::kAnything;
};

// The family's rule for a model: its product name as the prefix, followed by a serial number for
// Shearwater and by anything for the others.
BleNaming familyBleNaming(const std::string &vendor, const std::string &product);

bool matchesBleName(const BleNaming &naming, const std::string &name);

}  // namespace dcsim

#endif
