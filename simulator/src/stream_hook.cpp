// SPDX-License-Identifier: MIT
#include "stream_hook.h"

#include <mutex>

namespace dcsim {
namespace {

std::mutex hookMutex;
StreamHook currentHook = nullptr;
void *currentUserdata = nullptr;

}  // namespace

void setStreamHook(StreamHook hook, void *userdata) noexcept {
    const std::lock_guard<std::mutex> lock(hookMutex);
    currentHook = hook;
    currentUserdata = userdata;
}

void runStreamHook() noexcept {
    StreamHook hook = nullptr;
    void *userdata = nullptr;
    {
        const std::lock_guard<std::mutex> lock(hookMutex);
        hook = currentHook;
        userdata = currentUserdata;
    }
    if (hook != nullptr) {
        hook(userdata);
    }
}

}  // namespace dcsim
