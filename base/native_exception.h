// SPDX-License-Identifier: MIT
// The native exception family: every failure of the bridge's own work travels as one of these up
// to the exported function, which turns it into a Java exception.
#pragma once

#include <libdivecomputer/common.h>

#include <exception>
#include <string>

namespace divebridge {

class Exception : public std::exception {
  public:
    // The message reads "[status]: text", the status in signed decimal.
    Exception(dc_status_t status, const std::string &text);
    const char *what() const noexcept override { return message.c_str(); }

  protected:
    explicit Exception(std::string finishedMessage) : message(std::move(finishedMessage)) {}

  private:
    std::string message;
};

class CommunicationException : public Exception {
  public:
    using Exception::Exception;
};

class UnknownDeviceException : public Exception {
  public:
    // The message is taken as it is: no status is folded in.
    explicit UnknownDeviceException(std::string finishedMessage)
        : Exception(std::move(finishedMessage)) {}
};

// "[status]: text", shared by every status-carrying exception.
std::string statusMessage(dc_status_t status, const std::string &text);

}  // namespace divebridge
