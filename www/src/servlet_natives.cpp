// The servlet library's JNI natives: start-up, one request (with or without the request's
// method and headers), shut-down.
#include <jni.h>

#include <new>
#include <string_view>
#include <utility>

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

// What the front end tells of one request besides its text, as the CGI program reads it
// from its environment. Absent values stay absent.
struct RequestFacts {
    std::optional<std::string> scriptName;  // SCRIPT_NAME
    std::optional<std::string> userAgent;   // HTTP_USER_AGENT
    std::optional<std::string> cookie;      // HTTP_COOKIE
    std::optional<std::string> method;      // REQUEST_METHOD
    std::optional<std::string> origin;      // HTTP_ORIGIN
    std::optional<std::string> host;        // HTTP_HOST
    std::optional<std::string> https;       // HTTPS: "on" over HTTPS
};

// "NAME=value" strings of the CGI variables above; other names, null entries and entries
// without '=' are passed over. The first entry of a name counts.
bool ReadFacts(JNIEnv* env, jobjectArray variables, RequestFacts* facts) {
    if (variables == nullptr) return true;
    const std::pair<std::string_view, std::optional<std::string>*> known[] = {
        {"SCRIPT_NAME", &facts->scriptName},
        {"HTTP_USER_AGENT", &facts->userAgent},
        {"HTTP_COOKIE", &facts->cookie},
        {"REQUEST_METHOD", &facts->method},
        {"HTTP_ORIGIN", &facts->origin},
        {"HTTP_HOST", &facts->host},
        {"HTTPS", &facts->https},
    };
    jsize count = env->GetArrayLength(variables);
    for (jsize i = 0; i < count; ++i) {
        auto item = static_cast<jstring>(env->GetObjectArrayElement(variables, i));
        if (env->ExceptionCheck()) return false;
        std::optional<std::string> text = FromJava(env, item);
        env->DeleteLocalRef(item);
        if (!text) continue;
        size_t equals = text->find('=');
        if (equals == std::string::npos) continue;
        std::string_view name(text->data(), equals);
        for (const auto& [knownName, slot] : known) {
            if (name == knownName && !*slot) *slot = text->substr(equals + 1);
        }
    }
    return true;
}

void Serve(JNIEnv* env, jstring query, const RequestFacts& facts, jobject target) {
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

    QelWWWSession session;
    session.response = std::make_unique<QelWWWResponse>(&g_config);
    session.response->SetSecure(facts.https && ArcOS_StrICmp(facts.https->c_str(), "on") == 0);
    // What decides whether an action may change stored state (QelWWW_MayChangeState).
    NATIVE_TRACE("main: REQUEST_METHOD = '%s'", facts.method ? facts.method->c_str() : "");
    session.requestMethod = facts.method.value_or("");
    session.requestOrigin = facts.origin;
    session.requestHost = facts.host.value_or("");
    if (QelWWW_InitSession(&g_config, &session, OrNull(text), OrNull(facts.scriptName),
                           OrNull(facts.userAgent), OrNull(facts.cookie)) == 0)
        QelWWW_Dispatch(&g_config, &session);
    qelwww::detail::SendReply(env, target, setHeader, setData, *session.response);
}

// The native ends here: the JVM gets an exception instead of a C++ one.
template <typename Work>
void AsJavaCall(JNIEnv* env, Work work) {
    try {
        work();
    } catch (const std::bad_alloc&) {
        qelwww::detail::ThrowJava(env, "java/lang/OutOfMemoryError", "gateway request");
    } catch (...) {
        qelwww::detail::ThrowJava(env, "java/lang/IllegalStateException", "gateway request failed");
    }
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

// Without the method nothing that changes stored state runs (QelWWW_MayChangeState).
JNIEXPORT void JNICALL Java_com_kvr_ekvo_qk_QelWWWInterface_main(JNIEnv* env, jobject, jstring query,
                                                                 jstring scriptName, jstring userAgent,
                                                                 jstring cookie, jboolean secure,
                                                                 jobject response) {
    AsJavaCall(env, [&] {
        RequestFacts facts;
        facts.scriptName = FromJava(env, scriptName);
        facts.userAgent = FromJava(env, userAgent);
        facts.cookie = FromJava(env, cookie);
        if (secure == JNI_TRUE) facts.https = "on";
        Serve(env, query, facts, response);
    });
}

JNIEXPORT void JNICALL Java_com_kvr_ekvo_qk_QelWWWInterface_serve(JNIEnv* env, jobject, jstring query,
                                                                  jobjectArray variables, jobject response) {
    AsJavaCall(env, [&] {
        RequestFacts facts;
        if (ReadFacts(env, variables, &facts)) Serve(env, query, facts, response);
    });
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
