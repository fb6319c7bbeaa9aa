// Protocol-level negotiation and the explicit connect. Probes travel with zero flag
// words; only the level bits of the handle change, so an interrupt raised meanwhile
// survives.
#include "dispatcher_detail.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "arc_platform.h"

namespace {

struct LevelBits {
    int32_t level;
    uint32_t flags1;
    uint32_t flags2;
};

constexpr LevelBits kLevels[] = {
    {2219, 0x50100000, 0x145}, {2210, 0x50100000, 0x045}, {22014, 0x50100000, 0x005},
    {2209, 0x50100000, 0x001}, {2208, 0x50100000, 0x000}, {2207, 0x10100000, 0x000},
    {2114, 0x00100000, 0x000}, {210, 0x00000000, 0x000},
};

// QEL_QKTARN_SKIP_VERSION: unset -> all probes; a non-zero number -> skip the two
// newest; set but empty or 0 -> skip 22014 down to 2207.
enum class Skip { kNone, kNewest, kMiddle };

Skip SkipSetting() {
    std::optional<std::string> value = ArcOS_GetEnv("QEL_QKTARN_SKIP_VERSION");
    if (!value) return Skip::kNone;
    if (!value->empty() && std::atoi(value->c_str()) != 0) return Skip::kNewest;
    return Skip::kMiddle;
}

std::vector<LevelBits> Offered(const CsHandle* handle, int stopBefore2114, int stopBefore2207,
                               bool* stopAfterNewest) {
    Skip skip = SkipSetting();
    std::vector<LevelBits> levels;
    *stopAfterNewest = (handle->clientFlags & 0x08) != 0;
    for (const LevelBits& l : kLevels) {
        bool newest = l.level == 2219 || l.level == 2210;
        bool middle = l.level == 22014 || l.level == 2209 || l.level == 2208 || l.level == 2207;
        if (newest && skip == Skip::kNewest) continue;
        if (middle && skip == Skip::kMiddle) continue;
        if (l.level == 2207 && stopBefore2207) continue;
        if ((l.level == 2114 || l.level == 210) && (stopBefore2207 || stopBefore2114)) continue;
        levels.push_back(l);
    }
    return levels;
}

void SetLevelBits(CsHandle* handle, uint32_t bits1, uint32_t bits2) {
    handle->def.flags1 &= ~CS_F1_LEVEL_BITS;
    handle->def.flags1 |= bits1;
    handle->def.flags2 &= ~CS_F2_LEVEL_BITS;
    handle->def.flags2 |= bits2;
}

}  // namespace

int CsNegotiateLevel(CsHandle* handle, int stopBefore2114, int stopBefore2207) {
    if (handle == nullptr) return CS_FAILED;
    if (handle->def.kind == CS_KIND_LOCAL) return CS_OK;
    bool stopAfterNewest = false;
    int rc = CS_LEVEL_NOT_SUPPORTED;
    LevelBits accepted{0, 0, 0};
    for (const LevelBits& l : Offered(handle, stopBefore2114, stopBefore2207, &stopAfterNewest)) {
        bool newest = l.level == 2219 || l.level == 2210;
        if (!newest && stopAfterNewest) break;
        rc = csreq::detail::ProbeLevel(handle, l.level);
        if (rc == CS_OK) {
            accepted = l;
            break;
        }
        if (rc != CS_LEVEL_NOT_SUPPORTED) break;
    }
    SetLevelBits(handle, accepted.flags1, accepted.flags2);
    return rc;
}

int CsConnectServer(CsHandle* handle) {
    int rc = CsSessionEnter(handle);
    if (rc != CS_OK) return rc;
    if (handle->def.kind == CS_KIND_LOCAL) return CsSessionLeave(handle, CS_OK);
    rc = CsNegotiateLevel(handle, 0, 1);
    if (rc == CS_OK)
        rc = CsServerRequest(handle, CS_REQ_CONNECT);
    else
        handle->serverSession = 0;
    return CsSessionLeave(handle, rc);
}
