// Making a session and logging on; logging off and freeing it.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "arc_install.h"
#include "arc_profile.h"
#include "library_state.h"
#include "qel_client.h"
#include "server_ops.h"
#include "session_list.h"
#include "state_format.h"
#include "status_area.h"

namespace {

using namespace qelclient;

bool TooLong(const char* text, size_t size) { return text && std::strlen(text) >= size; }

// Binds the handle to a server given by host (kind letter 'L', 'T' or 'S') or, without
// a host, to the server's definition. Empty when bound, else why not.
std::string BindServer(ClientSession* s, const char* server, const char* host, char kind, int port,
                       const char* localDirectory) {
    const LibraryState& lib = Library();
    CsServerDef& def = s->handle.def;
    if (!host) {
        // Without a definition the logon itself reports the server as unknown.
        CsReadServerDef(server, 0, &def);
        return {};
    }
    switch (kind) {
        case 'L': {
            // Longer than a path can be: the state file could not carry it back.
            if (localDirectory && std::strlen(localDirectory) > kLocalDirectoryMax)
                return "local directory longer than 4096 characters";
            def.kind = CS_KIND_LOCAL;
            CsSetText(def.host, CS_HOST_SIZE, "LOCAL");
            s->localDirectory = localDirectory ? localDirectory : "";
            const std::string section = std::string("@SRV@_") + server;
            // The server's registry configuration (its run settings and printers), then
            // the directory the caller names.
            char* image = nullptr;
            if (QelInst_LoadServerConfig(server, &image) != QELINST_OK) image = nullptr;
            // A directory the profile cannot hold (a line break) leaves no image.
            if (ArcPROF_SetInImage(section.c_str(), "DIRECTORY", s->localDirectory.c_str(), &image) == 0 &&
                image) {
                def.profile = image;
            }
            std::free(image);
            break;
        }
        case 'T':
        case 'S':
            def.kind = kind == 'T' ? CS_KIND_TCP : CS_KIND_SNA;
            if (CsSetText(def.host, CS_HOST_SIZE, host) != 0) return "host name longer than 255 characters";
            if (port < 0 || port > 65535) return "port outside 0..65535";
            def.port = static_cast<uint16_t>(port);
            break;
        default: break;
    }
    def.flags1 = lib.defaultWord1.load();
    def.flags2 = lib.defaultWord2.load();
    return {};
}

int RunLogon(ClientSession* s, const char* user, const char* password, int integrated) {
    const ServerOps& ops = Ops();
    if (integrated) return ops.integratedLogon ? ops.integratedLogon(s) : CS_FAILED;
    // Cutting would name another user or try another password: refuse instead.
    if (TooLong(user, CS_USER_ID_SIZE) || TooLong(password, CS_USER_ID_SIZE)) return CS_NOT_AUTHORISED;
    return ops.logon ? ops.logon(s, user ? user : "", password ? password : "") : CS_FAILED;
}

}  // namespace

uint16_t Session_RightsFromPermissions(uint16_t p) {
    if (p & 0x04) p = 0x04;
    struct Pair {
        uint16_t mask, value;
    };
    static constexpr Pair kPairs[] = {{0x01, 0x01}, {0x10, 0x10}, {0x02, 0x02}, {0x08, 0x08},
                                      {0x04, 0x04}, {0x40, 0x20}, {0x80, 0x40}};
    uint16_t rights = 0;
    for (const Pair& pair : kPairs) {
        if (p & pair.mask) rights |= pair.value;
    }
    return rights;
}

void Session_Create(ClientStatus* status, const char* server, const char* host, const char* user,
                    const char* password, char kind, int port, const char* localDirectory, int integrated,
                    ClientSession** out) {
    ClientStatus ignored;
    if (!status) status = &ignored;
    if (out) *out = nullptr;
    const LibraryState& lib = Library();

    auto session = std::make_unique<ClientSession>();
    ClientSession* s = session.get();
    if (!server) server = "";
    std::string refusal;
    if (!*server) {
        refusal = "no server name";
    } else if (CsSetText(s->handle.serverName, CS_SERVER_NAME_SIZE, server) != 0) {
        refusal = "server name longer than 255 characters";
    }
    s->charKind = lib.options.charKind == 'A' ? 8 : 1;
    s->codePage = lib.started ? lib.options.codePage : 819;
    s->handle.callbackContext = s;
    s->handle.iconv = lib.iconv;
    s->handle.localCcsid = s->codePage;
    if (refusal.empty()) refusal = BindServer(s, server, host, kind, port, localDirectory);

    if (!refusal.empty()) {
        Session_MakeLocalStatus(status, s, 3, refusal.c_str());
    } else {
        Session_MakeStatus(status, s, RunLogon(s, user, password, integrated), CLIENT_OP_LOGON);
    }
    if (status->severity != CLIENT_SEV_OK && status->severity != CLIENT_SEV_EXPIRED) {
        if (status->code == 10) status->code = 3;
        if (status->code == 35) status->code = 28;
        // The record goes now; what the status points to moves to this thread's area.
        DetachStatus(status, *s);
        return;
    }

    s->userNumber = s->user.userNumber;
    s->rights = Session_RightsFromPermissions(s->user.userType);
    ClientSession* listed = ListAppend(std::move(session));
    if (out) *out = listed;
}

void Session_Logon(ClientStatus* status, const char* server, const char* host, const char* user,
                   const char* password, char kind, int port, const char* localDirectory,
                   ClientSession** session) {
    Session_Create(status, server, host, user, password, kind, port, localDirectory, 0, session);
}

int Session_Logoff(ClientSession* session, int keepLogon) {
    using namespace qelclient;
    if (!ListContains(session)) return -1;
    int rc = 0;
    if (session->open) {
        session->documents.clear();
        session->folders.clear();
        session->storageSets.clear();
        session->retrieveSets.clear();
        const ServerOps& ops = Ops();
        const auto& end = keepLogon ? ops.disconnect : ops.logoff;
        rc = end ? end(session) : CS_FAILED;
        session->open = 0;
    }
    // Freed here, outside the list's mutex.
    std::unique_ptr<ClientSession> record = ListRemove(session);
    return rc;
}
