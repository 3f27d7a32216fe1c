#include "image.h"

#include "port_file.h"
#include "status_error.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace dcsim {
namespace {

// Reads the whole file the way a port is opened: how the open fails decides the status.
std::string readPort(const std::string &path) {
    PortFile port(path);
    std::string text;
    char buffer[65536];
    std::size_t count;
    while ((count = port.read(buffer, sizeof buffer)) > 0) {
        text.append(buffer, count);
    }
    return text;
}

// FNV-1a over the dive's bytes: distinct dives get distinct fingerprints.
std::array<unsigned char, 4> fingerprintOf(const Bytes &bytes) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char byte : bytes) {
        hash = (hash ^ byte) * 16777619u;
    }
    return {static_cast<unsigned char>(hash), static_cast<unsigned char>(hash >> 8),
            static_cast<unsigned char>(hash >> 16), static_cast<unsigned char>(hash >> 24)};
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

void readDives(const Json &value, Image &image) {
    requireArray(value, "dives");
    for (std::size_t i = 0; i < value.size(); ++i) {
        for (auto &copy : encodeImageDive(value[i], "dives[" + std::to_string(i) + "]")) {
            const auto fingerprint = fingerprintOf(copy.bytes);
            image.dives.push_back({std::move(copy.bytes), fingerprint, copy.parserNewFault});
        }
    }
}

Image readImage(const Json &root) {
    requireObject(root, "image",
                  {"vendor", "product", "devinfo", "clock", "waiting", "delay_ms",
                   "progress_maximum", "journal", "faults", "dives"});
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
    if (root.contains("journal"))
        image.journal = readString(root["journal"], "journal");
    if (root.contains("faults"))
        image.faults = readDeviceFaults(root["faults"]);
    if (root.contains("dives"))
        readDives(root["dives"], image);
    return image;
}

}  // namespace

Image loadImage(const std::string &path) {
    const std::string text = readPort(path);
    try {
        return readImage(Json::parse(text));
    } catch (const FormatError &error) {
        std::fprintf(stderr, "dcsim: %s: %s\n", path.c_str(), error.what());
    } catch (const Json::exception &error) {
        std::fprintf(stderr, "dcsim: %s: %s\n", path.c_str(), error.what());
    }
    throw StatusError(DC_STATUS_IO, path + ": not a dive computer image");
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
