// SPDX-License-Identifier: MIT
#include "counting_jni_env.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace divebridge::bench {
namespace {

[[noreturn]] void unexpectedCall() {
    std::fputs("CountingJniEnv: a JNI function it does not pass on was called\n", stderr);
    std::abort();
}

JNIEnv *realOf(JNIEnv *env) {
    return CountingJniEnv::of(env).forwardCall();
}

template <typename Reference>
Reference counted(JNIEnv *env, Reference reference) {
    CountingJniEnv::of(env).created(reference);
    return reference;
}

jclass findClass(JNIEnv *env, const char *name) {
    return counted(env, realOf(env)->FindClass(name));
}

jmethodID getMethodId(JNIEnv *env, jclass cls, const char *name, const char *signature) {
    return realOf(env)->GetMethodID(cls, name, signature);
}

jmethodID getStaticMethodId(JNIEnv *env, jclass cls, const char *name, const char *signature) {
    return realOf(env)->GetStaticMethodID(cls, name, signature);
}

jobject newObjectV(JNIEnv *env, jclass cls, jmethodID constructor, va_list arguments) {
    return counted(env, realOf(env)->NewObjectV(cls, constructor, arguments));
}

jboolean callBooleanMethodV(JNIEnv *env, jobject self, jmethodID method, va_list arguments) {
    return realOf(env)->CallBooleanMethodV(self, method, arguments);
}

jobject callObjectMethodV(JNIEnv *env, jobject self, jmethodID method, va_list arguments) {
    return counted(env, realOf(env)->CallObjectMethodV(self, method, arguments));
}

void callVoidMethodV(JNIEnv *env, jobject self, jmethodID method, va_list arguments) {
    realOf(env)->CallVoidMethodV(self, method, arguments);
}

jobject callStaticObjectMethodV(JNIEnv *env, jclass cls, jmethodID method, va_list arguments) {
    return counted(env, realOf(env)->CallStaticObjectMethodV(cls, method, arguments));
}

void callStaticVoidMethodV(JNIEnv *env, jclass cls, jmethodID method, va_list arguments) {
    realOf(env)->CallStaticVoidMethodV(cls, method, arguments);
}

jstring newStringUtf(JNIEnv *env, const char *utf) {
    return counted(env, realOf(env)->NewStringUTF(utf));
}

jstring newString(JNIEnv *env, const jchar *chars, jsize length) {
    return counted(env, realOf(env)->NewString(chars, length));
}

const char *getStringUtfChars(JNIEnv *env, jstring string, jboolean *isCopy) {
    return realOf(env)->GetStringUTFChars(string, isCopy);
}

void releaseStringUtfChars(JNIEnv *env, jstring string, const char *chars) {
    realOf(env)->ReleaseStringUTFChars(string, chars);
}

jobjectArray newObjectArray(JNIEnv *env, jsize length, jclass cls, jobject initial) {
    return counted(env, realOf(env)->NewObjectArray(length, cls, initial));
}

jsize getArrayLength(JNIEnv *env, jarray array) {
    return realOf(env)->GetArrayLength(array);
}

jbyteArray newByteArray(JNIEnv *env, jsize length) {
    return counted(env, realOf(env)->NewByteArray(length));
}

void getByteArrayRegion(JNIEnv *env, jbyteArray array, jsize start, jsize length, jbyte *bytes) {
    realOf(env)->GetByteArrayRegion(array, start, length, bytes);
}

void setByteArrayRegion(JNIEnv *env, jbyteArray array, jsize start, jsize length,
                        const jbyte *bytes) {
    realOf(env)->SetByteArrayRegion(array, start, length, bytes);
}

// A primitive array's making and filling, for each element type the bridge hands over.
template <typename Array, Array (JNIEnv::*make)(jsize)>
Array newPrimitiveArray(JNIEnv *env, jsize length) {
    return counted(env, (realOf(env)->*make)(length));
}

template <typename Array, typename Element,
          void (JNIEnv::*fill)(Array, jsize, jsize, const Element *)>
void setPrimitiveArrayRegion(JNIEnv *env, Array array, jsize start, jsize length,
                             const Element *values) {
    (realOf(env)->*fill)(array, start, length, values);
}

void setObjectArrayElement(JNIEnv *env, jobjectArray array, jsize index, jobject value) {
    realOf(env)->SetObjectArrayElement(array, index, value);
}

jboolean exceptionCheck(JNIEnv *env) {
    return realOf(env)->ExceptionCheck();
}

jthrowable exceptionOccurred(JNIEnv *env) {
    return counted(env, realOf(env)->ExceptionOccurred());
}

void exceptionClear(JNIEnv *env) {
    realOf(env)->ExceptionClear();
}

jint throwObject(JNIEnv *env, jthrowable throwable) {
    return realOf(env)->Throw(throwable);
}

jint throwNew(JNIEnv *env, jclass cls, const char *message) {
    return realOf(env)->ThrowNew(cls, message);
}

jint pushLocalFrame(JNIEnv *env, jint capacity) {
    const jint result = realOf(env)->PushLocalFrame(capacity);
    if (result == JNI_OK) {
        CountingJniEnv::of(env).pushFrame();
    }
    return result;
}

jobject popLocalFrame(JNIEnv *env, jobject result) {
    jobject kept = realOf(env)->PopLocalFrame(result);
    CountingJniEnv::of(env).popFrame(kept);
    return kept;
}

void deleteLocalRef(JNIEnv *env, jobject reference) {
    realOf(env)->DeleteLocalRef(reference);
    CountingJniEnv::of(env).deleted(reference);
}

jint ensureLocalCapacity(JNIEnv *env, jint capacity) {
    return realOf(env)->EnsureLocalCapacity(capacity);
}

}  // namespace

