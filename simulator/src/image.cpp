// SPDX-License-Identifier: MIT
#include "image.h"

#include "port_file.h"
#include "status_error.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace dcsim {
namespace {

// Writes why the port holds no image and answers IO, as for any malformed image.
[[noreturn]] void refusePort(const std::string &path, const std::string &why) {
    std::fprintf(stderr, "dcsim: %s: %s\n", path.c_str(), why.c_str());
    throw StatusError(DC_STATUS_IO, path + ": " + why);
}

const std::string &sizeLimitText() {
    static const std::string text =
        "larger than the image limit of " + std::to_string(kImageSizeLimit >> 20) + " MiB";
    return text;
}

// Reads the whole image the way a port is opened (how the open fails decides the status). What is
// not a regular file is refused at once, since reading a device such as /dev/zero would never end,
// and so is a file over the limit; no more than one byte past the limit is ever read, so that a
// file growing while it is read is refused too.
std::string readPort(const std::string &path) {
    PortFile port(path);
    const std::optional<std::uint64_t> size = port.regularFileSize();
    if (!size) {
        refusePort(path, "not a regular file");
    }
    if (*size > kImageSizeLimit) {
        refusePort(path, sizeLimitText());
    }
    std::string text(static_cast<std::size_t>(*size) + 1, '\0');
    std::size_t length = 0;
    while (length <= kImageSizeLimit) {
        if (length == text.size()) {
            text.resize(std::min(text.size() * 2, kImageSizeLimit + 1));
        }
        const std::size_t count = port.read(&text[length], text.size() - length);
        if (count == 0) {
            text.resize(length);
            return text;
        }
        length += count;
    }
    refusePort(path, sizeLimitText());
}

dc_event_devinfo_t readDevinfo(const Json &value, const std::string &what) {
    requireObject(value, what, {"model", "firmware", "serial"});
    dc_event_devinfo_t devinfo{};
    readMembers(value, what, readUnsigned,
                {member("model", devinfo.model), member("firmware", devinfo.firmware),
                 member("serial", devinfo.serial)});
    return devinfo;
}

dc_event_clock_t readClock(const Json &value, const std::string &what) {
    requireObject(value, what, {"devtime", "systime"});
    dc_event_clock_t clock{};
    readMember(value, what, "devtime", clock.devtime, readUnsigned);
    readMember(value, what, "systime", clock.systime, readInt64);
    return clock;
}

DeviceFaults readDeviceFaults(const Json &value, const std::string &what) {
    requireObject(value, what,
                  {"open", "set_events", "set_cancel", "foreach", "foreach_after", "close"});
    DeviceFaults faults;
    readMembers(value, what, readStatus,
                {member("open", faults.open), member("set_events", faults.setEvents),
                 member("set_cancel", faults.setCancel), member("foreach", faults.foreach),
                 member("close", faults.close)});
    readMember(value, what, "foreach_after", faults.foreachAfter, readUnsigned);
    return faults;
}

Transfer readTransfer(const Json &value, const std::string &what) {
    requireObject(value, what, {"block_size", "block_delay_ms", "memory_first"});
    if (!value.contains("block_size")) {
        throw FormatError(what + ": block_size is required");
    }
    Transfer transfer;
    readMember(value, what, "block_size", transfer.blockSize, readUnsigned);
    if (transfer.blockSize == 0) {
        throw FormatError(what + ".block_size: must be above 0");
    }
    readMember(value, what, "block_delay_ms", transfer.blockDelayMs, readUnsigned);
    readMember(value, what, "memory_first", transfer.memoryFirst, readBool);
    return transfer;
}

std::vector<ImageDive> readDives(const Json &value, const std::string &what) {
    requireArray(value, what);
    std::vector<ImageDive> dives;
    for (std::size_t i = 0; i < value.size(); ++i) {
        for (auto &copy : encodeImageDive(value[i], what + "[" + std::to_string(i) + "]")) {
            const Fingerprint fingerprint = fingerprintOf(copy.bytes);
            dives.push_back({std::move(copy.bytes), fingerprint, copy.parserNewFault});
        }
    }
    return dives;
}

// Each line: a level from 1 (error) to 4 (debug), and its text, or its bytes in hex.
std::vector<ImageLogLine> readLog(const Json &value, const std::string &path) {
    requireArray(value, path);
    std::vector<ImageLogLine> lines;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const std::string what = path + "[" + std::to_string(i) + "]";
        requireObject(value[i], what, {"level", "text", "hex"});
        ImageLogLine line;
        line.level = static_cast<int>(readUnsigned(value[i]["level"], what + ".level"));
        if (line.level < 1 || line.level > 4) {
            throw FormatError(what + ".level: expected 1 to 4");
        }
        if (value[i].contains("text") == value[i].contains("hex")) {
            throw FormatError(what + ": expected text or hex");
        }
        if (value[i].contains("text")) {
            line.text = readString(value[i]["text"], what + ".text");
        } else {
            const std::string hex = readString(value[i]["hex"], what + ".hex");
            if (hex.size() % 2 != 0 ||
                hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
                throw FormatError(what + ".hex: expected pairs of hex digits");
            }
            for (std::size_t at = 0; at < hex.size(); at += 2) {
                line.text += static_cast<char>(std::stoi(hex.substr(at, 2), nullptr, 16));
            }
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

// The PIN a BLE peripheral shows (the fake peripheral serving the image reads it): six digits.
void checkPinCode(const Json &value) {
    const std::string pin = readString(value, "pin_code");
    if (pin.size() != 6 || pin.find_first_not_of("0123456789") != std::string::npos) {
        throw FormatError("pin_code: expected six digits");
    }
}

Image readImage(const Json &root) {
    requireObject(
        root, "image",
        {"vendor", "product", "devinfo", "clock", "waiting", "delay_ms", "progress_maximum",
         "transfer", "journal", "log", "faults", "dives", "pin_code"});
    if (!root.contains("vendor") || !root.contains("product")) {
        throw FormatError("image: vendor and product are required");
    }
    Image image;
    image.vendor = readString(root["vendor"], "vendor");
    image.product = readString(root["product"], "product");
    readMember(root, "devinfo", image.devinfo, readDevinfo);
    readMember(root, "clock", image.clock, readClock);
    readMember(root, "waiting", image.waiting, readBool);
    readMember(root, "delay_ms", image.delayMs, readUnsigned);
    readMember(root, "progress_maximum", image.progressMaximum, readUnsigned);
    readMember(root, "transfer", image.transfer, readTransfer);
    readMember(root, "journal", image.journal, readString);
    readMember(root, "log", image.log, readLog);
    readMember(root, "faults", image.faults, readDeviceFaults);
    readMember(root, "dives", image.dives, readDives);
    if (root.contains("pin_code")) {
        checkPinCode(root["pin_code"]);
    }
    return image;
}

}  // namespace

Image loadImage(const std::string &path) {
    return parseImage(readPort(path), path);
}

Image parseImage(const std::string &text, const std::string &what) {
    try {
        return readImage(Json::parse(text));
    } catch (const FormatError &error) {
        std::fprintf(stderr, "dcsim: %s: %s\n", what.c_str(), error.what());
    } catch (const Json::exception &error) {
        std::fprintf(stderr, "dcsim: %s: %s\n", what.c_str(), error.what());
    }
    throw StatusError(DC_STATUS_IO, what + ": not a dive computer image");
}

void appendJournal(const Image &image, const char *line) noexcept {
    if (image.journal.empty()) {
        return;
    }
    try {
        std::ofstream(std::filesystem::u8path(image.journal), std::ios::app) << line << '\n';
    } catch (...) {
        // As a journal that cannot be opened: the line is lost.
    }
}

}  // namespace dcsim
