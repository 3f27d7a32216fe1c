// SPDX-License-Identifier: MIT
// The host contract: every Java class, constructor and method the bridge uses, named once in one
// table (host_contract.cpp), and the lookup each export makes of the part it needs, afresh on every
// call. Adding a member to the contract is a row in the table and its name here; the row of a
// method the host may leave out says so, and what its failure says.
#pragma once

#include "bridge/java_throw.h"

#include <jni.h>

#include <array>
#include <cstddef>

namespace divebridge {

enum class HostClass : std::size_t {
    NativeException,
    CommunicationException,
    UnknownDeviceException,
    Set,
    TreeSet,
    Device,
    DeviceInterface,
    Gas,
    Dive,
    Cylinder,
    Integer,
    Float,
    DeviceConnector,
    Count
};

enum class HostMethod : std::size_t {
    NativeExceptionInit,  // (String message, Throwable cause)
    SetAdd,
    TreeSetInit,
    TreeSetAdd,
    ListedDeviceInit,  // vendor, product, product again, interface
    InterfaceValueOf,
    ParentDeviceInit,  // vendor, model, serial text
    BlendGas,
    DiveInit,
    SetDiveProfileAndUpdate,
    CylinderInit,
    IntegerValueOf,
    FloatValueOf,
    // Optional static methods of DeviceConnector, each looked up when a download starts and called
    // through callHostMethod (host_call.h):
    DownloadProgress,         // void downloadProgress(long current, long maximum)
    BluetoothPinCode,         // String bluetoothPinCode(String name, String address)
    BluetoothAccessCode,      // byte[] bluetoothAccessCode(String name, String address)
    SaveBluetoothAccessCode,  // void saveBluetoothAccessCode(String name, String address, byte[])
    DiveFingerprint,          // byte[] diveFingerprint(String vendor, String model, String serial)
    SaveDiveFingerprint,      // void saveDiveFingerprint(vendor, model, serial, byte[] fingerprint)
    LibdivecomputerLog,       // void libdivecomputerLog(int level, String message)
    ChooseBluetoothDevice,    // String chooseBluetoothDevice(String[] names, String[] addresses)
    // Optional instance methods of Dive, called through callHostMethodOf once per dive after its
    // profile:
    SetGasMixes,       // void setGasMixes(float[] oxygen, float[] helium, int[] usage)
    SetTanks,          // void setTanks(int[] gasMix, float[] volume, ..., int[] usage)
    SetTankPressures,  // void setTankPressures(float[][] pressures)
    SetSampleColumns,  // void setSampleColumns(String[] names, float[][] columns)
    SetEvents,         // void setEvents(int[] rows, int[] types, int[] times, int[] flags, ...)
    SetDiveFields,     // void setDiveFields(String[] names, double[] values)
    Count
};

// The classes and methods one export looked up; what it did not ask for stays null.
class HostJava {
  public:
    jclass operator[](HostClass javaClass) const {
        return classes[static_cast<std::size_t>(javaClass)];
    }
    jmethodID operator[](HostMethod method) const {
        return methods[static_cast<std::size_t>(method)];
    }
    NativeExceptionClass nativeException() const {
        return {(*this)[HostClass::NativeException], (*this)[HostMethod::NativeExceptionInit]};
    }

  private:
    friend bool lookUpHost(JNIEnv *env, const HostClass *classList, std::size_t classCount,
                           const HostMethod *methodList, std::size_t methodCount, HostJava &java);
    friend void lookUpOptionalMethod(JNIEnv *env, HostMethod method, HostJava &java);
    friend void lookUpOptionalMethods(JNIEnv *env, HostJava &java);

    std::array<jclass, static_cast<std::size_t>(HostClass::Count)> classes{};
    std::array<jmethodID, static_cast<std::size_t>(HostMethod::Count)> methods{};
};

// Looks up the classes in the given order, all before any result is examined, then the methods in
// theirs; NativeException must be among the classes. Answers false with one Java exception
// pending when something is missing: the JVM's own lookup error when NativeException is missing,
// otherwise NativeException "Could not find the necessary Java classes." or "... methods.".
bool lookUpHost(JNIEnv *env, const HostClass *classList, std::size_t classCount,
                const HostMethod *methodList, std::size_t methodCount, HostJava &java);

template <std::size_t C, std::size_t M>
bool lookUpHost(JNIEnv *env, const HostClass (&classList)[C], const HostMethod (&methodList)[M],
                HostJava &java) {
    return lookUpHost(env, classList, C, methodList, M, java);
}

// Looks up a method the host may leave out, with its class when that was not looked up yet. A
// missing one stays null and leaves nothing pending.
void lookUpOptionalMethod(JNIEnv *env, HostMethod method, HostJava &java);

// Looks up every method the table marks optional, in the table's order, as lookUpOptionalMethod.
void lookUpOptionalMethods(JNIEnv *env, HostJava &java);

// The class that declares `method`.
HostClass ownerOf(HostMethod method);

// What a failed call of the optional `method` says: the message of the NativeException chained to
// what the host threw.
const char *failureTextOf(HostMethod method);

}  // namespace divebridge
