// SPDX-License-Identifier: MIT
// The one place where native failures become Java exceptions: every export runs its native work
// through translateNativeFailures.
#pragma once

#include "base/native_exception.h"
#include "bridge/host_contract.h"
#include "bridge/java_throw.h"

#include <jni.h>

#include <exception>

namespace divebridge {

// Runs `work` and returns its result. Anything it raises ends here, after unwinding has released
// the native objects it made, as exactly one pending Java exception and a null result: a failed
// JNI step has raised its own already; UnknownDeviceException and CommunicationException become
// the host's exceptions of those names where the export looked them up, and every other failure a
// NativeException with the native message (or "Unexpected native exception.").
template <typename Work>
jobject translateNativeFailures(JNIEnv *env, const HostJava &java, Work &&work) {
    const jclass nativeException = java[HostClass::NativeException];
    const auto classOr = [&](HostClass javaClass) {
        return java[javaClass] != nullptr ? java[javaClass] : nativeException;
    };
    try {
        return work();
    } catch (const PendingJavaException &) {
        return nullptr;
    } catch (const UnknownDeviceException &failure) {
        return throwJavaException(env, classOr(HostClass::UnknownDeviceException), failure.what());
    } catch (const CommunicationException &failure) {
        return throwJavaException(env, classOr(HostClass::CommunicationException), failure.what());
    } catch (const std::exception &failure) {
        return throwJavaException(env, nativeException, failure.what());
    } catch (...) {
        return throwJavaException(env, nativeException, "Unexpected native exception.");
    }
}

}  // namespace divebridge
