// SPDX-License-Identifier: MIT
// A BLE dive computer's PIN and access code, asked of the host when its DeviceConnector declares
// static String bluetoothPinCode(String name, String address),
// static byte[] bluetoothAccessCode(String name, String address) and
// static void saveBluetoothAccessCode(String name, String address, byte[] code); each may be
// missing, which is as if the host had nothing to say.
#pragma once

#include "bridge/host_contract.h"
#include "device/ble/ble_pairing.h"

#include <jni.h>

namespace divebridge {

class JavaBlePairing final : public BlePairing {
  public:
    // `java` holds the download export's lookups, the optional ones included.
    JavaBlePairing(JNIEnv *env, const HostJava &java) : env(env), java(java) {}

    // Each raises NativeException chained to what the host threw, and PendingJavaException.
    std::optional<std::string> pinCode(const std::string &name,
                                       const std::string &address) override;
    Bytes accessCode(const std::string &name, const std::string &address) override;
    void saveAccessCode(const std::string &name, const std::string &address,
                        const Bytes &code) override;

  private:
    JNIEnv *env;
    const HostJava &java;
};

}  // namespace divebridge
