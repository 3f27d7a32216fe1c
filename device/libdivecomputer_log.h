// SPDX-License-Identifier: MIT
// libdivecomputer's log, for an application that wants it: every line of a context goes to a sink
// instead of libdivecomputer's default (standard error, warnings and errors only).
#pragma once

#include "device/application.h"
#include "device/callback_failure.h"

#include <libdivecomputer/context.h>

#include <string>

namespace divebridge {

// A context's log: the application's, which hears nothing more once a callback of the context
// failed.
class ContextLog {
  public:
    // What the application raises goes to `failure`.
    ContextLog(Application &application, CallbackFailure &failure)
        : application(application), failure(failure) {}

    ContextLog(const ContextLog &) = delete;
    ContextLog &operator=(const ContextLog &) = delete;

    // Sends every line of `context` to the application, when it wants them. Answers
    // libdivecomputer's status.
    dc_status_t attachTo(dc_context_t *context);

    // libdivecomputer's log function; `userdata` is the ContextLog.
    static void onLine(dc_context_t *context, dc_loglevel_t level, const char *file,
                       unsigned int line, const char *function, const char *message,
                       void *userdata);

  private:
    Application &application;
    CallbackFailure &failure;
};

}  // namespace divebridge
