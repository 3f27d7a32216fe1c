#include "bridge/java_lookup.h"

#include "bridge/java_throw.h"

namespace divebridge {

void checkStep(JNIEnv *env, const NativeExceptionClass &nativeException, const char *message) {
    if (env->ExceptionCheck()) {
        throwChainedJavaException(env, nativeException.javaClass, nativeException.constructor,
                                  message);
        throw PendingJavaException{};
    }
}

bool findClasses(JNIEnv *env, const ClassRequest requests[], std::size_t count,
                 const jclass &nativeException) {
    // A failed FindClass leaves its error pending, and JNI allows no further lookup until it is
    // cleared: the error of the NativeException lookup is kept aside in case it must be rethrown.
    jthrowable nativeExceptionError = nullptr;
    bool allFound = true;
    for (std::size_t i = 0; i < count; ++i) {
        jclass &found = *requests[i].target;
        found = env->FindClass(requests[i].name);
        if (found == nullptr) {
            allFound = false;
            jthrowable error = env->ExceptionOccurred();
            env->ExceptionClear();
            if (&found == &nativeException) {
                nativeExceptionError = error;
            }
        }
    }
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
    return true;
}

bool findMethods(JNIEnv *env, const MethodRequest requests[], std::size_t count,
                 jclass nativeException) {
    for (std::size_t i = 0; i < count; ++i) {
        const MethodRequest &request = requests[i];
        jmethodID &found = *request.target;
        found = request.isStatic
                    ? env->GetStaticMethodID(request.owner, request.name, request.signature)
                    : env->GetMethodID(request.owner, request.name, request.signature);
        if (found == nullptr) {
            throwJavaException(env, nativeException, "Could not find the necessary Java methods.");
            return false;
        }
    }
    return true;
}

}  // namespace divebridge
