// SPDX-License-Identifier: MIT
#include "bridge/ble_pairing_host.h"

#include "bridge/java_scoped.h"
#include "bridge/java_throw.h"
#include "bridge/java_values.h"

namespace divebridge {
namespace {

// A call's own references: the name, the address, the code and the answer.
constexpr jint referencesPerCall = 4;

// The dive computer's name and address as the host is given them, in a frame of the caller's.
struct JavaDeviceTexts {
    jstring name;
    jstring address;
};

// A failure raised before (a log line the host refused, say) is still pending: JNI allows no call
// until the export has returned.
void requireNothingPending(JNIEnv *env) {
    if (env->ExceptionCheck()) {
        throw PendingJavaException{};
    }
}

JavaDeviceTexts javaTextsOf(JNIEnv *env, const HostJava &java, const std::string &name,
                            const std::string &address, const char *failed) {
    checkStep(env, java.nativeException(), failed);  // the frame
    jstring javaName = newJavaString(env, name);
    checkStep(env, java.nativeException(), failed);
    jstring javaAddress = newJavaString(env, address);
    checkStep(env, java.nativeException(), failed);
    return {javaName, javaAddress};
}

}  // namespace

std::optional<std::string> JavaBlePairing::pinCode(const std::string &name,
                                                   const std::string &address) {
    if (java[HostMethod::BluetoothPinCode] == nullptr) {
        return std::nullopt;
    }
    const char *const failed = "Could not ask the application for the Bluetooth PIN code.";
    requireNothingPending(env);
    const ScopedLocalFrame frame(env, referencesPerCall);
    const JavaDeviceTexts texts = javaTextsOf(env, java, name, address, failed);
    auto pin = static_cast<jstring>(env->CallStaticObjectMethod(java[HostClass::DeviceConnector],
                                                                java[HostMethod::BluetoothPinCode],
                                                                texts.name, texts.address));
    checkStep(env, java.nativeException(), failed);
    if (pin == nullptr) {
        return std::nullopt;
    }
    const ScopedUtfChars digits(env, pin);
    checkStep(env, java.nativeException(), failed);
    return std::string(digits.c_str());
}

Bytes JavaBlePairing::accessCode(const std::string &name, const std::string &address) {
    if (java[HostMethod::BluetoothAccessCode] == nullptr) {
        return {};
    }
    const char *const failed = "Could not ask the application for the Bluetooth access code.";
    requireNothingPending(env);
    const ScopedLocalFrame frame(env, referencesPerCall);
    const JavaDeviceTexts texts = javaTextsOf(env, java, name, address, failed);
    auto code = static_cast<jbyteArray>(env->CallStaticObjectMethod(
        java[HostClass::DeviceConnector], java[HostMethod::BluetoothAccessCode], texts.name,
        texts.address));
    checkStep(env, java.nativeException(), failed);
    return bytesOf(env, code);
}

void JavaBlePairing::saveAccessCode(const std::string &name, const std::string &address,
                                    const Bytes &code) {
    if (java[HostMethod::SaveBluetoothAccessCode] == nullptr) {
        return;
    }
    const char *const failed = "Could not save the Bluetooth access code.";
    requireNothingPending(env);
    const ScopedLocalFrame frame(env, referencesPerCall);
    const JavaDeviceTexts texts = javaTextsOf(env, java, name, address, failed);
    jbyteArray javaCode = newJavaBytes(env, code);
    checkStep(env, java.nativeException(), failed);
    env->CallStaticVoidMethod(java[HostClass::DeviceConnector],
                              java[HostMethod::SaveBluetoothAccessCode], texts.name, texts.address,
                              javaCode);
    checkStep(env, java.nativeException(), failed);
}

}  // namespace divebridge
