#include "port_file.h"

#include "status_error.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace dcsim {

// The errno of open decides the status, as it does for a serial port.
PortFile::PortFile(const std::string &path)
    : path_(path), fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
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

std::size_t PortFile::read(char *buffer, std::size_t size) {
    const ssize_t count = ::read(fd_, buffer, size);
    if (count < 0) {
        throw StatusError(DC_STATUS_IO, path_ + ": " + std::strerror(errno));
    }
    return static_cast<std::size_t>(count);
}

}  // namespace dcsim
