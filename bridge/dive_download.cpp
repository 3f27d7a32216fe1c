// SPDX-License-Identifier: MIT
// The download export: opens the dive computer the caller picked, downloads every dive on it and
// hands each to the caller's set as a Java Dive.
#include "bridge/exception_boundary.h"
#include "bridge/host_contract.h"
#include "bridge/java_application.h"
#include "bridge/java_dive.h"
#include "bridge/java_scoped.h"
#include "bridge/java_throw.h"
#include "device/device_connection.h"
#include "device/dive_computer.h"
#include "device/interruption.h"

#include <coralnote_main_java_core_DeviceConnector.h>

#include <memory>
#include <optional>

namespace divebridge {
namespace {

constexpr HostClass downloadClasses[] = {
    HostClass::Set,
    HostClass::NativeException,
    HostClass::CommunicationException,
    HostClass::UnknownDeviceException,
    HostClass::Device,
    HostClass::Gas,
    HostClass::Dive,
    HostClass::Cylinder,
    HostClass::Integer,
    HostClass::Float,
};
constexpr HostMethod downloadMethods[] = {
    HostMethod::SetAdd,           HostMethod::NativeExceptionInit,
    HostMethod::ParentDeviceInit, HostMethod::BlendGas,
    HostMethod::DiveInit,         HostMethod::SetDiveProfileAndUpdate,
    HostMethod::CylinderInit,     HostMethod::IntegerValueOf,
    HostMethod::FloatValueOf,
};

// The caller's Java strings, passed on to Java as they are.
struct CallerStrings {
    jstring port;
    jstring vendor;
    jstring model;
};

// The caller's three texts, released when they go out of scope in the order model, vendor, port,
// each exactly once. A text that cannot be obtained leaves its error pending, and the texts after
// it are not asked for.
struct CallerTexts {
    CallerTexts(JNIEnv *env, const CallerStrings &strings)
        : port(env, strings.port),
          vendor(env, env->ExceptionCheck() ? nullptr : strings.vendor),
          model(env, env->ExceptionCheck() ? nullptr : strings.model) {}

    const ScopedUtfChars port;
    const ScopedUtfChars vendor;
    const ScopedUtfChars model;
};

jobject newParentDevice(JNIEnv *env, const HostJava &java, const DeviceConnection &connection,
                        const CallerStrings &strings) {
    const char *const failed = "Could not create parent device.";
    jstring serial = env->NewStringUTF(connection.serialText());
    checkStep(env, java.nativeException(), failed);
    jobject parent = env->NewObject(java[HostClass::Device], java[HostMethod::ParentDeviceInit],
                                    strings.vendor, strings.model, serial);
    checkStep(env, java.nativeException(), failed);
    return parent;
}

// The newest dive's fingerprint goes to the host once the dive computer has delivered every new
// dive and the host has them all: after a stop or a failure the dives not reached would otherwise
// never come.
void saveNewestFingerprint(JavaApplication &host, const DeviceConnection &connection,
                           const DiveDownload &download) {
    if (!download.stopped && !download.dives.empty() && !download.newestFingerprint.empty()) {
        host.saveFingerprint(connection.serialText(), download.newestFingerprint);
    }
}

// Opens the dive computer, downloads its dives (telling the host what it asks to be told) and
// hands each to Java. The caller's texts are released once the download has ended; the device
// stays open until every dive has been handed over, and the native objects are released in
// reverse order of creation.
jobject downloadDives(JNIEnv *env, const HostJava &java, const StopRequest &stop,
                      const CallerStrings &strings, jobject set) {
    // What the download asks of the host; it outlives the context, which may log as it goes.
    JavaApplication host(env, java, strings.vendor, strings.model);
    std::optional<DiveComputer> computer;
    std::optional<DeviceConnection> connection;
    std::unique_ptr<DiveDownload> download;
    {
        const CallerTexts texts(env, strings);
        checkStep(env, java.nativeException(), "Could not read the port, vendor and model texts.");
        computer.emplace(texts.vendor.c_str(), texts.model.c_str(), texts.port.c_str(), &host);
        connection.emplace(*computer, stop);
        download = connection->download();
    }
    jobject parent = newParentDevice(env, java, *connection, strings);
    for (const DiveRecord &record : download->dives) {
        buildJavaDive(env, java, record, parent, set);
    }
    saveNewestFingerprint(host, *connection, *download);
    // The device closes here, where a failure of the log line its closing may write can still end
    // the call as every other failure does.
    download.reset();
    connection.reset();
    computer->callbackFailure().rethrow();
    return parent;
}

}  // namespace
}  // namespace divebridge

using namespace divebridge;

JNIEXPORT jobject JNICALL Java_coralnote_main_java_core_DeviceConnector_loadUserDivesFromDevice(
    JNIEnv *env, jclass, jstring port, jstring vendor, jstring model, jobject set) {
    // A stop asked for from here on ends this download, wherever it has got to.
    const StopRequest stop;
    HostJava java;
    if (!lookUpHost(env, downloadClasses, downloadMethods, java)) {
        return nullptr;
    }
    lookUpOptionalMethods(env, java);
    // Checked before anything is opened: a null set would otherwise fail only at the first dive,
    // after the whole download.
    if (set == nullptr) {
        return throwJavaException(env, java[HostClass::NativeException],
                                  "The set for the downloaded dives is null.");
    }
    return translateNativeFailures(env, java, [&] {
        return downloadDives(env, java, stop, CallerStrings{port, vendor, model}, set);
    });
}
