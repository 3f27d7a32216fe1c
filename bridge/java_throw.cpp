// SPDX-License-Identifier: MIT
#include "bridge/java_throw.h"

namespace divebridge {

jobject throwJavaException(JNIEnv *env, jclass javaClass, const char *message) {
    if (javaClass == nullptr) {
        return nullptr;
    }
    env->ExceptionClear();
    env->ThrowNew(javaClass, message);
    return nullptr;
}

jthrowable newJavaThrowable(JNIEnv *env, jclass javaClass, jmethodID constructor,
                            const char *message, jthrowable cause) {
    if (javaClass == nullptr || constructor == nullptr) {
        return nullptr;
    }
    jstring text = env->NewStringUTF(message);
    if (env->ExceptionCheck()) {
        return nullptr;
    }
    jobject throwable = env->NewObject(javaClass, constructor, text, cause);
    if (env->ExceptionCheck()) {
        return nullptr;
    }
    return static_cast<jthrowable>(throwable);
}

jobject throwChainedJavaException(JNIEnv *env, jclass javaClass, jmethodID constructor,
                                  const char *message) {
    if (javaClass == nullptr) {
        return nullptr;
    }
    jthrowable cause = env->ExceptionOccurred();
    env->ExceptionClear();
    jthrowable chained = newJavaThrowable(env, javaClass, constructor, message, cause);
    if (chained != nullptr) {
        env->Throw(chained);
        return nullptr;
    }
    env->ExceptionClear();
    env->ThrowNew(javaClass, message);
    return nullptr;
}

void checkStep(JNIEnv *env, const NativeExceptionClass &nativeException, const char *message) {
    if (env->ExceptionCheck()) {
        throwChainedJavaException(env, nativeException.javaClass, nativeException.constructor,
                                  message);
        throw PendingJavaException{};
    }
}

}  // namespace divebridge
