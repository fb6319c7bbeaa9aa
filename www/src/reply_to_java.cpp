#include "reply_to_java.h"

#include <climits>
#include <cstdarg>
#include <string>

#include "java_text.h"

void CallJavaVoidMethod(JNIEnv* env, jobject object, jmethodID method, ...) {
    va_list args;
    va_start(args, method);
    env->CallVoidMethodV(object, method, args);
    va_end(args);
}

namespace qelwww::detail {

namespace {

// Reply bytes as a Java string; null with an exception pending when the JVM refuses.
jstring ToJava(JNIEnv* env, std::string_view bytes) {
    if (IsPlainAscii(bytes)) return env->NewStringUTF(std::string(bytes).c_str());
    std::u16string units = BytesToUtf16(bytes);
    return env->NewString(reinterpret_cast<const jchar*>(units.data()), static_cast<jsize>(units.size()));
}

}  // namespace

void ThrowJava(JNIEnv* env, const char* className, const char* message) {
    if (env->ExceptionCheck()) return;
    jclass type = env->FindClass(className);
    if (type != nullptr) {
        env->ThrowNew(type, message);
        env->DeleteLocalRef(type);
    }
}

void SendReply(JNIEnv* env, jobject target, jmethodID setHeader, jmethodID setData,
               const QelWWWResponse& response) {
    for (uint32_t i = 0; i < response.GetHeaderCount(); ++i) {
        const char* name = nullptr;
        const char* value = nullptr;
        response.GetHeader(i, &name, &value);
        jstring jname = ToJava(env, name);
        jstring jvalue = jname != nullptr ? ToJava(env, value) : nullptr;
        if (jname != nullptr && jvalue != nullptr) CallJavaVoidMethod(env, target, setHeader, jname, jvalue);
        // Deleted at once: a long header list must not pile up local references.
        if (jname != nullptr) env->DeleteLocalRef(jname);
        if (jvalue != nullptr) env->DeleteLocalRef(jvalue);
        if (env->ExceptionCheck()) return;
    }
    std::string body = response.GetBody();
    if (body.empty()) return;
    if (body.size() > static_cast<size_t>(INT_MAX)) {
        ThrowJava(env, "java/lang/OutOfMemoryError", "reply body too large");
        return;
    }
    jbyteArray array = env->NewByteArray(static_cast<jsize>(body.size()));
    if (array == nullptr) return;
    env->SetByteArrayRegion(array, 0, static_cast<jsize>(body.size()),
                            reinterpret_cast<const jbyte*>(body.data()));
    if (!env->ExceptionCheck()) CallJavaVoidMethod(env, target, setData, array);
    env->DeleteLocalRef(array);
}

}  // namespace qelwww::detail
