// SPDX-License-Identifier: MIT
// The fake BlueZ (simulator/fake-bluez) run as a child of the benchmark, on the private bus the
// benchmark itself runs on (with-private-bus), with the devices it is given.
#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

namespace divebridge::bench {

// One simulated BLE dive computer; `members` are further members of its configuration object, as
// JSON text without braces (empty for none).
struct FakeDevice {
    std::string address;
    std::string name;
    std::string imagePath;
    std::string members;
};

// The object path BlueZ gives a device on the first adapter.
std::string bluezDevicePath(const std::string &address);

class FakeBlueZProcess {
  public:
    // Writes the configuration into `directory`, starts the fake and waits for its READY.
    FakeBlueZProcess(const std::string &directory, const std::vector<FakeDevice> &devices);
    // Ends it and waits for it.
    ~FakeBlueZProcess();

    FakeBlueZProcess(const FakeBlueZProcess &) = delete;
    FakeBlueZProcess &operator=(const FakeBlueZProcess &) = delete;

  private:
    void endFake() noexcept;

    pid_t pid = -1;
    int commands = -1;  // the fake's standard input
};

}  // namespace divebridge::bench
