// SPDX-License-Identifier: MIT
#include "device/ble/bluez/bluez_device_search.h"

#include "base/console.h"
#include "device/ble/bluez/bluez_opening.h"

#include <strings.h>

#include <algorithm>
#include <chrono>

namespace divebridge {
namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds scanTime = 10s;
// With a chooser, how long the scan goes on after the first fitting device appears.
constexpr std::chrono::milliseconds choiceTime = 2s;

}  // namespace

// A device BlueZ knows already serves when it is the address asked for, or, found by name, when
// a discovery running now hears it or it is connected already (left so by an application that
// ended without closing it); otherwise a discovery of our own looks for it. With a chooser, the
// discovery goes on a while after the first fitting device, and the application picks.
BlueZDevice BlueZDeviceSearch::find(const BleTarget &target, const BlueZObjects &objects,
                                    const std::string &adapter) {
    {
        const std::lock_guard<std::mutex> lock(mutex);
        adapterPath = adapter;
        for (BlueZDevice &candidate : devicesOf(objects, adapter)) {
            known[candidate.path] = candidate;
            if (!target.address.empty() || candidate.seenNow || candidate.connected) {
                arrivals.push_back(candidate);
            }
        }
    }
    std::vector<BlueZDevice> fitting;
    takeArrivalsMatching(target, fitting);
    if (fitting.empty() || target.choose) {
        const std::unique_ptr<sdbus::IProxy> adapterProxy = bus.proxy(adapter);
        discover(target, *adapterProxy, fitting);
    }
    {
        const std::lock_guard<std::mutex> lock(mutex);
        looking = false;
        arrivals.clear();
        known.clear();
    }
    const BlueZDevice found = target.choose ? chosen(target, fitting) : fitting.front();
    if (target.address.empty()) {
        printConsoleLine("Event: found Bluetooth LE device \"%s\" at %s\n", found.name.c_str(),
                         found.address.c_str());
    }
    return found;
}

// Adds what was heard that fits the target to `fitting`, each device once, in the order heard.
void BlueZDeviceSearch::takeArrivalsMatching(const BleTarget &target,
                                             std::vector<BlueZDevice> &fitting) {
    std::deque<BlueZDevice> heard;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        heard.swap(arrivals);
    }
    for (const BlueZDevice &candidate : heard) {
        const bool matches = target.address.empty()
                                 ? !candidate.name.empty() && target.acceptsName(candidate.name)
                                 : candidate.address == target.address;
        const bool already = std::any_of(fitting.begin(), fitting.end(), [&](const BlueZDevice &d) {
            return d.address == candidate.address;
        });
        if (matches && !already) {
            fitting.push_back(candidate);
        }
    }
}

// The scan lasts until the first fitting device, or with a chooser a while longer, 10 s at most.
void BlueZDeviceSearch::discover(const BleTarget &target, sdbus::IProxy &adapter,
                                 std::vector<BlueZDevice> &fitting) {
    const Options filter{{"Transport", sdbus::Variant(std::string("le"))}};
    AwaitedCall<> setFilter;
    requireReply(bus.call(setFilter,
                          adapter.callMethodAsync("SetDiscoveryFilter")
                              .onInterface(adapterInterface)
                              .withArguments(filter),
                          callTime),
                 "setting the discovery filter");
    AwaitedCall<> start;
    const CallOutcome started = bus.call(
        start, adapter.callMethodAsync("StartDiscovery").onInterface(adapterInterface), callTime);
    // The filter (the model's name rule) runs here, on the downloading thread, as libdivecomputer
    // expects; the signal handlers only collect what was heard.
    auto deadline = std::chrono::steady_clock::now() + scanTime;
    const StopRequest &stop = bus.stopRequest();
    const auto searching = [&] {
        return started.replied() && !stop.requested() &&
               std::chrono::steady_clock::now() < deadline && (fitting.empty() || target.choose);
    };
    bool lingering = !fitting.empty();
    if (lingering) {
        deadline = std::min(deadline, std::chrono::steady_clock::now() + choiceTime);
    }
    while (searching()) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            waitUntil(lock, arrived, until(deadline), &stop, [&]() -> std::optional<WaitEnd> {
                return arrivals.empty() ? std::nullopt : std::optional<WaitEnd>(WaitEnd::Done);
            });
        }
        takeArrivalsMatching(target, fitting);
        if (!lingering && !fitting.empty()) {
            lingering = true;
            deadline = std::min(deadline, std::chrono::steady_clock::now() + choiceTime);
        }
    }
    // A discovery that may have started is stopped, whatever ended the search.
    AwaitedCall<> stopDiscovery;
    bus.call(stopDiscovery, adapter.callMethodAsync("StopDiscovery").onInterface(adapterInterface),
             cleanupTime, false);
    requireReply(started, "starting a discovery");
    if (stop.requested()) {
        failOpening(DC_STATUS_CANCELLED, "stopped while looking for the dive computer");
    }
    if (fitting.empty()) {
        failOpening(
            DC_STATUS_NODEVICE,
            (target.address.empty() ? std::string("no dive computer of this model was found")
                                    : "the device " + target.address + " was not found") +
                " by a Bluetooth LE scan of " + seconds(scanTime));
    }
}

// The device the application picks among those found.
BlueZDevice BlueZDeviceSearch::chosen(const BleTarget &target,
                                      const std::vector<BlueZDevice> &fitting) {
    std::vector<BleCandidate> candidates;
    for (const BlueZDevice &device : fitting) {
        candidates.push_back({device.name, device.address});
    }
    const std::optional<std::string> choice = target.choose(candidates);
    if (bus.stopRequest().requested()) {
        failOpening(DC_STATUS_CANCELLED, "stopped while the dive computer was chosen");
    }
    if (!choice) {
        failOpening(DC_STATUS_CANCELLED, "no dive computer was chosen");
    }
    for (const BlueZDevice &device : fitting) {
        if (strcasecmp(device.address.c_str(), choice->c_str()) == 0) {
            return device;
        }
    }
    failOpening(DC_STATUS_INVALIDARGS, "the application chose '" + *choice +
                                           "', which is not one of the dive computers found");
}

void BlueZDeviceSearch::heard(const std::string &path, const BlueZProperties &changed) {
    std::unique_lock<std::mutex> lock(mutex);
    if (!looking) {
        return;
    }
    const auto heardOf = known.find(path);
    if (heardOf == known.end()) {
        return;
    }
    if (std::optional<std::string> name = propertyOf<std::string>(changed, "Name")) {
        heardOf->second.name = *name;
    }
    if (changed.count("RSSI") != 0 || changed.count("Name") != 0) {
        arrivals.push_back(heardOf->second);
        lock.unlock();
        arrived.notify_all();
    }
}

void BlueZDeviceSearch::added(const std::string &path, const BlueZInterfaces &interfaces) {
    std::unique_lock<std::mutex> lock(mutex);
    if (!looking) {
        return;
    }
    if (std::optional<BlueZDevice> device = deviceOf(path, interfaces, adapterPath)) {
        known[device->path] = *device;
        arrivals.push_back(*device);
        lock.unlock();
        arrived.notify_all();
    }
}

}  // namespace divebridge
