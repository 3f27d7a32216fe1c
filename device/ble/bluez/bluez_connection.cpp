// SPDX-License-Identifier: MIT
#include "device/ble/bluez/bluez_connection.h"

#include "device/ble/bluez/bluez_opening.h"

#include <algorithm>
#include <map>

namespace divebridge {
namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds connectTime = 20s;
constexpr std::chrono::milliseconds resolveTime = 10s;
// BlueZ's disconnect timer, and some room for the signal that the link is down.
constexpr std::chrono::milliseconds lingerTime = 2s + 1s;
// BlueZ's word for an LE connection the controller gave up on; trying again usually works.
constexpr char abortedConnection[] = "le-connection-abort-by-local";

// The devices whose link this process asked BlueZ to take down, by object path, with the time of
// the request.
class LingeringLinks {
  public:
    void add(const std::string &device) {
        const std::lock_guard<std::mutex> lock(mutex);
        asked[device] = std::chrono::steady_clock::now();
    }
    // How long the old link may still linger; zero when none does.
    std::chrono::milliseconds remaining(const std::string &device) {
        const std::lock_guard<std::mutex> lock(mutex);
        const auto found = asked.find(device);
        if (found == asked.end()) {
            return 0ms;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            found->second + lingerTime - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            asked.erase(found);
            return 0ms;
        }
        return left;
    }
    void remove(const std::string &device) {
        const std::lock_guard<std::mutex> lock(mutex);
        asked.erase(device);
    }

  private:
    std::mutex mutex;
    std::map<std::string, std::chrono::steady_clock::time_point> asked;
};

LingeringLinks lingeringLinks;

}  // namespace

template <typename Ready>
bool BlueZConnection::waitFor(std::chrono::milliseconds time, Ready ready) {
    std::unique_lock<std::mutex> lock(mutex);
    return waitUntil(lock, changed, time, &bus.stopRequest(), [&]() -> std::optional<WaitEnd> {
               return ready() ? std::optional<WaitEnd>(WaitEnd::Done) : std::nullopt;
           }) == WaitEnd::Done;
}

unsigned int BlueZConnection::disconnectionsSoFar() {
    const std::lock_guard<std::mutex> lock(mutex);
    return disconnections;
}

void BlueZConnection::open(const BlueZDevice &device) {
    {
        const std::lock_guard<std::mutex> lock(mutex);
        watched = device.path;
    }
    address = device.address;
    proxy = bus.proxy(device.path);
    awaitOldLinkGone();
    connect();
    awaitServices();
}

// A link this process closed a moment ago may still be up: BlueZ would hand it to Connect and then
// drop it.
void BlueZConnection::awaitOldLinkGone() {
    const std::chrono::milliseconds left = lingeringLinks.remaining(watched);
    if (left.count() == 0) {
        return;
    }
    const unsigned int downBefore = disconnectionsSoFar();
    if (deviceState("Connected")) {
        waitFor(left, [&] { return disconnections != downBefore; });
        if (bus.stopRequest().requested()) {
            failOpening(DC_STATUS_CANCELLED,
                        "stopped while waiting for the previous connection to end");
        }
    }
    lingeringLinks.remove(watched);
}

void BlueZConnection::connect() {
    const auto deadline = std::chrono::steady_clock::now() + connectTime;
    for (;;) {
        const unsigned int downBefore = disconnectionsSoFar();
        const CallOutcome outcome = callConnect(deadline);
        const bool aborted = outcome.end == WaitEnd::Failed &&
                             outcome.error.find(abortedConnection) != std::string::npos;
        // BlueZ reports the attempt as Connected, then the failure, then not Connected: the next
        // try starts once the device is down again.
        if (aborted && std::chrono::steady_clock::now() < deadline) {
            waitFor(until(deadline), [&] { return disconnections != downBefore; });
            if (!bus.stopRequest().requested()) {
                continue;
            }
        }
        if (outcome.end == WaitEnd::TimedOut) {
            failOpening(DC_STATUS_TIMEOUT, "the connection to " + address +
                                               " did not succeed within " + seconds(connectTime));
        }
        requireReply(outcome, "the connection to " + address);
        const std::lock_guard<std::mutex> lock(mutex);
        linkUp = true;
        return;
    }
}

CallOutcome BlueZConnection::callConnect(std::chrono::steady_clock::time_point deadline) {
    connectionAsked = true;
    AwaitedCall<> call;
    return bus.call(call, proxy->callMethodAsync("Connect").onInterface(deviceInterface),
                    until(deadline));
}

bool BlueZConnection::deviceState(const char *property) {
    AwaitedCall<sdbus::Variant> call;
    requireReply(bus.call(call,
                          proxy->callMethodAsync("Get")
                              .onInterface(propertiesInterface)
                              .withArguments(std::string(deviceInterface), std::string(property)),
                          callTime),
                 "reading the device's state");
    const sdbus::Variant &value = std::get<0>(call.results());
    return value.containsValueOfType<bool>() && value.get<bool>();
}

void BlueZConnection::awaitServices() {
    if (deviceState("ServicesResolved")) {
        return;
    }
    bool wasLost = false;
    const bool settled = waitFor(resolveTime, [&] {
        wasLost = lost;
        return servicesResolved || wasLost;
    });
    if (wasLost) {
        failOpening(DC_STATUS_IO, "the connection to " + address + " was lost");
    }
    if (!settled) {
        if (bus.stopRequest().requested()) {
            failOpening(DC_STATUS_CANCELLED, "stopped while waiting for the device's services");
        }
        failOpening(DC_STATUS_TIMEOUT,
                    address + " did not list its services within " + seconds(resolveTime));
    }
}

void BlueZConnection::close() noexcept {
    if (!connectionAsked || bus.isLost()) {
        return;
    }
    try {
        bus.send(*proxy, deviceInterface, "Disconnect");
        lingeringLinks.add(watched);
    } catch (...) {
        // the bus failed: leaving it is all there is left to do
    }
    connectionAsked = false;
}

void BlueZConnection::loseLink(std::unique_lock<std::mutex> &lock) {
    lost = true;
    lock.unlock();
    queue.loseLink();
    changed.notify_all();
}

void BlueZConnection::deviceChanged(const std::string &path, const BlueZProperties &properties) {
    std::unique_lock<std::mutex> lock(mutex);
    if (path != watched) {
        return;
    }
    if (propertyOf<bool>(properties, "ServicesResolved").value_or(false)) {
        servicesResolved = true;
    }
    if (!propertyOf<bool>(properties, "Connected").value_or(true)) {
        ++disconnections;
        if (linkUp) {
            loseLink(lock);
            return;
        }
    }
    lock.unlock();
    changed.notify_all();
}

void BlueZConnection::deviceRemoved(const std::string &path) {
    std::unique_lock<std::mutex> lock(mutex);
    if (path == watched) {
        loseLink(lock);
    }
}

void BlueZConnection::busLost() {
    std::unique_lock<std::mutex> lock(mutex);
    loseLink(lock);
}

}  // namespace divebridge
