// SPDX-License-Identifier: MIT
// C API (release 0.9): GATT UUIDs as text.
#include "trace.h"

#include <libdivecomputer/ble.h>

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

// Where the dashes stand in "00000000-0000-0000-0000-000000000000".
bool isDashPosition(std::size_t position) {
    return position == 8 || position == 13 || position == 18 || position == 23;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const int lower = std::tolower(static_cast<unsigned char>(c));
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

}  // namespace

extern "C" {

char *dc_ble_uuid2str(const dc_ble_uuid_t uuid, char *str, size_t size) {
    dcsim::traceCall("dc_ble_uuid2str");
    if (uuid == nullptr || str == nullptr || size < DC_BLE_UUID_SIZE) {
        return nullptr;
    }
    char *out = str;
    for (std::size_t i = 0; i < sizeof(dc_ble_uuid_t); ++i) {
        if (isDashPosition(static_cast<std::size_t>(out - str))) {
            *out++ = '-';
        }
        std::snprintf(out, 3, "%02x", uuid[i]);
        out += 2;
    }
    return str;
}

// Writes uuid only when the whole text is well formed.
int dc_ble_str2uuid(const char *str, dc_ble_uuid_t uuid) {
    dcsim::traceCall("dc_ble_str2uuid", str != nullptr ? str : "(null)");
    if (str == nullptr || uuid == nullptr || std::strlen(str) != DC_BLE_UUID_SIZE - 1) {
        return 0;
    }
    dc_ble_uuid_t parsed;
    std::size_t byte = 0;
    for (std::size_t position = 0; position < DC_BLE_UUID_SIZE - 1;) {
        if (isDashPosition(position)) {
            if (str[position++] != '-') {
                return 0;
            }
            continue;
        }
        const int high = hexValue(str[position]);
        const int low = hexValue(str[position + 1]);
        if (high < 0 || low < 0) {
            return 0;
        }
        parsed[byte++] = static_cast<unsigned char>(high << 4 | low);
        position += 2;
    }
    std::memcpy(uuid, parsed, sizeof parsed);
    return 1;
}

}  // extern "C"
