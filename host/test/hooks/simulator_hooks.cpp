// SPDX-License-Identifier: MIT
// Test-only JNI entry into the simulated libdivecomputer: the handles left alive, and a stop at the
// N-th call a BLE stream makes to the bridge. Built only with the simulator, as a library of its
// own: never part of the bridge.
#include <dcsim/dcsim.h>
#include <jni.h>

#include <atomic>

namespace {

JavaVM *javaVm = nullptr;
jclass connectorClass = nullptr;  // a global reference, kept for the process
jmethodID interruptMethod = nullptr;
std::atomic<long> operations{0};
std::atomic<long> stopAt{0};

// Runs on the downloading thread, inside the bridge's JNI call: it asks the download to stop as
// the application would, through DeviceConnector.interruptDeviceDownload().
void countOperation(void *) {
    if (++operations != stopAt.load()) {
        return;
    }
    JNIEnv *env = nullptr;
    if (javaVm->GetEnv(reinterpret_cast<void **>(&env), JNI_VERSION_1_8) == JNI_OK) {
        env->CallStaticVoidMethod(connectorClass, interruptMethod);
        // It throws nothing; checking is what JNI asks before the bridge's next call.
        env->ExceptionCheck();
    }
}

}  // namespace

extern "C" JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM *vm, void *) {
    javaVm = vm;
    return JNI_VERSION_1_8;
}

extern "C" JNIEXPORT jint JNICALL Java_coralnote_bridgetest_SimulatorHooks_liveHandles(JNIEnv *,
                                                                                       jclass) {
    return static_cast<jint>(dcsim_live_handles());
}

extern "C" JNIEXPORT void JNICALL Java_coralnote_bridgetest_SimulatorHooks_countStreamOperations(
    JNIEnv *env, jclass, jclass connector, jlong stopAtOperation) {
    if (connectorClass == nullptr) {
        connectorClass = static_cast<jclass>(env->NewGlobalRef(connector));
        interruptMethod = env->GetStaticMethodID(connectorClass, "interruptDeviceDownload", "()V");
    }
    operations = 0;
    stopAt = static_cast<long>(stopAtOperation);
    dcsim_set_stream_hook(interruptMethod != nullptr ? countOperation : nullptr, nullptr);
}

extern "C" JNIEXPORT jlong JNICALL
Java_coralnote_bridgetest_SimulatorHooks_streamOperations(JNIEnv *, jclass) {
    return operations.load();
}
