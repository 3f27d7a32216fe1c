// SPDX-License-Identifier: MIT
// A JNIEnv that passes every call on to the JVM's own and counts the calls and the local
// references alive at once, so that a benchmark can read what a real download asks of the JVM.
#pragma once

#include <jni.h>

#include <vector>

namespace divebridge::bench {

class CountingJniEnv {
  public:
    explicit CountingJniEnv(JNIEnv *real);
    CountingJniEnv(const CountingJniEnv &) = delete;
    CountingJniEnv &operator=(const CountingJniEnv &) = delete;

    // Hand this to the code under test instead of the JVM's JNIEnv, on the same thread.
    JNIEnv *env() { return &box.env; }
    // The JVM's JNIEnv, for one call passed on to it.
    JNIEnv *forwardCall() {
        ++calls;
        return realEnv;
    }

    // JNI functions called through env() since construction.
    long jniCalls() const { return calls; }

    // The most local references alive at once since construction (the caller's arguments apart).
    int peakLocalReferences() const { return peak; }

    void created(jobject reference);
    void deleted(jobject reference);
    void pushFrame();
    void popFrame(jobject result);

    static CountingJniEnv &of(JNIEnv *env);

  private:
    struct Box {
        JNIEnv env;
        CountingJniEnv *owner;
    };

    JNINativeInterface_ table{};
    Box box{};
    JNIEnv *realEnv;
    std::vector<int> frames{0};  // live references per frame, the native method's own first
    int live = 0;
    int peak = 0;
    long calls = 0;
};

}  // namespace divebridge::bench
