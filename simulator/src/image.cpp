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

dc_event_devinfo_t readDevinfo(const Json &value) {
    requireObject(value, "devinfo", {"model", "firmware", "serial"});
    dc_event_devinfo_t devinfo{};
    devinfo.model = value.contains("model") ? readUnsigned(value["model"], "devinfo.model") : 0;
    devinfo.firmware =
        value.contains("firmware") ? readUnsigned(value["firmware"], "devinfo.firmware") : 0;
    devinfo.serial = value.contains("serial") ? readUnsigned(value["serial"], "devinfo.serial") : 0;
    return devinfo;
}

dc_event_clock_t readClock(const Json &value) {
    requireObject(value, "clock", {"devtime", "systime"});
    dc_event_clock_t clock{};
    clock.devtime = value.contains("devtime") ? readUnsigned(value["devtime"], "clock.devtime") : 0;
    clock.systime = value.contains("systime") ? readInt64(value["systime"], "clock.systime") : 0;
    return clock;
}

DeviceFaults readDeviceFaults(const Json &value) {
    requireObject(value, "faults",
                  {"open", "set_events", "set_cancel", "foreach", "foreach_after", "close"});
    const auto status = [&](const char *key) {
        return value.contains(key) ? readStatus(value[key], std::string("faults.") + key) : 0;
    };
    DeviceFaults faults;
    faults.open = status("open");
    faults.setEvents = status("set_events");
    faults.setCancel = status("set_cancel");
    faults.foreach = status("foreach");
    faults.close = status("close");
    if (value.contains("foreach_after")) {
        faults.foreachAfter = readUnsigned(value["foreach_after"], "faults.foreach_after");
    }
    return faults;
}

Transfer readTransfer(const Json &value) {
    requireObject(value, "transfer", {"block_size", "block_delay_ms", "memory_first"});
    if (!value.contains("block_size")) {
        throw FormatError("transfer: block_size is required");
    }
    Transfer transfer;
    transfer.blockSize = readUnsigned(value["block_size"], "transfer.block_size");
    if (transfer.blockSize == 0) {
        throw FormatError("transfer.block_size: must be above 0");
    }
    if (value.contains("block_delay_ms")) {
        transfer.blockDelayMs = readUnsigned(value["block_delay_ms"], "transfer.block_delay_ms");
    }
    if (value.contains("memory_first")) {
        transfer.memoryFirst = readBool(value["memory_first"], "transfer.memory_first");
    }
    return transfer;
}

void readDives(const Json &value, Image &image) {
    requireArray(value, "dives");
    for (std::size_t i = 0; i < value.size(); ++i) {
        for (auto &copy : encodeImageDive(value[i], "dives[" + std::to_string(i) + "]")) {
            const Fingerprint fingerprint = fingerprintOf(copy.bytes);
            image.dives.push_back({std::move(copy.bytes), fingerprint, copy.parserNewFault});
        }
    }
}

// Each line: a level from 1 (error) to 4 (debug), and its text, or its bytes in hex.
std::vector<ImageLogLine> readLog(const Json &value) {
    requireArray(value, "log");
    std::vector<ImageLogLine> lines;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const std::string what = "log[" + std::to_string(i) + "]";
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
    if (root.contains("devinfo"))
        image.devinfo = readDevinfo(root["devinfo"]);
    if (root.contains("clock"))
        image.clock = readClock(root["clock"]);
    if (root.contains("waiting"))
        image.waiting = readBool(root["waiting"], "waiting");
    if (root.contains("delay_ms"))
        image.delayMs = readUnsigned(root["delay_ms"], "delay_ms");
    if (root.contains("progress_maximum")) {
        image.progressMaximum = readUnsigned(root["progress_maximum"], "progress_maximum");
    }
    if (root.contains("transfer"))
        image.transfer = readTransfer(root["transfer"]);
    if (root.contains("journal"))
        image.journal = readString(root["journal"], "journal");
    if (root.contains("log"))
        image.log = readLog(root["log"]);
    if (root.contains("faults"))
        image.faults = readDeviceFaults(root["faults"]);
    if (root.contains("dives"))
        readDives(root["dives"], image);
    if (root.contains("pin_code"))
        checkPinCode(root["pin_code"]);
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
