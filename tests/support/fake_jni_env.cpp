// SPDX-License-Identifier: MIT
#include "fake_jni_env.h"

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

namespace divebridge::fake {
namespace {

// The slots of JNINativeInterface_ in table order, as jni.h declares them; the static_asserts in
// the constructor keep this list in step with the header.
// clang-format off
constexpr std::string_view kSlotNames[] = {
    "reserved0", "reserved1", "reserved2", "reserved3", "GetVersion", "DefineClass", "FindClass",
    "FromReflectedMethod", "FromReflectedField", "ToReflectedMethod", "GetSuperclass",
    "IsAssignableFrom", "ToReflectedField", "Throw", "ThrowNew", "ExceptionOccurred",
    "ExceptionDescribe", "ExceptionClear", "FatalError", "PushLocalFrame", "PopLocalFrame",
    "NewGlobalRef", "DeleteGlobalRef", "DeleteLocalRef", "IsSameObject", "NewLocalRef",
    "EnsureLocalCapacity", "AllocObject", "NewObject", "NewObjectV", "NewObjectA", "GetObjectClass",
    "IsInstanceOf", "GetMethodID", "CallObjectMethod", "CallObjectMethodV", "CallObjectMethodA",
    "CallBooleanMethod", "CallBooleanMethodV", "CallBooleanMethodA", "CallByteMethod",
    "CallByteMethodV", "CallByteMethodA", "CallCharMethod", "CallCharMethodV", "CallCharMethodA",
    "CallShortMethod", "CallShortMethodV", "CallShortMethodA", "CallIntMethod", "CallIntMethodV",
    "CallIntMethodA", "CallLongMethod", "CallLongMethodV", "CallLongMethodA", "CallFloatMethod",
    "CallFloatMethodV", "CallFloatMethodA", "CallDoubleMethod", "CallDoubleMethodV",
    "CallDoubleMethodA", "CallVoidMethod", "CallVoidMethodV", "CallVoidMethodA",
    "CallNonvirtualObjectMethod", "CallNonvirtualObjectMethodV", "CallNonvirtualObjectMethodA",
    "CallNonvirtualBooleanMethod", "CallNonvirtualBooleanMethodV", "CallNonvirtualBooleanMethodA",
    "CallNonvirtualByteMethod", "CallNonvirtualByteMethodV", "CallNonvirtualByteMethodA",
    "CallNonvirtualCharMethod", "CallNonvirtualCharMethodV", "CallNonvirtualCharMethodA",
    "CallNonvirtualShortMethod", "CallNonvirtualShortMethodV", "CallNonvirtualShortMethodA",
    "CallNonvirtualIntMethod", "CallNonvirtualIntMethodV", "CallNonvirtualIntMethodA",
    "CallNonvirtualLongMethod", "CallNonvirtualLongMethodV", "CallNonvirtualLongMethodA",
    "CallNonvirtualFloatMethod", "CallNonvirtualFloatMethodV", "CallNonvirtualFloatMethodA",
    "CallNonvirtualDoubleMethod", "CallNonvirtualDoubleMethodV", "CallNonvirtualDoubleMethodA",
    "CallNonvirtualVoidMethod", "CallNonvirtualVoidMethodV", "CallNonvirtualVoidMethodA",
    "GetFieldID", "GetObjectField", "GetBooleanField", "GetByteField", "GetCharField",
    "GetShortField", "GetIntField", "GetLongField", "GetFloatField", "GetDoubleField",
    "SetObjectField", "SetBooleanField", "SetByteField", "SetCharField", "SetShortField",
    "SetIntField", "SetLongField", "SetFloatField", "SetDoubleField", "GetStaticMethodID",
    "CallStaticObjectMethod", "CallStaticObjectMethodV", "CallStaticObjectMethodA",
    "CallStaticBooleanMethod", "CallStaticBooleanMethodV", "CallStaticBooleanMethodA",
    "CallStaticByteMethod", "CallStaticByteMethodV", "CallStaticByteMethodA",
    "CallStaticCharMethod", "CallStaticCharMethodV", "CallStaticCharMethodA",
    "CallStaticShortMethod", "CallStaticShortMethodV", "CallStaticShortMethodA",
    "CallStaticIntMethod", "CallStaticIntMethodV", "CallStaticIntMethodA", "CallStaticLongMethod",
    "CallStaticLongMethodV", "CallStaticLongMethodA", "CallStaticFloatMethod",
    "CallStaticFloatMethodV", "CallStaticFloatMethodA", "CallStaticDoubleMethod",
    "CallStaticDoubleMethodV", "CallStaticDoubleMethodA", "CallStaticVoidMethod",
    "CallStaticVoidMethodV", "CallStaticVoidMethodA", "GetStaticFieldID", "GetStaticObjectField",
    "GetStaticBooleanField", "GetStaticByteField", "GetStaticCharField", "GetStaticShortField",
    "GetStaticIntField", "GetStaticLongField", "GetStaticFloatField", "GetStaticDoubleField",
    "SetStaticObjectField", "SetStaticBooleanField", "SetStaticByteField", "SetStaticCharField",
    "SetStaticShortField", "SetStaticIntField", "SetStaticLongField", "SetStaticFloatField",
    "SetStaticDoubleField", "NewString", "GetStringLength", "GetStringChars", "ReleaseStringChars",
    "NewStringUTF", "GetStringUTFLength", "GetStringUTFChars", "ReleaseStringUTFChars",
    "GetArrayLength", "NewObjectArray", "GetObjectArrayElement", "SetObjectArrayElement",
    "NewBooleanArray", "NewByteArray", "NewCharArray", "NewShortArray", "NewIntArray",
    "NewLongArray", "NewFloatArray", "NewDoubleArray", "GetBooleanArrayElements",
    "GetByteArrayElements", "GetCharArrayElements", "GetShortArrayElements", "GetIntArrayElements",
    "GetLongArrayElements", "GetFloatArrayElements", "GetDoubleArrayElements",
    "ReleaseBooleanArrayElements", "ReleaseByteArrayElements", "ReleaseCharArrayElements",
    "ReleaseShortArrayElements", "ReleaseIntArrayElements", "ReleaseLongArrayElements",
    "ReleaseFloatArrayElements", "ReleaseDoubleArrayElements", "GetBooleanArrayRegion",
    "GetByteArrayRegion", "GetCharArrayRegion", "GetShortArrayRegion", "GetIntArrayRegion",
    "GetLongArrayRegion", "GetFloatArrayRegion", "GetDoubleArrayRegion", "SetBooleanArrayRegion",
    "SetByteArrayRegion", "SetCharArrayRegion", "SetShortArrayRegion", "SetIntArrayRegion",
    "SetLongArrayRegion", "SetFloatArrayRegion", "SetDoubleArrayRegion", "RegisterNatives",
    "UnregisterNatives", "MonitorEnter", "MonitorExit", "GetJavaVM", "GetStringRegion",
    "GetStringUTFRegion", "GetPrimitiveArrayCritical", "ReleasePrimitiveArrayCritical",
    "GetStringCritical", "ReleaseStringCritical", "NewWeakGlobalRef", "DeleteWeakGlobalRef",
    "ExceptionCheck", "NewDirectByteBuffer", "GetDirectBufferAddress", "GetDirectBufferCapacity",
    "GetObjectRefType", "GetModule"
};
// clang-format on

static_assert(std::size(kSlotNames) * sizeof(void *) == sizeof(JNINativeInterface_),
              "the slot names do not match jni.h");

constexpr std::size_t slotIndex(std::string_view name) {
    for (std::size_t slot = 0; slot < std::size(kSlotNames); ++slot) {
        if (kSlotNames[slot] == name) {
            return slot;
        }
    }
    return std::size(kSlotNames);
}

[[noreturn]] void die(const std::string &message) {
    std::fprintf(stderr, "FakeJni: %s\n", message.c_str());
    std::fflush(stderr);
    std::abort();
}

// Every slot starts as one of these, so that a function the fake does not implement stops the test
// with its name instead of crashing somewhere else.
template <std::size_t Slot>
void JNICALL unimplemented() {
    die("the code under test called JNI function " + std::string(kSlotNames[Slot]) +
        ", which the fake does not implement");
}

template <std::size_t... Slots>
void fillWithUnimplemented(JNINativeInterface_ &table, std::index_sequence<Slots...>) {
    using Stub = void(JNICALL *)();
    static_assert(sizeof(Stub) == sizeof(void *));
    // The stubs take no arguments whatever the slot's type: calling one only ever aborts.
    const Stub stubs[] = {&unimplemented<Slots>...};
    static_assert(sizeof stubs == sizeof table);
    std::memcpy(static_cast<void *>(&table), stubs, sizeof stubs);
}

// Functions that JNI allows while an exception is pending; Throw and ThrowNew are counted apart.
bool allowedWhilePending(const std::string &function) {
    static const char *const allowed[] = {
        "ExceptionCheck", "ExceptionOccurred", "ExceptionClear",        "ExceptionDescribe",
        "DeleteLocalRef", "PushLocalFrame",    "PopLocalFrame",         "EnsureLocalCapacity",
        "Throw",          "ThrowNew",          "ReleaseStringUTFChars",
    };
    return std::any_of(std::begin(allowed), std::end(allowed),
                       [&](const char *name) { return function == name; });
}

// The first character of each parameter type of a method signature, arrays and classes as 'L'.
std::vector<char> parameterKinds(const std::string &signature) {
    std::vector<char> kinds;
    std::size_t at = 1;
    while (at < signature.size() && signature[at] != ')') {
        const std::size_t start = at;
        while (signature[at] == '[') {
            ++at;
        }
        if (signature[at] == 'L') {
            at = signature.find(';', at);
            if (at == std::string::npos) {
                die("malformed method signature " + signature);
            }
        }
        kinds.push_back(at > start ? 'L' : signature[at]);
        ++at;
    }
    return kinds;
}

// Reads the arguments of a variadic call: the C promotions turn floats into doubles and the
// small integer types into int.
std::vector<JavaValue> decodeArguments(const std::string &signature, va_list args) {
    std::vector<JavaValue> values;
    for (char kind : parameterKinds(signature)) {
        switch (kind) {
            case 'J':
                values.emplace_back(va_arg(args, jlong));
                break;
            case 'F':
                values.emplace_back(static_cast<jfloat>(va_arg(args, double)));
                break;
            case 'D':
                values.emplace_back(va_arg(args, jdouble));
                break;
            case 'L':
                values.emplace_back(va_arg(args, jobject));
                break;
            default:
                values.emplace_back(static_cast<jint>(va_arg(args, int)));
                break;
        }
    }
    return values;
}

std::vector<JavaValue> decodeArguments(const std::string &signature, const jvalue *args) {
    std::vector<JavaValue> values;
    std::size_t index = 0;
    for (char kind : parameterKinds(signature)) {
        const jvalue &arg = args[index++];
        switch (kind) {
            case 'Z':
                values.emplace_back(static_cast<jint>(arg.z));
                break;
            case 'B':
                values.emplace_back(static_cast<jint>(arg.b));
                break;
            case 'C':
                values.emplace_back(static_cast<jint>(arg.c));
                break;
            case 'S':
                values.emplace_back(static_cast<jint>(arg.s));
                break;
            case 'I':
                values.emplace_back(arg.i);
                break;
            case 'J':
                values.emplace_back(arg.j);
                break;
            case 'F':
                values.emplace_back(arg.f);
                break;
            case 'D':
                values.emplace_back(arg.d);
                break;
            default:
                values.emplace_back(arg.l);
                break;
        }
    }
    return values;
}

jobject asObject(const JavaValue &value) {
    const jobject *object = std::get_if<jobject>(&value);
    return object != nullptr ? *object : nullptr;
}

jint asInt(const JavaValue &value) {
    const jint *number = std::get_if<jint>(&value);
    return number != nullptr ? *number : 0;
}

std::string returnType(const std::string &signature) {
    return signature.substr(signature.find(')') + 1);
}

const char kStringParameter[] = "(Ljava/lang/String;";
const char kCauseParameter[] = "Ljava/lang/Throwable;";

}  // namespace

CallMatch callOf(std::string function) {
    return
        [function = std::move(function)](const JniCall &call) { return call.function == function; };
}

CallMatch callOf(std::string function, std::string target) {
    return [function = std::move(function), target = std::move(target)](const JniCall &call) {
        return call.function == function && call.target == target;
    };
}

// Each thunk fills one slot of the table and forwards to the fake that owns the JNIEnv.
struct FakeJni::Thunks {
    static jclass JNICALL FindClass(JNIEnv *env, const char *name) {
        return of(env).findClass(name);
    }
    static jmethodID JNICALL GetMethodID(JNIEnv *env, jclass cls, const char *name,
                                         const char *signature) {
        return of(env).getMethodId(cls, name, signature, false);
    }
    static jmethodID JNICALL GetStaticMethodID(JNIEnv *env, jclass cls, const char *name,
                                               const char *signature) {
        return of(env).getMethodId(cls, name, signature, true);
    }
    static jobject JNICALL NewObject(JNIEnv *env, jclass cls, jmethodID id, ...) {
        va_list args;
        va_start(args, id);
        jobject object = NewObjectV(env, cls, id, args);
        va_end(args);
        return object;
    }
    static jobject JNICALL NewObjectV(JNIEnv *env, jclass cls, jmethodID id, va_list args) {
        FakeJni &fake = of(env);
        const std::string &signature = fake.resolveMethod(id, "NewObject").signature;
        return fake.constructObject(cls, id, decodeArguments(signature, args));
    }
    static jobject JNICALL NewObjectA(JNIEnv *env, jclass cls, jmethodID id, const jvalue *args) {
        FakeJni &fake = of(env);
        const std::string &signature = fake.resolveMethod(id, "NewObject").signature;
        return fake.constructObject(cls, id, decodeArguments(signature, args));
    }
    static jboolean JNICALL CallBooleanMethodV(JNIEnv *env, jobject self, jmethodID id,
                                               va_list args) {
        FakeJni &fake = of(env);
        const std::string &signature = fake.resolveMethod(id, "CallBooleanMethod").signature;
        JavaValue result =
            fake.callMethod("CallBooleanMethod", self, id, decodeArguments(signature, args));
        return asInt(result) != 0 ? JNI_TRUE : JNI_FALSE;
    }
    static void JNICALL CallVoidMethodV(JNIEnv *env, jobject self, jmethodID id, va_list args) {
        FakeJni &fake = of(env);
        const std::string &signature = fake.resolveMethod(id, "CallVoidMethod").signature;
        fake.callMethod("CallVoidMethod", self, id, decodeArguments(signature, args));
    }
    static jobject JNICALL CallStaticObjectMethodV(JNIEnv *env, jclass cls, jmethodID id,
                                                   va_list args) {
        FakeJni &fake = of(env);
        fake.resolve(cls, "CallStaticObjectMethod");
        const std::string &signature = fake.resolveMethod(id, "CallStaticObjectMethod").signature;
        return asObject(fake.callMethod("CallStaticObjectMethod", nullptr, id,
                                        decodeArguments(signature, args)));
    }
    static void JNICALL CallStaticVoidMethodV(JNIEnv *env, jclass cls, jmethodID id, va_list args) {
        FakeJni &fake = of(env);
        fake.resolve(cls, "CallStaticVoidMethod");
        const std::string &signature = fake.resolveMethod(id, "CallStaticVoidMethod").signature;
        fake.callMethod("CallStaticVoidMethod", nullptr, id, decodeArguments(signature, args));
    }
    static jstring JNICALL NewStringUTF(JNIEnv *env, const char *utf) {
        return of(env).newStringUtf(utf);
    }
    static const char *JNICALL GetStringUTFChars(JNIEnv *env, jstring string, jboolean *isCopy) {
        return of(env).getStringUtfChars(string, isCopy);
    }
    static void JNICALL ReleaseStringUTFChars(JNIEnv *env, jstring string, const char *chars) {
        of(env).releaseStringUtfChars(string, chars);
    }
    static jsize JNICALL GetStringUTFLength(JNIEnv *env, jstring string) {
        return of(env).getStringUtfLength(string);
    }
    static jobjectArray JNICALL NewObjectArray(JNIEnv *env, jsize length, jclass elementClass,
                                               jobject initial) {
        return of(env).newObjectArray(length, elementClass, initial);
    }
    static void JNICALL SetObjectArrayElement(JNIEnv *env, jobjectArray array, jsize index,
                                              jobject value) {
        of(env).setObjectArrayElement(array, index, value);
    }
    static jsize JNICALL GetArrayLength(JNIEnv *env, jarray array) {
        return of(env).getArrayLength(array);
    }
    static jstring JNICALL NewString(JNIEnv *env, const jchar *utf16, jsize length) {
        return of(env).newString(utf16, length);
    }
    static jbyteArray JNICALL NewByteArray(JNIEnv *env, jsize length) {
        return of(env).newByteArray(length);
    }
    static void JNICALL GetByteArrayRegion(JNIEnv *env, jbyteArray array, jsize start, jsize length,
                                           jbyte *into) {
        of(env).byteArrayRegion(array, start, length, into, nullptr);
    }
    static void JNICALL SetByteArrayRegion(JNIEnv *env, jbyteArray array, jsize start, jsize length,
                                           const jbyte *from) {
        of(env).byteArrayRegion(array, start, length, nullptr, from);
    }
    static jfloatArray JNICALL NewFloatArray(JNIEnv *env, jsize length) {
        return static_cast<jfloatArray>(of(env).newNumberArray("NewFloatArray", "F", length));
    }
    static jintArray JNICALL NewIntArray(JNIEnv *env, jsize length) {
        return static_cast<jintArray>(of(env).newNumberArray("NewIntArray", "I", length));
    }
    static jdoubleArray JNICALL NewDoubleArray(JNIEnv *env, jsize length) {
        return static_cast<jdoubleArray>(of(env).newNumberArray("NewDoubleArray", "D", length));
    }
    static void JNICALL SetFloatArrayRegion(JNIEnv *env, jfloatArray array, jsize start,
                                            jsize length, const jfloat *from) {
        of(env).setNumberRegion("SetFloatArrayRegion", array, start, length, from);
    }
    static void JNICALL SetIntArrayRegion(JNIEnv *env, jintArray array, jsize start, jsize length,
                                          const jint *from) {
        of(env).setNumberRegion("SetIntArrayRegion", array, start, length, from);
    }
    static void JNICALL SetDoubleArrayRegion(JNIEnv *env, jdoubleArray array, jsize start,
                                             jsize length, const jdouble *from) {
        of(env).setNumberRegion("SetDoubleArrayRegion", array, start, length, from);
    }
    static jboolean JNICALL ExceptionCheck(JNIEnv *env) { return of(env).exceptionCheck(); }
    static jthrowable JNICALL ExceptionOccurred(JNIEnv *env) { return of(env).exceptionOccurred(); }
    static void JNICALL ExceptionClear(JNIEnv *env) { of(env).exceptionClear(); }
    static jint JNICALL Throw(JNIEnv *env, jthrowable throwable) {
        return of(env).throwObject(throwable);
    }
    static jint JNICALL ThrowNew(JNIEnv *env, jclass cls, const char *message) {
        return of(env).throwNew(cls, message);
    }
    static void JNICALL DeleteLocalRef(JNIEnv *env, jobject handle) {
        of(env).deleteLocalRef(handle);
    }
    static jint JNICALL PushLocalFrame(JNIEnv *env, jint capacity) {
        return of(env).pushLocalFrame(capacity);
    }
    static jobject JNICALL PopLocalFrame(JNIEnv *env, jobject result) {
        return of(env).popLocalFrame(result);
    }
    static jint JNICALL EnsureLocalCapacity(JNIEnv *env, jint capacity) {
        return of(env).ensureLocalCapacity(capacity);
    }
    static jclass JNICALL GetObjectClass(JNIEnv *env, jobject handle) {
        return of(env).getObjectClass(handle);
    }
    static jboolean JNICALL IsInstanceOf(JNIEnv *env, jobject handle, jclass cls) {
        return of(env).isInstanceOf(handle, cls);
    }
};

#define FAKE_JNI_INSTALL(name)                                                              \
    static_assert(slotIndex(#name) * sizeof(void *) == offsetof(JNINativeInterface_, name), \
                  "the slot names do not match jni.h");                                     \
    table_.name = &Thunks::name

FakeJni::FakeJni() {
    fillWithUnimplemented(table_, std::make_index_sequence<std::size(kSlotNames)>());
    FAKE_JNI_INSTALL(FindClass);
    FAKE_JNI_INSTALL(GetMethodID);
    FAKE_JNI_INSTALL(GetStaticMethodID);
    FAKE_JNI_INSTALL(NewObject);
    FAKE_JNI_INSTALL(NewObjectV);
    FAKE_JNI_INSTALL(NewObjectA);
    FAKE_JNI_INSTALL(CallBooleanMethodV);
    FAKE_JNI_INSTALL(CallVoidMethodV);
    FAKE_JNI_INSTALL(CallStaticObjectMethodV);
    FAKE_JNI_INSTALL(CallStaticVoidMethodV);
    FAKE_JNI_INSTALL(NewStringUTF);
    FAKE_JNI_INSTALL(GetStringUTFChars);
    FAKE_JNI_INSTALL(ReleaseStringUTFChars);
    FAKE_JNI_INSTALL(GetStringUTFLength);
    FAKE_JNI_INSTALL(NewObjectArray);
    FAKE_JNI_INSTALL(SetObjectArrayElement);
    FAKE_JNI_INSTALL(GetArrayLength);
    FAKE_JNI_INSTALL(NewString);
    FAKE_JNI_INSTALL(NewByteArray);
    FAKE_JNI_INSTALL(GetByteArrayRegion);
    FAKE_JNI_INSTALL(SetByteArrayRegion);
    FAKE_JNI_INSTALL(NewFloatArray);
    FAKE_JNI_INSTALL(NewIntArray);
    FAKE_JNI_INSTALL(NewDoubleArray);
    FAKE_JNI_INSTALL(SetFloatArrayRegion);
    FAKE_JNI_INSTALL(SetIntArrayRegion);
    FAKE_JNI_INSTALL(SetDoubleArrayRegion);
    FAKE_JNI_INSTALL(ExceptionCheck);
    FAKE_JNI_INSTALL(ExceptionOccurred);
    FAKE_JNI_INSTALL(ExceptionClear);
    FAKE_JNI_INSTALL(Throw);
    FAKE_JNI_INSTALL(ThrowNew);
    FAKE_JNI_INSTALL(DeleteLocalRef);
    FAKE_JNI_INSTALL(PushLocalFrame);
    FAKE_JNI_INSTALL(PopLocalFrame);
    FAKE_JNI_INSTALL(EnsureLocalCapacity);
    FAKE_JNI_INSTALL(GetObjectClass);
    FAKE_JNI_INSTALL(IsInstanceOf);
    box_.env.functions = &table_;
    box_.owner = this;
}

#undef FAKE_JNI_INSTALL

FakeJni::~FakeJni() = default;

FakeJni &FakeJni::of(JNIEnv *env) {
    return *reinterpret_cast<EnvBox *>(env)->owner;
}

// --- Scripting ---

void FakeJni::failWhen(CallMatch match, std::string exceptionClass, int nth) {
    failureRules_.push_back({std::move(match), std::move(exceptionClass), nth, 0});
}

void FakeJni::missClass(const std::string &name) {
    failWhen(callOf("FindClass", name), "java/lang/NoClassDefFoundError");
}

void FakeJni::missMethod(const std::string &className, const std::string &methodName) {
    const std::string target = className + "." + methodName;
    failWhen(
        [target](const JniCall &call) {
            return (call.function == "GetMethodID" || call.function == "GetStaticMethodID") &&
                   call.target == target;
        },
        "java/lang/NoSuchMethodError");
}

void FakeJni::answer(const std::string &className, const std::string &methodName,
                     JavaMethod method) {
    answers_[className + "." + methodName] = std::move(method);
}

void FakeJni::raise(const std::string &exceptionClass, const std::string &message) {
    raiseObject(makeThrowable(exceptionClass, message), "raise");
}

jobject FakeJni::newObject(const std::string &className) {
    FakeObject object;
    object.className = className;
    object.madeBy = "<init>()V";
    return store(std::move(object));
}

jstring FakeJni::newString(const std::string &utf) {
    return static_cast<jstring>(makeString(utf));
}

// --- Inspection ---

const FakeObject &FakeJni::object(jobject handle) const {
    if (known_.count(reinterpret_cast<const FakeObject *>(handle)) == 0) {
        die("object() was given a null or unknown handle");
    }
    return *reinterpret_cast<const FakeObject *>(handle);
}

std::string FakeJni::text(jobject string) const {
    const FakeObject &found = object(string);
    if (found.kind != FakeObject::Kind::String) {
        die("text() was given a " + found.className + ", not a String");
    }
    return found.utf;
}

JavaException FakeJni::describe(jobject throwable) const {
    const FakeObject &found = object(throwable);
    JavaException described{found.className, {}, nullptr};
    const std::size_t parameters = found.madeBy.find('(');
    if (parameters == std::string::npos ||
        found.madeBy.compare(parameters, sizeof kStringParameter - 1, kStringParameter) != 0) {
        return described;
    }
    if (jobject message = asObject(found.arguments.at(0))) {
        described.message = text(message);
    }
    const std::size_t cause = parameters + sizeof kStringParameter - 1;
    if (found.madeBy.compare(cause, sizeof kCauseParameter - 1, kCauseParameter) == 0) {
        described.cause = asObject(found.arguments.at(1));
    }
    return described;
}

std::vector<std::string> FakeJni::causeChain(jobject throwable) const {
    std::vector<std::string> chain;
    for (jobject link = throwable; link != nullptr; link = describe(link).cause) {
        chain.push_back(object(link).className);
    }
    return chain;
}

std::vector<std::string> FakeJni::targetsOf(const std::string &function) const {
    std::vector<std::string> targets;
    for (const JniCall &call : calls_) {
        if (call.function == function) {
            targets.push_back(call.target);
        }
    }
    return targets;
}

int FakeJni::countOf(const std::string &function) const {
    return static_cast<int>(std::count_if(calls_.begin(), calls_.end(), [&](const JniCall &call) {
        return call.function == function;
    }));
}

int FakeJni::liveLocalRefs() const {
    std::size_t live = 0;
    for (const auto &frame : frames_) {
        live += frame.size();
    }
    return static_cast<int>(live);
}

// --- Bookkeeping ---

jobject FakeJni::store(FakeObject object) {
    objects_.push_back(std::move(object));
    known_.insert(&objects_.back());
    return reinterpret_cast<jobject>(&objects_.back());
}

jobject FakeJni::local(jobject handle) {
    if (handle != nullptr) {
        frames_.back().push_back(handle);
        peakLocalRefs_ = std::max(peakLocalRefs_, liveLocalRefs());
    }
    return handle;
}

FakeObject &FakeJni::resolve(jobject handle, const char *function) {
    if (known_.count(reinterpret_cast<const FakeObject *>(handle)) == 0) {
        die(std::string(function) + " was given a null or unknown object handle");
    }
    return *reinterpret_cast<FakeObject *>(handle);
}

const FakeJni::Method &FakeJni::resolveMethod(jmethodID id, const char *function) const {
    if (knownMethods_.count(reinterpret_cast<const Method *>(id)) == 0) {
        die(std::string(function) + " was given a null or unknown method ID");
    }
    return *reinterpret_cast<const Method *>(id);
}

jclass FakeJni::classNamed(const std::string &name) {
    auto found = classes_.find(name);
    if (found != classes_.end()) {
        return found->second;
    }
    FakeObject cls;
    cls.kind = FakeObject::Kind::Class;
    cls.className = name;
    jclass handle = static_cast<jclass>(store(std::move(cls)));
    classes_.emplace(name, handle);
    return handle;
}

jobject FakeJni::makeString(const std::string &utf) {
    FakeObject string;
    string.kind = FakeObject::Kind::String;
    string.className = "java/lang/String";
    string.utf = utf;
    return store(std::move(string));
}

jobject FakeJni::makeThrowable(const std::string &className, const std::string &message) {
    FakeObject throwable;
    throwable.className = className;
    throwable.madeBy = std::string("<init>") + kStringParameter + ")V";
    throwable.arguments.emplace_back(makeString(message));
    return store(std::move(throwable));
}

void FakeJni::record(JniCall call) {
    if (pending_ != nullptr && !allowedWhilePending(call.function)) {
        callsWhilePending_.push_back(call.function);
    }
    calls_.push_back(std::move(call));
}

bool FakeJni::enter(JniCall call) {
    record(call);
    for (FailureRule &rule : failureRules_) {
        if (rule.match(call) && (++rule.seen == rule.nth || rule.nth == 0)) {
            raiseObject(makeThrowable(rule.exceptionClass, call.target), call.function);
            return true;
        }
    }
    return false;
}

void FakeJni::raiseObject(jobject throwable, const std::string &raisedBy) {
    if (pending_ != nullptr && (raisedBy == "Throw" || raisedBy == "ThrowNew")) {
        ++throwsOverPending_;
        fault(raisedBy + " of " + object(throwable).className + " while " +
              object(pending_).className + " was pending");
    }
    pending_ = throwable;
    pendingRaisedBy_ = raisedBy;
    ++pendingCount_;
}

void FakeJni::fault(std::string message) {
    faults_.push_back(std::move(message));
}

// --- The JNI functions ---

jclass FakeJni::findClass(const char *name) {
    if (name == nullptr) {
        die("FindClass was given a null name");
    }
    if (enter({"FindClass", name, {}})) {
        return nullptr;
    }
    return static_cast<jclass>(local(classNamed(name)));
}

jmethodID FakeJni::getMethodId(jclass cls, const char *name, const char *signature, bool isStatic) {
    const char *function = isStatic ? "GetStaticMethodID" : "GetMethodID";
    const FakeObject &owner = resolve(cls, function);
    if (owner.kind != FakeObject::Kind::Class || name == nullptr || signature == nullptr) {
        die(std::string(function) + " was given no class, name or signature");
    }
    if (enter({function, owner.className + "." + name, signature})) {
        return nullptr;
    }
    const std::string key =
        std::string(isStatic ? "static " : "") + owner.className + "." + name + signature;
    auto found = methodIds_.find(key);
    if (found != methodIds_.end()) {
        return found->second;
    }
    methods_.push_back({owner.className, name, signature});
    knownMethods_.insert(&methods_.back());
    jmethodID id = reinterpret_cast<jmethodID>(&methods_.back());
    methodIds_.emplace(key, id);
    return id;
}

jobject FakeJni::constructObject(jclass cls, jmethodID constructor,
                                 std::vector<JavaValue> arguments) {
    const FakeObject &owner = resolve(cls, "NewObject");
    const Method &method = resolveMethod(constructor, "NewObject");
    for (const JavaValue &argument : arguments) {
        if (jobject handle = asObject(argument)) {
            resolve(handle, "NewObject");
        }
    }
    if (method.name != "<init>" || method.className != owner.className) {
        fault("NewObject of " + owner.className + " with " + method.className + "." + method.name);
    }
    if (enter({"NewObject", owner.className + ".<init>", method.signature})) {
        return nullptr;
    }
    FakeObject made;
    made.className = owner.className;
    made.madeBy = "<init>" + method.signature;
    made.arguments = std::move(arguments);
    return local(store(std::move(made)));
}

JavaValue FakeJni::callMethod(const char *function, jobject self, jmethodID id,
                              std::vector<JavaValue> arguments) {
    const Method &method = resolveMethod(id, function);
    if (self != nullptr) {
        resolve(self, function);
    }
    for (const JavaValue &argument : arguments) {
        if (jobject handle = asObject(argument)) {
            resolve(handle, function);
        }
    }
    methodCalls_.push_back({self, method.className, method.name, method.signature, arguments});
    if (enter({function, method.className + "." + method.name, method.signature})) {
        return JavaValue{};
    }
    const int raisedBefore = pendingCount_;
    auto scripted = answers_.find(method.className + "." + method.name);
    JavaValue result = scripted != answers_.end() ? scripted->second(*this, self, arguments)
                                                  : defaultAnswer(self, method, arguments);
    if (pendingCount_ != raisedBefore) {
        return JavaValue{};
    }
    local(asObject(result));
    return result;
}

JavaValue FakeJni::defaultAnswer(jobject self, const Method &method,
                                 const std::vector<JavaValue> &arguments) {
    const std::string type = returnType(method.signature);
    if (type == "Z" && method.name == "add" && self != nullptr && arguments.size() == 1) {
        resolve(self, "add").elements.push_back(asObject(arguments[0]));
        return JavaValue{jint{1}};
    }
    if (type[0] == 'L' || type[0] == '[') {
        FakeObject made;
        if (type[0] == '[') {
            made.kind = FakeObject::Kind::Array;
        }
        made.className = type[0] == 'L' ? type.substr(1, type.size() - 2) : type.substr(1);
        made.madeBy = method.name + method.signature;
        made.arguments = arguments;
        return JavaValue{store(std::move(made))};
    }
    return JavaValue{jint{type == "Z" ? 1 : 0}};
}

jstring FakeJni::newStringUtf(const char *utf) {
    if (utf == nullptr) {
        fault("NewStringUTF was given a null text");
        return nullptr;
    }
    if (enter({"NewStringUTF", utf, {}})) {
        return nullptr;
    }
    return static_cast<jstring>(local(makeString(utf)));
}

const char *FakeJni::getStringUtfChars(jstring string, jboolean *isCopy) {
    resolve(string, "GetStringUTFChars");
    const std::string utf = text(string);
    if (enter({"GetStringUTFChars", utf, {}})) {
        return nullptr;
    }
    auto bytes = std::make_unique<char[]>(utf.size() + 1);
    std::memcpy(bytes.get(), utf.c_str(), utf.size() + 1);
    const char *chars = bytes.get();
    utfChars_.emplace(chars, HeldChars{string, std::move(bytes)});
    ++utfCharsObtained_;
    if (isCopy != nullptr) {
        *isCopy = JNI_TRUE;
    }
    return chars;
}

void FakeJni::releaseStringUtfChars(jstring string, const char *chars) {
    record({"ReleaseStringUTFChars", text(string), {}});
    auto held = utfChars_.find(chars);
    if (held == utfChars_.end()) {
        fault("ReleaseStringUTFChars of chars that are not held (released twice?)");
        return;
    }
    if (held->second.string != string) {
        fault("ReleaseStringUTFChars with another string than the chars came from");
    }
    utfChars_.erase(held);
    ++utfCharsReleased_;
}

jsize FakeJni::getStringUtfLength(jstring string) {
    const std::string utf = text(string);
    record({"GetStringUTFLength", utf, {}});
    return static_cast<jsize>(utf.size());
}

jobjectArray FakeJni::newObjectArray(jsize length, jclass elementClass, jobject initial) {
    const std::string className = resolve(elementClass, "NewObjectArray").className;
    if (enter({"NewObjectArray", className, std::to_string(length)})) {
        return nullptr;
    }
    if (length < 0) {
        raiseObject(makeThrowable("java/lang/NegativeArraySizeException", std::to_string(length)),
                    "NewObjectArray");
        return nullptr;
    }
    FakeObject array;
    array.kind = FakeObject::Kind::Array;
    array.className = className;
    array.elements.assign(static_cast<std::size_t>(length), initial);
    return static_cast<jobjectArray>(local(store(std::move(array))));
}

void FakeJni::setObjectArrayElement(jobjectArray array, jsize index, jobject value) {
    FakeObject &target = resolve(array, "SetObjectArrayElement");
    if (target.kind != FakeObject::Kind::Array) {
        die("SetObjectArrayElement was given a " + target.className + ", not an array");
    }
    if (value != nullptr) {
        resolve(value, "SetObjectArrayElement");
    }
    if (enter({"SetObjectArrayElement", target.className, std::to_string(index)})) {
        return;
    }
    if (index < 0 || static_cast<std::size_t>(index) >= target.elements.size()) {
        raiseObject(
            makeThrowable("java/lang/ArrayIndexOutOfBoundsException", std::to_string(index)),
            "SetObjectArrayElement");
        return;
    }
    target.elements[static_cast<std::size_t>(index)] = value;
}

jsize FakeJni::getArrayLength(jarray array) {
    const FakeObject &target = resolve(array, "GetArrayLength");
    if (target.kind != FakeObject::Kind::Array) {
        die("GetArrayLength was given a " + target.className + ", not an array");
    }
    record({"GetArrayLength", target.className, {}});
    if (target.className == "B") {
        return static_cast<jsize>(target.bytes.size());
    }
    const bool numbers =
        target.className == "F" || target.className == "I" || target.className == "D";
    return static_cast<jsize>(numbers ? target.numbers.size() : target.elements.size());
}

// The UTF-16 is kept as UTF-8, so that text() reads it; a lone surrogate becomes U+FFFD.
jstring FakeJni::newString(const jchar *utf16, jsize length) {
    std::string utf8;
    const auto append = [&](char32_t c) {
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            utf8 += static_cast<char>(0xE0 | (c >> 12));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | (c >> 18));
            utf8 += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    };
    for (jsize i = 0; i < length; ++i) {
        const char32_t unit = utf16[i];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        if (high && i + 1 < length && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
            append(0x10000 + ((unit - 0xD800) << 10) + (utf16[++i] - 0xDC00));
        } else {
            append(unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
        }
    }
    if (enter({"NewString", utf8, {}})) {
        return nullptr;
    }
    return static_cast<jstring>(local(makeString(utf8)));
}

jbyteArray FakeJni::newByteArray(jsize length) {
    if (enter({"NewByteArray", "B", std::to_string(length)})) {
        return nullptr;
    }
    FakeObject array;
    array.kind = FakeObject::Kind::Array;
    array.className = "B";
    array.bytes.assign(static_cast<std::size_t>(length), 0);
    return static_cast<jbyteArray>(local(store(std::move(array))));
}

void FakeJni::byteArrayRegion(jbyteArray array, jsize start, jsize length, jbyte *into,
                              const jbyte *from) {
    const char *function = into != nullptr ? "GetByteArrayRegion" : "SetByteArrayRegion";
    FakeObject &target = resolve(array, function);
    record({function, "B", std::to_string(start) + "+" + std::to_string(length)});
    if (target.className != "B" || start < 0 || length < 0 ||
        static_cast<std::size_t>(start) + static_cast<std::size_t>(length) > target.bytes.size()) {
        die(std::string(function) + " outside the array");
    }
    if (into != nullptr) {
        std::copy_n(target.bytes.begin() + start, length, into);
    } else {
        std::copy_n(from, length, target.bytes.begin() + start);
    }
}

jarray FakeJni::newNumberArray(const char *function, const char *elementClass, jsize length) {
    if (enter({function, elementClass, std::to_string(length)})) {
        return nullptr;
    }
    FakeObject array;
    array.kind = FakeObject::Kind::Array;
    array.className = elementClass;
    array.numbers.assign(static_cast<std::size_t>(length), 0.0);
    return static_cast<jarray>(local(store(std::move(array))));
}

template <typename Element>
void FakeJni::setNumberRegion(const char *function, jarray array, jsize start, jsize length,
                              const Element *from) {
    FakeObject &target = resolve(array, function);
    record({function, target.className, std::to_string(start) + "+" + std::to_string(length)});
    if (start < 0 || length < 0 ||
        static_cast<std::size_t>(start) + static_cast<std::size_t>(length) >
            target.numbers.size()) {
        die(std::string(function) + " outside the array");
    }
    std::copy_n(from, length, target.numbers.begin() + start);
}

jboolean FakeJni::exceptionCheck() {
    record({"ExceptionCheck", {}, {}});
    return pending_ != nullptr ? JNI_TRUE : JNI_FALSE;
}

jthrowable FakeJni::exceptionOccurred() {
    record({"ExceptionOccurred", {}, {}});
    return static_cast<jthrowable>(local(pending_));
}

void FakeJni::exceptionClear() {
    record({"ExceptionClear", {}, {}});
    pending_ = nullptr;
    pendingRaisedBy_.clear();
    pendingCount_ = 0;
}

jint FakeJni::throwObject(jthrowable throwable) {
    if (throwable == nullptr) {
        record({"Throw", {}, {}});
        fault("Throw was given a null throwable");
        return JNI_ERR;
    }
    record({"Throw", resolve(throwable, "Throw").className, {}});
    raiseObject(throwable, "Throw");
    return JNI_OK;
}

jint FakeJni::throwNew(jclass cls, const char *message) {
    const std::string className = resolve(cls, "ThrowNew").className;
    const std::string text = message != nullptr ? message : "";
    record({"ThrowNew", className, text});
    raiseObject(makeThrowable(className, text), "ThrowNew");
    return JNI_OK;
}

void FakeJni::deleteLocalRef(jobject handle) {
    if (handle == nullptr) {
        return;
    }
    record({"DeleteLocalRef", resolve(handle, "DeleteLocalRef").className, {}});
    for (auto frame = frames_.rbegin(); frame != frames_.rend(); ++frame) {
        auto found = std::find(frame->rbegin(), frame->rend(), handle);
        if (found != frame->rend()) {
            frame->erase(std::next(found).base());
            return;
        }
    }
    fault("DeleteLocalRef of " + object(handle).className + ", which is no live local reference");
}

jint FakeJni::pushLocalFrame(jint capacity) {
    if (enter({"PushLocalFrame", {}, std::to_string(capacity)})) {
        return JNI_ERR;
    }
    frames_.emplace_back();
    return JNI_OK;
}

jobject FakeJni::popLocalFrame(jobject result) {
    if (result != nullptr) {
        resolve(result, "PopLocalFrame");
    }
    record({"PopLocalFrame", {}, {}});
    if (frames_.size() == 1) {
        fault("PopLocalFrame without a matching PushLocalFrame");
        return nullptr;
    }
    frames_.pop_back();
    return local(result);
}

jint FakeJni::ensureLocalCapacity(jint capacity) {
    return enter({"EnsureLocalCapacity", {}, std::to_string(capacity)}) ? JNI_ERR : JNI_OK;
}

jclass FakeJni::getObjectClass(jobject handle) {
    const FakeObject &found = resolve(handle, "GetObjectClass");
    const std::string className =
        found.kind == FakeObject::Kind::Class ? "java/lang/Class" : found.className;
    record({"GetObjectClass", className, {}});
    return static_cast<jclass>(local(classNamed(className)));
}

jboolean FakeJni::isInstanceOf(jobject handle, jclass cls) {
    const std::string className = resolve(cls, "IsInstanceOf").className;
    record({"IsInstanceOf", className, {}});
    if (handle == nullptr || className == "java/lang/Object") {
        return JNI_TRUE;
    }
    return resolve(handle, "IsInstanceOf").className == className ? JNI_TRUE : JNI_FALSE;
}

}  // namespace divebridge::fake
