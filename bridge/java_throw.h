// SPDX-License-Identifier: MIT
// Raising Java exceptions from native code.
#pragma once

#include <jni.h>

namespace divebridge {

// Clears any pending Java exception and throws a new `javaClass` with `message`; nothing when
// `javaClass` is null. Always returns null so that an export can return its result.
jobject throwJavaException(JNIEnv *env, jclass javaClass, const char *message);

// Builds a `javaClass` through its (String, Throwable) constructor; null when that fails, with the
// failure left pending.
jthrowable newJavaThrowable(JNIEnv *env, jclass javaClass, jmethodID constructor,
                            const char *message, jthrowable cause);

// Throws a `javaClass` whose cause is the Java exception pending now; falls back to ThrowNew with
// the message alone when the chained exception cannot be built. Always returns null.
jobject throwChainedJavaException(JNIEnv *env, jclass javaClass, jmethodID constructor,
                                  const char *message);

// The NativeException class and its (String, Throwable) constructor: what every failed step throws.
struct NativeExceptionClass {
    jclass javaClass;
    jmethodID constructor;
};

// Thrown by a failed step after its Java exception has been raised, so that unwinding releases the
// native objects; the export then returns null and leaves the Java exception pending.
struct PendingJavaException {};

// Ends a step: when a Java exception is pending, throws the chained NativeException with `message`
// and raises PendingJavaException.
void checkStep(JNIEnv *env, const NativeExceptionClass &nativeException, const char *message);

}  // namespace divebridge
