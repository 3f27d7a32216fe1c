// SPDX-License-Identifier: MIT
#include "handles.h"

#include <mutex>
#include <unordered_map>

namespace dcsim {
namespace {

struct HandleRegister {
    std::mutex mutex;
    std::unordered_map<const void *, const std::type_info *> live;
};

HandleRegister &handleRegister() {
    static HandleRegister instance;
    return instance;
}

}  // namespace

void registerHandle(const void *handle, const std::type_info &type) {
    auto &reg = handleRegister();
    std::lock_guard<std::mutex> lock(reg.mutex);
    reg.live[handle] = &type;
}

bool unregisterHandle(const void *handle, const std::type_info &type) {
    auto &reg = handleRegister();
    std::lock_guard<std::mutex> lock(reg.mutex);
    const auto found = reg.live.find(handle);
    if (found == reg.live.end() || *found->second != type) {
        return false;
    }
    reg.live.erase(found);
    return true;
}

bool isRegistered(const void *handle, const std::type_info &type) noexcept {
    auto &reg = handleRegister();
    std::lock_guard<std::mutex> lock(reg.mutex);
    const auto found = reg.live.find(handle);
    return found != reg.live.end() && *found->second == type;
}

unsigned int liveHandleCount() noexcept {
    auto &reg = handleRegister();
    std::lock_guard<std::mutex> lock(reg.mutex);
    return static_cast<unsigned int>(reg.live.size());
}

}  // namespace dcsim
