// SPDX-License-Identifier: MIT
// libdivecomputer's log, for an application that wants it: every line of a context goes to a sink
// instead of libdivecomputer's default (standard error, warnings and errors only).
#pragma once

#include <libdivecomputer/context.h>

#include <exception>
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

// A context's log: the sink, and what it raised, kept until the caller can raise it.
class ContextLog {
  public:
    explicit ContextLog(LogSink *sink) : sink(sink) {}

    ContextLog(const ContextLog &) = delete;
    ContextLog &operator=(const ContextLog &) = delete;

    // Sends every line of `context` to the sink, when there is one. Answers libdivecomputer's
    // status.
    dc_status_t attachTo(dc_context_t *context);

    bool failed() const { return static_cast<bool>(failure); }
    // Raises what the sink raised, once.
    void rethrowFailure();

    // libdivecomputer's log function; `userdata` is the ContextLog.
    static void onLine(dc_context_t *context, dc_loglevel_t level, const char *file,
                       unsigned int line, const char *function, const char *message,
                       void *userdata);

  private:
    LogSink *sink;
    std::exception_ptr failure;
};

}  // namespace divebridge
