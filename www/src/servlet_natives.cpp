// The servlet library's three JNI natives: start-up, one request, shut-down.
#include <jni.h>

#include <new>

#include "arc_codepage.h"
#include "arc_messages.h"
#include "arc_platform.h"
#include "java_text.h"
#include "qel_client.h"
#include "qel_www.h"
#include "reply_to_java.h"

namespace {

QelWWWConfig g_config;  // filled by initialize, read-only while requests run

#define NATIVE_TRACE(...)                                           \
    do {                                                            \
        if (g_config.traceOn) QelWWW_Trace(&g_config, __VA_ARGS__); \
    } while (0)

// A Java string as UTF-8, or nothing for a null reference.
std::optional<std::string> FromJava(JNIEnv* env, jstring text) {
    if (text == nullptr) return std::nullopt;
    jsize length = env->GetStringLength(text);
    std::u16string units(static_cast<size_t>(length), u'\0');
    env->GetStringRegion(text, 0, length, reinterpret_cast<jchar*>(units.data()));
    return qelwww::detail::Utf16ToUtf8(units);
}

const char* OrNull(const std::optional<std::string>& text) { return text ? text->c_str() : nullptr; }

jint Initialize(JNIEnv* env, jstring configDir) {
    // Somewhere for the start-up steps to write an error; nothing of it is sent.
    QelWWWSession scratch;
    scratch.response = std::make_unique<QelWWWResponse>(&g_config);
    std::optional<std::string> directory = FromJava(env, configDir);
    if (QelWWW_InitConfig(&g_config, &scratch, OrNull(directory)) != 0) {
        NATIVE_TRACE("initialize: QelWWW_InitConfig failed!");
        return 3;
    }
    scratch.response->SetSourceCodePage(g_config.codePage);
    const char* locale = g_config.localeDir.empty() ? nullptr : g_config.localeDir.c_str();
    if (ArcMSGS_Init(locale, g_config.language.c_str()) != 0) {
        NATIVE_TRACE("initialize: ArcMSGS_Init failed!");
        return 2;
    }
    if (g_config.codePageContext == nullptr && ArcICONV_Startup(&g_config.codePageContext, locale) != 0) {
        g_config.codePageContext = nullptr;
        NATIVE_TRACE("initialize: ArcICONV_Startup failed!");
        return 1;
    }
    if (!QelWWW_InitClientServer(&g_config, &scratch)) {
        NATIVE_TRACE("initialize: CS_Init failed!");
        return 1;
    }
    NATIVE_TRACE("initialize: entering, version '%s'", Client_GetVersion());
    return 0;
}

void Serve(JNIEnv* env, jstring query, jstring scriptName, jstring userAgent, jstring cookie, jboolean secure,
           jobject target) {
    if (target == nullptr) {
        qelwww::detail::ThrowJava(env, "java/lang/NullPointerException", "response");
        return;
    }
    jclass type = env->GetObjectClass(target);
    jmethodID setHeader = env->GetMethodID(type, "setHttpHeader", "(Ljava/lang/String;Ljava/lang/String;)V");
    jmethodID setData = setHeader != nullptr ? env->GetMethodID(type, "setData", "([B)V") : nullptr;
    env->DeleteLocalRef(type);
    if (setHeader == nullptr || setData == nullptr) return;  // NoSuchMethodError is pending

    std::optional<std::string> text = FromJava(env, query);
    if (text) QelWWW_EncodeNul(&*text);
    std::optional<std::string> script = FromJava(env, scriptName);
    std::optional<std::string> agent = FromJava(env, userAgent);
    std::optional<std::string> cookies = FromJava(env, cookie);

    QelWWWSession session;
    session.response = std::make_unique<QelWWWResponse>(&g_config);
    session.response->SetSecure(secure == JNI_TRUE);
    if (QelWWW_InitSession(&g_config, &session, OrNull(text), OrNull(script), OrNull(agent),
                           OrNull(cookies)) == 0)
        QelWWW_Dispatch(&g_config, &session);
    qelwww::detail::SendReply(env, target, setHeader, setData, *session.response);
}

}  // namespace

extern "C" {

JNIEXPORT jint JNICALL Java_com_kvr_ekvo_qk_QelWWWInterface_initialize(JNIEnv* env, jobject,
                                                                       jstring configDir) {
    try {
        return Initialize(env, configDir);
    } catch (const std::bad_alloc&) {
        return 3;
    } catch (...) {
        return 3;
    }
}

JNIEXPORT void JNICALL Java_com_kvr_ekvo_qk_QelWWWInterface_main(JNIEnv* env, jobject, jstring query,
                                                                 jstring scriptName, jstring userAgent,
                                                                 jstring cookie, jboolean secure,
                                                                 jobject response) {
    try {
        Serve(env, query, scriptName, userAgent, cookie, secure, response);
    } catch (const std::bad_alloc&) {
        qelwww::detail::ThrowJava(env, "java/lang/OutOfMemoryError", "gateway request");
    } catch (...) {
        qelwww::detail::ThrowJava(env, "java/lang/IllegalStateException", "gateway request failed");
    }
}

JNIEXPORT jint JNICALL Java_com_kvr_ekvo_qk_QelWWWInterface_terminate(JNIEnv*, jobject) {
    Client_Term();
    if (g_config.codePageContext != nullptr) {
        ArcICONV_Shutdown(g_config.codePageContext);
        g_config.codePageContext = nullptr;
    }
    if (g_config.cacheMutex != nullptr) {
        ArcOS_CloseHandle(g_config.cacheMutex);
        g_config.cacheMutex = nullptr;
    }
    return 0;
}

}  // extern "C"
