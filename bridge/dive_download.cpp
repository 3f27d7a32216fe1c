#include "bridge/dive_download.h"

#include "bridge/java_lookup.h"
#include "bridge/java_scoped.h"
#include "bridge/java_throw.h"
#include "bridge/native_exception.h"
#include "device/device_connection.h"
#include "device/dive_computer.h"

#include <coralnote_main_java_core_DeviceConnector.h>

#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>
#include <string>

namespace divebridge {
namespace {

// A dive's own references: gas, three optional floats, cylinder, date text, dive and the five
// profile arrays, with room to spare.
constexpr jint referencesPerDive = 16;

// The host takes any Float as a measurement: a value that is not a number, infinite, or beyond a
// float's range is passed as absent rather than as a Float that looks measured.
bool fitsFloat(double value) {
    return std::fabs(value) <= static_cast<double>(std::numeric_limits<float>::max());
}

jobject newFloat(JNIEnv *env, const ProfileJava &java, double value) {
    return env->NewObject(java.floatClass, java.floatInit, static_cast<jfloat>(value));
}

jobject newGas(JNIEnv *env, const DiveJava &java, const DiveRecord &record) {
    const std::optional<dc_gasmix_t> mix = selectGasMix(record);
    if (!mix) {
        return nullptr;
    }
    jobject gas = env->CallStaticObjectMethod(
        java.gasClass, java.blendGas, gasPercentage(mix->oxygen), gasPercentage(mix->helium));
    checkStep(env, java.profile.nativeException, "Could not create gas.");
    return gas;
}

jobject newUsedPressure(JNIEnv *env, const DiveJava &java, const DiveRecord &record) {
    if (record.tanks.empty()) {
        return nullptr;
    }
    const dc_tank_t &tank = record.tanks.front();
    const double used = tank.beginpressure - tank.endpressure;
    if (!(used > 0) || !fitsFloat(used)) {
        return nullptr;
    }
    jobject pressure = newFloat(env, java.profile, used);
    checkStep(env, java.profile.nativeException, "Could not create used pressure.");
    return pressure;
}

jobject newBottomTemperature(JNIEnv *env, const DiveJava &java, const DiveRecord &record) {
    if (!record.minimumTemperature || !fitsFloat(*record.minimumTemperature)) {
        return nullptr;
    }
    jobject temperature = newFloat(env, java.profile, *record.minimumTemperature);
    checkStep(env, java.profile.nativeException, "Could not create bottom temperature.");
    return temperature;
}

jobject newCylinder(JNIEnv *env, const DiveJava &java, const DiveRecord &record) {
    if (record.tanks.empty()) {
        return nullptr;
    }
    const dc_tank_t &tank = record.tanks.front();
    if (tank.type == DC_TANKVOLUME_NONE || !(tank.volume > 0) || !(tank.workpressure > 0)) {
        return nullptr;
    }
    jobject cylinder =
        env->NewObject(java.cylinderClass, java.cylinderInit, static_cast<jfloat>(tank.volume),
                       static_cast<jfloat>(tank.workpressure));
    checkStep(env, java.profile.nativeException, "Could not create cylinder.");
    return cylinder;
}

jobject newAverageDepth(JNIEnv *env, const DiveJava &java, const DiveRecord &record) {
    if (!record.averageDepth || !(*record.averageDepth > 0) || !fitsFloat(*record.averageDepth)) {
        return nullptr;
    }
    jobject depth = newFloat(env, java.profile, *record.averageDepth);
    checkStep(env, java.profile.nativeException, "Could not create average depth.");
    return depth;
}

// Wide values are written in full; the buffer holds seven ints at their widest.
std::string formatDateTime(const dc_datetime_t &dateTime) {
    char text[96];
    std::snprintf(text, sizeof text, "%04i-%02i-%02i %02i:%02i:%02i", dateTime.year, dateTime.month,
                  dateTime.day, dateTime.hour, dateTime.minute, dateTime.second);
    return text;
}

struct DownloadJava {
    DiveJava dive;
    jclass communicationException;
    jclass unknownDeviceException;
    jclass deviceClass;
    jmethodID parentDeviceInit;
};

bool lookUpDownloadJava(JNIEnv *env, DownloadJava &java) {
    DiveJava &dive = java.dive;
    ProfileJava &profile = dive.profile;
    jclass &nativeException = profile.nativeException.javaClass;
    const ClassRequest classes[] = {
        {"java/util/Set", &dive.setClass},
        {"coralnote/main/java/core/exceptions/NativeException", &nativeException},
        {"coralnote/main/java/core/exceptions/CommunicationException",
         &java.communicationException},
        {"coralnote/main/java/core/exceptions/UnknownDeviceException",
         &java.unknownDeviceException},
        {"coralnote/main/java/core/Device", &java.deviceClass},
        {"coralnote/main/java/core/Gas", &dive.gasClass},
        {"coralnote/main/java/core/Dive", &dive.diveClass},
        {"coralnote/main/java/core/Cylinder", &dive.cylinderClass},
        {"java/lang/Integer", &profile.integerClass},
        {"java/lang/Float", &profile.floatClass},
    };
    if (!findClasses(env, classes, nativeException)) {
        return false;
    }
    const MethodRequest methods[] = {
        {dive.setClass, "add", "(Ljava/lang/Object;)Z", false, &dive.setAdd},
        {nativeException, "<init>", "(Ljava/lang/String;Ljava/lang/Throwable;)V", false,
         &profile.nativeException.constructor},
        {java.deviceClass, "<init>", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)V",
         false, &java.parentDeviceInit},
        {dive.gasClass, "blendGas", "(II)Lcoralnote/main/java/core/Gas;", true, &dive.blendGas},
        {dive.diveClass, "<init>",
         "(Lcoralnote/main/java/core/Device;Ljava/lang/String;FFLjava/lang/Float;"
         "Ljava/lang/Float;Ljava/lang/Float;Lcoralnote/main/java/core/Gas;"
         "Lcoralnote/main/java/core/Cylinder;)V",
         false, &dive.diveInit},
        {dive.diveClass, "setDiveProfileAndUpdate",
         "([Ljava/lang/Float;[Ljava/lang/Float;[Ljava/lang/Float;[Ljava/lang/Float;"
         "[Ljava/lang/Integer;)V",
         false, &profile.setDiveProfileAndUpdate},
        {dive.cylinderClass, "<init>", "(FF)V", false, &dive.cylinderInit},
        {profile.integerClass, "<init>", "(I)V", false, &profile.integerInit},
        {profile.floatClass, "<init>", "(F)V", false, &profile.floatInit},
    };
    return findMethods(env, methods, nativeException);
}

// The caller's three texts, released in the order model, vendor, port, each exactly once. A text
// that cannot be obtained leaves its error pending, and the texts after it are not asked for.
struct CallerTexts {
    CallerTexts(JNIEnv *env, jstring portString, jstring vendorString, jstring modelString)
        : port(env, portString),
          vendor(env, env->ExceptionCheck() ? nullptr : vendorString),
          model(env, env->ExceptionCheck() ? nullptr : modelString) {}

