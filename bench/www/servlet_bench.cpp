// Requests per second through the servlet's main native, from one and from eight Java
// threads, beside a no-op native of the same shape called the same way.
#include <benchmark/benchmark.h>
#include <jni.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

extern "C" void NoopMain(JNIEnv*, jobject, jstring, jstring, jstring, jstring, jobject) {}

struct Jvm {
    JavaVM* vm = nullptr;
    jobject gateway = nullptr;  // com.kvr.ekvo.qk.QelWWWInterface
    jobject noop = nullptr;     // BenchGateway with the no-op native
    jmethodID gatewayMain = nullptr;
    jmethodID noopMain = nullptr;
    jclass responseClass = nullptr;
    bool ready = false;
};

std::string ConfigDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qelwww-bench-XXXXXX").string();
    std::string dir = mkdtemp(pattern.data());
    std::filesystem::create_directories(dir + "/cache");
    std::filesystem::create_directories(dir + "/templates");
    std::ofstream(dir + "/qelwww.ini") << "[configuration]\nCacheDir=cache\nTemplateDir=templates\n";
    std::filesystem::create_directories(dir + "/registry");
    setenv("QEL_REGISTRY_DIR", (dir + "/registry").c_str(), 1);
    return dir;
}

Jvm& TheJvm() {
    static Jvm jvm = [] {
        Jvm j;
        static std::string classPath =
            std::string("-Djava.class.path=") + QEL_WWW_JAVA_CLASSES + ":" + QEL_BENCH_JAVA_CLASSES;
        JavaVMOption options[] = {{const_cast<char*>(classPath.c_str()), nullptr}};
        JavaVMInitArgs args{};
        args.version = JNI_VERSION_1_8;
        args.nOptions = 1;
        args.options = options;
        JNIEnv* env = nullptr;
        if (JNI_CreateJavaVM(&j.vm, reinterpret_cast<void**>(&env), &args) != JNI_OK) return j;

        // Loaded from Java code, so the natives bind for the application's class loader.
        jclass loader = env->FindClass("BenchGateway");
        jstring library = env->NewStringUTF(QELWWWSL_PATH);
        env->CallStaticVoidMethod(loader, env->GetStaticMethodID(loader, "load", "(Ljava/lang/String;)V"),
                                  library);
        if (env->ExceptionCheck()) {
            env->ExceptionDescribe();
            return j;
        }

        jclass gatewayClass = env->FindClass("com/kvr/ekvo/qk/QelWWWInterface");
        j.gateway =
            env->NewGlobalRef(env->NewObject(gatewayClass, env->GetMethodID(gatewayClass, "<init>", "()V")));
        j.gatewayMain =
            env->GetMethodID(gatewayClass, "main",
                             "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;"
                             "Ljava/lang/Object;)V");
        jstring dir = env->NewStringUTF(ConfigDir().c_str());
        jint rc = env->CallIntMethod(
            j.gateway, env->GetMethodID(gatewayClass, "initialize", "(Ljava/lang/String;)I"), dir);
        if (rc != 0) {
            std::fprintf(stderr, "initialize gave %d\n", static_cast<int>(rc));
            return j;
        }

        jclass noopClass = env->FindClass("BenchGateway");
        JNINativeMethod method{const_cast<char*>("main"),
                               const_cast<char*>("(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;"
                                                 "Ljava/lang/String;Ljava/lang/Object;)V"),
                               reinterpret_cast<void*>(&NoopMain)};
        if (env->RegisterNatives(noopClass, &method, 1) != 0) return j;
        j.noop = env->NewGlobalRef(env->NewObject(noopClass, env->GetMethodID(noopClass, "<init>", "()V")));
        j.noopMain =
            env->GetMethodID(noopClass, "main",
                             "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;"
                             "Ljava/lang/Object;)V");
        j.responseClass = static_cast<jclass>(env->NewGlobalRef(env->FindClass("BenchResponse")));
        j.ready = !env->ExceptionCheck();
        if (!j.ready) env->ExceptionDescribe();
        return j;
    }();
    return jvm;
}

// A small error request: no-html, unknown function, through one Java thread per benchmark thread.
void RunRequests(benchmark::State& state, bool noop) {
    Jvm& jvm = TheJvm();
    if (!jvm.ready) {
        state.SkipWithError("no JVM");
        return;
    }
    JNIEnv* env = nullptr;
    jvm.vm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr);
    jstring query = env->NewStringUTF("_nohtml=1&_a=zzz&_s=prod&_u=user&_p=pw");
    jstring script = env->NewStringUTF("/servlet/qel");
    jstring agent = env->NewStringUTF("Mozilla/5.0 (X11; Linux x86_64)");
    jobject response =
        env->NewObject(jvm.responseClass, env->GetMethodID(jvm.responseClass, "<init>", "()V"));
    jobject target = noop ? jvm.noop : jvm.gateway;
    jmethodID method = noop ? jvm.noopMain : jvm.gatewayMain;
    for (auto _ : state) {
        env->CallVoidMethod(target, method, query, script, agent, nullptr, response);
    }
    if (env->ExceptionCheck()) state.SkipWithError("Java exception");
    state.SetItemsProcessed(state.iterations());
    env->DeleteLocalRef(query);
    env->DeleteLocalRef(script);
    env->DeleteLocalRef(agent);
    env->DeleteLocalRef(response);
    jvm.vm->DetachCurrentThread();
}

void BM_GatewayMain(benchmark::State& state) { RunRequests(state, false); }
void BM_NoopNative(benchmark::State& state) { RunRequests(state, true); }

BENCHMARK(BM_GatewayMain)->Threads(1)->Threads(8)->UseRealTime();
BENCHMARK(BM_NoopNative)->Threads(1)->Threads(8)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
