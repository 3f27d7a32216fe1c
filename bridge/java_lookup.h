// Looking up the Java classes and methods an export needs, afresh on every call.
#pragma once

#include <jni.h>

#include <cstddef>

namespace divebridge {

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

// Looks up every class in order before examining any result. Answers false, with one Java
// exception pending, when one is missing: the lookup error itself when NativeException (at
// `nativeExceptionIndex`) is missing, otherwise NativeException "Could not find the necessary Java
// classes.".
bool findClasses(JNIEnv *env, const char *const names[], jclass classes[], std::size_t count,
                 std::size_t nativeExceptionIndex);

struct MethodRequest {
    jclass owner;
    const char *name;
    const char *signature;
    bool isStatic;
};

// Looks up the methods in order. Answers false, with NativeException "Could not find the necessary
// Java methods." pending, when one is missing.
bool findMethods(JNIEnv *env, const MethodRequest requests[], jmethodID methods[],
                 std::size_t count, jclass nativeException);

}  // namespace divebridge
