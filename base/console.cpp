// SPDX-License-Identifier: MIT
#include "base/console.h"

#include <cstdarg>
#include <cstdio>

namespace divebridge {

void writeConsoleLine(const char *text) {
    std::fputs(text, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void printConsoleLine(const char *format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::fflush(stdout);
}

}  // namespace divebridge
