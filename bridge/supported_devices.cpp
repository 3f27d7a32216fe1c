#include "bridge/supported_devices.h"

#include "bridge/java_lookup.h"
#include "bridge/java_scoped.h"
#include "bridge/java_throw.h"
#include "device/descriptor_handles.h"
#include "device/device_adapter.h"

#include <coralnote_main_java_core_DeviceConnector.h>

#include <exception>

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

struct ListingJava {
    NativeExceptionClass nativeException;
    jclass treeSet;
    jclass device;
    jclass deviceInterface;
    jmethodID treeSetInit;
    jmethodID treeSetAdd;
    jmethodID deviceInit;
    jmethodID interfaceValueOf;
};

bool lookUpListingJava(JNIEnv *env, ListingJava &java) {
    jclass &nativeException = java.nativeException.javaClass;
    const ClassRequest classes[] = {
        {"coralnote/main/java/core/exceptions/NativeException", &nativeException},
        {"java/util/TreeSet", &java.treeSet},
        {"coralnote/main/java/core/Device", &java.device},
        {"coralnote/main/java/core/Device$Interface", &java.deviceInterface},
    };
    if (!findClasses(env, classes, nativeException)) {
        return false;
    }
    const MethodRequest methods[] = {
        {nativeException, "<init>", "(Ljava/lang/String;Ljava/lang/Throwable;)V", false,
         &java.nativeException.constructor},
        {java.treeSet, "<init>", "()V", false, &java.treeSetInit},
        {java.treeSet, "add", "(Ljava/lang/Object;)Z", false, &java.treeSetAdd},
        {java.device, "<init>",
         "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;"
         "Lcoralnote/main/java/core/Device$Interface;)V",
         false, &java.deviceInit},
        {java.deviceInterface, "valueOf", "(I)Lcoralnote/main/java/core/Device$Interface;", true,
         &java.interfaceValueOf},
    };
    return findMethods(env, methods, nativeException);
}

// Each device's four references live in a frame of their own, so the count stays bounded
// however many devices there are; the set keeps the device itself.
void addJavaDevice(JNIEnv *env, const ListingJava &java, jobject set,
                   const SupportedDevice &record) {
    const ScopedLocalFrame frame(env, 4);
    checkStep(env, java.nativeException, "Could not create device.");
    // One message for the three calls, each checked before the next may run.
    const char *const unknownInterface = "Unknown device communication interface encountered.";
    jstring vendor = env->NewStringUTF(record.vendor.c_str());
    checkStep(env, java.nativeException, unknownInterface);
    jstring product = env->NewStringUTF(record.product.c_str());
    checkStep(env, java.nativeException, unknownInterface);
    jobject deviceInterface =
        env->CallStaticObjectMethod(java.deviceInterface, java.interfaceValueOf, record.transport);
    checkStep(env, java.nativeException, unknownInterface);
    jobject device =
        env->NewObject(java.device, java.deviceInit, vendor, product, product, deviceInterface);
    checkStep(env, java.nativeException, "Could not create device.");
    env->CallBooleanMethod(set, java.treeSetAdd, device);
    checkStep(env, java.nativeException, "Could not save device.");
}

}  // namespace

std::vector<SupportedDevice> enumerateSupportedDevices() {
    std::vector<SupportedDevice> devices;
    dc_iterator_t *rawIterator = nullptr;
    dc_descriptor_iterator(&rawIterator);
    const IteratorHandle iterator(rawIterator);
    dc_descriptor_t *rawDescriptor = nullptr;
    while (dc_iterator_next(iterator.get(), &rawDescriptor) == DC_STATUS_SUCCESS) {
        const DescriptorHandle descriptor(rawDescriptor);
        devices.push_back(describe(descriptor.get()));
    }
    return devices;
}

}  // namespace divebridge

using namespace divebridge;

JNIEXPORT jobject JNICALL
Java_coralnote_main_java_core_DeviceConnector_getSupportedDevices(JNIEnv *env, jclass) {
    ListingJava java{};
    if (!lookUpListingJava(env, java)) {
        return nullptr;
    }
    try {
        jobject set = env->NewObject(java.treeSet, java.treeSetInit);
        checkStep(env, java.nativeException, "Could not create container.");
        for (const SupportedDevice &record : enumerateSupportedDevices()) {
            addJavaDevice(env, java, set, record);
        }
        return set;
    } catch (const PendingJavaException &) {
        return nullptr;
    } catch (const std::exception &failure) {
        return throwJavaException(env, java.nativeException.javaClass, failure.what());
    } catch (...) {
        return throwJavaException(env, java.nativeException.javaClass,
                                  "Unexpected native exception.");
    }
}
