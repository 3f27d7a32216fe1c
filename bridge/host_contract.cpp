// SPDX-License-Identifier: MIT
#include "bridge/host_contract.h"

namespace divebridge {
namespace {

constexpr std::size_t classCount = static_cast<std::size_t>(HostClass::Count);
constexpr std::size_t methodCount = static_cast<std::size_t>(HostMethod::Count);

struct ClassRow {
    HostClass id;
    const char *name;
};

constexpr ClassRow classRows[] = {
    {HostClass::NativeException, "coralnote/main/java/core/exceptions/NativeException"},
    {HostClass::CommunicationException,
     "coralnote/main/java/core/exceptions/CommunicationException"},
    {HostClass::UnknownDeviceException,
     "coralnote/main/java/core/exceptions/UnknownDeviceException"},
    {HostClass::Set, "java/util/Set"},
    {HostClass::TreeSet, "java/util/TreeSet"},
    {HostClass::Device, "coralnote/main/java/core/Device"},
    {HostClass::DeviceInterface, "coralnote/main/java/core/Device$Interface"},
    {HostClass::Gas, "coralnote/main/java/core/Gas"},
    {HostClass::Dive, "coralnote/main/java/core/Dive"},
    {HostClass::Cylinder, "coralnote/main/java/core/Cylinder"},
    {HostClass::Integer, "java/lang/Integer"},
    {HostClass::Float, "java/lang/Float"},
    {HostClass::DeviceConnector, "coralnote/main/java/core/DeviceConnector"},
};

struct MethodRow {
    HostMethod id;
    HostClass owner;
    const char *name;
    const char *signature;
    bool isStatic;
    const char *failure = nullptr;  // an optional method's: what its failed call says
};

// The optional methods: static methods of DeviceConnector, mostly taking texts.
constexpr MethodRow optionalConnectorMethod(HostMethod id, const char *name, const char *signature,
                                            const char *failure) {
    return {id, HostClass::DeviceConnector, name, signature, true, failure};
}
// The optional instance methods of Dive, which hand over what a dive computer recorded beyond the
// dive's own values.
constexpr MethodRow optionalDiveMethod(HostMethod id, const char *name, const char *signature) {
    return {id,        HostClass::Dive, name,
            signature, false,           "Could not hand the dive's details to the application."};
}
#define TEXT "Ljava/lang/String;"

constexpr MethodRow methodRows[] = {
    {HostMethod::NativeExceptionInit, HostClass::NativeException, "<init>",
     "(Ljava/lang/String;Ljava/lang/Throwable;)V", false},
    {HostMethod::SetAdd, HostClass::Set, "add", "(Ljava/lang/Object;)Z", false},
    {HostMethod::TreeSetInit, HostClass::TreeSet, "<init>", "()V", false},
    {HostMethod::TreeSetAdd, HostClass::TreeSet, "add", "(Ljava/lang/Object;)Z", false},
    {HostMethod::ListedDeviceInit, HostClass::Device, "<init>",
     "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;"
     "Lcoralnote/main/java/core/Device$Interface;)V",
     false},
    {HostMethod::InterfaceValueOf, HostClass::DeviceInterface, "valueOf",
     "(I)Lcoralnote/main/java/core/Device$Interface;", true},
    {HostMethod::ParentDeviceInit, HostClass::Device, "<init>",
     "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)V", false},
    {HostMethod::BlendGas, HostClass::Gas, "blendGas", "(II)Lcoralnote/main/java/core/Gas;", true},
    {HostMethod::DiveInit, HostClass::Dive, "<init>",
     "(Lcoralnote/main/java/core/Device;Ljava/lang/String;FFLjava/lang/Float;"
     "Ljava/lang/Float;Ljava/lang/Float;Lcoralnote/main/java/core/Gas;"
     "Lcoralnote/main/java/core/Cylinder;)V",
     false},
    {HostMethod::SetDiveProfileAndUpdate, HostClass::Dive, "setDiveProfileAndUpdate",
     "([Ljava/lang/Float;[Ljava/lang/Float;[Ljava/lang/Float;[Ljava/lang/Float;"
     "[Ljava/lang/Integer;)V",
     false},
    {HostMethod::CylinderInit, HostClass::Cylinder, "<init>", "(FF)V", false},
    {HostMethod::IntegerValueOf, HostClass::Integer, "valueOf", "(I)Ljava/lang/Integer;", true},
    {HostMethod::FloatValueOf, HostClass::Float, "valueOf", "(F)Ljava/lang/Float;", true},
    optionalConnectorMethod(HostMethod::DownloadProgress, "downloadProgress", "(JJ)V",
                            "Could not report download progress."),
    optionalConnectorMethod(HostMethod::BluetoothPinCode, "bluetoothPinCode",
                            "(" TEXT TEXT ")" TEXT,
                            "Could not ask the application for the Bluetooth PIN code."),
    optionalConnectorMethod(HostMethod::BluetoothAccessCode, "bluetoothAccessCode",
                            "(" TEXT TEXT ")[B",
                            "Could not ask the application for the Bluetooth access code."),
    optionalConnectorMethod(HostMethod::SaveBluetoothAccessCode, "saveBluetoothAccessCode",
                            "(" TEXT TEXT "[B)V", "Could not save the Bluetooth access code."),
    optionalConnectorMethod(HostMethod::DiveFingerprint, "diveFingerprint",
                            "(" TEXT TEXT TEXT ")[B",
                            "Could not ask the application for the dive fingerprint."),
    optionalConnectorMethod(HostMethod::SaveDiveFingerprint, "saveDiveFingerprint",
                            "(" TEXT TEXT TEXT "[B)V", "Could not save the dive fingerprint."),
    optionalConnectorMethod(HostMethod::LibdivecomputerLog, "libdivecomputerLog", "(I" TEXT ")V",
                            "Could not report the libdivecomputer log."),
    optionalConnectorMethod(HostMethod::ChooseBluetoothDevice, "chooseBluetoothDevice",
                            "([" TEXT "[" TEXT ")" TEXT,
                            "Could not ask the application which dive computer to use."),
    optionalDiveMethod(HostMethod::SetGasMixes, "setGasMixes", "([F[F[I)V"),
    optionalDiveMethod(HostMethod::SetTanks, "setTanks", "([I[F[F[F[F[I[I)V"),
    optionalDiveMethod(HostMethod::SetTankPressures, "setTankPressures", "([[F)V"),
    optionalDiveMethod(HostMethod::SetSampleColumns, "setSampleColumns", "([" TEXT "[[F)V"),
    optionalDiveMethod(HostMethod::SetEvents, "setEvents", "([I[I[I[I[I)V"),
    optionalDiveMethod(HostMethod::SetDiveFields, "setDiveFields", "([" TEXT "[D)V"),
};

#undef TEXT

// Row i describes enumerator i, so that a lookup by enumerator finds its own row.
template <typename Row, std::size_t N>
constexpr bool eachRowInItsPlace(const Row (&rows)[N], std::size_t count) {
    if (N != count) {
        return false;
    }
    for (std::size_t i = 0; i < N; ++i) {
        if (static_cast<std::size_t>(rows[i].id) != i) {
            return false;
        }
    }
    return true;
}
static_assert(eachRowInItsPlace(classRows, classCount), "a class row is missing or out of place");
static_assert(eachRowInItsPlace(methodRows, methodCount),
              "a method row is missing or out of place");

const MethodRow &rowOf(HostMethod method) {
    return methodRows[static_cast<std::size_t>(method)];
}

// Answers null with the lookup's error pending when the class is missing.
jclass lookUpClass(JNIEnv *env, HostClass javaClass) {
    return env->FindClass(classRows[static_cast<std::size_t>(javaClass)].name);
}

// An owner the export did not ask for would crash the JVM: it counts as a missing method.
jmethodID lookUpMethod(JNIEnv *env, jclass owner, const MethodRow &method) {
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
        java.classes[index] = lookUpClass(env, classList[i]);
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
        const MethodRow &method = rowOf(methodList[i]);
        const auto index = static_cast<std::size_t>(method.id);
        java.methods[index] = lookUpMethod(env, java[method.owner], method);
        if (java.methods[index] == nullptr) {
            throwJavaException(env, nativeException, "Could not find the necessary Java methods.");
            return false;
        }
    }
    return true;
}

void lookUpOptionalMethods(JNIEnv *env, HostJava &java) {
    for (const MethodRow &row : methodRows) {
        if (row.failure != nullptr) {
            lookUpOptionalMethod(env, row.id, java);
        }
    }
}

HostClass ownerOf(HostMethod method) {
    return rowOf(method).owner;
}

const char *failureTextOf(HostMethod method) {
    return rowOf(method).failure;
}

void lookUpOptionalMethod(JNIEnv *env, HostMethod method, HostJava &java) {
    const MethodRow &row = rowOf(method);
    jclass &owner = java.classes[static_cast<std::size_t>(row.owner)];
    // A missing class or method leaves its lookup error pending: it is no failure here.
    if (owner == nullptr) {
        owner = lookUpClass(env, row.owner);
        if (owner == nullptr) {
            env->ExceptionClear();
            return;
        }
    }
    java.methods[static_cast<std::size_t>(method)] = lookUpMethod(env, owner, row);
    if (java[method] == nullptr) {
        env->ExceptionClear();
    }
}

}  // namespace divebridge
