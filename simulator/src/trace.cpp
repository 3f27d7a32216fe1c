// SPDX-License-Identifier: MIT
#include "trace.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

namespace dcsim {
namespace {

struct Trace {
    std::atomic<bool> enabled{false};
    std::mutex mutex;
    std::string text;
};

Trace &trace() {
    static Trace instance;
    return instance;
}

void appendLine(const std::string &line) noexcept {
    auto &t = trace();
    std::lock_guard<std::mutex> lock(t.mutex);
    try {
        t.text += line;
        t.text += '\n';
    } catch (...) {
        // Losing a trace line must not change the answer of the traced call.
    }
}

// "<function>[ <args>]"
std::string callLine(const char *function, const char *args) {
    std::string line = function;
    if (args != nullptr && *args != '\0') {
        line += ' ';
        line += args;
    }
    return line;
}

}  // namespace

void startTrace() {
    auto &t = trace();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.text.clear();
    t.enabled = true;
}

void stopTrace() {
    trace().enabled = false;
}

std::size_t copyTrace(char *buffer, std::size_t size) {
    auto &t = trace();
    std::lock_guard<std::mutex> lock(t.mutex);
    if (buffer != nullptr && t.text.size() < size) {
        std::memcpy(buffer, t.text.c_str(), t.text.size() + 1);
    }
    return t.text.size();
}

bool traceEnabled() noexcept {
    return trace().enabled;
}

dc_status_t traceStatus(const char *function, dc_status_t status) noexcept {
    return traceStatus(function, nullptr, status);
}

dc_status_t traceStatus(const char *function, const char *args, dc_status_t status) noexcept {
    if (!traceEnabled()) {
        return status;
    }
    try {
        std::string line = callLine(function, args);
        line += " -> ";
        line += std::to_string(static_cast<int>(status));
        appendLine(line);
    } catch (...) {
        // See appendLine.
    }
    return status;
}

void traceCall(const char *function, const char *args) noexcept {
    if (!traceEnabled()) {
        return;
    }
    try {
        appendLine(callLine(function, args));
    } catch (...) {
        // See appendLine.
    }
}

}  // namespace dcsim
