// SPDX-License-Identifier: MIT
#include "catalogue.h"

#include "json_values.h"
#include "status_error.h"

#include <libdivecomputer/descriptor.h>
#include <libdivecomputer/version.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <sstream>

namespace dcsim {
namespace {

// The transports by the names catalogues use, with the number this generation gives each.
struct TransportName {
    const char *name;
    std::optional<std::uint32_t> number;  // empty when the emulated release does not know it
};

#ifdef DCSIM_GENERATION_B
// A model reports the set of all its transports.
constexpr bool kTransportSets = true;
constexpr std::optional<std::uint32_t> kBle = DC_TRANSPORT_BLE;
#else
// A model reports one transport, the first of its list that 0.6 knew; 0.6 did not know BLE.
constexpr bool kTransportSets = false;
constexpr std::optional<std::uint32_t> kBle = std::nullopt;
#endif

constexpr TransportName kTransportNames[] = {
    {"none", DC_TRANSPORT_NONE},
    {"serial", DC_TRANSPORT_SERIAL},
    {"usb", DC_TRANSPORT_USB},
    {"usbhid", DC_TRANSPORT_USBHID},
    {"irda", DC_TRANSPORT_IRDA},
    {"bluetooth", DC_TRANSPORT_BLUETOOTH},
    {"ble", kBle},
};

// The number of a transport name; empty when this generation does not know the transport.
std::optional<std::uint32_t> transportNumber(const std::string &name) {
    for (const auto &entry : kTransportNames) {
        if (name == entry.name) {
            return entry.number;
        }
    }
    throw FormatError("unknown transport \"" + name + "\"");
}

// What a model with these transports reports; empty when the generation knows none of them, so
// that the model is not listed.
std::optional<std::uint32_t> reportedTransport(const std::vector<std::string> &names) {
    if (names.empty()) {
        return DC_TRANSPORT_NONE;
    }
    std::optional<std::uint32_t> reported;
    for (const auto &name : names) {
        const auto number = transportNumber(name);
        if (number && kTransportSets) {
            reported = reported.value_or(0) | *number;
        } else if (number && !reported) {
            reported = number;
        }
    }
    return reported;
}

struct BuiltInDescriptor {
    const char *vendor;
    const char *product;
    unsigned int model;
    // In flag order, so that generation A's single transport is B's lowest flag.
    std::initializer_list<const char *> transports;
    // The release (0.minor) that first listed the model.
    unsigned int sinceMinor = 0;
    // The advertised names when they do not follow the family's rule.
    std::initializer_list<const char *> bleNames = {};
    BleNaming::Tail bleTail = BleNaming::Tail::kAnything;
};

constexpr auto kDecimalSerial = BleNaming::Tail::kDecimalSerial;

// Real-world models with the transports their download cables or radios use.
const BuiltInDescriptor kBuiltIn[] = {
    {"Suunto", "Solution", 0, {"serial"}},
    {"Suunto", "Eon", 0, {"serial"}},
    {"Suunto", "Vyper", 0x0A, {"serial"}},
    {"Suunto", "Vytec", 0x0B, {"serial"}},
    {"Suunto", "Vyper Air", 0x13, {"serial"}},
    {"Suunto", "D9", 0x0E, {"serial"}},
    {"Suunto", "D6", 0x0F, {"serial"}},
    {"Suunto", "D4i", 0x19, {"serial"}},
    {"Suunto", "Zoop", 0x16, {"serial"}},
    {"Suunto", "EON Steel", 0, {"usbhid", "ble"}},
    {"Uwatec", "Aladin", 0x3F, {"serial"}},
    {"Uwatec", "Memomouse", 0, {"serial"}},
    {"Uwatec", "Smart Pro", 0x10, {"irda"}},
    {"Uwatec", "Galileo Sol", 0x11, {"irda"}},
    {"Uwatec", "Aladin Tec 2G", 0x12, {"irda"}},
    {"Scubapro", "G2", 0x32, {"usbhid", "ble"}},
    {"Scubapro", "Aladin Square", 0x22, {"usbhid"}},
    {"Reefnet", "Sensus", 1, {"serial"}},
    {"Reefnet", "Sensus Pro", 2, {"serial"}},
    {"Reefnet", "Sensus Ultra", 3, {"serial"}},
    {"Oceanic", "Atom 2.0", 0x4342, {"serial"}},
    {"Oceanic", "VT3", 0x4258, {"serial"}},
    {"Oceanic", "Veo 2.0", 0x4359, {"serial"}},
    {"Oceanic", "Geo 2.0", 0x4446, {"serial"}},
    {"Mares", "Nemo", 0, {"serial"}},
    {"Mares", "Puck Pro", 0x18, {"serial", "ble"}},
    {"Mares", "Icon HD", 0x14, {"serial"}},
    {"Mares", "Smart", 0x000010, {"serial", "ble"}},
    {"Heinrichs Weikamp", "OSTC", 0, {"serial"}},
    {"Heinrichs Weikamp", "OSTC Mk2", 1, {"serial"}},
    {"Heinrichs Weikamp", "OSTC 2N", 2, {"serial"}},
    {"Heinrichs Weikamp", "OSTC 3", 0x0A, {"serial"}},
    {"Heinrichs Weikamp", "OSTC Sport", 0x12, {"serial", "bluetooth", "ble"}, 0, {"OSTCs"}},
    {"Heinrichs Weikamp", "OSTC Plus", 0x13, {"serial", "bluetooth", "ble"}, 0, {"OSTC+"}},
    {"Heinrichs Weikamp", "OSTC 4", 0x3B, {"serial", "ble"}, 0, {"OSTC4"}},
    {"Heinrichs Weikamp", "Frog", 0, {"serial"}},
    {"Cressi", "Leonardo", 1, {"serial"}},
    {"Cressi", "Giotto", 4, {"serial"}},
    {"Cressi", "Edy", 0x08, {"serial"}},
    {"Atomic Aquatics", "Cobalt", 0, {"usb"}},
    {"Atomic Aquatics", "Cobalt 2", 2, {"usb"}},
    {"Shearwater", "Predator", 2, {"bluetooth"}},
    {"Shearwater", "Petrel", 3, {"serial", "bluetooth"}},
    {"Shearwater", "Petrel 2", 3, {"serial", "bluetooth", "ble"}},
    {"Shearwater", "Nerd", 4, {"serial", "bluetooth"}},
    {"Shearwater", "Perdix", 5, {"serial", "bluetooth", "ble"}},
    {"Shearwater", "Teric", 8, {"ble"}},
    {"Shearwater", "Petrel 3", 10, {"ble"}},
    {"Shearwater", "Perdix 2", 11, {"ble"}},
    {"Scubapro", "Aladin A2", 0x28, {"ble"}},
    {"Mares", "Sirius", 0x2F, {"ble"}},
    {"Halcyon", "Symbios", 1, {"ble"}},
    {"Aqualung", "i330R", 0x4744, {"ble"}, 9, {"i330R"}, kDecimalSerial},
    {"Apeks", "DSX", 0x4741, {"ble"}, 9, {"DSX"}, kDecimalSerial},
    {"Citizen", "Hyper Aqualand", 0, {"serial"}},
    {"Uemis", "Zurich", 0, {"none"}},
    {"Zeagle", "N2iTiON3", 0x15, {"serial"}},
    {"Dive Rite", "NiTek Q", 0x13, {"serial"}},
    {"Cochran", "Commander", 0, {"serial"}},
};

std::string readCatalogueFile(const char *path) {
    std::ifstream file(std::filesystem::u8path(path), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    if (!file) {
        throw FormatError("cannot be read");
    }
    return text.str();
}

// "transport": a name, a list of names, or a raw number reported unchanged.
std::optional<std::uint32_t> readTransport(const Json &value, const std::string &what) {
    if (value.is_string()) {
        return reportedTransport({readString(value, what)});
    }
    if (value.is_array()) {
        std::vector<std::string> names;
        for (std::size_t i = 0; i < value.size(); ++i) {
            names.push_back(readString(value[i], what + "[" + std::to_string(i) + "]"));
        }
        return reportedTransport(names);
    }
    const auto number = readInt64(value, what);
    if (number < INT32_MIN || number > static_cast<std::int64_t>(UINT32_MAX)) {
        throw FormatError(what + ": expected a 32-bit number");
    }
    return static_cast<std::uint32_t>(number);
}

BleNaming readBleNames(const Json &value, const std::string &what) {
    requireArray(value, what);
    BleNaming naming;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const std::string item = what + "[" + std::to_string(i) + "]";
        naming.prefixes.push_back(readString(value[i], item));
        if (naming.prefixes.back().empty()) {
            throw FormatError(item + ": an empty name would match every device");
        }
    }
    return naming;
}

// Empty for a model the emulated release does not list.
std::optional<DescriptorInfo> readDescriptor(const Json &value, const std::string &what) {
    requireObject(value, what, {"vendor", "product", "transport", "model", "ble_names"});
    if (!value.contains("vendor") || !value.contains("product") || !value.contains("transport")) {
        throw FormatError(what + ": vendor, product and transport are required");
    }
    DescriptorInfo descriptor;
    descriptor.vendor = readString(value["vendor"], what + ".vendor");
    descriptor.product = readString(value["product"], what + ".product");
    readMember(value, what, "model", descriptor.model, readUnsigned);
    const auto transport = readTransport(value["transport"], what + ".transport");
    if (!transport) {
        return std::nullopt;
    }
    descriptor.transport = *transport;
    descriptor.bleNaming = value.contains("ble_names")
                               ? readBleNames(value["ble_names"], what + ".ble_names")
                               : familyBleNaming(descriptor.vendor, descriptor.product);
    return descriptor;
}

std::vector<DescriptorInfo> readDescriptors(const Json &value, const std::string &what) {
    requireArray(value, what);
    std::vector<DescriptorInfo> descriptors;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (auto descriptor = readDescriptor(value[i], what + "[" + std::to_string(i) + "]")) {
            descriptors.push_back(std::move(*descriptor));
        }
    }
    return descriptors;
}

// Errors name the members by their keys alone.
CatalogueFaults readCatalogueFaults(const Json &value, const std::string &what) {
    requireObject(value, what, {"iterator", "next", "next_after"});
    CatalogueFaults faults;
    readMember(value, "iterator", faults.iterator, readStatus);
    readMember(value, "next", faults.next, readStatus);
    readMember(value, "next_after", faults.nextAfter, readUnsigned);
    return faults;
}

Catalogue readCatalogue(const Json &root) {
    Catalogue catalogue;
    if (root.is_array()) {
        catalogue.descriptors = readDescriptors(root, "descriptors");
        return catalogue;
    }
    requireObject(root, "catalogue", {"descriptors", "faults"});
    readMember(root, "descriptors", catalogue.descriptors, readDescriptors);
    readMember(root, "faults", catalogue.faults, readCatalogueFaults);
    return catalogue;
}

}  // namespace

