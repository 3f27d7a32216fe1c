// SPDX-License-Identifier: MIT
// libdivecomputer's log for the host, when its DeviceConnector declares
// static void libdivecomputerLog(int level, String message): every line of the download's
// context, on the thread that logged it.
#pragma once

#include "bridge/host_contract.h"
#include "device/libdivecomputer_log.h"

#include <jni.h>

#include <thread>

namespace divebridge {

class JavaLog final : public LogSink {
  public:
    // `java` holds the download export's lookups; the export's thread is the one whose JNIEnv
    // this is.
    JavaLog(JNIEnv *env, const HostJava &java)
        : env(env), java(java), exportThread(std::this_thread::get_id()) {}

    bool wanted() const { return java[HostMethod::LibdivecomputerLog] != nullptr; }

    // Raises NativeException "Could not report the libdivecomputer log." chained to what the host
    // threw, and PendingJavaException.
    void log(int level, const std::string &line) override;

  private:
    JNIEnv *env;
    const HostJava &java;
    std::thread::id exportThread;
};

}  // namespace divebridge