CountingJniEnv::CountingJniEnv(JNIEnv *real) : realEnv(real) {
    // Every slot traps first, so that a function nobody passes on fails loudly.
    auto **slots = reinterpret_cast<void **>(&table);
    for (std::size_t slot = 0; slot < sizeof table / sizeof(void *); ++slot) {
        slots[slot] = reinterpret_cast<void *>(&unexpectedCall);
    }
    table.FindClass = findClass;
    table.GetMethodID = getMethodId;
    table.GetStaticMethodID = getStaticMethodId;
    table.NewObjectV = newObjectV;
    table.CallBooleanMethodV = callBooleanMethodV;
    table.CallObjectMethodV = callObjectMethodV;
    table.CallVoidMethodV = callVoidMethodV;
    table.CallStaticObjectMethodV = callStaticObjectMethodV;
    table.CallStaticVoidMethodV = callStaticVoidMethodV;
    table.NewStringUTF = newStringUtf;
    table.NewString = newString;
    table.GetStringUTFChars = getStringUtfChars;
    table.ReleaseStringUTFChars = releaseStringUtfChars;
    table.NewObjectArray = newObjectArray;
    table.SetObjectArrayElement = setObjectArrayElement;
    table.GetArrayLength = getArrayLength;
    table.NewByteArray = newByteArray;
    table.GetByteArrayRegion = getByteArrayRegion;
    table.SetByteArrayRegion = setByteArrayRegion;
    table.NewIntArray = newPrimitiveArray<jintArray, &JNIEnv::NewIntArray>;
    table.SetIntArrayRegion = setPrimitiveArrayRegion<jintArray, jint, &JNIEnv::SetIntArrayRegion>;
    table.NewFloatArray = newPrimitiveArray<jfloatArray, &JNIEnv::NewFloatArray>;
    table.SetFloatArrayRegion =
        setPrimitiveArrayRegion<jfloatArray, jfloat, &JNIEnv::SetFloatArrayRegion>;
    table.NewDoubleArray = newPrimitiveArray<jdoubleArray, &JNIEnv::NewDoubleArray>;
    table.SetDoubleArrayRegion =
        setPrimitiveArrayRegion<jdoubleArray, jdouble, &JNIEnv::SetDoubleArrayRegion>;
    table.ExceptionCheck = exceptionCheck;
    table.ExceptionOccurred = exceptionOccurred;
    table.ExceptionClear = exceptionClear;
    table.Throw = throwObject;
    table.ThrowNew = throwNew;
    table.PushLocalFrame = pushLocalFrame;
    table.PopLocalFrame = popLocalFrame;
    table.DeleteLocalRef = deleteLocalRef;
    table.EnsureLocalCapacity = ensureLocalCapacity;
    box.env.functions = &table;
    box.owner = this;
}

CountingJniEnv &CountingJniEnv::of(JNIEnv *env) {
    return *reinterpret_cast<Box *>(env)->owner;
}

void CountingJniEnv::created(jobject reference) {
    if (reference == nullptr) {
        return;
    }
    ++frames.back();
    ++live;
    peak = live > peak ? live : peak;
}

void CountingJniEnv::deleted(jobject reference) {
    if (reference != nullptr && frames.back() > 0) {
        --frames.back();
        --live;
    }
}

void CountingJniEnv::pushFrame() {
    frames.push_back(0);
}

void CountingJniEnv::popFrame(jobject result) {
    if (frames.size() > 1) {
        live -= frames.back();
        frames.pop_back();
    }
    created(result);
}

}  // namespace divebridge::bench
