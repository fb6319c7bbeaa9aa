// The reply hand-over inside a real JVM (JNI checking on): header order, Set-Cookie pairs,
// bytes that are not UTF-8, the empty body and a callback that throws.
#include <gtest/gtest.h>
#include <jni.h>

#include <string>

#include "qel_www.h"
#include "reply_to_java.h"

namespace {

JNIEnv* Jvm() {
    static JNIEnv* env = [] {
        static std::string classPath = std::string("-Djava.class.path=") + QEL_WWW_JAVA_CLASSES;
        JavaVMOption options[] = {{const_cast<char*>(classPath.c_str()), nullptr},
                                  {const_cast<char*>("-Xcheck:jni"), nullptr}};
        JavaVMInitArgs args{};
        args.version = JNI_VERSION_1_8;
        args.nOptions = 2;
        args.options = options;
        JavaVM* vm = nullptr;
        JNIEnv* made = nullptr;
        if (JNI_CreateJavaVM(&vm, reinterpret_cast<void**>(&made), &args) != JNI_OK)
            return static_cast<JNIEnv*>(nullptr);
        return made;
    }();
    return env;
}

struct Sent {
    std::string transcript;
    bool threw = false;
};

Sent Send(const QelWWWResponse& response, int throwAtHeader = -1) {
    JNIEnv* env = Jvm();
    jclass type = env->FindClass("com/kvr/ekvo/qk/RecordingResponse");
    EXPECT_NE(type, nullptr);
    jobject target = env->NewObject(type, env->GetMethodID(type, "<init>", "()V"));
    EXPECT_FALSE(env->ExceptionCheck());
    env->SetIntField(target, env->GetFieldID(type, "throwAtHeader", "I"), throwAtHeader);
    jmethodID setHeader = env->GetMethodID(type, "setHttpHeader", "(Ljava/lang/String;Ljava/lang/String;)V");
    jmethodID setData = env->GetMethodID(type, "setData", "([B)V");
    qelwww::detail::SendReply(env, target, setHeader, setData, response);
    Sent sent;
    sent.threw = env->ExceptionCheck();
    env->ExceptionClear();
    auto text = static_cast<jstring>(
        env->CallObjectMethod(target, env->GetMethodID(type, "transcript", "()Ljava/lang/String;")));
    EXPECT_FALSE(env->ExceptionCheck());
    const char* chars = env->GetStringUTFChars(text, nullptr);
    sent.transcript = chars;
    env->ReleaseStringUTFChars(text, chars);
    env->DeleteLocalRef(text);
    env->DeleteLocalRef(target);
    env->DeleteLocalRef(type);
    return sent;
}

TEST(JavaReply, HeadersInOrderThenTheBody) {
    ASSERT_NE(Jvm(), nullptr);
    QelWWWResponse response;
    response.SetContentType("text/plain");
    response.SaveStateCookies(
        nullptr,
        [] {
            static QelWWWSession s;
            s.serverName = "prod";
            s.user = "u";
            s.password = "p";
            s.sendStateCookie = 1;
            s.sendLogIdCookie = 1;
            return &s;
        }(),
        819, 9);
    response.PrintText("%s", "[BEGIN]\n");
    EXPECT_EQ(Send(response).transcript,
              "Content-type: text/plain; charset=UTF-8\n"
              "Set-Cookie: ZEIQS=_s=prod&_pt=0&_cp=819&_u=u; HttpOnly; SameSite=Lax\n"
              "Set-Cookie: ZEILOGID=9; HttpOnly; SameSite=Lax\n"
              "--\n[BEGIN]\n");
}

TEST(JavaReply, EmptyBodyMakesNoDataCall) {
    ASSERT_NE(Jvm(), nullptr);
    QelWWWResponse response;
    response.SetContentType("application/afp");
    EXPECT_EQ(Send(response).transcript, "Content-type: application/afp\n");
    QelWWWResponse nothing;
    EXPECT_EQ(Send(nothing).transcript, "");
}

TEST(JavaReply, BytesThatAreNotUtf8ReachJavaAsReplacementCharacters) {
    ASSERT_NE(Jvm(), nullptr);
    QelWWWResponse response;
    ASSERT_EQ(response.SetHeaderValue("X-Name", "caf\xE9 \xC3\xA9 \xF0\x9F\x98\x80"), 0);
    EXPECT_EQ(Send(response).transcript, "X-Name: caf\xEF\xBF\xBD \xC3\xA9 \xED\xA0\xBD\xED\xB8\x80\n");
}

TEST(JavaReply, ExceptionInACallbackStopsTheReply) {
    ASSERT_NE(Jvm(), nullptr);
    QelWWWResponse response;
    response.SetHeaderValue("A", "1");
    response.SetHeaderValue("B", "2");
    response.PrintText("body");
    Sent sent = Send(response, 1);
    EXPECT_TRUE(sent.threw);
    EXPECT_EQ(sent.transcript, "A: 1\n");
}

}  // namespace
