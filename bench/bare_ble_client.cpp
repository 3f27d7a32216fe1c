// SPDX-License-Identifier: MIT
#include "bare_ble_client.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <thread>
#include <vector>

namespace divebridge::bench {
namespace {

using namespace std::chrono_literals;

constexpr char bluez[] = "org.bluez";
constexpr char deviceInterface[] = "org.bluez.Device1";
constexpr char characteristicInterface[] = "org.bluez.GattCharacteristic1";
constexpr char propertiesInterface[] = "org.freedesktop.DBus.Properties";

using Properties = std::map<std::string, sdbus::Variant>;
using ManagedObjects = std::map<sdbus::ObjectPath, std::map<std::string, Properties>>;

}  // namespace

BareBleClient::BareBleClient(const std::string &devicePath, const std::string &uuid)
    : bus(sdbus::createSystemBusConnection()), device(sdbus::createProxy(*bus, bluez, devicePath)) {
    device->callMethod("Connect").onInterface(deviceInterface);
    awaitServices();
    const std::string path = characteristicPath(devicePath, uuid);
    characteristic = sdbus::createProxy(*bus, bluez, path);
    match = bus->addMatch("type='signal',sender='org.bluez',path='" + path + "',interface='" +
                              propertiesInterface + "',member='PropertiesChanged'",
                          [this](sdbus::Message &signal) { onPropertiesChanged(signal); });
    characteristic->callMethod("StartNotify").onInterface(characteristicInterface);
    bus->enterEventLoopAsync();
}

BareBleClient::~BareBleClient() {
    try {
        characteristic->callMethod("StopNotify").onInterface(characteristicInterface);
        device->callMethod("Disconnect").onInterface(deviceInterface);
    } catch (const sdbus::Error &) {
        // leaving the bus ends the session and the connection all the same
    }
    bus->leaveEventLoop();
}

void BareBleClient::awaitServices() {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!device->getProperty("ServicesResolved").onInterface(deviceInterface).get<bool>()) {
        if (std::chrono::steady_clock::now() > deadline) {
            throw std::runtime_error("the fake's device did not resolve its services");
        }
        std::this_thread::sleep_for(2ms);
    }
}

std::string BareBleClient::characteristicPath(const std::string &devicePath,
                                              const std::string &uuid) {
    const auto root = sdbus::createProxy(*bus, bluez, "/");
    ManagedObjects objects;
    root->callMethod("GetManagedObjects")
        .onInterface("org.freedesktop.DBus.ObjectManager")
        .storeResultsTo(objects);
    for (const auto &[path, interfaces] : objects) {
        const auto found = interfaces.find(characteristicInterface);
        if (path.rfind(devicePath + "/", 0) == 0 && found != interfaces.end() &&
            found->second.at("UUID").get<std::string>() == uuid) {
            return path;
        }
    }
    throw std::runtime_error("the fake's device has no characteristic " + uuid);
}

// The event loop thread's whole work for a notification.
void BareBleClient::onPropertiesChanged(sdbus::Message &signal) {
    std::string interface;
    Properties changed;
    signal >> interface >> changed;
    const auto value = changed.find("Value");
    if (value == changed.end() || value->second.get<std::vector<std::uint8_t>>().empty()) {
        return;
    }
    const std::lock_guard<std::mutex> lock(mutex);
    if (++received == wanted) {
        reached.notify_one();
    }
}

void BareBleClient::fetch(const std::string &request, std::size_t notifications) {
    {
        const std::lock_guard<std::mutex> lock(mutex);
        received = 0;
        wanted = notifications;
    }
    const std::vector<std::uint8_t> value(request.begin(), request.end());
    characteristic->callMethod("WriteValue")
        .onInterface(characteristicInterface)
        .withArguments(value, Properties{{"type", sdbus::Variant(std::string("request"))}});
    std::unique_lock<std::mutex> lock(mutex);
    if (!reached.wait_for(lock, 60s, [&] { return received >= wanted; })) {
        throw std::runtime_error("the fake sent " + std::to_string(received) + " of " +
                                 std::to_string(wanted) + " notifications");
    }
}

}  // namespace divebridge::bench
