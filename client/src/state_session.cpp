// The session blob: everything a later request needs to go on with the logon.
#include <cstring>
#include <memory>
#include <string_view>

#include "blob_reader.h"
#include "blob_writer.h"
#include "library_state.h"
#include "qel_client.h"
#include "server_ops.h"
#include "session_list.h"
#include "state_format.h"
#include "state_settings.h"

namespace {

using namespace qelclient;

// Bits of flag word 1 that describe resources of the process that saved the blob.
inline constexpr uint32_t kLiveBits =
    CS_F1_INTERRUPT | CS_F1_LOCAL_OPEN | CS_F1_STORAGE_OPEN | CS_F1_SYSLOG_LOADED | CS_F1_CANCEL_PENDING;

template <size_t N>
std::string_view Slot(const char (&slot)[N]) {
    return std::string_view(slot, strnlen(slot, N));
}

bool KnownKind(uint16_t kind) {
    return kind == 0 || kind == CS_KIND_LOCAL || kind == CS_KIND_TCP || kind == CS_KIND_SNA;
}

void WriteUser(BlobWriter& w, const ClientUserRecord& u) {
    w.U32(u.userNumber);
    w.Text(Slot(u.userId));
    w.Text(u.password);
    w.Text(Slot(u.description));
    w.Text(Slot(u.userName));
    for (const auto& text : u.info) w.Text(Slot(text));
    for (const auto& text : u.phone) w.Text(Slot(text));
    w.Text(Slot(u.email));
    w.U32(u.attributes);
    w.U16(u.userType);
    w.I64(u.passwordChanged);
    w.I64(u.logonTimeOut);
    w.U32(u.logonState);
}

void ReadUser(BlobReader& r, ClientUserRecord* u) {
    u->userNumber = r.U32();
    r.TextInto(u->userId, sizeof u->userId);
    u->password = r.Text(kPasswordHashMax);
    // Only a hash is ever saved; anything else would be a password in clear.
    if (!u->password.empty() && u->password.rfind("$6$", 0) != 0 && !Session_IsKeyedHash(u->password))
        r.Fail();
    r.TextInto(u->description, sizeof u->description);
    r.TextInto(u->userName, sizeof u->userName);
    for (auto& text : u->info) r.TextInto(text, sizeof text);
    for (auto& text : u->phone) r.TextInto(text, sizeof text);
    r.TextInto(u->email, sizeof u->email);
    u->attributes = r.U32();
    u->userType = r.U16();
    u->passwordChanged = r.I64();
    u->logonTimeOut = r.I64();
    u->logonState = r.U32();
}

void WriteHandle(BlobWriter& w, const CsHandle& h) {
    const CsServerDef& d = h.def;
    w.U16(d.kind);
    w.U32(d.flags1);
    w.U32(d.flags2);
    w.Text(Slot(d.host));
    w.U16(d.port);
    w.Text(d.instance);
    w.Text(d.profile);
    w.U16(d.transportKind);
    w.U16(d.instancePort);
    w.U32(h.clientFlags);
    w.I32(h.clientType);
    w.Text(Slot(h.identity.userId));
    w.Text(Slot(h.identity.userName));
    w.U32(h.identity.processId);
    w.U32(h.serverSession);
    w.Bytes(h.serverSessionBlock, sizeof h.serverSessionBlock);
}

void ReadHandle(BlobReader& r, CsHandle* h) {
    CsServerDef& d = h->def;
    d.kind = r.U16();
    if (!KnownKind(d.kind)) r.Fail();
    d.flags1 = r.U32() & ~kLiveBits;
    d.flags2 = r.U32();
    r.TextInto(d.host, sizeof d.host);
    d.port = r.U16();
    d.instance = r.Text(kServerNameMax);
    d.profile = r.Text(kProfileMax);
    // Only a local server has a configuration image.
    if (!d.profile.empty() && d.kind != CS_KIND_LOCAL) r.Fail();
    d.transportKind = r.U16();
    d.instancePort = r.U16();
    h->clientFlags = r.U32();
    h->clientType = r.I32();
    r.TextInto(h->identity.userId, sizeof h->identity.userId);
    r.TextInto(h->identity.userName, sizeof h->identity.userName);
    h->identity.processId = r.U32();
    h->serverSession = r.U32();
    r.Bytes(h->serverSessionBlock, sizeof h->serverSessionBlock);
}

void WriteSystemParms(BlobWriter& w, const std::optional<CsSystemParms>& p) {
    w.U8(p ? 1 : 0);
    if (!p) return;
    w.I32(p->passwordExpiryDays);
    w.U16(p->minPasswordLength);
    w.U16(p->reserved1);
    w.I64(p->timeOut);
    w.U32(p->flags);
    w.U32(p->systemLogMask);
    w.U32(p->exitMask);
    w.U32(p->reserved2);
}

void ReadSystemParms(BlobReader& r, std::optional<CsSystemParms>* out) {
    if (!r.Flag()) return;
    CsSystemParms p;
    p.passwordExpiryDays = r.I32();
    p.minPasswordLength = r.U16();
    p.reserved1 = r.U16();
    p.timeOut = r.I64();
    p.flags = r.U32();
    p.systemLogMask = r.U32();
    p.exitMask = r.U32();
    p.reserved2 = r.U32();
    *out = p;
}

void WriteLogon(BlobWriter& w, const std::optional<ClientLogonRecord>& l) {
    w.U8(l ? 1 : 0);
    if (!l) return;
    w.U32(l->userNumber);
    w.Text(l->groupList);
    w.U16(l->userType);
    w.I64(l->lastActivity);
    w.I64(l->timeOut);
}

void ReadLogon(BlobReader& r, std::optional<ClientLogonRecord>* out) {
    if (!r.Flag()) return;
    ClientLogonRecord l;
    l.userNumber = r.U32();
    l.groupList = r.Text(kGroupListMax);
    l.userType = r.U16();
    l.lastActivity = r.I64();
    l.timeOut = r.I64();
    *out = std::move(l);
}

void WriteGroups(BlobWriter& w, const ClientSession& s) {
    w.U32(static_cast<uint32_t>(s.groups.size()));
    for (const ClientGroupEntry& g : s.groups) {
        w.U32(g.number);
        w.U32(g.owner);
        w.Text(g.id);
        w.Text(g.description);
    }
    w.I32(s.currentGroup);
}

void ReadGroups(BlobReader& r, ClientSession* s) {
    // number, owner and two text lengths at the least
    const uint32_t count = r.Count(kListCountMax, 16);
    s->groups.reserve(count);
    for (uint32_t i = 0; i < count && r.ok(); ++i) {
        ClientGroupEntry g;
        g.number = r.U32();
        g.owner = r.U32();
        g.id = r.Text(kGroupIdMax);
        g.description = r.Text(kDescriptionMax);
        s->groups.push_back(std::move(g));
    }
    s->currentGroup = r.I32();
    if (s->currentGroup < -1 || s->currentGroup >= static_cast<int>(count)) r.Fail();
}

void WriteSession(BlobWriter& w, const ClientSession& s) {
    w.Text(Slot(s.handle.serverName));
    w.I32(s.codePage);
    w.U16(s.charKind);
    w.U16(s.rights);
    w.U32(s.userNumber);
    w.U32(s.userValue);
    w.U8(s.groupsLoaded ? 1 : 0);
    w.Text(s.localDirectory);
    WriteUser(w, s.user);
    WriteHandle(w, s.handle);
    WriteSystemParms(w, s.systemParms);
    WriteLogon(w, s.logon);
    WriteGroups(w, s);
}

void ReadSession(BlobReader& r, ClientSession* s) {
    r.TextInto(s->handle.serverName, sizeof s->handle.serverName);
    if (s->handle.serverName[0] == '\0') r.Fail();
    s->codePage = r.I32();
    if (s->codePage <= 0) r.Fail();
    s->charKind = r.U16();
    if (s->charKind != 1 && s->charKind != 8) r.Fail();
    s->rights = r.U16();
    s->userNumber = r.U32();
    s->userValue = r.U32();
    s->groupsLoaded = r.Flag() ? 1 : 0;
    s->localDirectory = r.Text(kLocalDirectoryMax);
    ReadUser(r, &s->user);
    ReadHandle(r, &s->handle);
    ReadSystemParms(r, &s->systemParms);
    ReadLogon(r, &s->logon);
    ReadGroups(r, s);
}

}  // namespace

size_t State_SaveSession(ClientSession* session, std::vector<unsigned char>* blob) {
    if (!blob || !ListContains(session)) return 0;
    if (const auto& capture = Ops().captureLogon) capture(session);
    BlobWriter w;
    WriteSettings(w, Library().options);
    WriteSession(w, *session);
    *blob = w.Finish(kSessionMagic);
    return blob->size();
}

ClientSession* State_RestoreSession(const unsigned char* blob, size_t length, ArcIconvContext* context) {
    BlobReader r(blob, length, kSessionMagic);
    LibraryOptions saved;
    ReadSettings(r, &saved);  // checked, never installed
    auto session = std::make_unique<ClientSession>();
    ReadSession(r, session.get());
    if (!r.Done()) return nullptr;

    session->handle.iconv = context;
    session->handle.localCcsid = session->codePage;
    session->handle.callbackContext = session.get();
    if (const auto& install = Ops().installLogon) {
        if (install(session.get()) != 0) return nullptr;
    }
    return ListAppend(std::move(session));
}
