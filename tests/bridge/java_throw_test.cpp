// SPDX-License-Identifier: MIT
// Raising Java exceptions from native code, under the failures a JVM will not produce on demand.
#include "bridge/java_throw.h"

#include "fake_jni_env.h"
#include "java_expectations.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace divebridge {
namespace {

using fake::callOf;
using fake::FakeJni;

const char kChainedConstructor[] = "(Ljava/lang/String;Ljava/lang/Throwable;)V";

class JavaThrow : public ::testing::Test {
  protected:
    FakeJni java;
    JNIEnv *env = java.env();
    jclass nativeException = nullptr;
    jmethodID constructor = nullptr;

    // Looks the class up as an export would, then forgets those calls.
    void SetUp() override {
        nativeException = env->FindClass(kNativeException);
        constructor = env->GetMethodID(nativeException, "<init>", kChainedConstructor);
        callsBefore = java.calls().size();
    }

    int callsSinceSetUp(const std::string &function) const {
        int count = 0;
        for (std::size_t i = callsBefore; i < java.calls().size(); ++i) {
            count += java.calls()[i].function == function ? 1 : 0;
        }
        return count;
    }

    void expectOnePendingNativeExceptionWithoutCause(const std::string &message) {
        ASSERT_NE(java.pending(), nullptr);
        EXPECT_EQ(java.pendingCount(), 1);
        EXPECT_EQ(java.throwsOverPending(), 0);
        expectUnchainedNativeException(java, message);
    }

