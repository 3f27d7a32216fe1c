// SPDX-License-Identifier: MIT
#include "device/ble/bluez/bluez_objects.h"

#include <algorithm>
#include <cctype>

namespace divebridge {
namespace {

bool isBelow(const std::string &path, const std::string &parent) {
    return path.size() > parent.size() + 1 && path.compare(0, parent.size(), parent) == 0 &&
           path[parent.size()] == '/';
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string upperCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

const BlueZProperties *interfaceOf(const BlueZInterfaces &interfaces, const char *name) {
    const auto found = interfaces.find(name);
    return found != interfaces.end() ? &found->second : nullptr;
}

}  // namespace

std::vector<BlueZAdapter> adaptersOf(const BlueZObjects &objects) {
    std::vector<BlueZAdapter> adapters;
    for (const auto &[path, interfaces] : objects) {
        if (const BlueZProperties *adapter = interfaceOf(interfaces, adapterInterface)) {
            adapters.push_back({path, propertyOf<bool>(*adapter, "Powered").value_or(false)});
        }
    }
    return adapters;
}

std::optional<BlueZDevice> deviceOf(const std::string &path, const BlueZInterfaces &interfaces,
                                    const std::string &adapter) {
    const BlueZProperties *device = interfaceOf(interfaces, deviceInterface);
    if (device == nullptr || !isBelow(path, adapter)) {
        return std::nullopt;
    }
    const std::optional<std::string> address = propertyOf<std::string>(*device, "Address");
    if (!address) {
        return std::nullopt;
    }
    return BlueZDevice{path, upperCase(*address),
                       propertyOf<std::string>(*device, "Name").value_or(""),
                       propertyOf<int16_t>(*device, "RSSI").has_value(),
                       propertyOf<bool>(*device, "Connected").value_or(false)};
}

std::vector<BlueZDevice> devicesOf(const BlueZObjects &objects, const std::string &adapter) {
    std::vector<BlueZDevice> devices;
    for (const auto &[path, interfaces] : objects) {
        if (std::optional<BlueZDevice> device = deviceOf(path, interfaces, adapter)) {
            devices.push_back(std::move(*device));
        }
    }
    return devices;
}

std::vector<GattService> gattServicesOf(const BlueZObjects &objects, const std::string &device) {
    std::vector<GattService> services;
    for (const auto &[path, interfaces] : objects) {
        const BlueZProperties *service = interfaceOf(interfaces, gattServiceInterface);
        if (service != nullptr && isBelow(path, device)) {
            services.push_back(
                {path, lowerCase(propertyOf<std::string>(*service, "UUID").value_or("")), {}});
        }
    }
    for (const auto &[path, interfaces] : objects) {
        const BlueZProperties *characteristic =
            interfaceOf(interfaces, gattCharacteristicInterface);
        if (characteristic == nullptr) {
            continue;
        }
        const std::string owner =
            propertyOf<sdbus::ObjectPath>(*characteristic, "Service").value_or(sdbus::ObjectPath());
        for (GattService &service : services) {
            if (service.id == owner) {
                service.characteristics.push_back(
                    {path, lowerCase(propertyOf<std::string>(*characteristic, "UUID").value_or("")),
                     propertyOf<std::vector<std::string>>(*characteristic, "Flags")
                         .value_or(std::vector<std::string>{})});
            }
        }
    }
    return services;
}

}  // namespace divebridge
