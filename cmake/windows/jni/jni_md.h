/* SPDX-License-Identifier: MIT */
/* The machine-dependent part of jni.h for Windows x64: 32-bit jint, 64-bit jlong, exports marked
 * dllexport and calls made __stdcall, as a Windows JVM expects. Debian's JDK ships only the Linux
 * one. Its directory comes before the JDK's on the include path, and jni.h itself is the JDK's. */
#ifndef DIVEBRIDGE_WINDOWS_JNI_MD_H
#define DIVEBRIDGE_WINDOWS_JNI_MD_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
/* Ignored on x64, which has one calling convention and no stdcall name decoration. */
#define JNICALL __stdcall

/* Windows is LLP64: long is the 32-bit type, and 64 bits need long long. */
typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
