// SPDX-License-Identifier: MIT
// The native half of the JVM benchmark (class coralnote.bench.BenchNative): downloads kept in
// native memory so that the bridge's conversion can be timed alone, the JNI floor it is compared
// with, and the real export run through a JNIEnv that counts local references.
#include "bridge/java_dive.h"
#include "bridge/java_dive_details.h"
#include "bridge/profile_conversion.h"
#include "counting_jni_env.h"
#include "device/device_connection.h"
#include "device/dive_computer.h"
#include "generated_image.h"

#include <coralnote_main_java_core_DeviceConnector.h>

#include <jni.h>

#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

namespace divebridge::bench {
namespace {

// A finished download, kept between calls from Java through an opaque handle.
struct PreparedDownload {
    std::unique_ptr<DiveDownload> download;
};

PreparedDownload &preparedOf(jlong handle) {
    return *reinterpret_cast<PreparedDownload *>(handle);
}

struct JavaText {
    JNIEnv *env;
    jstring string;
    const char *chars;
    JavaText(JNIEnv *env, jstring string)
        : env(env), string(string), chars(env->GetStringUTFChars(string, nullptr)) {}
    ~JavaText() { env->ReleaseStringUTFChars(string, chars); }
    JavaText(const JavaText &) = delete;
    JavaText &operator=(const JavaText &) = delete;
};

// What a host whose Dive declares every detail method takes of each dive.
class EveryDetail final : public Application {
  public:
    DetailKinds diveDetailsWanted() const override { return {true, true, true, true}; }
};

std::unique_ptr<DiveDownload> downloadDives(const char *port, const char *vendor, const char *model,
                                            Application &application = silentApplication()) {
    const DiveComputer computer(vendor, model, port, &application);
    DeviceConnection connection(computer);
    return connection.download();
}

void throwRuntimeException(JNIEnv *env, const char *message) {
    env->ThrowNew(env->FindClass("java/lang/RuntimeException"), message);
}

// The rows the conversion keeps: those with a depth.
template <typename Visit>
void forEachKeptRow(const DiveProfile &profile, Visit visit) {
    for (std::uint32_t row = 0; row < profile.rowCount; ++row) {
        if (profile.depths[row]) {
            visit(row);
        }
    }
}

jlong presentCellsOf(const DiveProfile &profile) {
    jlong cells = 0;
    forEachKeptRow(profile, [&](std::uint32_t row) {
        cells += profile.times[row].has_value() + profile.depths[row].has_value() +
                 profile.pressures[row].has_value() + profile.temperatures[row].has_value() +
                 profile.events[row].has_value();
    });
    return cells;
}

jlong keptRowsOf(const DiveProfile &profile) {
    jlong rows = 0;
    forEachKeptRow(profile, [&](std::uint32_t) { ++rows; });
    return rows;
}

// The classes and methods the conversion needs, from the bridge's own table.
constexpr HostClass diveClasses[] = {
    HostClass::Set,      HostClass::NativeException, HostClass::Gas,   HostClass::Dive,
    HostClass::Cylinder, HostClass::Integer,         HostClass::Float,
};
constexpr HostMethod diveMethods[] = {
    HostMethod::SetAdd,
    HostMethod::NativeExceptionInit,
    HostMethod::BlendGas,
    HostMethod::DiveInit,
    HostMethod::SetDiveProfileAndUpdate,
    HostMethod::CylinderInit,
    HostMethod::IntegerValueOf,
    HostMethod::FloatValueOf,
};

// The JNI floor's boxing: one value object per present cell, nothing else.
struct FloorJava {
    jclass floatClass;
    jmethodID floatValueOf;
    jclass integerClass;
    jmethodID integerValueOf;
    jclass objectClass;
};

FloorJava floorJava{};

void boxColumn(JNIEnv *env, const OptionalColumn<float> &column, std::uint32_t row,
               jobjectArray array, jsize index) {
    if (column[row]) {
        env->SetObjectArrayElement(array, index,
                                   env->CallStaticObjectMethod(
                                       floorJava.floatClass, floorJava.floatValueOf, *column[row]));
    }
}

}  // namespace
}  // namespace divebridge::bench

using namespace divebridge;
using namespace divebridge::bench;

