// SPDX-License-Identifier: MIT
// The fake JNIEnv must itself be right, or the bridge tests built on it prove nothing.
#include "fake_jni_env.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

namespace divebridge::fake {
namespace {

TEST(FakeJniArguments, VariadicAndArrayCallsDecodeEveryParameterKind) {
    FakeJni fake;
    JNIEnv *env = fake.env();
    jclass dive = env->FindClass("Dive");
    jmethodID init = env->GetMethodID(dive, "<init>", "(Ljava/lang/String;FZJD[II)V");
    jstring name = env->NewStringUTF("x");

    jobject variadic =
        env->NewObject(dive, init, name, 1.5f, JNI_TRUE, jlong{1} << 40, 2.25, nullptr, -7);
    jvalue values[7];
    values[0].l = name;
    values[1].f = 1.5f;
    values[2].z = JNI_TRUE;
    values[3].j = jlong{1} << 40;
    values[4].d = 2.25;
    values[5].l = nullptr;
    values[6].i = -7;
    jobject fromArray = env->NewObjectA(dive, init, values);

    for (jobject made : {variadic, fromArray}) {
        const std::vector<JavaValue> &args = fake.object(made).arguments;
        ASSERT_EQ(args.size(), 7u);
        EXPECT_EQ(std::get<jobject>(args[0]), name);
        EXPECT_EQ(std::get<jfloat>(args[1]), 1.5f);
        EXPECT_EQ(std::get<jint>(args[2]), 1);
        EXPECT_EQ(std::get<jlong>(args[3]), jlong{1} << 40);
        EXPECT_EQ(std::get<jdouble>(args[4]), 2.25);
        EXPECT_EQ(std::get<jobject>(args[5]), nullptr);
        EXPECT_EQ(std::get<jint>(args[6]), -7);
    }
}

TEST(FakeJniFailures, ScriptedFailureLeavesOnePendingExceptionAndReturnsNull) {
    FakeJni fake;
    JNIEnv *env = fake.env();
    fake.failWhen(callOf("NewStringUTF", "bad"), "java/lang/OutOfMemoryError");

    EXPECT_NE(env->NewStringUTF("good"), nullptr);
    EXPECT_FALSE(env->ExceptionCheck());
    EXPECT_EQ(env->NewStringUTF("bad"), nullptr);
    ASSERT_TRUE(env->ExceptionCheck());
    EXPECT_EQ(fake.describe(fake.pending()).className, "java/lang/OutOfMemoryError");
    EXPECT_EQ(fake.describe(fake.pending()).message, "bad");
    EXPECT_EQ(fake.pendingRaisedBy(), "NewStringUTF");
    EXPECT_EQ(fake.pendingCount(), 1);
    EXPECT_EQ(fake.exceptionChecks(), 2);
}

TEST(FakeJniFailures, NthFailureHitsOnlyThatCall) {
    FakeJni fake;
    JNIEnv *env = fake.env();
    fake.failWhen(callOf("NewStringUTF"), "java/lang/OutOfMemoryError", 2);

    EXPECT_NE(env->NewStringUTF("a"), nullptr);
    EXPECT_EQ(env->NewStringUTF("b"), nullptr);
    env->ExceptionClear();
    EXPECT_NE(env->NewStringUTF("c"), nullptr);
    EXPECT_EQ(fake.pending(), nullptr);
}

TEST(FakeJniFailures, MissingClassAndMethodLeaveTheJvmsLookupErrors) {
    FakeJni fake;
    JNIEnv *env = fake.env();
    fake.missClass("java/util/TreeSet");
    fake.missMethod("Device", "valueOf");

    EXPECT_EQ(env->FindClass("java/util/TreeSet"), nullptr);
    EXPECT_EQ(fake.describe(fake.pending()).className, "java/lang/NoClassDefFoundError");
    env->ExceptionClear();
    jclass device = env->FindClass("Device");
    EXPECT_EQ(device, env->FindClass("Device"));
    EXPECT_EQ(env->GetStaticMethodID(device, "valueOf", "(I)LDevice;"), nullptr);
    EXPECT_EQ(fake.describe(fake.pending()).className, "java/lang/NoSuchMethodError");
    env->ExceptionClear();
    EXPECT_NE(env->GetMethodID(device, "<init>", "()V"), nullptr);
}

TEST(FakeJniExceptions, ThrowOverPendingIsCountedAndChainsAreReadable) {
    FakeJni fake;
    JNIEnv *env = fake.env();
    jclass nativeException = env->FindClass("NativeException");
    jmethodID init =
        env->GetMethodID(nativeException, "<init>", "(Ljava/lang/String;Ljava/lang/Throwable;)V");
    fake.raise("java/lang/IllegalStateException", "inner");
    jthrowable cause = env->ExceptionOccurred();
    env->ExceptionClear();
    auto chained = static_cast<jthrowable>(
        env->NewObject(nativeException, init, env->NewStringUTF("outer"), cause));

    env->Throw(chained);
    EXPECT_EQ(fake.throwsOverPending(), 0);
    env->ThrowNew(nativeException, "again");

    EXPECT_EQ(fake.pendingCount(), 2);
    EXPECT_EQ(fake.throwsOverPending(), 1);
    EXPECT_EQ(fake.faults().size(), 1u);
    EXPECT_EQ(fake.pendingRaisedBy(), "ThrowNew");
    EXPECT_EQ(fake.describe(chained).message, "outer");
    EXPECT_EQ(fake.describe(chained).cause, cause);
    EXPECT_EQ(fake.causeChain(chained),
              (std::vector<std::string>{"NativeException", "java/lang/IllegalStateException"}));
    EXPECT_EQ(fake.describe(fake.pending()).message, "again");
}

TEST(FakeJniExceptions, CallsMadeWhileAnExceptionIsPendingAreListed) {
    FakeJni fake;
    JNIEnv *env = fake.env();
    fake.raise("java/lang/RuntimeException", "boom");
    env->ExceptionCheck();
    env->NewStringUTF("too late");
    env->ExceptionClear();
    env->NewStringUTF("fine");
    EXPECT_EQ(fake.callsWhilePending(), std::vector<std::string>{"NewStringUTF"});
}

TEST(FakeJniMethods, ScriptedAnswersThrowsAndDefaultSetAdd) {
    FakeJni fake;
    JNIEnv *env = fake.env();
    fake.answer("Device$Interface", "valueOf",
                [](FakeJni &java, jobject, const std::vector<JavaValue> &args) -> JavaValue {
                    if (std::get<jint>(args.at(0)) == 99) {
                        java.raise("java/lang/IllegalArgumentException", "99");
                    }
                    return java.newObject("Device$Interface");
                });
    jclass interface = env->FindClass("Device$Interface");
    jmethodID valueOf = env->GetStaticMethodID(interface, "valueOf", "(I)LDevice$Interface;");
    jclass treeSet = env->FindClass("java/util/TreeSet");
    jobject set = env->NewObject(treeSet, env->GetMethodID(treeSet, "<init>", "()V"));
    jmethodID add = env->GetMethodID(treeSet, "add", "(Ljava/lang/Object;)Z");

    jobject known = env->CallStaticObjectMethod(interface, valueOf, 1);
    EXPECT_EQ(fake.object(known).className, "Device$Interface");
    EXPECT_TRUE(env->CallBooleanMethod(set, add, known));
    EXPECT_EQ(env->CallStaticObjectMethod(interface, valueOf, 99), nullptr);
    EXPECT_EQ(fake.describe(fake.pending()).className, "java/lang/IllegalArgumentException");

    EXPECT_EQ(fake.object(set).elements, std::vector<jobject>{known});
    ASSERT_EQ(fake.methodCalls().size(), 3u);
    EXPECT_EQ(std::get<jint>(fake.methodCalls()[2].arguments.at(0)), 99);
}

TEST(FakeJniMethods, UnscriptedFactoryAnswersAnObjectOfItsReturnClass) {
    FakeJni fake;
    JNIEnv *env = fake.env();
    jclass gas = env->FindClass("Gas");
    jmethodID blend = env->GetStaticMethodID(gas, "blendGas", "(II)LGas;");
    jobject made = env->CallStaticObjectMethod(gas, blend, 32, 0);
    EXPECT_EQ(fake.object(made).className, "Gas");
    EXPECT_EQ(fake.object(made).madeBy, "blendGas(II)LGas;");
}

TEST(FakeJniMethods, ConstructorOfAnotherClassIsAFault) {
    FakeJni fake;
    JNIEnv *env = fake.env();
    jclass device = env->FindClass("Device");
    jclass gas = env->FindClass("Gas");
    env->NewObject(device, env->GetMethodID(gas, "<init>", "()V"));
    EXPECT_EQ(fake.faults().size(), 1u);
}

TEST(FakeJniReferences, FramesBoundLiveReferencesAndPeakIsKept) {
    FakeJni fake;
    JNIEnv *env = fake.env();
    env->NewStringUTF("a");
    ASSERT_EQ(env->PushLocalFrame(4), JNI_OK);
    env->NewStringUTF("b");
    jstring kept = env->NewStringUTF("c");
    EXPECT_EQ(fake.liveLocalRefs(), 3);
    jobject survivor = env->PopLocalFrame(kept);
    EXPECT_EQ(survivor, kept);
    EXPECT_EQ(fake.liveLocalRefs(), 2);
    EXPECT_EQ(fake.peakLocalRefs(), 3);
    env->DeleteLocalRef(survivor);
    env->DeleteLocalRef(survivor);
    EXPECT_EQ(fake.liveLocalRefs(), 1);
    EXPECT_EQ(fake.faults().size(), 1u);
    env->PopLocalFrame(nullptr);
    EXPECT_EQ(fake.faults().size(), 2u);
}

TEST(FakeJniReferences, UtfCharsMustBeReleasedExactlyOnce) {
    FakeJni fake;
    JNIEnv *env = fake.env();
    jstring port = fake.newString("/dev/tty\xC3\xA9");
    const char *chars = env->GetStringUTFChars(port, nullptr);
    EXPECT_STREQ(chars, "/dev/tty\xC3\xA9");
    EXPECT_EQ(env->GetStringUTFLength(port), 10);
    EXPECT_EQ(fake.utfCharsHeld(), 1);
    env->ReleaseStringUTFChars(port, chars);
    EXPECT_EQ(fake.utfCharsHeld(), 0);
    EXPECT_TRUE(fake.faults().empty());
    env->ReleaseStringUTFChars(port, chars);
    EXPECT_EQ(fake.utfCharsObtained(), 1);
    EXPECT_EQ(fake.utfCharsReleased(), 1);
    EXPECT_EQ(fake.faults().size(), 1u);
}

TEST(FakeJniArrays, StoresElementsAndRejectsIndexesOutOfBounds) {
    FakeJni fake;
    JNIEnv *env = fake.env();
    jclass floatClass = env->FindClass("java/lang/Float");
    jobjectArray array = env->NewObjectArray(2, floatClass, nullptr);
    jstring element = env->NewStringUTF("x");
    env->SetObjectArrayElement(array, 1, element);
    EXPECT_EQ(env->GetArrayLength(array), 2);
    EXPECT_EQ(fake.object(array).elements, (std::vector<jobject>{nullptr, element}));
    env->SetObjectArrayElement(array, 2, element);
    EXPECT_EQ(fake.describe(fake.pending()).className, "java/lang/ArrayIndexOutOfBoundsException");
}

TEST(FakeJniTable, UnimplementedFunctionAbortsNamingIt) {
    FakeJni fake;
    EXPECT_DEATH(fake.env()->GetVersion(), "GetVersion");
    EXPECT_DEATH(fake.env()->CallIntMethod(nullptr, nullptr), "CallIntMethodV");
}

}  // namespace
}  // namespace divebridge::fake
