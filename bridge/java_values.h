// SPDX-License-Identifier: MIT
// Java strings and arrays from native values, and byte arrays back: texts that JNI's NewStringUTF
// cannot take as they are (it wants modified UTF-8, and a libdivecomputer log line or a name heard
// over the air may hold anything), fingerprints and access codes, and a dive's columns of values.
#pragma once

#include "base/bytes.h"

#include <jni.h>

#include <cstdint>
#include <string>
#include <vector>

namespace divebridge {

// The UTF-16 of `utf8`: each well-formed UTF-8 sequence as its character (a pair of surrogates
// above U+FFFF, U+0000 for a zero byte), each byte of a malformed one as U+FFFD.
std::u16string utf16Of(const std::string &utf8);

// A new Java string of `utf8`, decoded as utf16Of does. Leaves a Java exception pending and
// answers null when the string cannot be made.
jstring newJavaString(JNIEnv *env, const std::string &utf8);

// A new String[] holding `texts`, each made as newJavaString makes it; it holds one local
// reference beside the array's own while it is made. Leaves a Java exception pending and answers
// null when it cannot be made.
jobjectArray newJavaStrings(JNIEnv *env, const std::vector<std::string> &texts);

// New float[], int[] and double[] arrays holding `values`, each filled in one call. Leave a Java
// exception pending and answer null when they cannot be made.
jfloatArray newJavaFloats(JNIEnv *env, const std::vector<float> &values);
jintArray newJavaInts(JNIEnv *env, const std::vector<std::int32_t> &values);
jdoubleArray newJavaDoubles(JNIEnv *env, const std::vector<double> &values);

// A new float[][] holding `columns`, each made as newJavaFloats makes it; it holds one local
// reference beside the array's own while it is made. Leaves a Java exception pending and answers
// null when it cannot be made.
jobjectArray newJavaFloatColumns(JNIEnv *env, const std::vector<std::vector<float>> &columns);

// A new byte[] holding `bytes`. Leaves a Java exception pending when it cannot be made.
jbyteArray newJavaBytes(JNIEnv *env, const Bytes &bytes);

// The bytes of a Java byte[]; none for null.
Bytes bytesOf(JNIEnv *env, jbyteArray array);

}  // namespace divebridge
