// SPDX-License-Identifier: MIT
#include "port_file.h"

#include "status_error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace dcsim {

// The errno of open decides the status, as it does for a serial port. Opened without waiting: a
// FIFO or terminal with nothing on the other side would block.
PortFile::PortFile(const std::string &path)
    : path_(path), fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {
    if (fd_ >= 0) {
        return;
    }
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) {
        throw StatusError(DC_STATUS_NODEVICE, path + ": no such image");
    }
    if (error == EACCES || error == EPERM) {
        throw StatusError(DC_STATUS_NOACCESS, path + ": permission denied");
    }
    throw StatusError(DC_STATUS_IO, path + ": " + std::strerror(error));
}

PortFile::~PortFile() {
    ::close(fd_);
}

std::optional<std::uint64_t> PortFile::regularFileSize() const {
    struct stat status {};
    if (::fstat(fd_, &status) != 0) {
        throw StatusError(DC_STATUS_IO, path_ + ": " + std::strerror(errno));
    }
    if (!S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(status.st_size);
}

std::size_t PortFile::read(char *buffer, std::size_t size) {
    const ssize_t count = ::read(fd_, buffer, size);
    if (count < 0) {
        throw StatusError(DC_STATUS_IO, path_ + ": " + std::strerror(errno));
    }
    return static_cast<std::size_t>(count);
}

}  // namespace dcsim
