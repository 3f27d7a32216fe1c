// SPDX-License-Identifier: MIT
// A dive computer image: the JSON file named by the port of dc_device_open, loaded and with all
// its dives encoded once.
#ifndef DCSIM_IMAGE_H
#define DCSIM_IMAGE_H

#include "dive_json.h"

#include <libdivecomputer/device.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dcsim {

// Statuses the device calls answer instead of doing their work; 0 is no fault.
struct DeviceFaults {
    int open = 0;
    int setEvents = 0;
    int setCancel = 0;
    int foreach = 0;
    std::uint32_t foreachAfter = 0;
    int close = 0;
};

// A transfer paced as a real dive computer's: the dives' bytes move in blocks, the cancel
// callback is asked before each, and each is followed by a progress event.
struct Transfer {
    std::uint32_t blockSize = 1;
    std::uint32_t blockDelayMs = 0;
    // All blocks of all dives move before the first dive is handed out.
    bool memoryFirst = false;
};

// A line the device logs on its context when a download starts: a test's way to make
// libdivecomputer log, also bytes that are not UTF-8.
struct ImageLogLine {
    int level = 1;
    std::string text;
};

struct ImageDive {
    Bytes bytes;
    Fingerprint fingerprint{};
    int parserNewFault = 0;
};

struct Image {
    std::string vendor;
    std::string product;
    std::optional<dc_event_devinfo_t> devinfo;
    std::optional<dc_event_clock_t> clock;
    bool waiting = false;
    std::uint32_t delayMs = 0;
    std::optional<std::uint32_t> progressMaximum;
    std::optional<Transfer> transfer;
    std::string journal;
    std::vector<ImageLogLine> log;
    DeviceFaults faults;
    std::vector<ImageDive> dives;
};

// The largest image file read, in bytes; a larger one is refused before it is read.
constexpr std::size_t kImageSizeLimit = std::size_t{64} << 20;

// Throws StatusError: NODEVICE when the path does not exist, NOACCESS when it cannot be read,
// IO for anything else wrong with it (not a regular file, larger than kImageSizeLimit, not an
// image), with the reason on standard error.
Image loadImage(const std::string &path);

// The image in an image file's text, what names it in error messages. Throws StatusError: IO when
// it is not an image, with the reason on standard error.
Image parseImage(const std::string &text, const std::string &what);

// Appends one line to the image's journal, when it has one; a journal that cannot be written is
// not the device's failure.
void appendJournal(const Image &image, const char *line) noexcept;

}  // namespace dcsim

#endif
