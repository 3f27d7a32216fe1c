// SPDX-License-Identifier: MIT
// What a BLE dive computer that pairs by PIN code needs of the application: the PIN the diver
// reads off its screen, and the access code it grants in return, kept per device.
#pragma once

#include "base/bytes.h"

#include <optional>
#include <string>

namespace divebridge {

class BlePairing {
  public:
    // The digits the diver typed, or none when the diver gave up. May raise.
    virtual std::optional<std::string> pinCode(const std::string &name,
                                               const std::string &address) = 0;
    // The access code kept for the device, empty when there is none. May raise.
    virtual Bytes accessCode(const std::string &name, const std::string &address) = 0;
    // Keeps the access code the device granted. May raise.
    virtual void saveAccessCode(const std::string &name, const std::string &address,
                                const Bytes &code) = 0;

  protected:
    ~BlePairing() = default;
};

}  // namespace divebridge
