// The exported entries of libqelsckfake.so: the same table as the TCP transport, played
// from the script that QEL_FAKE_TRANSPORT_SCRIPT names.
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>

#include "arc_platform.h"
#include "fake_connection.h"
#include "info_text.h"
#include "server_def.h"

namespace {

using qel::transport::fake::LogCall;
using qel::transport::fake::Script;

constexpr const char* kScriptVariable = "QEL_FAKE_TRANSPORT_SCRIPT";
constexpr const char* kLogVariable = "QEL_FAKE_TRANSPORT_LOG";

// Successive connections play successive sections of the same script; a changed script
// starts again at its first section. The library is linked not to unload, so a
// dispatcher that unloads it between connections does not reset this.
struct Progress {
    std::mutex mutex;
    std::string script;
    size_t next = 0;
};
Progress& progress() {
    static Progress p;
    return p;
}

std::string LogPath() { return ArcOS_GetEnv(kLogVariable).value_or(""); }

// Reads and parses the script: 0, or 6 with the reason on standard error.
int LoadScript(std::string* text, Script* script) {
    std::optional<std::string> path = ArcOS_GetEnv(kScriptVariable);
    if (!path || path->empty()) {
        std::fprintf(stderr, "fake transport: %s is not set\n", kScriptVariable);
        return ARCCOM_FAULT;
    }
    if (ArcOS_ReadFile(path->c_str(), text) != 0) {
        std::fprintf(stderr, "fake transport: cannot read %s\n", path->c_str());
        return ARCCOM_FAULT;
    }
    size_t slash = path->rfind('/');
    std::string base = slash == std::string::npos ? "." : path->substr(0, slash);
    std::string why;
    if (qel::transport::fake::ParseScript(*text, base, script, &why) != 0) {
        std::fprintf(stderr, "fake transport: %s: %s\n", path->c_str(), why.c_str());
        return ARCCOM_FAULT;
    }
    return ARCCOM_OK;
}

int Connect(ArcCOM_Connection** connection, const char* definition, ArcCOM_YieldFn yield) {
    std::string logPath = LogPath();
    std::string text;
    Script script;
    if (int rc = LoadScript(&text, &script)) return rc;
    qel::transport::ServerDefinition def;
    if (int rc = qel::transport::ParseServerDefinition(definition ? definition : "", &def, nullptr)) {
        LogCall(logPath, "connect " + std::to_string(rc));
        return rc;
    }
    size_t index;
    {
        Progress& p = progress();
        std::lock_guard lock(p.mutex);
        if (p.script != text) {
            p.script = text;
            p.next = 0;
        }
        index = p.next++;
    }
    if (index >= script.connections.size()) {
        LogCall(logPath, "connect 2");
        return ARCCOM_FAILED;
    }
    auto& plan = script.connections[index];
    auto made = std::make_unique<ArcCOM_Connection>();
    if (!made->gate.Open()) return ARCCOM_FAILED;
    if (plan.connectDelayMs > 0) {
        made->gate.StartYieldClock();
        made->gate.Wait(-1, 0, ArcOS_MonotonicMs() + static_cast<int64_t>(plan.connectDelayMs), yield);
    }
    LogCall(logPath, "connect " + std::to_string(plan.connectResult));
    if (plan.connectResult != ARCCOM_OK) return plan.connectResult;

    made->steps = std::move(plan.steps);
    made->idleTimeoutMs = int64_t{def.idleTimeoutSeconds} * 1000;
    made->yield = yield;
    made->cancelIgnored = script.cancelIgnored;
    made->hostText = script.info.empty() ? qel::transport::HostText(def.host, "fake", def.port) : script.info;
    made->logPath = std::move(logPath);
    *connection = made.release();
    return ARCCOM_OK;
}

}  // namespace

extern "C" {

int ArcCOM_ClientConnect(ArcCOM_Connection** connection, const char* definition, ArcCOM_YieldFn yield) {
    if (!connection) return ARCCOM_FAULT;
    *connection = nullptr;
    try {
        return Connect(connection, definition, yield);
    } catch (const std::bad_alloc&) {
        return ARCCOM_NO_MEMORY;
    }
}

int ArcCOM_ClientDisconnect(ArcCOM_Connection* connection) {
    if (connection) LogCall(connection->logPath, "disconnect");
    delete connection;
    return ARCCOM_OK;
}

int ArcCOM_Recv(ArcCOM_Connection* connection, void* buffer, int length) {
    if (!connection || length < 0 || (!buffer && length > 0)) return -1;
    if (length == 0) return 0;
    try {
        return qel::transport::fake::ScriptedRecv(*connection, static_cast<unsigned char*>(buffer), length);
    } catch (const std::bad_alloc&) {
        connection->lastError = ARCCOM_NO_MEMORY;
        return 0;
    }
}

int ArcCOM_Send(ArcCOM_Connection* connection, const void* buffer, int length) {
    if (!connection || length < 0 || (!buffer && length > 0)) return -1;
    if (length == 0) return 0;
    try {
        return qel::transport::fake::ScriptedSend(*connection, static_cast<const unsigned char*>(buffer),
                                                  length);
    } catch (const std::bad_alloc&) {
        connection->lastError = ARCCOM_NO_MEMORY;
        return 0;
    }
}

int ArcCOM_Cancel(ArcCOM_Connection* connection) {
    if (!connection) return ARCCOM_OK;
    LogCall(connection->logPath, connection->cancelIgnored ? "cancel ignored" : "cancel");
    if (!connection->cancelIgnored) connection->gate.Cancel();
    return ARCCOM_OK;
}

int ArcCOM_Flags(ArcCOM_Connection* connection, uint32_t flags1, uint32_t flags2, ArcCOM_YieldFn yield) {
    if (!connection) return ARCCOM_FAULT;
    char words[40];
    std::snprintf(words, sizeof words, "flags %08x %08x", flags1, flags2);
    LogCall(connection->logPath, words);
    connection->yield = yield;
    connection->gate.DropPending();
    return ARCCOM_OK;
}

int ArcCOM_Info(ArcCOM_Connection** connection, char* out, const char* text, int what, size_t size) {
    ArcCOM_Connection* c = connection ? *connection : nullptr;
    return qel::transport::AnswerInfo(c != nullptr, c ? c->hostText : std::string(),
                                      c ? c->lastError.load() : 0, text, what, out, size);
}

// The script may ask for another version, for the loader's refusal tests.
int ArcCOM_Version(void) {
    try {
        std::string text;
        Script script;
        if (ArcOS_GetEnv(kScriptVariable) && LoadScript(&text, &script) == 0) return script.version;
    } catch (const std::bad_alloc&) {
    }
    return ARCCOM_VERSION;
}

// Starts the script again at its first connection.
int ArcCOM_Init(void) {
    Progress& p = progress();
    std::lock_guard lock(p.mutex);
    p.script.clear();
    p.next = 0;
    return ARCCOM_OK;
}
int ArcCOM_Term(void) { return ARCCOM_OK; }
int ArcCOM_HostInfo(char* out, size_t size) {
    return qel::transport::WriteInfoText("fake", out, size) == ARCCOM_OK ? ARCCOM_OK : ARCCOM_FAILED;
}

}  // extern "C"
