// SPDX-License-Identifier: MIT
// Reporting a download's progress to the host, when its DeviceConnector declares
// static void downloadProgress(long current, long maximum).
#pragma once

#include "bridge/host_contract.h"
#include "device/device_connection.h"

#include <jni.h>

namespace divebridge {

class JavaProgressReporter final : public ProgressListener {
  public:
    // `java` holds DeviceConnector.downloadProgress and NativeException.
    JavaProgressReporter(JNIEnv *env, const HostJava &java) : env(env), java(java) {}

    // Whether the host asks to hear of the progress at all.
    bool wanted() const { return java[HostMethod::DownloadProgress] != nullptr; }

    // Calls the host's method; when it throws, raises NativeException "Could not report download
    // progress." with that exception as its cause, and PendingJavaException.
    void progress(unsigned int current, unsigned int maximum) override;

  private:
    JNIEnv *env;
    const HostJava &java;
};

}  // namespace divebridge
