// SPDX-License-Identifier: MIT
// The one way the bridge calls a method the host may leave out (a row the host table marks
// optional): never while a Java exception is pending, in a local frame of its own, its arguments
// and result converted between native and Java values, and what it throws raised as a
// NativeException with the row's failure text, chained to it.
#pragma once

#include "base/bytes.h"
#include "bridge/host_contract.h"
#include "bridge/java_scoped.h"
#include "bridge/java_throw.h"
#include "bridge/java_values.h"

#include <jni.h>

#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

namespace divebridge {
namespace host_call {

inline jint toJava(JNIEnv *, int value) {
    return static_cast<jint>(value);
}
inline jlong toJava(JNIEnv *, unsigned int value) {
    return static_cast<jlong>(value);
}
inline jstring toJava(JNIEnv *, jstring value) {
    return value;
}
inline jstring toJava(JNIEnv *env, const std::string &text) {
    return newJavaString(env, text);
}
inline jstring toJava(JNIEnv *env, const char *text) {
    return newJavaString(env, text);
}
inline jbyteArray toJava(JNIEnv *env, const Bytes &bytes) {
    return newJavaBytes(env, bytes);
}
inline jobjectArray toJava(JNIEnv *env, const std::vector<std::string> &texts) {
    return newJavaStrings(env, texts);
}
inline jfloatArray toJava(JNIEnv *env, const std::vector<float> &values) {
    return newJavaFloats(env, values);
}
inline jintArray toJava(JNIEnv *env, const std::vector<std::int32_t> &values) {
    return newJavaInts(env, values);
}
inline jdoubleArray toJava(JNIEnv *env, const std::vector<double> &values) {
    return newJavaDoubles(env, values);
}
inline jobjectArray toJava(JNIEnv *env, const std::vector<std::vector<float>> &columns) {
    return newJavaFloatColumns(env, columns);
}

// One argument made in the call's frame; one that cannot be made ends the call.
template <typename Native>
auto argument(JNIEnv *env, const NativeExceptionClass &nativeException, const char *failed,
              const Native &value) {
    const auto made = toJava(env, value);
    checkStep(env, nativeException, failed);
    return made;
}

// The answer of a method that returns an object, as the caller takes it.
template <typename Result>
Result resultOf(JNIEnv *env, jobject answer, const NativeExceptionClass &nativeException,
                const char *failed);

template <>
inline Bytes resultOf<Bytes>(JNIEnv *env, jobject answer, const NativeExceptionClass &,
                             const char *) {
    return bytesOf(env, static_cast<jbyteArray>(answer));
}

template <>
inline std::optional<std::string> resultOf<std::optional<std::string>>(
    JNIEnv *env, jobject answer, const NativeExceptionClass &nativeException, const char *failed) {
    if (answer == nullptr) {
        return std::nullopt;
    }
    const ScopedUtfChars text(env, static_cast<jstring>(answer));
    checkStep(env, nativeException, failed);
    return std::string(text.c_str());
}

// Calls `method` of `object`, or the static one of its class when `object` is null, as
// callHostMethod and callHostMethodOf describe.
template <typename Result, typename... Arguments>
Result call(JNIEnv *env, const HostJava &java, jobject object, HostMethod method,
            const Arguments &...arguments) {
    if (java[method] == nullptr) {
        return Result();
    }
    if (env->ExceptionCheck()) {
        throw PendingJavaException{};
    }
    const char *const failed = failureTextOf(method);
    const NativeExceptionClass nativeException = java.nativeException();
    // The arguments made here (an array of texts or of columns takes its class and one element at
    // a time too) and the answer.
    const ScopedLocalFrame frame(env, static_cast<jint>(3 * sizeof...(Arguments) + 1));
    checkStep(env, nativeException, failed);
    // Braces make the arguments in their order.
    const std::tuple javaArguments{argument(env, nativeException, failed, arguments)...};
    const jclass owner = java[ownerOf(method)];
    const jmethodID id = java[method];
    if constexpr (std::is_void_v<Result>) {
        std::apply(
            [&](auto... values) {
                if (object != nullptr) {
                    env->CallVoidMethod(object, id, values...);
                } else {
                    env->CallStaticVoidMethod(owner, id, values...);
                }
            },
            javaArguments);
        checkStep(env, nativeException, failed);
    } else {
        const jobject answer = std::apply(
            [&](auto... values) {
                return object != nullptr ? env->CallObjectMethod(object, id, values...)
                                         : env->CallStaticObjectMethod(owner, id, values...);
            },
            javaArguments);
        checkStep(env, nativeException, failed);
        return resultOf<Result>(env, answer, nativeException, failed);
    }
}

}  // namespace host_call

// Calls the host's optional static `method` with `arguments` (int, unsigned int, texts, bytes,
// Java strings the caller holds, or arrays of floats, ints, doubles or float columns) and answers
// its result as `Result`: void, Bytes (empty for null) or an optional text; a host that does not
// declare the method gets no call, and the answer is the neutral one (nothing, no bytes, no text).
// Raises PendingJavaException, after a NativeException with the method's failure text, chained to
// what was thrown, when the host or a conversion fails; raises it at once when a Java exception is
// pending already.
template <typename Result, typename... Arguments>
Result callHostMethod(JNIEnv *env, const HostJava &java, HostMethod method,
                      const Arguments &...arguments) {
    return host_call::call<Result>(env, java, nullptr, method, arguments...);
}

// The same for the optional instance `method` of `object`.
template <typename Result, typename... Arguments>
Result callHostMethodOf(JNIEnv *env, const HostJava &java, jobject object, HostMethod method,
                        const Arguments &...arguments) {
    return host_call::call<Result>(env, java, object, method, arguments...);
}

}  // namespace divebridge
