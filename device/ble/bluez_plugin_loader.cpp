// SPDX-License-Identifier: MIT
// openBleLink on Linux: through the BlueZ plug-in (libdivebridge_bluez.so), loaded from the
// bridge's own folder at the first BLE download. The plug-in carries everything that speaks D-Bus,
// so a machine without it, or without what it needs, loses BLE alone, with this message.
#include "base/native_exception.h"
#include "device/ble/bluez/bluez_link.h"

#include <dlfcn.h>

#include <mutex>
#include <string>

namespace divebridge {
namespace {

constexpr char pluginName[] = "libdivebridge_bluez.so";

using OpenLink = decltype(&divebridge_bluez_open_link);

// The folder of the library this code was linked into, where the plug-in ships beside it; empty
// when it cannot be told.
std::string ownFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void *>(&ownFolder), &info) == 0 ||
        info.dli_fname == nullptr) {
        return {};
    }
    const std::string path(info.dli_fname);
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The plug-in's entry, loaded once and kept for the process; a failure to load is tried again at
// the next download, since the user may install what was missing meanwhile.
OpenLink loadPlugin() {
    static std::mutex mutex;
    static OpenLink open = nullptr;
    const std::lock_guard<std::mutex> lock(mutex);
    if (open != nullptr) {
        return open;
    }
    // Beside the bridge first; then where the dynamic linker looks (a build's run path).
    void *plugin = dlopen((ownFolder() + pluginName).c_str(), RTLD_NOW | RTLD_LOCAL);
    std::string besideError = plugin == nullptr ? dlerror() : "";
    if (plugin == nullptr) {
        plugin = dlopen(pluginName, RTLD_NOW | RTLD_LOCAL);
    }
    if (plugin == nullptr) {
        throw CommunicationException(
            DC_STATUS_UNSUPPORTED,
            "Error opening device: Bluetooth LE needs the bridge's BlueZ plug-in (" +
                std::string(pluginName) +
                " beside the bridge) and what it loads: sdbus-c++ (libsdbus-c++.so.1, shipped "
                "beside it or installed) and systemd's libsystemd.so.0 (" +
                besideError + ").");
    }
    open = reinterpret_cast<OpenLink>(dlsym(plugin, "divebridge_bluez_open_link"));
    if (open == nullptr) {
        throw CommunicationException(DC_STATUS_UNSUPPORTED,
                                     "Error opening device: " + std::string(pluginName) +
                                         " is not this bridge's BlueZ plug-in.");
    }
    return open;
}

}  // namespace

std::unique_ptr<BleLink> openBleLink(const BleTarget &target, const StopRequest &stop) {
    BleOpeningFailure failure;
    std::unique_ptr<BleLink> link(loadPlugin()(target, stop, failure));
    if (!link) {
        throw CommunicationException(failure.status, failure.text);
    }
    return link;
}

}  // namespace divebridge
