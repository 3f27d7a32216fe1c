// SPDX-License-Identifier: MIT
#include "device/libdivecomputer_log.h"

#include <string>

namespace divebridge {
namespace {

// Errors and warnings carry where libdivecomputer raised them, as its own log prints them.
std::string lineOf(dc_loglevel_t level, const char *file, unsigned int line, const char *function,
                   const char *message) {
    std::string text = message != nullptr ? message : "";
    if ((level == DC_LOGLEVEL_ERROR || level == DC_LOGLEVEL_WARNING) && file != nullptr) {
        text.append(" [in ").append(file).append(":").append(std::to_string(line));
        text.append(" (").append(function != nullptr ? function : "").append(")]");
    }
    return text;
}

}  // namespace

dc_status_t ContextLog::attachTo(dc_context_t *context) {
    if (!application.wantsLog()) {
        return DC_STATUS_SUCCESS;
    }
    const dc_status_t level = dc_context_set_loglevel(context, DC_LOGLEVEL_ALL);
    if (level != DC_STATUS_SUCCESS) {
        return level;
    }
    return dc_context_set_logfunc(context, onLine, this);
}

// Runs inside libdivecomputer: nothing may leave it.
void ContextLog::onLine(dc_context_t *, dc_loglevel_t level, const char *file, unsigned int line,
                        const char *function, const char *message, void *userdata) {
    auto &log = *static_cast<ContextLog *>(userdata);
    log.failure.capture([&] {
        log.application.log(static_cast<int>(level), lineOf(level, file, line, function, message));
    });
}

}  // namespace divebridge
