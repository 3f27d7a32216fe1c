// SPDX-License-Identifier: MIT
#include "device/ble/gatt_layout.h"

#include <algorithm>
#include <iterator>

namespace divebridge {
namespace {

// A family's service and, where a generic choice by flags would pick wrong or is not enough, its
// characteristics by UUID; an empty UUID is chosen by flags within the service.
struct KnownService {
    const char *service;
    const char *dataIn;
    const char *dataOut;
    const char *creditsIn;
    const char *creditsOut;
};

constexpr KnownService knownServices[] = {
    // Shearwater: one characteristic that is written and notifies.
    {"fe25c237-0ece-443c-b0aa-e02033e7029d", "27b7570b-359e-45a3-91bb-cf7e70049bd2",
     "27b7570b-359e-45a3-91bb-cf7e70049bd2", "", ""},
    {"1aa44039-1667-4b29-87cc-dfecaaf31d97", "", "", "", ""},  // Shearwater Perdix 3
    {"98ae7120-e62e-11e3-badd-0002a5d5c51b", "", "", "", ""},  // Suunto EON Steel, EON Core, D5
    {"544e326b-5b72-c6b0-1c46-41c1bc448118", "", "", "", ""},  // Mares Icon HD family
    {"cb3c4555-d670-4670-bc20-b61dbc851e9a", "", "", "", ""},  // Oceanic Atom2 family
    // Pelagic i330R family.
    {"ca7b0001-f785-4c38-b599-c7c5fbadb034", "ca7b0003-f785-4c38-b599-c7c5fbadb034",
     "ca7b0002-f785-4c38-b599-c7c5fbadb034", "", ""},
    {"fdcdeaaa-295d-470e-bf15-04217b7aa0a0", "", "", "", ""},  // Scubapro G2, Aladin A1/A2, Luna
    // Heinrichs Weikamp OSTC with a Telit module: data and credits in each direction.
    {"0000fefb-0000-1000-8000-00805f9b34fb", "00000001-0000-1000-8000-008025000000",
     "00000002-0000-1000-8000-008025000000", "00000003-0000-1000-8000-008025000000",
     "00000004-0000-1000-8000-008025000000"},
    // Heinrichs Weikamp OSTC with a u-blox module.
    {"2456e1b9-26e2-8f83-e744-f34f01e9d701", "2456e1b9-26e2-8f83-e744-f34f01e9d703",
     "2456e1b9-26e2-8f83-e744-f34f01e9d703", "2456e1b9-26e2-8f83-e744-f34f01e9d704",
     "2456e1b9-26e2-8f83-e744-f34f01e9d704"},
    {"0000fcef-0000-1000-8000-00805f9b34fb", "", "", "", ""},  // Divesoft Freedom, Liberty
    {"6e400001-b5a3-f393-e0a9-e50e24dc10b8", "", "", "", ""},  // Cressi Goa, Cartesio
    // Halcyon Symbios.
    {"00000001-8c3b-4f2c-a59e-8c08224f3253", "00000101-8c3b-4f2c-a59e-8c08224f3253",
     "00000201-8c3b-4f2c-a59e-8c08224f3253", "", ""},
    // McLean Extreme: the module offers more characteristics than these two.
    {"49535343-fe7d-4ae5-8fa9-9fafd205e455", "49535343-8841-43f4-a8d4-ecbe34729bb3",
     "49535343-1e4d-4bd9-ba61-23c647249616", "", ""},
};

constexpr const char *firmwareServices[] = {
    "00001530-1212-efde-1523-785feabcd123",
    "9e5d1e47-5c13-43a0-8635-82ad38a1386f",
    "a86abc2d-d44c-442e-99f7-80059a873e36",
};

// UUIDs of the Bluetooth base range stand for 16- and 32-bit ones: standard services, not a
// vendor's data channel.
bool isVendorUuid(const std::string &uuid) {
    const std::string baseSuffix = "-0000-1000-8000-00805f9b34fb";
    return uuid.size() != 36 || uuid.compare(8, std::string::npos, baseSuffix) != 0;
}

bool isFirmwareService(const GattService &service) {
    return std::find(std::begin(firmwareServices), std::end(firmwareServices), service.uuid) !=
           std::end(firmwareServices);
}

const GattCharacteristic *findByUuid(const GattService &service, const char *uuid) {
    for (const GattCharacteristic &characteristic : service.characteristics) {
        if (characteristic.uuid == uuid) {
            return &characteristic;
        }
    }
    return nullptr;
}

template <typename Wanted>
const GattCharacteristic *findBy(const GattService &service, Wanted wanted) {
    for (const GattCharacteristic &characteristic : service.characteristics) {
        if (wanted(characteristic)) {
            return &characteristic;
        }
    }
    return nullptr;
}

// The characteristic `uuid` names, or without one the first that `fits`.
template <typename Fits>
const GattCharacteristic *characteristicOf(const GattService &service, const char *uuid,
                                           Fits fits) {
    if (*uuid != '\0') {
        const GattCharacteristic *named = findByUuid(service, uuid);
        return named != nullptr && fits(*named) ? named : nullptr;
    }
    return findBy(service, fits);
}

std::optional<DataChannel> channelOf(const GattService &service, const KnownService &known) {
    const GattCharacteristic *dataIn = characteristicOf(
        service, known.dataIn, [](const GattCharacteristic &c) { return c.writable(); });
    const GattCharacteristic *dataOut = characteristicOf(
        service, known.dataOut, [](const GattCharacteristic &c) { return c.notifies(); });
    if (dataIn == nullptr || dataOut == nullptr) {
        return std::nullopt;
    }
    DataChannel channel{*dataIn, *dataOut, std::nullopt, std::nullopt};
    if (*known.creditsIn != '\0') {
        const GattCharacteristic *creditsIn = findByUuid(service, known.creditsIn);
        const GattCharacteristic *creditsOut = findByUuid(service, known.creditsOut);
        if (creditsIn == nullptr || creditsOut == nullptr || !creditsIn->writable() ||
            !creditsOut->notifies()) {
            return std::nullopt;
        }
        channel.creditsIn = *creditsIn;
        channel.creditsOut = *creditsOut;
    }
    return channel;
}

const KnownService generic{"", "", "", "", ""};

}  // namespace

bool GattCharacteristic::has(const char *flag) const {
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

std::optional<DataChannel> chooseDataChannel(const std::vector<GattService> &services) {
    for (const KnownService &known : knownServices) {
        for (const GattService &service : services) {
            if (service.uuid == known.service) {
                if (std::optional<DataChannel> channel = channelOf(service, known)) {
                    return channel;
                }
            }
        }
    }
    for (const GattService &service : services) {
        if (isVendorUuid(service.uuid) && !isFirmwareService(service)) {
            if (std::optional<DataChannel> channel = channelOf(service, generic)) {
                return channel;
            }
        }
    }
    return std::nullopt;
}

}  // namespace divebridge
