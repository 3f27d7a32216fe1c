// SPDX-License-Identifier: MIT
// Scoped JNI resources: each is released exactly once, by its owner's destructor.
#pragma once

#include <jni.h>

namespace divebridge {

// The modified UTF-8 characters of a Java string; a null string gives null characters and
// GetStringUTFChars is not called for it.
class ScopedUtfChars {
  public:
    ScopedUtfChars(JNIEnv *env, jstring string)
        : env(env),
          string(string),
          chars(string != nullptr ? env->GetStringUTFChars(string, nullptr) : nullptr) {}
    ~ScopedUtfChars() {
        if (chars != nullptr) {
            env->ReleaseStringUTFChars(string, chars);
        }
    }

    ScopedUtfChars(const ScopedUtfChars &) = delete;
    ScopedUtfChars &operator=(const ScopedUtfChars &) = delete;

    const char *c_str() const { return chars; }

  private:
    JNIEnv *env;
    jstring string;
    const char *const chars;
};

// A local reference frame: references created inside it lapse when it ends.
class ScopedLocalFrame {
  public:
    // Leaves an OutOfMemoryError pending when the frame cannot be made; the caller's next check
    // finds it.
    ScopedLocalFrame(JNIEnv *env, jint capacity)
        : env(env), pushed(env->PushLocalFrame(capacity) == JNI_OK) {}
    ~ScopedLocalFrame() {
        if (pushed) {
            env->PopLocalFrame(nullptr);
        }
    }

    ScopedLocalFrame(const ScopedLocalFrame &) = delete;
    ScopedLocalFrame &operator=(const ScopedLocalFrame &) = delete;

  private:
    JNIEnv *env;
    bool pushed;
};

}  // namespace divebridge
