// SPDX-License-Identifier: MIT
#include "json_values.h"

#include "status_error.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace dcsim {
namespace {

[[noreturn]] void reject(const std::string &what, const char *expected) {
    throw FormatError(what + ": expected " + expected);
}

std::int64_t readIntegerIn(const Json &value, const std::string &what, std::int64_t low,
                           std::int64_t high, const char *expected) {
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(high)) {
            reject(what, expected);
        }
        return static_cast<std::int64_t>(number);
    }
    if (!value.is_number_integer()) {
        reject(what, expected);
    }
    const auto number = value.get<std::int64_t>();
    if (number < low || number > high) {
        reject(what, expected);
    }
    return number;
}

}  // namespace

double readDouble(const Json &value, const std::string &what) {
    if (value.is_number()) {
        return value.get<double>();
    }
    if (value.is_string()) {
        const auto &text = value.get_ref<const std::string &>();
        if (text == "nan") {
            return std::numeric_limits<double>::quiet_NaN();
        }
        if (text == "inf") {
            return std::numeric_limits<double>::infinity();
        }
        if (text == "-inf") {
            return -std::numeric_limits<double>::infinity();
        }
    }
    reject(what, "a number, \"nan\", \"inf\" or \"-inf\"");
}

std::uint32_t readUnsigned(const Json &value, const std::string &what) {
    return static_cast<std::uint32_t>(readIntegerIn(
        value, what, 0, std::numeric_limits<std::uint32_t>::max(), "an unsigned 32-bit integer"));
}

std::int32_t readInt(const Json &value, const std::string &what) {
    return static_cast<std::int32_t>(
        readIntegerIn(value, what, std::numeric_limits<std::int32_t>::min(),
                      std::numeric_limits<std::int32_t>::max(), "a signed 32-bit integer"));
}

std::int64_t readInt64(const Json &value, const std::string &what) {
    return readIntegerIn(value, what, std::numeric_limits<std::int64_t>::min(),
                         std::numeric_limits<std::int64_t>::max(), "a 64-bit integer");
}

int readStatus(const Json &value, const std::string &what) {
    return static_cast<int>(
        readIntegerIn(value, what, DC_STATUS_CANCELLED, DC_STATUS_DONE, "a status from -10 to 1"));
}

std::string readString(const Json &value, const std::string &what) {
    if (!value.is_string()) {
        reject(what, "a string");
    }
    return value.get<std::string>();
}

bool readBool(const Json &value, const std::string &what) {
    if (!value.is_boolean()) {
        reject(what, "true or false");
    }
    return value.get<bool>();
}

void requireObject(const Json &value, const std::string &what,
                   std::initializer_list<const char *> allowed) {
    if (!value.is_object()) {
        reject(what, "an object");
    }
    for (const auto &item : value.items()) {
        const bool known = std::any_of(allowed.begin(), allowed.end(),
                                       [&](const char *key) { return item.key() == key; });
        if (!known) {
            throw FormatError(what + ": unknown key \"" + item.key() + "\"");
        }
    }
}

void requireArray(const Json &value, const std::string &what) {
    if (!value.is_array()) {
        reject(what, "an array");
    }
}

}  // namespace dcsim
