// A context's log, as libdivecomputer keeps one: a level and a function, standard error by default.
#ifndef DCSIM_CONTEXT_LOG_H
#define DCSIM_CONTEXT_LOG_H

#include <libdivecomputer/context.h>

#include <string>

namespace dcsim {

struct ContextLog {
    dc_loglevel_t level = DC_LOGLEVEL_WARNING;
    dc_logfunc_t function;
    void *userdata = nullptr;

    ContextLog();
};

// Logs `message` on the context when its level lets it; `where` names the simulator's function.
void logLine(dc_context_t *context, const ContextLog &log, dc_loglevel_t level, const char *file,
             unsigned int line, const char *where, const std::string &message) noexcept;

}  // namespace dcsim

#define DCSIM_ERROR(context, log, message) \
    ::dcsim::logLine((context), (log), DC_LOGLEVEL_ERROR, __FILE__, __LINE__, __func__, (message))
#define DCSIM_INFO(context, log, message) \
    ::dcsim::logLine((context), (log), DC_LOGLEVEL_INFO, __FILE__, __LINE__, __func__, (message))

#endif
