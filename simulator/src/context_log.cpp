// SPDX-License-Identifier: MIT
#include "context_log.h"

#include <cstdio>
#include <cstring>

namespace dcsim {
namespace {

const char *const levelNames[] = {"NONE", "ERROR", "WARNING", "INFO", "DEBUG", "ALL"};

void logToStandardError(dc_context_t *, dc_loglevel_t level, const char *file, unsigned int line,
                        const char *function, const char *message, void *) {
    std::fprintf(stderr, "%s: %s [in %s:%u (%s)]\n", levelNames[level], message, file, line,
                 function);
}

}  // namespace

ContextLog::ContextLog() : function(logToStandardError) {}

void logLine(dc_context_t *context, const ContextLog &log, dc_loglevel_t level, const char *file,
             unsigned int line, const char *where, const std::string &message) noexcept {
    if (log.function == nullptr || level > log.level) {
        return;
    }
    const char *name = std::strrchr(file, '/');
    log.function(context, level, name != nullptr ? name + 1 : file, line, where, message.c_str(),
                 log.userdata);
}

}  // namespace dcsim