Catalogue builtInCatalogue() {
    Catalogue catalogue;
    for (const auto &entry : kBuiltIn) {
        const auto transport = reportedTransport(
            std::vector<std::string>(entry.transports.begin(), entry.transports.end()));
        if (!transport || entry.sinceMinor > DC_VERSION_MINOR) {
            continue;
        }
        BleNaming naming = familyBleNaming(entry.vendor, entry.product);
        if (entry.bleNames.size() != 0) {
            naming = {{entry.bleNames.begin(), entry.bleNames.end()}, entry.bleTail};
        }
        catalogue.descriptors.push_back(
            {entry.vendor, entry.product, entry.model, *transport, std::move(naming)});
    }
    return catalogue;
}

Catalogue loadCatalogue() {
    const char *path = std::getenv("DCSIM_CATALOGUE");
    if (path == nullptr) {
        return builtInCatalogue();
    }
    try {
        return readCatalogue(Json::parse(readCatalogueFile(path)));
    } catch (const FormatError &error) {
        std::fprintf(stderr, "dcsim: %s: %s\n", path, error.what());
    } catch (const Json::exception &error) {
        std::fprintf(stderr, "dcsim: %s: %s\n", path, error.what());
    }
    throw StatusError(DC_STATUS_IO, "catalogue cannot be loaded");
}

dc_status_t DescriptorIterator::next(DescriptorInfo &descriptor) {
    const auto &faults = catalogue_.faults;
    if (faults.next != 0 && position_ >= faults.nextAfter) {
        return static_cast<dc_status_t>(faults.next);
    }
    if (position_ >= catalogue_.descriptors.size()) {
        return DC_STATUS_DONE;
    }
    descriptor = catalogue_.descriptors[position_++];
    return DC_STATUS_SUCCESS;
}

}  // namespace dcsim
