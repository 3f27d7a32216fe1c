// SPDX-License-Identifier: MIT
// The process-wide call trace: one line per libdivecomputer call while it is on.
#ifndef DCSIM_TRACE_H
#define DCSIM_TRACE_H

#include <libdivecomputer/common.h>

#include <cstddef>

namespace dcsim {

void startTrace();
void stopTrace();
std::size_t copyTrace(char *buffer, std::size_t size);
bool traceEnabled() noexcept;

// Appends "<function>[ <args>] -> <status>" and answers the status unchanged.
dc_status_t traceStatus(const char *function, dc_status_t status) noexcept;
// args may be null; callers format numbers on the stack so that tracing never throws.
dc_status_t traceStatus(const char *function, const char *args, dc_status_t status) noexcept;
// Appends "<function>[ <args>]" for the calls that answer no status; args may be null.
void traceCall(const char *function, const char *args = nullptr) noexcept;

}  // namespace dcsim

#endif
