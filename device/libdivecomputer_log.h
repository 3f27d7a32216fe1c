// SPDX-License-Identifier: MIT
// libdivecomputer's log, for an application that wants it: every line of a context goes to a sink
// instead of libdivecomputer's default (standard error, warnings and errors only).
#pragma once

#include "device/callback_failure.h"

#include <libdivecomputer/context.h>

#include <string>

namespace divebridge {

// Told each line a context logs, with libdivecomputer's level number (1 error, 2 warning, 3 info,
// 4 debug). It may raise: it then hears no more, and the call that logged stops at its next check.
class LogSink {
  public:
    virtual void log(int level, const std::string &line) = 0;

  protected:
    ~LogSink() = default;
};

// A context's log: the sink, which hears nothing more once a callback of the context failed.
class ContextLog {
  public:
    // What the sink raises goes to `failure`.
    ContextLog(LogSink *sink, CallbackFailure &failure) : sink(sink), failure(failure) {}

    ContextLog(const ContextLog &) = delete;
    ContextLog &operator=(const ContextLog &) = delete;

    // Sends every line of `context` to the sink, when there is one. Answers libdivecomputer's
    // status.
    dc_status_t attachTo(dc_context_t *context);

    // libdivecomputer's log function; `userdata` is the ContextLog.
    static void onLine(dc_context_t *context, dc_loglevel_t level, const char *file,
                       unsigned int line, const char *function, const char *message,
                       void *userdata);

  private:
    LogSink *sink;
    CallbackFailure &failure;
};

}  // namespace divebridge