  private:
    std::size_t callsBefore = 0;
};

TEST_F(JavaThrow, ThrowJavaExceptionWithoutClassThrowsNothingAndLeavesPendingAlone) {
    java.raise("java/lang/NoClassDefFoundError", "missing");
    jthrowable lookupError = java.pending();

    EXPECT_EQ(throwJavaException(env, nullptr, "ignored"), nullptr);

    EXPECT_EQ(java.pending(), lookupError);
    EXPECT_EQ(java.pendingCount(), 1);
    EXPECT_EQ(callsSinceSetUp("ThrowNew"), 0);
    EXPECT_EQ(callsSinceSetUp("ExceptionClear"), 0);
}

TEST_F(JavaThrow, ThrowJavaExceptionReplacesThePendingExceptionInsteadOfStackingOnIt) {
    java.raise("java/lang/IllegalStateException", "earlier");

    EXPECT_EQ(
        throwJavaException(env, nativeException, "Could not find the necessary Java classes."),
        nullptr);

    expectOnePendingNativeExceptionWithoutCause("Could not find the necessary Java classes.");
}

TEST_F(JavaThrow, NewJavaThrowableCarriesMessageAndCause) {
    java.raise("java/lang/IllegalArgumentException", "cause");
    jthrowable cause = env->ExceptionOccurred();
    env->ExceptionClear();

    jthrowable made = newJavaThrowable(env, nativeException, constructor, "step failed", cause);

    ASSERT_NE(made, nullptr);
    const fake::JavaException described = java.describe(made);
    EXPECT_EQ(described.className, kNativeException);
    EXPECT_EQ(described.message, "step failed");
    EXPECT_EQ(described.cause, cause);
    EXPECT_EQ(java.pending(), nullptr);
    EXPECT_EQ(callsSinceSetUp("ExceptionCheck"), 2);
}

TEST_F(JavaThrow, NewJavaThrowableWithoutClassOrConstructorMakesNoJniCall) {
    EXPECT_EQ(newJavaThrowable(env, nullptr, constructor, "m", nullptr), nullptr);
    EXPECT_EQ(newJavaThrowable(env, nativeException, nullptr, "m", nullptr), nullptr);
    EXPECT_EQ(callsSinceSetUp("NewStringUTF"), 0);
    EXPECT_EQ(callsSinceSetUp("NewObject"), 0);
    EXPECT_EQ(java.pending(), nullptr);
}

TEST_F(JavaThrow, NewJavaThrowableLeavesTheFailureOfEachStepPending) {
    struct Case {
        const char *name;
        fake::CallMatch failing;
        int objectsMade;
    };
    const Case cases[] = {
        {"message string", callOf("NewStringUTF", "step failed"), 0},
        {"constructor", callOf("NewObject", std::string(kNativeException) + ".<init>"), 1},
    };
    for (const Case &failure : cases) {
        SCOPED_TRACE(failure.name);
        FakeJni failing;
        JNIEnv *failingEnv = failing.env();
        jclass cls = failingEnv->FindClass(kNativeException);
        jmethodID init = failingEnv->GetMethodID(cls, "<init>", kChainedConstructor);
        failing.failWhen(failure.failing, "java/lang/OutOfMemoryError");

        EXPECT_EQ(newJavaThrowable(failingEnv, cls, init, "step failed", nullptr), nullptr);

        ASSERT_NE(failing.pending(), nullptr);
        EXPECT_EQ(failing.describe(failing.pending()).className, "java/lang/OutOfMemoryError");
        EXPECT_EQ(failing.pendingCount(), 1);
        EXPECT_EQ(failing.countOf("NewObject"), failure.objectsMade);
        EXPECT_TRUE(failing.callsWhilePending().empty());
    }
}

TEST_F(JavaThrow, ChainedExceptionTakesThePendingExceptionAsCause) {
    java.raise("java/lang/ClassCastException", "Device is not Comparable");
    jthrowable cause = java.pending();

    EXPECT_EQ(
        throwChainedJavaException(env, nativeException, constructor, "Could not save device."),
        nullptr);

    ASSERT_NE(java.pending(), nullptr);
    EXPECT_EQ(java.pendingRaisedBy(), "Throw");
    EXPECT_EQ(java.pendingCount(), 1);
    EXPECT_EQ(java.throwsOverPending(), 0);
    const fake::JavaException thrown = java.describe(java.pending());
    EXPECT_EQ(thrown.message, "Could not save device.");
    EXPECT_EQ(thrown.cause, cause);
    EXPECT_EQ(java.causeChain(java.pending()),
              (std::vector<std::string>{kNativeException, "java/lang/ClassCastException"}));
    EXPECT_TRUE(java.callsWhilePending().empty());
}

TEST_F(JavaThrow, ChainedExceptionFallsBackToThrowNewWhenItCannotBeBuilt) {
    const fake::CallMatch failures[] = {
        callOf("NewStringUTF", "Could not create device."),
        callOf("NewObject", std::string(kNativeException) + ".<init>"),
    };
    for (const fake::CallMatch &failure : failures) {
        FakeJni failing;
        JNIEnv *failingEnv = failing.env();
        jclass cls = failingEnv->FindClass(kNativeException);
        jmethodID init = failingEnv->GetMethodID(cls, "<init>", kChainedConstructor);
        failing.failWhen(failure, "java/lang/OutOfMemoryError");
        failing.raise("java/lang/IllegalArgumentException", "original");

        EXPECT_EQ(throwChainedJavaException(failingEnv, cls, init, "Could not create device."),
                  nullptr);

        ASSERT_NE(failing.pending(), nullptr);
        EXPECT_EQ(failing.pendingCount(), 1);
        EXPECT_EQ(failing.throwsOverPending(), 0);
        expectUnchainedNativeException(failing, "Could not create device.");
        EXPECT_TRUE(failing.callsWhilePending().empty());
    }
}

TEST_F(JavaThrow, ChainedExceptionWithoutClassLeavesThePendingExceptionAlone) {
    java.raise("java/lang/NoClassDefFoundError", "missing");
    jthrowable lookupError = java.pending();

    EXPECT_EQ(throwChainedJavaException(env, nullptr, constructor, "m"), nullptr);

    EXPECT_EQ(java.pending(), lookupError);
    EXPECT_EQ(java.pendingCount(), 1);
}

}  // namespace
}  // namespace divebridge
