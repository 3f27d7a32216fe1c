// SPDX-License-Identifier: MIT
#include "base/native_exception.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>

namespace divebridge {

std::string statusMessage(dc_status_t status, const std::string &text) {
    char number[64];
    std::snprintf(number, sizeof number, "%" PRId64, static_cast<std::int64_t>(status));
    std::string message;
    message.reserve(text.size() + 24);
    message.append("[").append(number).append("]: ").append(text);
    return message;
}

Exception::Exception(dc_status_t status, const std::string &text)
    : message(statusMessage(status, text)) {}

}  // namespace divebridge
