// SPDX-License-Identifier: MIT
#include "bridge/supported_devices.h"

#include "bridge/exception_boundary.h"
#include "bridge/host_contract.h"
#include "bridge/java_scoped.h"
#include "bridge/java_throw.h"
#include "device/descriptor_walk.h"
#include "device/device_adapter.h"

#include <coralnote_main_java_core_DeviceConnector.h>

namespace divebridge {
namespace {

// A descriptor without a vendor or product text is listed with an empty one; the host decides
// whether such a device is acceptable.
std::string textOf(const char *text) {
    return text != nullptr ? text : "";
}

SupportedDevice describe(dc_descriptor_t *descriptor) {
    return SupportedDevice{textOf(dc_descriptor_get_vendor(descriptor)),
                           textOf(dc_descriptor_get_product(descriptor)),
                           transportNumber(descriptor)};
}

constexpr HostClass listingClasses[] = {
    HostClass::NativeException,
    HostClass::TreeSet,
    HostClass::Device,
    HostClass::DeviceInterface,
};
constexpr HostMethod listingMethods[] = {
    HostMethod::NativeExceptionInit, HostMethod::TreeSetInit,      HostMethod::TreeSetAdd,
    HostMethod::ListedDeviceInit,    HostMethod::InterfaceValueOf,
};

// Each device's four references live in a frame of their own, so the count stays bounded
// however many devices there are; the set keeps the device itself.
void addJavaDevice(JNIEnv *env, const HostJava &java, jobject set, const SupportedDevice &record) {
    const NativeExceptionClass nativeException = java.nativeException();
    const ScopedLocalFrame frame(env, 4);
    checkStep(env, nativeException, "Could not create device.");
    // One message for the three calls, each checked before the next may run.
    const char *const unknownInterface = "Unknown device communication interface encountered.";
    jstring vendor = env->NewStringUTF(record.vendor.c_str());
    checkStep(env, nativeException, unknownInterface);
    jstring product = env->NewStringUTF(record.product.c_str());
    checkStep(env, nativeException, unknownInterface);
    jobject deviceInterface = env->CallStaticObjectMethod(
        java[HostClass::DeviceInterface], java[HostMethod::InterfaceValueOf], record.transport);
    checkStep(env, nativeException, unknownInterface);
    jobject device = env->NewObject(java[HostClass::Device], java[HostMethod::ListedDeviceInit],
                                    vendor, product, product, deviceInterface);
    checkStep(env, nativeException, "Could not create device.");
    env->CallBooleanMethod(set, java[HostMethod::TreeSetAdd], device);
    checkStep(env, nativeException, "Could not save device.");
}

}  // namespace

std::vector<SupportedDevice> enumerateSupportedDevices() {
    std::vector<SupportedDevice> devices;
    // A failing walk ends the list without an error: the devices listed so far stand.
    walkDescriptors([&](DescriptorHandle descriptor) {
        devices.push_back(describe(descriptor.get()));
        return true;
    });
    return devices;
}

}  // namespace divebridge

using namespace divebridge;

JNIEXPORT jobject JNICALL
Java_coralnote_main_java_core_DeviceConnector_getSupportedDevices(JNIEnv *env, jclass) {
    HostJava java;
    if (!lookUpHost(env, listingClasses, listingMethods, java)) {
        return nullptr;
    }
    return translateNativeFailures(env, java, [&] {
        jobject set = env->NewObject(java[HostClass::TreeSet], java[HostMethod::TreeSetInit]);
        checkStep(env, java.nativeException(), "Could not create container.");
        for (const SupportedDevice &record : enumerateSupportedDevices()) {
            addJavaDevice(env, java, set, record);
        }
        return set;
    });
}
