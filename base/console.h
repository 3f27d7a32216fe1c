// SPDX-License-Identifier: MIT
// The one way the bridge writes to standard output: the event lines of a download and the lines
// that report a failure nothing else can report. Each line is flushed at once: a download takes
// minutes and the user watches its lines, and a host may capture them from another thread.
#pragma once

namespace divebridge {

// Writes `text` and an end of line.
void writeConsoleLine(const char *text);

// Writes the printf-style `format`, which ends in its own "\n".
void printConsoleLine(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace divebridge
