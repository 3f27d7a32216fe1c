// SPDX-License-Identifier: MIT
// The cost of one progress report: the bridge's reporter against the bare JNI call of the same
// Java method, each timed over many calls on the calling thread.
#include "bridge/host_contract.h"
#include "bridge/java_application.h"

#include <jni.h>

#include <chrono>
#include <cstdint>

using namespace divebridge;

namespace {

std::int64_t nanosSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() -
                                                                start)
        .count();
}

// NativeException and DeviceConnector.downloadProgress, from the bridge's own table; false when
// the host has no downloadProgress.
bool lookUpProgress(JNIEnv *env, HostJava &java) {
    const HostClass classes[] = {HostClass::NativeException};
    const HostMethod methods[] = {HostMethod::NativeExceptionInit};
    if (!lookUpHost(env, classes, methods, java)) {
        return false;
    }
    lookUpOptionalMethod(env, HostMethod::DownloadProgress, java);
    return java[HostMethod::DownloadProgress] != nullptr;
}

}  // namespace

// Nanoseconds for `calls` reports through the bridge's JavaApplication; -1 when the host has no
// downloadProgress.
extern "C" JNIEXPORT jlong JNICALL Java_coralnote_bench_StopBench_timeReports(JNIEnv *env, jclass,
                                                                              jint calls) {
    HostJava java;
    if (!lookUpProgress(env, java)) {
        return -1;
    }
    JavaApplication reporter(env, java, nullptr, nullptr);
    const auto start = std::chrono::steady_clock::now();
    try {
        for (jint call = 0; call < calls; ++call) {
            reporter.progress(static_cast<unsigned int>(call), static_cast<unsigned int>(calls));
        }
    } catch (const PendingJavaException &) {
        return -1;
    }
    return nanosSince(start);
}

// Nanoseconds for `calls` bare CallStaticVoidMethod calls of the same method: the JNI floor.
extern "C" JNIEXPORT jlong JNICALL Java_coralnote_bench_StopBench_timeFloorCalls(JNIEnv *env,
                                                                                 jclass,
                                                                                 jint calls) {
    HostJava java;
    if (!lookUpProgress(env, java)) {
        return -1;
    }
    const jclass connector = java[HostClass::DeviceConnector];
    const jmethodID method = java[HostMethod::DownloadProgress];
    const auto start = std::chrono::steady_clock::now();
    for (jint call = 0; call < calls; ++call) {
        env->CallStaticVoidMethod(connector, method, static_cast<jlong>(call),
                                  static_cast<jlong>(calls));
    }
    return nanosSince(start);
}
