#include "catalogue.h"

#include "json_values.h"
#include "status_error.h"

#include <libdivecomputer/descriptor.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace dcsim {
namespace {

struct BuiltInDescriptor {
    const char *vendor;
    const char *product;
    unsigned int model;
    dc_transport_t transport;
};

// Real-world models with the transports their download cables or radios use.
constexpr BuiltInDescriptor kBuiltIn[] = {
    {"Suunto", "Solution", 0, DC_TRANSPORT_SERIAL},
    {"Suunto", "Eon", 0, DC_TRANSPORT_SERIAL},
    {"Suunto", "Vyper", 0x0A, DC_TRANSPORT_SERIAL},
    {"Suunto", "Vytec", 0x0B, DC_TRANSPORT_SERIAL},
    {"Suunto", "Vyper Air", 0x13, DC_TRANSPORT_SERIAL},
    {"Suunto", "D9", 0x0E, DC_TRANSPORT_SERIAL},
    {"Suunto", "D6", 0x0F, DC_TRANSPORT_SERIAL},
    {"Suunto", "D4i", 0x19, DC_TRANSPORT_SERIAL},
    {"Suunto", "Zoop", 0x16, DC_TRANSPORT_SERIAL},
    {"Suunto", "EON Steel", 0, DC_TRANSPORT_USBHID},
    {"Uwatec", "Aladin", 0x3F, DC_TRANSPORT_SERIAL},
    {"Uwatec", "Memomouse", 0, DC_TRANSPORT_SERIAL},
    {"Uwatec", "Smart Pro", 0x10, DC_TRANSPORT_IRDA},
    {"Uwatec", "Galileo Sol", 0x11, DC_TRANSPORT_IRDA},
    {"Uwatec", "Aladin Tec 2G", 0x12, DC_TRANSPORT_IRDA},
    {"Scubapro", "G2", 0x32, DC_TRANSPORT_USBHID},
    {"Scubapro", "Aladin Square", 0x22, DC_TRANSPORT_USBHID},
    {"Reefnet", "Sensus", 1, DC_TRANSPORT_SERIAL},
    {"Reefnet", "Sensus Pro", 2, DC_TRANSPORT_SERIAL},
    {"Reefnet", "Sensus Ultra", 3, DC_TRANSPORT_SERIAL},
    {"Oceanic", "Atom 2.0", 0x4342, DC_TRANSPORT_SERIAL},
    {"Oceanic", "VT3", 0x4258, DC_TRANSPORT_SERIAL},
    {"Oceanic", "Veo 2.0", 0x4359, DC_TRANSPORT_SERIAL},
    {"Oceanic", "Geo 2.0", 0x4446, DC_TRANSPORT_SERIAL},
    {"Mares", "Nemo", 0, DC_TRANSPORT_SERIAL},
    {"Mares", "Puck Pro", 0x18, DC_TRANSPORT_SERIAL},
    {"Mares", "Icon HD", 0x14, DC_TRANSPORT_SERIAL},
    {"Mares", "Smart", 0x000010, DC_TRANSPORT_SERIAL},
    {"Heinrichs Weikamp", "OSTC", 0, DC_TRANSPORT_SERIAL},
    {"Heinrichs Weikamp", "OSTC Mk2", 1, DC_TRANSPORT_SERIAL},
    {"Heinrichs Weikamp", "OSTC 2N", 2, DC_TRANSPORT_SERIAL},
    {"Heinrichs Weikamp", "OSTC 3", 0x0A, DC_TRANSPORT_SERIAL},
    {"Heinrichs Weikamp", "OSTC Sport", 0x12, DC_TRANSPORT_BLUETOOTH},
    {"Heinrichs Weikamp", "Frog", 0, DC_TRANSPORT_SERIAL},
    {"Cressi", "Leonardo", 1, DC_TRANSPORT_SERIAL},
    {"Cressi", "Giotto", 4, DC_TRANSPORT_SERIAL},
    {"Cressi", "Edy", 0x08, DC_TRANSPORT_SERIAL},
    {"Atomic Aquatics", "Cobalt", 0, DC_TRANSPORT_USB},
    {"Atomic Aquatics", "Cobalt 2", 2, DC_TRANSPORT_USB},
    {"Shearwater", "Predator", 2, DC_TRANSPORT_BLUETOOTH},
    {"Shearwater", "Petrel", 3, DC_TRANSPORT_BLUETOOTH},
    {"Shearwater", "Petrel 2", 3, DC_TRANSPORT_BLUETOOTH},
    {"Shearwater", "Nerd", 4, DC_TRANSPORT_BLUETOOTH},
    {"Shearwater", "Perdix", 5, DC_TRANSPORT_BLUETOOTH},
    {"Citizen", "Hyper Aqualand", 0, DC_TRANSPORT_SERIAL},
    {"Uemis", "Zurich", 0, DC_TRANSPORT_NONE},
    {"Zeagle", "N2iTiON3", 0x15, DC_TRANSPORT_SERIAL},
    {"Dive Rite", "NiTek Q", 0x13, DC_TRANSPORT_SERIAL},
    {"Cochran", "Commander", 0, DC_TRANSPORT_SERIAL},
};

std::string readCatalogueFile(const char *path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    if (!file) {
        throw FormatError("cannot be read");
    }
    return text.str();
}

DescriptorInfo readDescriptor(const Json &value, const std::string &what) {
    requireObject(value, what, {"vendor", "product", "transport", "model"});
    if (!value.contains("vendor") || !value.contains("product") || !value.contains("transport")) {
        throw FormatError(what + ": vendor, product and transport are required");
    }
    DescriptorInfo descriptor;
    descriptor.vendor = readString(value["vendor"], what + ".vendor");
    descriptor.product = readString(value["product"], what + ".product");
    const auto transport = readInt64(value["transport"], what + ".transport");
    if (transport < INT32_MIN || transport > static_cast<std::int64_t>(UINT32_MAX)) {
        throw FormatError(what + ".transport: expected a 32-bit number");
    }
    descriptor.transport = static_cast<std::uint32_t>(transport);
    descriptor.model = value.contains("model") ? readUnsigned(value["model"], what + ".model") : 0;
    return descriptor;
}

std::vector<DescriptorInfo> readDescriptors(const Json &value) {
    requireArray(value, "descriptors");
    std::vector<DescriptorInfo> descriptors;
    for (std::size_t i = 0; i < value.size(); ++i) {
        descriptors.push_back(readDescriptor(value[i], "descriptors[" + std::to_string(i) + "]"));
    }
    return descriptors;
}

CatalogueFaults readCatalogueFaults(const Json &value) {
    requireObject(value, "faults", {"iterator", "next", "next_after"});
    CatalogueFaults faults;
    if (value.contains("iterator"))
        faults.iterator = readStatus(value["iterator"], "iterator");
    if (value.contains("next"))
        faults.next = readStatus(value["next"], "next");
    if (value.contains("next_after")) {
        faults.nextAfter = readUnsigned(value["next_after"], "next_after");
    }
    return faults;
}

Catalogue readCatalogue(const Json &root) {
    Catalogue catalogue;
    if (root.is_array()) {
        catalogue.descriptors = readDescriptors(root);
        return catalogue;
    }
    requireObject(root, "catalogue", {"descriptors", "faults"});
    if (root.contains("descriptors")) {
        catalogue.descriptors = readDescriptors(root["descriptors"]);
    }
    if (root.contains("faults")) {
        catalogue.faults = readCatalogueFaults(root["faults"]);
    }
    return catalogue;
}

}  // namespace

Catalogue builtInCatalogue() {
    Catalogue catalogue;
    for (const auto &entry : kBuiltIn) {
        catalogue.descriptors.push_back({entry.vendor, entry.product, entry.model,
                                         static_cast<std::uint32_t>(entry.transport)});
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
