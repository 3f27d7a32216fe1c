// SPDX-License-Identifier: MIT
// What a download asks of the application, asked of the Java host: each question one call of the
// host's optional method (host_call.h), which answers neutrally where the host's DeviceConnector
// does not declare it.
#pragma once

#include "bridge/host_contract.h"
#include "device/application.h"

#include <jni.h>

#include <thread>

namespace divebridge {

class JavaApplication final : public Application {
  public:
    // `java` holds the download export's lookups, the optional ones included; vendor and model are
    // the caller's strings, handed back to the host as they are. The export's thread is the one
    // whose JNIEnv this is.
    JavaApplication(JNIEnv *env, const HostJava &java, jstring vendor, jstring model)
        : env(env),
          java(java),
          vendor(vendor),
          model(model),
          exportThread(std::this_thread::get_id()) {}

    bool wantsProgress() const override { return declares(HostMethod::DownloadProgress); }
    void progress(unsigned int current, unsigned int maximum) override;
    bool wantsLog() const override { return declares(HostMethod::LibdivecomputerLog); }
    void log(int level, const std::string &line) override;
    DetailKinds diveDetailsWanted() const override;
    Bytes fingerprintFor(const char *serialText) override;
    bool choosesBluetoothDevice() const override {
        return declares(HostMethod::ChooseBluetoothDevice);
    }
    std::optional<std::string> chooseBluetoothDevice(
        const std::vector<std::string> &names, const std::vector<std::string> &addresses) override;
    std::optional<std::string> pinCode(const std::string &name,
                                       const std::string &address) override;
    Bytes accessCode(const std::string &name, const std::string &address) override;
    void saveAccessCode(const std::string &name, const std::string &address,
                        const Bytes &code) override;

    // Tells the host the fingerprint of the newest dive a download brought.
    void saveFingerprint(const char *serialText, const Bytes &fingerprint);

  private:
    bool declares(HostMethod method) const { return java[method] != nullptr; }

    JNIEnv *env;
    const HostJava &java;
    jstring vendor;
    jstring model;
    std::thread::id exportThread;
};

}  // namespace divebridge
