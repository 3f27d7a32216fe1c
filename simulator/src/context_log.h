// SPDX-License-Identifier: MIT
// A context's log, as libdivecomputer keeps one: a level and a function, standard error by default.
#ifndef DCSIM_CONTEXT_LOG_H
#define DCSIM_CONTEXT_LOG_H

#include "status_error.h"

#include <libdivecomputer/context.h>

#include <string>

namespace dcsim {

struct ContextLog {
    dc_loglevel_t level = DC_LOGLEVEL_WARNING;
    dc_logfunc_t function;
    void *userdata = nullptr;

    ContextLog();
};

// Logs `message` on the context when its level lets it; `where` names the simulator's function, and
// `file` the source file (its directories are left out).
void logLine(dc_context_t *context, const ContextLog &log, dc_loglevel_t level, const char *file,
             unsigned int line, const char *where, const std::string &message) noexcept;

// Where a device logs: the context it was opened with.
struct LogTarget {
    dc_context_t *context = nullptr;
    const ContextLog *log = nullptr;

    void line(dc_loglevel_t level, const char *file, unsigned int line, const char *where,
              const std::string &message) const noexcept {
        if (log != nullptr) {
            logLine(context, *log, level, file, line, where, message);
        }
    }
};

// Runs the body of a C entry point as answerStatus does, and logs on the target why it failed, as
// libdivecomputer's backends log their failures: a cancellation as information, the rest as errors.
// `file` and `line` say where the call was answered, as libdivecomputer's log lines do.
template <typename Body>
dc_status_t answerLogged(const LogTarget &target, const char *where, const char *file,
                         unsigned int line, Body &&body) noexcept {
    std::string reason;
    const dc_status_t status = answerStatus([&] {
        try {
            return body();
        } catch (const StatusError &error) {
            reason = error.what();
            throw;
        }
    });
    if (status == DC_STATUS_SUCCESS || status == DC_STATUS_DONE) {
        return status;
    }
    try {
        const std::string message = (reason.empty() ? std::string(where) + " failed" : reason) +
                                    " (status " + std::to_string(status) + ")";
        target.line(status == DC_STATUS_CANCELLED ? DC_LOGLEVEL_INFO : DC_LOGLEVEL_ERROR, file,
                    line, where, message);
    } catch (...) {
        // without memory for the line, the status alone tells
    }
    return status;
}

}  // namespace dcsim

#endif
