// Small accessors of a session: capabilities, option words, time-out, interrupt.
#include "library_state.h"
#include "qel_client.h"
#include "server_ops.h"

bool Session_HasServerCapability(ClientSession* session, int n) {
    if (!session || !session->systemParms || n < 0 || n > 9) return false;
    const uint32_t w = session->systemParms->flags;
    // Capabilities 0-2 and 9 are announced by a clear bit, the others by a set bit.
    static constexpr uint32_t kBits[10] = {0x01, 0x02, 0x04, 0x08, 0x20, 0x40, 0x80, 0x100, 0x200, 0x400};
    const bool set = (w & kBits[n]) != 0;
    return (n <= 2 || n == 9) ? !set : set;
}

void Session_SetOptionBits(ClientSession* session, uint32_t bits1, uint32_t bits2, int on) {
    auto apply = [on](uint32_t word, uint32_t bits) { return on ? (word | bits) : (word & ~bits); };
    if (session) {
        session->handle.def.flags1 = apply(session->handle.def.flags1, bits1);
        session->handle.def.flags2 = apply(session->handle.def.flags2, bits2);
        return;
    }
    qelclient::LibraryState& lib = qelclient::Library();
    if (on) {
        lib.defaultWord1.fetch_or(bits1);
        lib.defaultWord2.fetch_or(bits2);
    } else {
        lib.defaultWord1.fetch_and(~bits1);
        lib.defaultWord2.fetch_and(~bits2);
    }
}

void Session_SetOption(ClientSession* session, int on) { Session_SetOptionBits(session, 1, 0, on); }

uint32_t Session_GetDefaultOptions(int word) {
    const qelclient::LibraryState& lib = qelclient::Library();
    return word == 2 ? lib.defaultWord2.load() : lib.defaultWord1.load();
}

bool Session_ServerFlag0(ClientSession* session) {
    return session && session->systemParms && (session->systemParms->flags & 0x01);
}

uint32_t Session_GetUserValue(ClientSession* session) { return session ? session->userValue : 0; }

void Session_SetUserValue(ClientSession* session, uint32_t value) {
    if (session) session->userValue = value;
}

bool Session_IsTimedOut(ClientSession* session) {
    if (!session) return false;
    const auto& check = qelclient::Ops().checkTimeout;
    return check && check(session) == CS_TIMED_OUT;
}

void Session_Interrupt(ClientSession* session) {
    if (!session || !session->requestRunning) return;
    const auto& interrupt = qelclient::Ops().interrupt;
    if (interrupt) interrupt(session);
}
