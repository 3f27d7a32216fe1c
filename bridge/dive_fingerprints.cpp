// SPDX-License-Identifier: MIT
#include "bridge/dive_fingerprints.h"

#include "bridge/java_scoped.h"
#include "bridge/java_throw.h"
#include "bridge/java_values.h"

namespace divebridge {
namespace {

// A call's own references: the serial text, the fingerprint and the answer.
constexpr jint referencesPerCall = 3;

}  // namespace

Bytes JavaFingerprints::fingerprintFor(const char *serialText) {
    if (!wanted()) {
        return {};
    }
    const char *const failed = "Could not ask the application for the dive fingerprint.";
    const ScopedLocalFrame frame(env, referencesPerCall);
    checkStep(env, java.nativeException(), failed);
    jstring serial = newJavaString(env, serialText);
    checkStep(env, java.nativeException(), failed);
    auto fingerprint = static_cast<jbyteArray>(
        env->CallStaticObjectMethod(java[HostClass::DeviceConnector],
                                    java[HostMethod::DiveFingerprint], vendor, model, serial));
    checkStep(env, java.nativeException(), failed);
    return bytesOf(env, fingerprint);
}

void JavaFingerprints::save(const char *serialText, const Bytes &fingerprint) {
    if (java[HostMethod::SaveDiveFingerprint] == nullptr) {
        return;
    }
    const char *const failed = "Could not save the dive fingerprint.";
    const ScopedLocalFrame frame(env, referencesPerCall);
    checkStep(env, java.nativeException(), failed);
    jstring serial = newJavaString(env, serialText);
    checkStep(env, java.nativeException(), failed);
    jbyteArray bytes = newJavaBytes(env, fingerprint);
    checkStep(env, java.nativeException(), failed);
    env->CallStaticVoidMethod(java[HostClass::DeviceConnector],
                              java[HostMethod::SaveDiveFingerprint], vendor, model, serial, bytes);
    checkStep(env, java.nativeException(), failed);
}

}  // namespace divebridge
