// SPDX-License-Identifier: MIT
// The host's class names and the expectation on a pending exception that the JNI tests share.
#pragma once

#include "fake_jni_env.h"

#include <gtest/gtest.h>

#include <string>

namespace divebridge {

inline constexpr char kNativeException[] = "coralnote/main/java/core/exceptions/NativeException";
inline constexpr char kCommunicationException[] =
    "coralnote/main/java/core/exceptions/CommunicationException";
inline constexpr char kUnknownDeviceException[] =
    "coralnote/main/java/core/exceptions/UnknownDeviceException";
inline constexpr char kDevice[] = "coralnote/main/java/core/Device";
inline constexpr char kInterface[] = "coralnote/main/java/core/Device$Interface";
inline constexpr char kDive[] = "coralnote/main/java/core/Dive";
inline constexpr char kGas[] = "coralnote/main/java/core/Gas";
inline constexpr char kCylinder[] = "coralnote/main/java/core/Cylinder";
inline constexpr char kSet[] = "java/util/Set";
inline constexpr char kTreeSet[] = "java/util/TreeSet";
inline constexpr char kInteger[] = "java/lang/Integer";
inline constexpr char kFloat[] = "java/lang/Float";
inline constexpr char kDeviceConnector[] = "coralnote/main/java/core/DeviceConnector";

// The pending exception is a NativeException raised by ThrowNew with `message` and no cause.
inline void expectUnchainedNativeException(const fake::FakeJni &java, const std::string &message) {
    ASSERT_NE(java.pending(), nullptr);
    EXPECT_EQ(java.pendingRaisedBy(), "ThrowNew");
    const fake::JavaException thrown = java.describe(java.pending());
    EXPECT_EQ(thrown.className, kNativeException);
    EXPECT_EQ(thrown.message, message);
    EXPECT_EQ(thrown.cause, nullptr);
}

}  // namespace divebridge
