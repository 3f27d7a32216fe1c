// SPDX-License-Identifier: MIT
// The entry the bridge finds in the BlueZ plug-in. Only plain values cross it: a failure comes back
// as its status and text, never as an exception.
#include "device/ble/bluez/bluez_link.h"

#include <new>

extern "C" __attribute__((visibility("default"))) divebridge::BleLink *divebridge_bluez_open_link(
    const divebridge::BleTarget &target, const divebridge::StopRequest &stop,
    divebridge::BleOpeningFailure &failure) {
    try {
        return divebridge::openBlueZLink(target, stop).release();
    } catch (const divebridge::BleOpeningFailure &opening) {
        failure = opening;
    } catch (const std::bad_alloc &) {
        failure = {DC_STATUS_NOMEMORY, "Error opening device: out of memory."};
    } catch (const std::exception &error) {
        failure = {DC_STATUS_IO, std::string("Error opening device: ") + error.what() + "."};
    } catch (...) {
        failure = {DC_STATUS_IO, "Error opening device: the Bluetooth LE link failed."};
    }
    return nullptr;
}
