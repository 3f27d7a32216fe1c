// SPDX-License-Identifier: MIT
// Everything a download asks of the application, in one place: it is told of the progress and of
// libdivecomputer's log, asked for the fingerprint of the newest dive it has and which details of
// a dive it takes, and, by a BLE dive computer that pairs, for the PIN the diver reads off its
// screen and the access code it granted. Each answer is neutral where the application has nothing
// to say: no progress or log wanted, no fingerprint (every dive comes), no details, no PIN, no
// access code. Any call may raise; the download then ends with that failure (see CallbackFailure).
#pragma once

#include "base/bytes.h"
#include "parse/dive_details.h"

#include <optional>
#include <string>
#include <vector>

namespace divebridge {

class Application {
  public:
    // Whether it hears of the progress at all; no report is made otherwise.
    virtual bool wantsProgress() const { return false; }
    virtual void progress(unsigned int, unsigned int) {}

    // Whether it hears libdivecomputer's log at all; libdivecomputer's own log stays otherwise.
    // `level` is libdivecomputer's number: 1 error, 2 warning, 3 info, 4 debug.
    virtual bool wantsLog() const { return false; }
    virtual void log(int, const std::string &) {}

    // Which of each dive's details it takes beyond the dive's own; the others are not collected.
    virtual DetailKinds diveDetailsWanted() const { return {}; }

    // The fingerprint of the newest dive it has from the dive computer of this serial number;
    // empty when none: every dive comes.
    virtual Bytes fingerprintFor(const char *) { return {}; }

    // Whether it picks the BLE dive computer to open among those a scan found by name; the first
    // found is opened otherwise.
    virtual bool choosesBluetoothDevice() const { return false; }
    // The address of the one picked among those found (names and addresses in the order found),
    // or none when the diver gave up.
    virtual std::optional<std::string> chooseBluetoothDevice(const std::vector<std::string> &,
                                                             const std::vector<std::string> &) {
        return std::nullopt;
    }

    // The digits the diver typed, or none when the diver gave up.
    virtual std::optional<std::string> pinCode(const std::string &, const std::string &) {
        return std::nullopt;
    }
    // The access code kept for the device (by name and address), empty when there is none.
    virtual Bytes accessCode(const std::string &, const std::string &) { return {}; }
    // Keeps the access code the device granted.
    virtual void saveAccessCode(const std::string &, const std::string &, const Bytes &) {}

  protected:
    ~Application() = default;
};

// The application that asks to be told nothing and has nothing to say.
Application &silentApplication();

}  // namespace divebridge
