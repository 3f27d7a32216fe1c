// SPDX-License-Identifier: MIT
#include "bridge/java_application.h"

#include "bridge/host_call.h"

namespace divebridge {

void JavaApplication::progress(unsigned int current, unsigned int maximum) {
    callHostMethod<void>(env, java, HostMethod::DownloadProgress, current, maximum);
}

// libdivecomputer logs on the thread that called it, which for this bridge is the export's: a
// line from any other thread has no JNIEnv here and is not passed on.
void JavaApplication::log(int level, const std::string &line) {
    if (std::this_thread::get_id() == exportThread) {
        callHostMethod<void>(env, java, HostMethod::LibdivecomputerLog, level, line);
    }
}

// Gas mixes and tanks are read for every dive: the host's Dive gets its gas and cylinder of them.
DetailKinds JavaApplication::diveDetailsWanted() const {
    DetailKinds kinds;
    kinds.tankPressures = declares(HostMethod::SetTankPressures);
    kinds.sampleColumns = declares(HostMethod::SetSampleColumns);
    kinds.events = declares(HostMethod::SetEvents);
    kinds.fields = declares(HostMethod::SetDiveFields);
    return kinds;
}

Bytes JavaApplication::fingerprintFor(const char *serialText) {
    return callHostMethod<Bytes>(env, java, HostMethod::DiveFingerprint, vendor, model, serialText);
}

void JavaApplication::saveFingerprint(const char *serialText, const Bytes &fingerprint) {
    callHostMethod<void>(env, java, HostMethod::SaveDiveFingerprint, vendor, model, serialText,
                         fingerprint);
}

std::optional<std::string> JavaApplication::chooseBluetoothDevice(
    const std::vector<std::string> &names, const std::vector<std::string> &addresses) {
    return callHostMethod<std::optional<std::string>>(env, java, HostMethod::ChooseBluetoothDevice,
                                                      names, addresses);
}

std::optional<std::string> JavaApplication::pinCode(const std::string &name,
                                                    const std::string &address) {
    return callHostMethod<std::optional<std::string>>(env, java, HostMethod::BluetoothPinCode, name,
                                                      address);
}

Bytes JavaApplication::accessCode(const std::string &name, const std::string &address) {
    return callHostMethod<Bytes>(env, java, HostMethod::BluetoothAccessCode, name, address);
}

void JavaApplication::saveAccessCode(const std::string &name, const std::string &address,
                                     const Bytes &code) {
    callHostMethod<void>(env, java, HostMethod::SaveBluetoothAccessCode, name, address, code);
}

}  // namespace divebridge
