// SPDX-License-Identifier: MIT
#include "device/ble/bluez/bluez_device_search.h"

#include "base/console.h"
#include "device/ble/bluez/bluez_opening.h"

#include <chrono>

namespace divebridge {
namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds scanTime = 10s;

}  // namespace

// A device BlueZ knows already serves when it is the address asked for, or, found by name, when
// a discovery running now hears it or it is connected already (left so by an application that
// ended without closing it); otherwise a discovery of our own looks for it.
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
    BlueZDevice found;
    if (!takeArrivalMatching(target, found)) {
        const std::unique_ptr<sdbus::IProxy> adapterProxy = bus.proxy(adapter);
        found = discover(target, *adapterProxy);
    }
    {
        const std::lock_guard<std::mutex> lock(mutex);
        looking = false;
        arrivals.clear();
        known.clear();
    }
    if (target.address.empty()) {
        printConsoleLine("Event: found Bluetooth LE device \"%s\" at %s\n", found.name.c_str(),
                         found.address.c_str());
    }
    return found;
}

bool BlueZDeviceSearch::takeArrivalMatching(const BleTarget &target, BlueZDevice &found) {
    std::deque<BlueZDevice> heard;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        heard.swap(arrivals);
    }
    for (const BlueZDevice &candidate : heard) {
        const bool matches = target.address.empty()
                                 ? !candidate.name.empty() && target.acceptsName(candidate.name)
                                 : candidate.address == target.address;
        if (matches) {
            found = candidate;
            return true;
        }
    }
    return false;
}

BlueZDevice BlueZDeviceSearch::discover(const BleTarget &target, sdbus::IProxy &adapter) {
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
    const auto deadline = std::chrono::steady_clock::now() + scanTime;
    BlueZDevice found;
    bool isFound = false;
    const StopRequest &stop = bus.stopRequest();
    while (started.replied() && !isFound && !stop.requested() &&
           std::chrono::steady_clock::now() < deadline) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            waitUntil(lock, arrived,
                      std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now()),
                      &stop, [&]() -> std::optional<WaitEnd> {
                          return arrivals.empty() ? std::nullopt
                                                  : std::optional<WaitEnd>(WaitEnd::Done);
                      });
        }
        isFound = takeArrivalMatching(target, found);
    }
    // A discovery that may have started is stopped, whatever ended the search.
    AwaitedCall<> stopDiscovery;
    bus.call(stopDiscovery, adapter.callMethodAsync("StopDiscovery").onInterface(adapterInterface),
             cleanupTime, false);
    requireReply(started, "starting a discovery");
    if (isFound) {
        return found;
    }
    if (stop.requested()) {
        failOpening(DC_STATUS_CANCELLED, "stopped while looking for the dive computer");
    }
    failOpening(DC_STATUS_NODEVICE,
                (target.address.empty() ? std::string("no dive computer of this model was found")
                                        : "the device " + target.address + " was not found") +
                    " by a Bluetooth LE scan of " + seconds(scanTime));
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
