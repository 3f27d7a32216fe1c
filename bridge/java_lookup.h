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

// A class to look up and the field that receives it.
struct ClassRequest {
    const char *name;
    jclass *target;
};

// Looks up every class in order before examining any result. Answers false, with one Java
// exception pending, when one is missing: the lookup error itself when `nativeException` (one of
// the targets) is missing, otherwise NativeException "Could not find the necessary Java classes.".
bool findClasses(JNIEnv *env, const ClassRequest requests[], std::size_t count,
                 const jclass &nativeException);

template <std::size_t N>
bool findClasses(JNIEnv *env, const ClassRequest (&requests)[N], const jclass &nativeException) {
    return findClasses(env, requests, N, nativeException);
}

// A constructor or method to look up and the field that receives it.
struct MethodRequest {
    jclass owner;
    const char *name;
    const char *signature;
    bool isStatic;
    jmethodID *target;
};

// Looks up the methods in order. Answers false, with NativeException "Could not find the necessary
// Java methods." pending, when one is missing.
bool findMethods(JNIEnv *env, const MethodRequest requests[], std::size_t count,
                 jclass nativeException);

template <std::size_t N>
bool findMethods(JNIEnv *env, const MethodRequest (&requests)[N], jclass nativeException) {
    return findMethods(env, requests, N, nativeException);
}

}  // namespace divebridge
