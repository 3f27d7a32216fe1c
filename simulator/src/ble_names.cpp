// SPDX-License-Identifier: MIT
#include "ble_names.h"

namespace dcsim {
namespace {

bool allOf(const std::string &text, const char *digits) {
    return !text.empty() && text.find_first_not_of(digits) == std::string::npos;
}

bool matchesTail(BleNaming::Tail tail, const std::string &rest) {
    switch (tail) {
        case BleNaming::Tail::kAnything:
            return true;
        case BleNaming::Tail::kOptionalHexSerial:
            return rest.empty() ||
                   (rest[0] == ' ' && allOf(rest.substr(1), "0123456789ABCDEFabcdef"));
        case BleNaming::Tail::kDecimalSerial:
            return allOf(rest.compare(0, 1, " ") == 0 ? rest.substr(1) : rest, "0123456789");
    }
    return false;
}

}  // namespace

BleNaming familyBleNaming(const std::string &vendor, const std::string &product) {
    if (vendor == "Shearwater") {
        return {{product}, BleNaming::Tail::kOptionalHexSerial};
    }
    return {{product}, BleNaming::Tail::kAnything};
}

bool matchesBleName(const BleNaming &naming, const std::string &name) {
    for (const auto &prefix : naming.prefixes) {
        if (name.compare(0, prefix.size(), prefix) == 0 &&
            matchesTail(naming.tail, name.substr(prefix.size()))) {
            return true;
        }
    }
    return false;
}

}  // namespace dcsim
