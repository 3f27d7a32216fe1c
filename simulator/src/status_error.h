// SPDX-License-Identifier: MIT
// Errors that carry the libdivecomputer status a C entry point answers.
#ifndef DCSIM_STATUS_ERROR_H
#define DCSIM_STATUS_ERROR_H

#include <libdivecomputer/common.h>

#include <new>
#include <stdexcept>
#include <string>

namespace dcsim {

class StatusError : public std::runtime_error {
  public:
    StatusError(dc_status_t status, const std::string &what)
        : std::runtime_error(what), status_(status) {}
    dc_status_t status() const noexcept { return status_; }

  private:
    dc_status_t status_;
};

// A JSON document (image, catalogue or dive) that does not have the expected shape.
class FormatError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Runs the body of a C entry point: no C++ exception may reach the C caller.
template <typename Body>
dc_status_t answerStatus(Body &&body) noexcept {
    try {
        return body();
    } catch (const StatusError &error) {
        return error.status();
    } catch (const std::bad_alloc &) {
        return DC_STATUS_NOMEMORY;
    } catch (...) {
        return DC_STATUS_IO;
    }
}

}  // namespace dcsim

#endif
