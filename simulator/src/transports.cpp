// SPDX-License-Identifier: MIT
#include "transports.h"

#include "image_stream.h"
#include "status_error.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace dcsim {
namespace {

// DCSIM_USB separates its paths as PATH does: with ';' on Windows, where ':' follows drive letters.
#ifdef _WIN32
constexpr char kPathListSeparator = ';';
#else
constexpr char kPathListSeparator = ':';
#endif

// The non-empty pieces of text between separators.
std::vector<std::string> splitText(const std::string &text, char separator) {
    std::vector<std::string> pieces;
    std::size_t begin = 0;
    while (begin <= text.size()) {
        std::size_t end = text.find(separator, begin);
        if (end == std::string::npos) {
            end = text.size();
        }
        if (end > begin) {
            pieces.push_back(text.substr(begin, end - begin));
        }
        begin = end + 1;
    }
    return pieces;
}

[[noreturn]] void rejectVariable(const char *variable, const std::string &why) {
    std::fprintf(stderr, "dcsim: %s: %s\n", variable, why.c_str());
    throw StatusError(DC_STATUS_IO, std::string(variable) + ": " + why);
}

// Looks address up in a variable of "address=path" pairs separated by ';'. parse answers an
// address's number, or 0 when the text is no address.
std::string mappedImagePath(const char *variable, unsigned long long address,
                            const std::function<unsigned long long(const std::string &)> &parse) {
    const char *value = std::getenv(variable);
    if (value == nullptr) {
        throw StatusError(DC_STATUS_NODEVICE, std::string(variable) + " is not set");
    }
    for (const auto &pair : splitText(value, ';')) {
        const std::size_t equals = pair.find('=');
        if (equals == std::string::npos || equals + 1 == pair.size()) {
            rejectVariable(variable, "\"" + pair + "\" is not address=path");
        }
        const std::string key = pair.substr(0, equals);
        const unsigned long long listed = parse(key);
        // parse answers 0 for malformed text too; only a key of zeros means address 0.
        if (listed == 0 && key.find_first_not_of("0:") != std::string::npos) {
            rejectVariable(variable, "\"" + key + "\" is not an address");
        }
        if (listed == address) {
            return pair.substr(equals + 1);
        }
    }
    throw StatusError(DC_STATUS_NODEVICE, "no device at this address");
}

// A decimal 32-bit number, or 0 when the text is none.
unsigned long long parseIrdaAddress(const std::string &text) {
    if (text.empty() || text.size() > 10 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return 0;
    }
    const unsigned long long number = std::strtoull(text.c_str(), nullptr, 10);
    return number <= 0xFFFFFFFFull ? number : 0;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

}  // namespace

std::shared_ptr<Stream> openStream(const std::string &path, dc_transport_t transport) {
    return std::make_shared<ImageStream>(transport, std::make_shared<const Image>(loadImage(path)));
}

std::vector<std::string> usbImagePaths(const DescriptorInfo *descriptor) {
    const char *value = std::getenv("DCSIM_USB");
    std::vector<std::string> paths;
    if (value == nullptr) {
        return paths;
    }
    for (auto &path : splitText(value, kPathListSeparator)) {
        try {
            const Image image = loadImage(path);
            if (descriptor == nullptr ||
                (image.vendor == descriptor->vendor && image.product == descriptor->product)) {
                paths.push_back(std::move(path));
            }
        } catch (const StatusError &) {
            // An image that does not load is a device that does not enumerate.
        }
    }
    return paths;
}

std::string irdaImagePath(unsigned int address) {
    return mappedImagePath("DCSIM_IRDA", address, parseIrdaAddress);
}

std::string bluetoothImagePath(unsigned long long address) {
    return mappedImagePath("DCSIM_BLUETOOTH", address, parseBluetoothAddress);
}

unsigned long long parseBluetoothAddress(const std::string &text) {
    constexpr std::size_t kLength = 6 * 3 - 1;
    if (text.size() != kLength) {
        return 0;
    }
    unsigned long long address = 0;
    for (std::size_t i = 0; i < kLength; i += 3) {
        const int high = hexDigit(text[i]);
        const int low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0 || (i + 2 < kLength && text[i + 2] != ':')) {
            return 0;
        }
        address = address << 8 | static_cast<unsigned long long>(high << 4 | low);
    }
    return address;
}

BluetoothText formatBluetoothAddress(unsigned long long address) noexcept {
    BluetoothText text{};
    std::snprintf(
        text.data(), text.size(), "%02X:%02X:%02X:%02X:%02X:%02X",
        static_cast<unsigned>(address >> 40 & 0xFF), static_cast<unsigned>(address >> 32 & 0xFF),
        static_cast<unsigned>(address >> 24 & 0xFF), static_cast<unsigned>(address >> 16 & 0xFF),
        static_cast<unsigned>(address >> 8 & 0xFF), static_cast<unsigned>(address & 0xFF));
    return text;
}

dc_status_t PathList::next(std::string &path) {
    if (position_ >= paths_.size()) {
        return DC_STATUS_DONE;
    }
    path = paths_[position_++];
    return DC_STATUS_SUCCESS;
}

}  // namespace dcsim
