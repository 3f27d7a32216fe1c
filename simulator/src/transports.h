// SPDX-License-Identifier: MIT
// Where the transports of generation B find their images: a serial port is an image's path, USB
// devices are the images listed in DCSIM_USB, IrDA and Bluetooth addresses are mapped to images by
// DCSIM_IRDA and DCSIM_BLUETOOTH.
#ifndef DCSIM_TRANSPORTS_H
#define DCSIM_TRANSPORTS_H

#include "catalogue.h"
#include "stream.h"

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace dcsim {

// Loads the image at path into a new stream of this transport. Throws StatusError as loadImage
// does.
std::shared_ptr<Stream> openStream(const std::string &path, dc_transport_t transport);

// The image paths of DCSIM_USB (separated by ':', on Windows ';') whose image emulates the
// descriptor's model, or every loadable one when descriptor is null. Images that do not load are
// left out.
std::vector<std::string> usbImagePaths(const DescriptorInfo *descriptor);

// The image DCSIM_IRDA ("address=path;...", decimal addresses) gives this address. Throws
// StatusError: NODEVICE when it is not listed, IO when the variable is malformed.
std::string irdaImagePath(unsigned int address);

// The same with DCSIM_BLUETOOTH, whose addresses are written "01:23:45:67:89:AB".
std::string bluetoothImagePath(unsigned long long address);

// "01:23:45:67:89:AB" (either case) as a number, or 0 when malformed.
unsigned long long parseBluetoothAddress(const std::string &text);
// The low 48 bits of address written as "01:23:45:67:89:AB".
using BluetoothText = std::array<char, 18>;
BluetoothText formatBluetoothAddress(unsigned long long address) noexcept;

// Hands out the paths of a list one by one, for a USB device iterator.
class PathList {
  public:
    using value_type = std::string;

    explicit PathList(std::vector<std::string> paths) : paths_(std::move(paths)) {}
    dc_status_t next(std::string &path);

  private:
    std::vector<std::string> paths_;
    std::size_t position_ = 0;
};

}  // namespace dcsim

#endif
