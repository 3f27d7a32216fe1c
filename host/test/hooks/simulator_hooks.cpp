// SPDX-License-Identifier: MIT
// Test-only JNI entry into the simulated libdivecomputer, so that JVM tests can count the handles
// left alive. Built only with the simulator, as a library of its own: never part of the bridge.
#include <dcsim/dcsim.h>
#include <jni.h>

extern "C" JNIEXPORT jint JNICALL Java_coralnote_bridgetest_SimulatorHooks_liveHandles(JNIEnv *,
                                                                                       jclass) {
    return static_cast<jint>(dcsim_live_handles());
}