    ScopedUtfChars port;
    ScopedUtfChars vendor;
    ScopedUtfChars model;

    void release() {
        model.release();
        vendor.release();
        port.release();
    }
};

jobject newParentDevice(JNIEnv *env, const DownloadJava &java, const DeviceConnection &connection,
                        jstring vendor, jstring model) {
    const char *const failed = "Could not create parent device.";
    jstring serial = env->NewStringUTF(connection.serialText());
    checkStep(env, java.dive.profile.nativeException, failed);
    jobject parent = env->NewObject(java.deviceClass, java.parentDeviceInit, vendor, model, serial);
    checkStep(env, java.dive.profile.nativeException, failed);
    return parent;
}

// Opens the dive computer, downloads every dive and hands each to Java. The device stays open
// until every dive has been handed over; the objects are released in reverse order of creation.
jobject downloadDives(JNIEnv *env, const DownloadJava &java, CallerTexts &texts, jstring vendor,
                      jstring model, jobject set) {
    const DiveComputer computer(texts.vendor.c_str(), texts.model.c_str(), texts.port.c_str());
    DeviceConnection connection(computer);
    const std::unique_ptr<DiveDownload> download = connection.download();
    texts.release();

    jobject parent = newParentDevice(env, java, connection, vendor, model);
    for (const DiveRecord &record : download->dives) {
        buildJavaDive(env, java.dive, record, parent, set);
    }
    return parent;
}

}  // namespace

