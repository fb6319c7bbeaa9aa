// The inactivity time-out of a logon. Stamps and "now" are 'Z' (UTC) seconds, so a
// daylight-saving change never ends a logon nor stretches one.
#include "qel_cs.h"

#include <cstdint>
#include <limits>

#include "arc_datetime.h"

namespace {

int PollResult(CsHandle* handle) { return CsPollCancel(handle) ? CS_CANCELLED : CS_OK; }

int TimedOut(CsHandle* handle) {
    handle->def.flags1 |= CS_F1_TIMED_OUT;
    return CS_TIMED_OUT;
}

}  // namespace

int CsCheckTimeout(CsHandle* handle) {
    if (handle == nullptr) return CS_FAILED;
    uint32_t flags = handle->def.flags1;
    if (flags & CS_F1_EXTERNAL) return PollResult(handle);
    if (flags & CS_F1_TIMED_OUT) return CS_TIMED_OUT;
    CsLogonRecord* logon = handle->logon;
    const CsSystemParms* parms = handle->systemParms.get();
    if (logon == nullptr || parms == nullptr) return PollResult(handle);
    const int64_t perLogon = logon->timeOut;
    const int64_t systemWide = parms->timeOut;
    if (perLogon < 0 || (systemWide <= 0 && perLogon == 0)) return PollResult(handle);

    const int64_t now = ArcDT_Now('Z');
    const int64_t last = logon->lastActivity;
    constexpr int64_t kNever = std::numeric_limits<int64_t>::max();
    if (now < 0 || last < 0 || (now < last && last != kNever)) return TimedOut(handle);
    // last >= 0 and now >= 0: the difference cannot overflow.
    const int64_t elapsed = now - last;
    const int64_t limit = perLogon != 0 ? perLogon : systemWide;
    if (elapsed > limit) return TimedOut(handle);
    logon->lastActivity = now;
    return PollResult(handle);
}

int CsCheckTimeoutEntry(CsHandle* handle) { return CsCheckTimeout(handle); }
