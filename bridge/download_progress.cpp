// SPDX-License-Identifier: MIT
#include "bridge/download_progress.h"

#include "bridge/java_throw.h"

namespace divebridge {

void JavaProgressReporter::progress(unsigned int current, unsigned int maximum) {
    env->CallStaticVoidMethod(java[HostClass::DeviceConnector], java[HostMethod::DownloadProgress],
                              static_cast<jlong>(current), static_cast<jlong>(maximum));
    checkStep(env, java.nativeException(), "Could not report download progress.");
}

}  // namespace divebridge
