// SPDX-License-Identifier: MIT
#include "device/dive_computer.h"

#include "base/console.h"
#include "base/native_exception.h"
#include "device/descriptor_walk.h"
#include "device/interruption.h"

#include <cstring>

namespace divebridge {
namespace {

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringAsciiCase(const char *a, std::size_t length, const char *b) {
    if (std::strlen(b) != length) {
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// "vendor product" as one name: vendor, exactly one space, product.
bool matchesVendorAndProduct(const std::string &name, const char *vendor, const char *product) {
    const std::size_t vendorLength = std::strlen(vendor);
    if (name.size() <= vendorLength || name[vendorLength] != ' ') {
        return false;
    }
    return equalsIgnoringAsciiCase(name.data(), vendorLength, vendor) &&
           equalsIgnoringAsciiCase(name.data() + vendorLength + 1, name.size() - vendorLength - 1,
                                   product);
}

bool matchesProduct(const std::string &name, const char *product) {
    return equalsIgnoringAsciiCase(name.data(), name.size(), product);
}

bool matches(const std::string &name, dc_descriptor_t *descriptor) {
    const char *vendor = dc_descriptor_get_vendor(descriptor);
    const char *product = dc_descriptor_get_product(descriptor);
    if (vendor == nullptr || product == nullptr) {
        return false;
    }
    return matchesVendorAndProduct(name, vendor, product) || matchesProduct(name, product);
}

std::string selectionNameOf(const char *vendor, const char *model) {
    std::string name;
    if (vendor != nullptr) {
        name.append(vendor).append(" ");
    }
    name.append(model != nullptr ? model : "");
    return name;
}

std::string noMatchMessage(const char *vendor, const char *model, const char *port) {
    auto text = [](const char *value) { return value != nullptr ? value : ""; };
    std::string message("No matching device found: ");
    message.append("vendor='").append(text(vendor));
    message.append("', model='").append(text(model));
    message.append("', port='").append(text(port)).append("'");
    return message;
}

}  // namespace

std::pair<dc_status_t, DescriptorHandle> findDescriptor(const std::string &name) {
    DescriptorHandle match;
    const DescriptorWalk walk = walkDescriptors([&](DescriptorHandle descriptor) {
        if (!matches(name, descriptor.get())) {
            return true;
        }
        match = std::move(descriptor);
        return false;
    });
    switch (walk.end) {
        case DescriptorWalk::End::CreationFailed:
            writeConsoleLine("Error creating the device descriptor iterator.");
            return {walk.status, nullptr};
        case DescriptorWalk::End::NextFailed:
            writeConsoleLine("Error iterating the device descriptors.");
            return {walk.status, nullptr};
        default:
            return {DC_STATUS_SUCCESS, std::move(match)};
    }
}

DiveComputer::DiveComputer(const char *vendor, const char *model, const char *port,
                           Application *application)
    : name(selectionNameOf(vendor, model)),
      port(port),
      asked(application != nullptr ? *application : silentApplication()),
      log(asked, failure) {
    installInterruptHandler();

    dc_context_t *rawContext = nullptr;
    const dc_status_t created = dc_context_new(&rawContext);
    if (created != DC_STATUS_SUCCESS) {
        throw Exception(created, "Could not create the context.");
    }
    context.reset(rawContext);
    const dc_status_t logged = log.attachTo(rawContext);
    if (logged != DC_STATUS_SUCCESS) {
        throw Exception(logged, "Could not set the libdivecomputer log.");
    }

    auto [status, match] = findDescriptor(name);
    if (status != DC_STATUS_SUCCESS) {
        throw Exception(status, "No matching device descriptor found.");
    }
    if (!match) {
        throw UnknownDeviceException(noMatchMessage(vendor, model, port));
    }
    descriptor = std::move(match);
}

}  // namespace divebridge
