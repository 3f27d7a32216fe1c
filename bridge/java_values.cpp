// SPDX-License-Identifier: MIT
#include "bridge/java_values.h"

#include <algorithm>
#include <limits>

namespace divebridge {
namespace {

constexpr char16_t replacement = u'\uFFFD';

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The length of the well-formed sequence at `at` and its code point, or 0 when it is malformed:
// overlong forms, surrogates and values above U+10FFFF included.
std::size_t decodeAt(const std::string &utf8, std::size_t at, char32_t &codePoint) {
    const auto lead = static_cast<unsigned char>(utf8[at]);
    std::size_t length;
    char32_t least;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, least = 0x80, codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, least = 0x800, codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, least = 0x10000, codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > utf8.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(utf8[at + i]);
        if (!isContinuation(next)) {
            return 0;
        }
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (codePoint < least || surrogate || codePoint > 0x10FFFF) {
        return 0;
    }
    return length;
}

}  // namespace

std::u16string utf16Of(const std::string &utf8) {
    std::u16string utf16;
    utf16.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        char32_t codePoint = 0;
        const std::size_t length = decodeAt(utf8, at, codePoint);
        if (length == 0) {
            utf16.push_back(replacement);
            ++at;
            continue;
        }
        if (codePoint >= 0x10000) {
            codePoint -= 0x10000;
            utf16.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
            utf16.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
        } else {
            utf16.push_back(static_cast<char16_t>(codePoint));
        }
        at += length;
    }
    return utf16;
}

jstring newJavaString(JNIEnv *env, const std::string &utf8) {
    const std::u16string utf16 = utf16Of(utf8);
    // A text longer than a Java string can be is cut there; libdivecomputer's lines are short.
    const std::size_t length =
        std::min<std::size_t>(utf16.size(), std::numeric_limits<jsize>::max());
    static_assert(sizeof(jchar) == sizeof(char16_t), "jchar is a UTF-16 unit");
    return env->NewString(reinterpret_cast<const jchar *>(utf16.data()),
                          static_cast<jsize>(length));
}

namespace {

// A new array of `elementClass` holding the Java object `make` makes of each item, one local
// reference beside the array's own at a time; null with the failure pending when it cannot be
// made.
template <typename Item, typename Make>
jobjectArray newJavaObjects(JNIEnv *env, const char *elementClass, const std::vector<Item> &items,
                            Make make) {
    const jclass javaClass = env->FindClass(elementClass);
    if (javaClass == nullptr) {
        return nullptr;
    }
    jobjectArray array = env->NewObjectArray(static_cast<jsize>(items.size()), javaClass, nullptr);
    env->DeleteLocalRef(javaClass);
    if (array == nullptr) {
        return nullptr;
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        jobject element = make(env, items[i]);
        if (element == nullptr) {
            return nullptr;
        }
        env->SetObjectArrayElement(array, static_cast<jsize>(i), element);
        env->DeleteLocalRef(element);
        if (env->ExceptionCheck()) {
            return nullptr;
        }
    }
    return array;
}

// What NewXArray itself raises for an array it cannot make.
void throwOutOfMemory(JNIEnv *env, const char *message) {
    const jclass error = env->FindClass("java/lang/OutOfMemoryError");
    if (error != nullptr) {
        env->ThrowNew(error, message);
        env->DeleteLocalRef(error);
    }
}

// The new Java array of `values` (`make` and `fill` are the JNI calls of its element type); null
// with the failure pending when a Java array cannot hold them or cannot be made.
template <typename Array, typename Element, typename Value>
Array newJavaArray(JNIEnv *env, const std::vector<Value> &values, Array (JNIEnv::*make)(jsize),
                   void (JNIEnv::*fill)(Array, jsize, jsize, const Element *)) {
    static_assert(sizeof(Value) == sizeof(Element), "the values are Java's elements bit for bit");
    if (values.size() > static_cast<std::size_t>(std::numeric_limits<jsize>::max())) {
        throwOutOfMemory(env, "More values than a Java array can hold.");
        return nullptr;
    }
    const auto length = static_cast<jsize>(values.size());
    Array array = (env->*make)(length);
    if (array != nullptr && length > 0) {
        (env->*fill)(array, 0, length, reinterpret_cast<const Element *>(values.data()));
    }
    return array;
}

}  // namespace

jobjectArray newJavaStrings(JNIEnv *env, const std::vector<std::string> &texts) {
    return newJavaObjects(env, "java/lang/String", texts, newJavaString);
}

jfloatArray newJavaFloats(JNIEnv *env, const std::vector<float> &values) {
    return newJavaArray<jfloatArray, jfloat>(env, values, &JNIEnv::NewFloatArray,
                                             &JNIEnv::SetFloatArrayRegion);
}

jintArray newJavaInts(JNIEnv *env, const std::vector<std::int32_t> &values) {
    return newJavaArray<jintArray, jint>(env, values, &JNIEnv::NewIntArray,
                                         &JNIEnv::SetIntArrayRegion);
}

jdoubleArray newJavaDoubles(JNIEnv *env, const std::vector<double> &values) {
    return newJavaArray<jdoubleArray, jdouble>(env, values, &JNIEnv::NewDoubleArray,
                                               &JNIEnv::SetDoubleArrayRegion);
}

jobjectArray newJavaFloatColumns(JNIEnv *env, const std::vector<std::vector<float>> &columns) {
    return newJavaObjects(env, "[F", columns, newJavaFloats);
}

jbyteArray newJavaBytes(JNIEnv *env, const Bytes &bytes) {
    const auto length = static_cast<jsize>(bytes.size());
    jbyteArray array = env->NewByteArray(length);
    if (array != nullptr) {
        env->SetByteArrayRegion(array, 0, length, reinterpret_cast<const jbyte *>(bytes.data()));
    }
    return array;
}

Bytes bytesOf(JNIEnv *env, jbyteArray array) {
    if (array == nullptr) {
        return {};
    }
    Bytes bytes(static_cast<std::size_t>(env->GetArrayLength(array)));
    if (!bytes.empty()) {
        env->GetByteArrayRegion(array, 0, static_cast<jsize>(bytes.size()),
                                reinterpret_cast<jbyte *>(bytes.data()));
    }
    return bytes;
}

}  // namespace divebridge
