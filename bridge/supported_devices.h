// SPDX-License-Identifier: MIT
// The dive computers libdivecomputer supports, as plain native records.
#pragma once

#include <libdivecomputer/descriptor.h>

#include <string>
#include <vector>

namespace divebridge {

struct SupportedDevice {
    std::string vendor;
    std::string product;
    int transport;  // libdivecomputer's transport number, handed to Java unmapped
};

// Every descriptor in libdivecomputer's order, duplicates included. An iterator that cannot be
// created or fails part way ends the list without an error.
std::vector<SupportedDevice> enumerateSupportedDevices();

}  // namespace divebridge
