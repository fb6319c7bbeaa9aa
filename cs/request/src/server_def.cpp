// Server definitions: the "@SRV@_<name>" section of a server's configuration.
#include "qel_cs.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "arc_install.h"
#include "arc_platform.h"
#include "arc_profile.h"
#include "dispatcher_roads.h"

namespace {

constexpr const char* kDefaultServer = "ARCHIVE";

// The keys of the server's section; the first of a repeated key wins.
class Section {
public:
    Section(const char* image, const std::string& name) {
        if (image != nullptr) ArcPROF_ListSection(name.c_str(), image, &entries_);
    }
    std::string Get(const char* key, const char* missing) const {
        for (const auto& entry : entries_)
            if (ArcOS_StrICmp(entry.key.c_str(), key) == 0) return entry.value;
        return missing;
    }
    // Decimal as atoi reads it: a flag is on when this is not 0.
    long Number(const char* key, const char* missing) const {
        return std::strtol(Get(key, missing).c_str(), nullptr, 10);
    }

private:
    std::vector<ArcPROFEntry> entries_;
};

// A port is 1..65535 written in decimal digits; an empty or missing one is 0.
bool ReadPort(const Section& section, uint16_t* port) {
    std::string text = section.Get("PORT", "");
    *port = 0;
    if (text.empty()) return true;
    if (text.find_first_not_of("0123456789") != std::string::npos) return false;
    long value = 0;
    for (char digit : text) {
        value = value * 10 + (digit - '0');
        if (value > 65535) return false;
    }
    if (value < 1) return false;
    *port = static_cast<uint16_t>(value);
    return true;
}

// A time-out in seconds: decimal digits up to one day; missing or empty is 0 (the
// transport's default).
bool ReadSeconds(const Section& section, const char* key, uint32_t* seconds) {
    std::string text = section.Get(key, "");
    *seconds = 0;
    if (text.empty()) return true;
    if (text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > 86400) return false;
    *seconds = static_cast<uint32_t>(value);
    return true;
}

// The bound of one reply's decoded records: 1..4096 MiB in decimal digits; missing or
// empty is 0 (the codec's default).
bool ReadReplyLimit(const Section& section, uint64_t* bytes) {
    std::string text = section.Get("REPLY_LIMIT_MB", "");
    *bytes = 0;
    if (text.empty()) return true;
    if (text.find_first_not_of("0123456789") != std::string::npos) return false;
    uint64_t value = 0;
    for (char digit : text) {
        value = value * 10 + static_cast<uint64_t>(digit - '0');
        if (value > 4096) return false;
    }
    if (value < 1) return false;
    *bytes = value * 1024 * 1024;
    return true;
}

struct FreeImage {
    void operator()(char* image) const { std::free(image); }
};

int ParseLocal(const Section& section, const char* name, long protocol, const char* image, CsServerDef* def) {
    def->kind = CS_KIND_LOCAL;
    std::string instance = section.Get("SRVR_INSTANCE", name);
    if (ArcOS_StrICmp(instance.c_str(), kDefaultServer) != 0)
        def->instance = instance;
    else
        def->instance.clear();
    if (section.Number("SRVR_FLAGS_DISCONNECT", "1") != 0) def->flags1 |= CS_F1_SRVR_DISCONNECT;
    if (section.Number("SRVR_FLAGS_SECURITY_EXIT", "0") != 0) def->flags1 |= CS_F1_SECURITY_EXIT;
    if (section.Number("SRVR_FLAGS_COM_DEBUG", "0") != 0) def->flags1 |= CS_F1_COM_DEBUG;
    if (section.Number("SRVR_FLAGS_ALLOW_UNIFIED_TXMON", "0") != 0) def->flags2 |= CS_F2_UNIFIED_TXMON;
    long transport = protocol == 1 ? CS_KIND_TCP : protocol;
    if (transport != CS_KIND_TCP && transport != CS_KIND_SNA) return CS_FAILED;
    def->transportKind = static_cast<uint16_t>(transport);
    if (!ReadPort(section, &def->instancePort)) return CS_FAILED;
    def->profile = image ? image : "";
    return CS_OK;
}

int ParseRemote(const Section& section, const char* name, long protocol, uint16_t keptPort,
                CsServerDef* def) {
    def->profile.clear();
    if (protocol < 0 || protocol > 0xFFFF) return CS_FAILED;
    def->kind = static_cast<uint16_t>(protocol);
    if (section.Number("COMPRESS", "1") == 0) def->flags1 |= CS_F1_NO_COMPRESS_DATA;
    if (section.Number("COMPRESS_MISC", "1") == 0) def->flags1 |= CS_F1_NO_COMPRESS;
    if (section.Number("DISCONNECT", "0") != 0) def->flags1 |= CS_F1_DISCONNECT;
    std::string host = section.Get("HOST", name);
    if (host == name && ArcOS_StrICmp(name, kDefaultServer) == 0) host = "localhost";
    if (CsSetText(def->host, sizeof def->host, host.c_str()) != CS_OK) return CS_FAILED;
    def->request.Reset();
    if (def->kind != CS_KIND_TCP && def->kind != CS_KIND_SNA) return CS_FAILED;
    if (!ReadSeconds(section, "CONNECT_TIMEOUT", &def->connectTimeout) ||
        !ReadSeconds(section, "IDLE_TIMEOUT", &def->idleTimeout) ||
        !ReadReplyLimit(section, &def->replyLimit))
        return CS_FAILED;
    if (keptPort != 0) {
        def->port = keptPort;
        return CS_OK;
    }
    return ReadPort(section, &def->port) ? CS_OK : CS_FAILED;
}

}  // namespace

int CsParseServerDef(const char* serverName, int local, CsServerDef* def) {
    if (def == nullptr) return CS_FAILED;
    csreq::detail::LendDispatcher();
    const char* name = serverName && *serverName ? serverName : kDefaultServer;
    try {
        uint16_t keptPort = def->kind == CS_KIND_TCP || def->kind == CS_KIND_SNA ? def->port : 0;
        char* raw = nullptr;
        int rc = QelInst_LoadServerConfig(name, &raw);
        std::unique_ptr<char, FreeImage> image(raw);
        if (rc != QELINST_OK && local) {
            CsIssueMessageV(nullptr, 126, 'I', rc, 'S', "qelpriv", 'I', __LINE__, 'V');
            return CS_FAILED;
        }
        Section section(image.get(), std::string("@SRV@_") + name);
        long protocol = section.Number("PROTOCOL", "0");
        if (protocol == 0) protocol = CS_KIND_TCP;
        def->flags1 |= CS_F1_LEVEL_BITS;
        def->flags2 |= CS_F2_LEVEL_BITS;
        if (local) return ParseLocal(section, name, protocol, image.get(), def);
        return ParseRemote(section, name, protocol, keptPort, def);
    } catch (const std::bad_alloc&) {
        return CS_NO_MEMORY;
    }
}

int CsReadServerDef(const char* serverName, int local, CsServerDef* def) {
    return CsParseServerDef(serverName, local, def);
}

const char* CsResolveServerDef(const char* current, const char* wanted, CsServerDef* def) {
    // Server names compare ignoring case, as the registry finds their sections.
    if (current != nullptr && wanted != nullptr && ArcOS_StrICmp(current, wanted) == 0) return current;
    CsParseServerDef(wanted, 0, def);
    return nullptr;
}
