#include "bridge/host_contract.h"

namespace divebridge {
namespace {

constexpr std::size_t classCount = static_cast<std::size_t>(HostClass::Count);
constexpr std::size_t methodCount = static_cast<std::size_t>(HostMethod::Count);

// Indexed by HostClass.
constexpr std::array<const char *, classCount> classNames = {
    "coralnote/main/java/core/exceptions/NativeException",
    "coralnote/main/java/core/exceptions/CommunicationException",
    "coralnote/main/java/core/exceptions/UnknownDeviceException",
    "java/util/Set",
    "java/util/TreeSet",
    "coralnote/main/java/core/Device",
    "coralnote/main/java/core/Device$Interface",
    "coralnote/main/java/core/Gas",
    "coralnote/main/java/core/Dive",
    "coralnote/main/java/core/Cylinder",
    "java/lang/Integer",
    "java/lang/Float",
    "coralnote/main/java/core/DeviceConnector",
};

struct MethodName {
    HostClass owner;
    const char *name;
    const char *signature;
    bool isStatic;
};

// Indexed by HostMethod.
constexpr std::array<MethodName, methodCount> methodNames = {{
    {HostClass::NativeException, "<init>", "(Ljava/lang/String;Ljava/lang/Throwable;)V", false},
    {HostClass::Set, "add", "(Ljava/lang/Object;)Z", false},
    {HostClass::TreeSet, "<init>", "()V", false},
    {HostClass::TreeSet, "add", "(Ljava/lang/Object;)Z", false},
    {HostClass::Device, "<init>",
     "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;"
     "Lcoralnote/main/java/core/Device$Interface;)V",
     false},
    {HostClass::DeviceInterface, "valueOf", "(I)Lcoralnote/main/java/core/Device$Interface;", true},
    {HostClass::Device, "<init>", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)V",
     false},
    {HostClass::Gas, "blendGas", "(II)Lcoralnote/main/java/core/Gas;", true},
    {HostClass::Dive, "<init>",
     "(Lcoralnote/main/java/core/Device;Ljava/lang/String;FFLjava/lang/Float;"
     "Ljava/lang/Float;Ljava/lang/Float;Lcoralnote/main/java/core/Gas;"
     "Lcoralnote/main/java/core/Cylinder;)V",
     false},
    {HostClass::Dive, "setDiveProfileAndUpdate",
     "([Ljava/lang/Float;[Ljava/lang/Float;[Ljava/lang/Float;[Ljava/lang/Float;"
     "[Ljava/lang/Integer;)V",
     false},
    {HostClass::Cylinder, "<init>", "(FF)V", false},
    {HostClass::Integer, "<init>", "(I)V", false},
    {HostClass::Float, "<init>", "(F)V", false},
    {HostClass::DeviceConnector, "downloadProgress", "(JJ)V", true},
}};

// An owner the export did not ask for would crash the JVM: it counts as a missing method.
jmethodID lookUpMethod(JNIEnv *env, jclass owner, const MethodName &method) {
    if (owner == nullptr) {
        return nullptr;
    }
    return method.isStatic ? env->GetStaticMethodID(owner, method.name, method.signature)
                           : env->GetMethodID(owner, method.name, method.signature);
}

}  // namespace

bool lookUpHost(JNIEnv *env, const HostClass *classList, std::size_t classListSize,
                const HostMethod *methodList, std::size_t methodListSize, HostJava &java) {
    // A failed FindClass leaves its error pending, and JNI allows no further lookup until it is
    // cleared: the error of the NativeException lookup is kept aside in case it must be rethrown.
    jthrowable nativeExceptionError = nullptr;
    bool allFound = true;
    for (std::size_t i = 0; i < classListSize; ++i) {
        const auto index = static_cast<std::size_t>(classList[i]);
        java.classes[index] = env->FindClass(classNames[index]);
        if (java.classes[index] == nullptr) {
            allFound = false;
            jthrowable error = env->ExceptionOccurred();
            env->ExceptionClear();
            if (classList[i] == HostClass::NativeException) {
                nativeExceptionError = error;
            }
        }
    }
    const jclass nativeException = java[HostClass::NativeException];
    if (nativeException == nullptr) {
        if (nativeExceptionError != nullptr) {
            env->Throw(nativeExceptionError);
        }
        return false;
    }
    if (!allFound) {
        throwJavaException(env, nativeException, "Could not find the necessary Java classes.");
        return false;
    }
    for (std::size_t i = 0; i < methodListSize; ++i) {
        const auto index = static_cast<std::size_t>(methodList[i]);
        const MethodName &method = methodNames[index];
        const jclass owner = java[method.owner];
        // An owner the export did not ask for would crash the JVM; it counts as a missing method.
        if (owner != nullptr) {
            java.methods[index] = method.isStatic
                                      ? env->GetStaticMethodID(owner, method.name, method.signature)
                                      : env->GetMethodID(owner, method.name, method.signature);
        }
        if (java.methods[index] == nullptr) {
            throwJavaException(env, nativeException, "Could not find the necessary Java methods.");
            return false;
        }
    }
    return true;
}

void lookUpOptionalMethod(JNIEnv *env, HostMethod method, HostJava &java) {
    const MethodName &name = methodNames[static_cast<std::size_t>(method)];
    jclass &owner = java.classes[static_cast<std::size_t>(name.owner)];
    if (owner == nullptr) {
        owner = env->FindClass(classNames[static_cast<std::size_t>(name.owner)]);
        if (owner == nullptr) {
            env->ExceptionClear();
            return;
        }
    }
    java.methods[static_cast<std::size_t>(method)] = lookUpMethod(env, owner, name);
    if (java[method] == nullptr) {
        env->ExceptionClear();
    }
}

}  // namespace divebridge
