// SPDX-License-Identifier: MIT
// A scripted stand-in for a JVM's JNIEnv, for GoogleTest tests of JNI code under failures that a
// real JVM cannot be made to produce on demand.
//
// Java objects are fake handles into a table the fake owns. Any class is found and any method
// resolves unless a test says otherwise; a test can make chosen calls fail with a pending Java
// exception of a class it names, and can give "Java methods" their answers. The fake records what
// the code under test did: the calls in order, the exceptions raised, ExceptionCheck calls, live
// local references, UTF chars held, and misuses such as a Throw over a pending exception.
//
// Only the JNI functions this bridge uses are implemented; every other slot of the function table
// aborts with a message naming the function, so a test fails loudly when the code starts using one.
#pragma once

#include <jni.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <variant>
#include <vector>

namespace divebridge::fake {

// A decoded argument or result of a Java call. boolean, byte, char and short travel as jint.
using JavaValue = std::variant<jobject, jint, jlong, jfloat, jdouble>;

// One JNI call as the fake saw it.
//   function: the JNI function's name without the V/A suffix of the variadic forms ("NewObject",
//             "CallBooleanMethod").
//   target:   FindClass: the class name; GetMethodID, GetStaticMethodID, NewObject and the
//   Call*Method
//             family: "class.method" (a constructor is "class.<init>"); NewStringUTF and the
//             GetStringUTF* functions: the text; NewObjectArray, SetObjectArrayElement and
//             GetArrayLength: the element class; Throw, ThrowNew, DeleteLocalRef, GetObjectClass,
//             IsInstanceOf: the object's (or class's) name; empty otherwise.
//   detail:   the method signature, the array length or index, the ThrowNew message; or empty.
struct JniCall {
    std::string function;
    std::string target;
    std::string detail;
};

// A Java object held by the fake.
struct FakeObject {
    enum class Kind { Class, String, Object, Array };
    Kind kind = Kind::Object;
    // The class of the object; of a Class, the class it names; of an Array, its element class.
    std::string className;
    // The modified UTF-8 bytes of a String.
    std::string utf;
    // How an Object came to be: "<init>" or the factory method's name, followed by the signature.
    std::string madeBy;
    std::vector<JavaValue> arguments;
    // The elements of an Array, or what `add` put into a set.
    std::vector<jobject> elements;
    // The contents of a byte[] (an Array whose className is "B").
    std::vector<jbyte> bytes;
    // The contents of a float[], int[] or double[] (className "F", "I" or "D").
    std::vector<double> numbers;
};

// A throwable seen through the (String) and (String, Throwable) constructors that made it.
struct JavaException {
    std::string className;
    std::string message;
    jobject cause = nullptr;
};

// One call of a Java method through the Call*Method family.
struct MethodCall {
    jobject self = nullptr;  // null for a static method
    std::string className;
    std::string name;
    std::string signature;
    std::vector<JavaValue> arguments;
};

class FakeJni;

// Decides whether a JNI call is one a failure rule applies to.
using CallMatch = std::function<bool(const JniCall &)>;
// Every call of `function`; with `target`, only those acting on it (see JniCall).
CallMatch callOf(std::string function);
CallMatch callOf(std::string function, std::string target);

// The body of a Java method. It may call FakeJni::raise to throw; the result is then ignored.
using JavaMethod =
    std::function<JavaValue(FakeJni &, jobject self, const std::vector<JavaValue> &arguments)>;

class FakeJni {
  public:
    FakeJni();
    ~FakeJni();
    FakeJni(const FakeJni &) = delete;
    FakeJni &operator=(const FakeJni &) = delete;

    JNIEnv *env() { return &box_.env; }

    // --- Scripting ---

    // Makes the matching calls fail: the call leaves a new `exceptionClass` pending, whose message
    // is the call's target, and returns null, 0 or JNI_ERR. With `nth` > 0 only the nth matching
    // call fails. Applies to FindClass, GetMethodID, GetStaticMethodID, NewObject, the Call*Method
    // family, NewStringUTF, GetStringUTFChars, NewObjectArray, SetObjectArrayElement,
    // PushLocalFrame and EnsureLocalCapacity.
    void failWhen(CallMatch match, std::string exceptionClass, int nth = 0);
    // FindClass of `name` returns null with a NoClassDefFoundError pending.
    void missClass(const std::string &name);
    // GetMethodID/GetStaticMethodID of `className`.`methodName`, any signature, return null with a
    // NoSuchMethodError pending.
    void missMethod(const std::string &className, const std::string &methodName);
    // Gives `className`.`methodName` (any signature) a body. Unscripted methods: `add` with one
    // object argument appends it to the receiver's elements and answers true; other methods
    // answer true, 0, a new object of the declared return class, or nothing.
    void answer(const std::string &className, const std::string &methodName, JavaMethod method);
    // Leaves a new `exceptionClass` with `message` pending, as Java code throwing would.
    void raise(const std::string &exceptionClass, const std::string &message);

    // Objects owned by the caller of the code under test (for instance a set passed in). They are
    // not local references of the call.
    jobject newObject(const std::string &className);
    jstring newString(const std::string &utf);

    // --- Inspection ---

    const FakeObject &object(jobject handle) const;
    std::string text(jobject string) const;
    JavaException describe(jobject throwable) const;
    // The class names of `throwable` and of its causes, outermost first.
    std::vector<std::string> causeChain(jobject throwable) const;