std::optional<dc_gasmix_t> selectGasMix(const DiveRecord &record) {
    const std::vector<dc_gasmix_t> &mixes = record.gasMixes;
    const dc_gasmix_t *candidate = nullptr;
    if (!record.tanks.empty()) {
        const unsigned int index = record.tanks.front().gasmix;
        if (index != DC_GASMIX_UNKNOWN && index < mixes.size()) {
            candidate = &mixes[index];
        }
    } else if (!mixes.empty()) {
        candidate = &mixes.front();
    }
    // A fraction that is not a number cannot be given as a percentage: no gas rather than an
    // invented one.
    if (candidate == nullptr || !(candidate->oxygen > 0) || !std::isfinite(candidate->oxygen) ||
        !std::isfinite(candidate->helium)) {
        return std::nullopt;
    }
    return *candidate;
}

jint gasPercentage(double fraction) {
    const double percentage = std::floor(fraction * 100.0 + 0.5);
    if (std::isnan(percentage)) {
        return 0;  // selectGasMix keeps NaN away; this only keeps the conversion defined
    }
    // Saturated so that an absurd fraction reaches the host's own validation instead of
    // overflowing the conversion.
    if (percentage >= static_cast<double>(std::numeric_limits<jint>::max())) {
        return std::numeric_limits<jint>::max();
    }
    if (percentage <= static_cast<double>(std::numeric_limits<jint>::min())) {
        return std::numeric_limits<jint>::min();
    }
    return static_cast<jint>(percentage);
}

void buildJavaDive(JNIEnv *env, const DiveJava &java, const DiveRecord &record, jobject parent,
                   jobject set) {
    const NativeExceptionClass &nativeException = java.profile.nativeException;
    const ScopedLocalFrame frame(env, referencesPerDive);
    checkStep(env, nativeException, "Could not create dive.");

    jobject gas = newGas(env, java, record);
    jobject usedPressure = newUsedPressure(env, java, record);
    jobject bottomTemperature = newBottomTemperature(env, java, record);
    jobject cylinder = newCylinder(env, java, record);
    jobject averageDepth = newAverageDepth(env, java, record);

    jstring start = env->NewStringUTF(formatDateTime(record.dateTime).c_str());
    checkStep(env, nativeException, "Could not create dive.");
    jobject dive =
        env->NewObject(java.diveClass, java.diveInit, parent, start,
                       static_cast<jfloat>(record.diveTime), static_cast<jfloat>(record.maxDepth),
                       averageDepth, usedPressure, bottomTemperature, gas, cylinder);
    checkStep(env, nativeException, "Could not create dive.");

    convertProfile(env, record.profile, dive, java.profile);

    env->CallBooleanMethod(set, java.setAdd, dive);
    checkStep(env, nativeException, "Could not save dive.");
}

}  // namespace divebridge

using namespace divebridge;

JNIEXPORT jobject JNICALL Java_coralnote_main_java_core_DeviceConnector_loadUserDivesFromDevice(
    JNIEnv *env, jclass, jstring port, jstring vendor, jstring model, jobject set) {
    DownloadJava java{};
    if (!lookUpDownloadJava(env, java)) {
        return nullptr;
    }
    const jclass nativeException = java.dive.profile.nativeException.javaClass;
    // Checked before anything is opened: a null set would otherwise fail only at the first dive,
    // after the whole download.
    if (set == nullptr) {
        return throwJavaException(env, nativeException,
                                  "The set for the downloaded dives is null.");
    }
    CallerTexts texts(env, port, vendor, model);
    if (env->ExceptionCheck()) {
        texts.release();
        return throwChainedJavaException(env, nativeException,
                                         java.dive.profile.nativeException.constructor,
                                         "Could not read the port, vendor and model texts.");
    }
    try {
        return downloadDives(env, java, texts, vendor, model, set);
    } catch (const PendingJavaException &) {
        texts.release();
        return nullptr;
    } catch (const UnknownDeviceException &failure) {
        texts.release();
        return throwJavaException(env, java.unknownDeviceException, failure.what());
    } catch (const CommunicationException &failure) {
        texts.release();
        return throwJavaException(env, java.communicationException, failure.what());
    } catch (const std::exception &failure) {
        texts.release();
        return throwJavaException(env, nativeException, failure.what());
    } catch (...) {
        texts.release();
        return throwJavaException(env, nativeException, "Unexpected native exception.");
    }
}
