// SPDX-License-Identifier: MIT
// Which GATT characteristics carry a dive computer's data: the services the dive computer families
// are known to use, then a generic rule. Platform-neutral: a transport describes what it found and
// opens the characteristics chosen here.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace divebridge {

struct GattCharacteristic {
    std::string id;    // the transport's handle for it (BlueZ: its object path)
    std::string uuid;  // lower case, 36 characters
    std::vector<std::string>
        flags;  // BlueZ's names: "write", "write-without-response", "notify"...

    bool has(const char *flag) const;
    bool writable() const { return has("write") || has("write-without-response"); }
    bool notifies() const { return has("notify") || has("indicate"); }
};

struct GattService {
    std::string id;
    std::string uuid;
    std::vector<GattCharacteristic> characteristics;
};

// The characteristics a download uses. Credits are those of Heinrichs Weikamp's Telit and u-blox
// modules: the application grants the module the notifications it may send.
struct DataChannel {
    GattCharacteristic dataIn;                     // written
    GattCharacteristic dataOut;                    // notifies
    std::optional<GattCharacteristic> creditsIn;   // written: credits granted to the module
    std::optional<GattCharacteristic> creditsOut;  // indicates: credits the module grants us
};

// The data channel of the first known dive computer service, in the order of the known services;
// without one, of the first 128-bit service that has a writable and a notifying characteristic.
// Firmware-update services are never chosen. None when nothing fits.
std::optional<DataChannel> chooseDataChannel(const std::vector<GattService> &services);

}  // namespace divebridge
