// SPDX-License-Identifier: MIT
// Downloading only the new dives, when the host's DeviceConnector declares
// static byte[] diveFingerprint(String vendor, String model, String serial) and
// static void saveDiveFingerprint(String vendor, String model, String serial, byte[] fingerprint):
// the first tells the fingerprint of the newest dive the host has from that dive computer, the
// second is told the newest of a download that brought every new dive. Either may be missing.
#pragma once

#include "bridge/host_contract.h"
#include "device/device_connection.h"

#include <jni.h>

namespace divebridge {

class JavaFingerprints final : public FingerprintSource {
  public:
    // `java` holds the download export's lookups; vendor and model are the caller's strings.
    JavaFingerprints(JNIEnv *env, const HostJava &java, jstring vendor, jstring model)
        : env(env), java(java), vendor(vendor), model(model) {}

    // Whether the host asks for fingerprints at all.
    bool wanted() const { return java[HostMethod::DiveFingerprint] != nullptr; }

    // Each raises NativeException chained to what the host threw, and PendingJavaException.
    Bytes fingerprintFor(const char *serialText) override;
    void save(const char *serialText, const Bytes &fingerprint);

  private:
    JNIEnv *env;
    const HostJava &java;
    jstring vendor;
    jstring model;
};

}  // namespace divebridge