    const std::vector<JniCall> &calls() const { return calls_; }
    // The targets of the calls of `function`, in call order.
    std::vector<std::string> targetsOf(const std::string &function) const;
    int countOf(const std::string &function) const;
    const std::vector<MethodCall> &methodCalls() const { return methodCalls_; }
    int exceptionChecks() const { return countOf("ExceptionCheck"); }

    // The exception pending now (null when none) and the function that raised it: "Throw",
    // "ThrowNew", "raise", or the JNI function that failed.
    jthrowable pending() const { return static_cast<jthrowable>(pending_); }
    const std::string &pendingRaisedBy() const { return pendingRaisedBy_; }
    // Exceptions raised since the last ExceptionClear. A JVM keeps only the last of them; code that
    // handles failures correctly leaves exactly one.
    int pendingCount() const { return pendingCount_; }
    // Throw or ThrowNew called while an exception was already pending.
    int throwsOverPending() const { return throwsOverPending_; }
    // JNI functions other than the exception and release functions called with an exception
    // pending, in call order.
    const std::vector<std::string> &callsWhilePending() const { return callsWhilePending_; }

    int liveLocalRefs() const;
    int peakLocalRefs() const { return peakLocalRefs_; }
    // Frames pushed with PushLocalFrame and not yet popped.
    int openLocalFrames() const { return static_cast<int>(frames_.size()) - 1; }

    int utfCharsObtained() const { return utfCharsObtained_; }
    int utfCharsReleased() const { return utfCharsReleased_; }
    int utfCharsHeld() const { return static_cast<int>(utfChars_.size()); }

    // Misuses found on the way (double release, deleting a reference that is not live, ...).
    const std::vector<std::string> &faults() const { return faults_; }

  private:
    struct Thunks;
    friend struct Thunks;

    struct Method {
        std::string className;
        std::string name;
        std::string signature;
    };
    struct FailureRule {
        CallMatch match;
        std::string exceptionClass;
        int nth = 0;
        int seen = 0;
    };
    // The JNIEnv handed out, followed by the way back to its owner.
    struct EnvBox {
        JNIEnv env;
        FakeJni *owner;
    };

    static FakeJni &of(JNIEnv *env);

    jobject store(FakeObject object);
    jobject local(jobject handle);
    FakeObject &resolve(jobject handle, const char *function);
    const Method &resolveMethod(jmethodID id, const char *function) const;
    jclass classNamed(const std::string &name);
    jobject makeString(const std::string &utf);
    jobject makeThrowable(const std::string &className, const std::string &message);

    void record(JniCall call);
    bool enter(JniCall call);
    void raiseObject(jobject throwable, const std::string &raisedBy);
    void fault(std::string message);

    jclass findClass(const char *name);
    jmethodID getMethodId(jclass cls, const char *name, const char *signature, bool isStatic);
    jobject constructObject(jclass cls, jmethodID constructor, std::vector<JavaValue> arguments);
    JavaValue callMethod(const char *function, jobject self, jmethodID id,
                         std::vector<JavaValue> arguments);
    JavaValue defaultAnswer(jobject self, const Method &method,
                            const std::vector<JavaValue> &arguments);
    jstring newStringUtf(const char *utf);
    jstring newString(const jchar *utf16, jsize length);
    jbyteArray newByteArray(jsize length);
    void byteArrayRegion(jbyteArray array, jsize start, jsize length, jbyte *into,
                         const jbyte *from);
    jarray newNumberArray(const char *function, const char *elementClass, jsize length);
    template <typename Element>
    void setNumberRegion(const char *function, jarray array, jsize start, jsize length,
                         const Element *from);
    const char *getStringUtfChars(jstring string, jboolean *isCopy);
    void releaseStringUtfChars(jstring string, const char *chars);
    jsize getStringUtfLength(jstring string);
    jobjectArray newObjectArray(jsize length, jclass elementClass, jobject initial);
    void setObjectArrayElement(jobjectArray array, jsize index, jobject value);
    jsize getArrayLength(jarray array);
    jboolean exceptionCheck();
    jthrowable exceptionOccurred();
    void exceptionClear();
    jint throwObject(jthrowable throwable);
    jint throwNew(jclass cls, const char *message);
    void deleteLocalRef(jobject handle);
    jint pushLocalFrame(jint capacity);
    jobject popLocalFrame(jobject result);
    jint ensureLocalCapacity(jint capacity);
    jclass getObjectClass(jobject handle);
    jboolean isInstanceOf(jobject handle, jclass cls);

    JNINativeInterface_ table_{};
    EnvBox box_{};

    std::deque<FakeObject> objects_;
    std::set<const FakeObject *> known_;
    std::map<std::string, jclass> classes_;
    std::deque<Method> methods_;
    std::set<const Method *> knownMethods_;
    std::map<std::string, jmethodID> methodIds_;
    std::vector<FailureRule> failureRules_;
    std::map<std::string, JavaMethod> answers_;

    std::vector<JniCall> calls_;
    std::vector<MethodCall> methodCalls_;
    std::vector<std::string> faults_;
    std::vector<std::string> callsWhilePending_;

    jobject pending_ = nullptr;
    std::string pendingRaisedBy_;
    int pendingCount_ = 0;
    int throwsOverPending_ = 0;

    // The native method's own frame, then one per PushLocalFrame.
    std::vector<std::vector<jobject>> frames_{1};
    int peakLocalRefs_ = 0;

    struct HeldChars {
        jstring string;
        std::unique_ptr<char[]> bytes;
    };
    std::map<const char *, HeldChars> utfChars_;
    int utfCharsObtained_ = 0;
    int utfCharsReleased_ = 0;
};

}  // namespace divebridge::fake
