// SPDX-License-Identifier: MIT
// BlueZ's object tree as the BLE link reads it: adapters, devices and their GATT services, from the
// answer of ObjectManager.GetManagedObjects and from InterfacesAdded.
#pragma once

#include "device/ble/gatt_layout.h"

#include <sdbus-c++/Types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace divebridge {

using BlueZProperties = std::map<std::string, sdbus::Variant>;
using BlueZInterfaces = std::map<std::string, BlueZProperties>;
using BlueZObjects = std::map<sdbus::ObjectPath, BlueZInterfaces>;

inline constexpr char bluezService[] = "org.bluez";
inline constexpr char adapterInterface[] = "org.bluez.Adapter1";
inline constexpr char deviceInterface[] = "org.bluez.Device1";
inline constexpr char gattServiceInterface[] = "org.bluez.GattService1";
inline constexpr char gattCharacteristicInterface[] = "org.bluez.GattCharacteristic1";
inline constexpr char propertiesInterface[] = "org.freedesktop.DBus.Properties";
inline constexpr char objectManagerInterface[] = "org.freedesktop.DBus.ObjectManager";

// A characteristic's value, and the options of a GATT call.
using Value = std::vector<std::uint8_t>;
using Options = std::map<std::string, sdbus::Variant>;

struct BlueZAdapter {
    std::string path;
    bool powered = false;
};

struct BlueZDevice {
    std::string path;
    std::string address;     // upper case
    std::string name;        // empty when it advertised none
    bool seenNow = false;    // it has an RSSI: a discovery running now has heard it
    bool connected = false;  // linked already (a connected peripheral no longer advertises)
};

// The property `name` of type T, or none when it is missing or of another type.
template <typename T>
std::optional<T> propertyOf(const BlueZProperties &properties, const char *name) {
    const auto found = properties.find(name);
    if (found == properties.end() || !found->second.containsValueOfType<T>()) {
        return std::nullopt;
    }
    return found->second.get<T>();
}

// Every adapter, in path order.
std::vector<BlueZAdapter> adaptersOf(const BlueZObjects &objects);

// The device of one object's interfaces, when they hold org.bluez.Device1 below `adapter`.
std::optional<BlueZDevice> deviceOf(const std::string &path, const BlueZInterfaces &interfaces,
                                    const std::string &adapter);

// Every device below `adapter`, in path order.
std::vector<BlueZDevice> devicesOf(const BlueZObjects &objects, const std::string &adapter);

// The GATT services of `device` with their characteristics, in path order.
std::vector<GattService> gattServicesOf(const BlueZObjects &objects, const std::string &device);

}  // namespace divebridge