extern "C" {

JNIEXPORT void JNICALL Java_coralnote_bench_BenchNative_writeImage(JNIEnv *env, jclass,
                                                                   jstring path, jint dives,
                                                                   jint rows) {
    const JavaText text(env, path);
    try {
        writeGeneratedImage(text.chars, static_cast<std::uint32_t>(dives),
                            static_cast<std::uint32_t>(rows));
    } catch (const std::exception &failure) {
        throwRuntimeException(env, failure.what());
    }
}

// Sends standard output to /dev/null (true) or back (false): a download prints a line per dive.
JNIEXPORT void JNICALL Java_coralnote_bench_BenchNative_silenceStdout(JNIEnv *, jclass,
                                                                      jboolean silence) {
    static int saved = -1;
    std::fflush(stdout);
    if (silence && saved < 0) {
        saved = ::dup(STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    } else if (!silence && saved >= 0) {
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
        saved = -1;
    }
}

JNIEXPORT jlong JNICALL Java_coralnote_bench_BenchNative_processCpuNanos(JNIEnv *, jclass) {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<jlong>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

JNIEXPORT jlong JNICALL Java_coralnote_bench_BenchNative_minorFaults(JNIEnv *, jclass) {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

JNIEXPORT jlong JNICALL Java_coralnote_bench_BenchNative_nativeHeapInUse(JNIEnv *, jclass) {
    const struct mallinfo2 info = ::mallinfo2();
    return static_cast<jlong>(info.uordblks + info.hblkhd);
}

// The bridge's download alone: selection, connection, every dive parsed into a record, dropped.
JNIEXPORT void JNICALL Java_coralnote_bench_BenchNative_download(JNIEnv *env, jclass, jstring port,
                                                                 jstring vendor, jstring model) {
    const JavaText portText(env, port), vendorText(env, vendor), modelText(env, model);
    try {
        downloadDives(portText.chars, vendorText.chars, modelText.chars);
    } catch (const std::exception &failure) {
        throwRuntimeException(env, failure.what());
    }
}

// Downloads and keeps the records; answers a handle for convert, floorDive and release.
JNIEXPORT jlong JNICALL Java_coralnote_bench_BenchNative_prepare(JNIEnv *env, jclass, jstring port,
                                                                 jstring vendor, jstring model) {
    const JavaText portText(env, port), vendorText(env, vendor), modelText(env, model);
    try {
        auto prepared = std::make_unique<PreparedDownload>();
        prepared->download = downloadDives(portText.chars, vendorText.chars, modelText.chars);
        return reinterpret_cast<jlong>(prepared.release());  // owned by Java until release
    } catch (const std::exception &failure) {
        throwRuntimeException(env, failure.what());
        return 0;
    }
}

// The same with every detail collected, as for a host whose Dive takes them all.
JNIEXPORT jlong JNICALL Java_coralnote_bench_BenchNative_prepareWithDetails(JNIEnv *env, jclass,
                                                                            jstring port,
                                                                            jstring vendor,
                                                                            jstring model) {
    const JavaText portText(env, port), vendorText(env, vendor), modelText(env, model);
    try {
        EveryDetail everyDetail;
        auto prepared = std::make_unique<PreparedDownload>();
        prepared->download =
            downloadDives(portText.chars, vendorText.chars, modelText.chars, everyDetail);
        return reinterpret_cast<jlong>(prepared.release());  // owned by Java until release
    } catch (const std::exception &failure) {
        throwRuntimeException(env, failure.what());
        return 0;
    }
}

JNIEXPORT void JNICALL Java_coralnote_bench_BenchNative_release(JNIEnv *, jclass, jlong handle) {
    const std::unique_ptr<PreparedDownload> owner(&preparedOf(handle));
}

JNIEXPORT jint JNICALL Java_coralnote_bench_BenchNative_dives(JNIEnv *, jclass, jlong handle) {
    return static_cast<jint>(preparedOf(handle).download->dives.size());
}

JNIEXPORT jlong JNICALL Java_coralnote_bench_BenchNative_keptRows(JNIEnv *, jclass, jlong handle) {
    jlong rows = 0;
    for (const DiveRecord &record : preparedOf(handle).download->dives) {
        rows += keptRowsOf(record.profile);
    }
    return rows;
}

JNIEXPORT jlong JNICALL Java_coralnote_bench_BenchNative_presentCells(JNIEnv *, jclass,
                                                                      jlong handle) {
    jlong cells = 0;
    for (const DiveRecord &record : preparedOf(handle).download->dives) {
        cells += presentCellsOf(record.profile);
    }
    return cells;
}

// The bridge's conversion alone: every prepared record through buildJavaDive into `set`.
JNIEXPORT void JNICALL Java_coralnote_bench_BenchNative_convert(JNIEnv *env, jclass, jlong handle,
                                                                jobject parent, jobject set) {
    HostJava java;
    if (!lookUpHost(env, diveClasses, diveMethods, java)) {
        return;
    }
    try {
        for (const DiveRecord &record : preparedOf(handle).download->dives) {
            buildJavaDive(env, java, record, parent, set);
        }
    } catch (const PendingJavaException &) {
        // the Java exception stays pending for the caller
    } catch (const std::exception &failure) {
        throwRuntimeException(env, failure.what());
    }
}

// The numbers of every detail array: three a gas mix, seven a tank, a cell a kept row of each
// column, five an event, one a field.
JNIEXPORT jlong JNICALL Java_coralnote_bench_BenchNative_detailValues(JNIEnv *, jclass,
                                                                      jlong handle) {
    jlong values = 0;
    for (const DiveRecord &record : preparedOf(handle).download->dives) {
        const DiveDetails &details = record.details;
        const jlong columns =
            static_cast<jlong>(details.tankPressures.size() + details.sampleColumns.size());
        values += 3 * static_cast<jlong>(record.gasMixes.size() + record.unreadGasMixes.size()) +
                  7 * static_cast<jlong>(record.tanks.size() + record.unreadTanks.size()) +
                  columns * keptRowsOf(record.profile) +
                  5 * static_cast<jlong>(details.events.rows.size()) +
                  static_cast<jlong>(details.fields.size());
    }
    return values;
}

// The bridge's hand-over of the details alone: each prepared record's to the Dive at its place.
JNIEXPORT void JNICALL Java_coralnote_bench_BenchNative_handDetails(JNIEnv *env, jclass,
                                                                    jlong handle,
                                                                    jobjectArray dives) {
    HostJava java;
    if (!lookUpHost(env, diveClasses, diveMethods, java)) {
        return;
    }
    lookUpOptionalMethods(env, java);
    try {
        const std::vector<DiveRecord> &records = preparedOf(handle).download->dives;
        for (std::size_t i = 0; i < records.size(); ++i) {
            jobject dive = env->GetObjectArrayElement(dives, static_cast<jsize>(i));
            handDiveDetails(env, java, records[i], dropRowsWithoutDepth(records[i].profile), dive);
            env->DeleteLocalRef(dive);
        }
    } catch (const PendingJavaException &) {
        // the Java exception stays pending for the caller
    } catch (const std::exception &failure) {
        throwRuntimeException(env, failure.what());
    }
}

JNIEXPORT void JNICALL Java_coralnote_bench_BenchNative_initFloor(JNIEnv *env, jclass) {
    const auto global = [&](const char *name) {
        return static_cast<jclass>(env->NewGlobalRef(env->FindClass(name)));
    };
    floorJava.floatClass = global("java/lang/Float");
    floorJava.integerClass = global("java/lang/Integer");
    floorJava.objectClass = global("java/lang/Object");
    floorJava.floatValueOf =
        env->GetStaticMethodID(floorJava.floatClass, "valueOf", "(F)Ljava/lang/Float;");
    floorJava.integerValueOf =
        env->GetStaticMethodID(floorJava.integerClass, "valueOf", "(I)Ljava/lang/Integer;");
}

// The JNI floor for one dive: the five arrays, and for each present cell of a kept row one boxed
// value created and stored, with no check, frame or copy. Answers the arrays so that they stay
// alive as the bridge's would.
JNIEXPORT jobjectArray JNICALL Java_coralnote_bench_BenchNative_floorDive(JNIEnv *env, jclass,
                                                                          jlong handle, jint dive) {
    const DiveProfile &profile = preparedOf(handle).download->dives[dive].profile;
    const auto rows = static_cast<jsize>(keptRowsOf(profile));
    jobjectArray times = env->NewObjectArray(rows, floorJava.floatClass, nullptr);
    jobjectArray depths = env->NewObjectArray(rows, floorJava.floatClass, nullptr);
    jobjectArray pressures = env->NewObjectArray(rows, floorJava.floatClass, nullptr);
    jobjectArray temperatures = env->NewObjectArray(rows, floorJava.floatClass, nullptr);
    jobjectArray events = env->NewObjectArray(rows, floorJava.integerClass, nullptr);
    jsize index = 0;
    forEachKeptRow(profile, [&](std::uint32_t row) {
        boxColumn(env, profile.times, row, times, index);
        boxColumn(env, profile.depths, row, depths, index);
        boxColumn(env, profile.pressures, row, pressures, index);
        boxColumn(env, profile.temperatures, row, temperatures, index);
        if (profile.events[row]) {
            env->SetObjectArrayElement(
                events, index,
                env->CallStaticObjectMethod(floorJava.integerClass, floorJava.integerValueOf,
                                            *profile.events[row]));
        }
        ++index;
    });
    jobjectArray arrays = env->NewObjectArray(5, floorJava.objectClass, nullptr);
    env->SetObjectArrayElement(arrays, 0, times);
    env->SetObjectArrayElement(arrays, 1, depths);
    env->SetObjectArrayElement(arrays, 2, pressures);
    env->SetObjectArrayElement(arrays, 3, temperatures);
    env->SetObjectArrayElement(arrays, 4, events);
    return arrays;
}

// Runs the export through a JNIEnv that counts; `counts` receives the peak of live local
// references and the JNI calls.
JNIEXPORT jobject JNICALL Java_coralnote_bench_BenchNative_loadCounted(JNIEnv *env, jclass,
                                                                       jstring port, jstring vendor,
                                                                       jstring model, jobject set,
                                                                       jlongArray counts) {
    CountingJniEnv counting(env);
    jobject parent = Java_coralnote_main_java_core_DeviceConnector_loadUserDivesFromDevice(
        counting.env(), nullptr, port, vendor, model, set);
    const jlong values[] = {counting.peakLocalReferences(), counting.jniCalls()};
    env->SetLongArrayRegion(counts, 0, 2, values);
    return parent;
}

}  // extern "C"
