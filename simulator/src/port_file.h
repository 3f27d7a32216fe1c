// SPDX-License-Identifier: MIT
// The file of a dive computer image, opened and read the way a serial port is. Paths are UTF-8 on
// every platform.
#ifndef DCSIM_PORT_FILE_H
#define DCSIM_PORT_FILE_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace dcsim {

class PortFile {
  public:
    // Throws StatusError: NODEVICE when the path does not exist, NOACCESS when it cannot be read,
    // IO for anything else (a directory, say).
    explicit PortFile(const std::string &path);
    ~PortFile();
    PortFile(const PortFile &) = delete;
    PortFile &operator=(const PortFile &) = delete;

    // The size of a regular file; none for anything else (a device, a FIFO, a terminal). Throws
    // StatusError IO when it cannot be told.
    std::optional<std::uint64_t> regularFileSize() const;

    // Reads up to size bytes; 0 at the end of the file. Throws StatusError IO.
    std::size_t read(char *buffer, std::size_t size);

  private:
    std::string path_;
#ifdef _WIN32
    void *handle_;
#else
    int fd_;
#endif
};

}  // namespace dcsim

#endif
