// SPDX-License-Identifier: MIT
#include "bridge/libdivecomputer_log_host.h"

#include "bridge/java_scoped.h"
#include "bridge/java_throw.h"
#include "bridge/java_values.h"

namespace divebridge {

// libdivecomputer logs on the thread that called it, which for this bridge is the export's: a
// line from any other thread has no JNIEnv here and is not passed on. Nor is one logged while a
// Java exception is pending (a failed report, say): JNI allows no call then.
void JavaLog::log(int level, const std::string &line) {
    if (std::this_thread::get_id() != exportThread || env->ExceptionCheck()) {
        return;
    }
    const char *const failed = "Could not report the libdivecomputer log.";
    const ScopedLocalFrame frame(env, 1);
    checkStep(env, java.nativeException(), failed);
    jstring message = newJavaString(env, line);
    checkStep(env, java.nativeException(), failed);
    env->CallStaticVoidMethod(java[HostClass::DeviceConnector],
                              java[HostMethod::LibdivecomputerLog], static_cast<jint>(level),
                              message);
    checkStep(env, java.nativeException(), failed);
}

}  // namespace divebridge
