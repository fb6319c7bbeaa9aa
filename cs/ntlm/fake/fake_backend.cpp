// A deterministic stand-in for NTLM, so the token plumbing (request 108, the local
// server's exchange) can be tested without GSSAPI. Linked into tests only. Tokens:
// docs/ntlm.md.
#include "qel_ntlm_fake.h"

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "arc_platform.h"
#include "ntlm_backend.h"

namespace qel::ntlm::detail {
namespace {

constexpr std::string_view kNegotiate = "QELNTLM1 NEGOTIATE ";
constexpr std::string_view kChallenge = "QELNTLM1 CHALLENGE ";
constexpr std::string_view kAuthenticate = "QELNTLM1 AUTHENTICATE ";
// A user name is bounded only by the token limit.
constexpr size_t kMaxUser = 65536;

uint64_t Fnv1a64(std::string_view text) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

std::string Hex16(uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

// What QelNtlmFake_SetIdentity set; empty: the defaults.
struct Identity {
    std::mutex mutex;
    std::string user;
    std::string secret;
};

Identity& TheIdentity() {
    static Identity identity;
    return identity;
}

std::string Secret() {
    Identity& id = TheIdentity();
    std::lock_guard lock(id.mutex);
    return id.secret.empty() ? "fake-secret" : id.secret;
}

std::optional<std::string> User() {
    std::string user;
    {
        Identity& id = TheIdentity();
        std::lock_guard lock(id.mutex);
        user = id.user;
    }
    if (user.empty()) {
        char name[256] = {};
        if (ArcOS_GetUserName(name, sizeof name) != 0) return std::nullopt;
        user = name;
    }
    return user;
}

// Printable ASCII without blanks, so a token splits at its single spaces.
bool GoodUser(std::string_view user) {
    if (user.empty() || user.size() > kMaxUser) return false;
    for (unsigned char c : user) {
        if (c <= 0x20 || c >= 0x7f) return false;
    }
    return true;
}

std::string Response(std::string_view challenge, std::string_view user) {
    return Hex16(Fnv1a64(std::string(challenge) + ":" + std::string(user) + ":" + Secret()));
}

void Put(std::vector<unsigned char>* out, const std::string& text) { out->assign(text.begin(), text.end()); }

class FakeBackend final : public Backend {
public:
    int Step(bool server, std::span<const unsigned char> peer, std::vector<unsigned char>* out,
             bool* done) override {
        std::string_view token(reinterpret_cast<const char*>(peer.data()), peer.size());
        return server ? ServerStep(token, out, done) : ClientStep(token, out, done);
    }
    std::string PeerName() const override { return peerName_; }

private:
    int ClientStep(std::string_view token, std::vector<unsigned char>* out, bool* done) {
        if (token.empty()) {  // first step
            std::optional<std::string> user = User();
            if (!user || !GoodUser(*user)) return 1;
            user_ = *user;
            Put(out, std::string(kNegotiate) + user_);
            *done = false;
            return 0;
        }
        if (!token.starts_with(kChallenge)) return 1;
        std::string_view challenge = token.substr(kChallenge.size());
        if (challenge.size() != 16) return 1;
        Put(out, std::string(kAuthenticate) + user_ + " " + Response(challenge, user_));
        *done = true;
        return 0;
    }

    int ServerStep(std::string_view token, std::vector<unsigned char>* out, bool* done) {
        if (challenge_.empty()) {
            if (!token.starts_with(kNegotiate)) return 1;
            std::string_view user = token.substr(kNegotiate.size());
            if (!GoodUser(user)) return 1;
            user_ = user;
            challenge_ = Hex16(Fnv1a64(user_));
            Put(out, std::string(kChallenge) + challenge_);
            *done = false;
            return 0;
        }
        std::string expected = std::string(kAuthenticate) + user_ + " " + Response(challenge_, user_);
        if (token != expected) return 1;
        out->clear();
        peerName_ = user_;
        *done = true;
        return 0;
    }

    std::string user_;
    std::string challenge_;
    std::string peerName_;
};

}  // namespace

std::unique_ptr<Backend> MakeFakeBackend() { return std::make_unique<FakeBackend>(); }

}  // namespace qel::ntlm::detail

void QelNtlmFake_Install() { qel::ntlm::detail::SetTestBackend(qel::ntlm::detail::MakeFakeBackend); }

void QelNtlmFake_Remove() { qel::ntlm::detail::SetTestBackend(nullptr); }

void QelNtlmFake_SetIdentity(const char* user, const char* secret) {
    qel::ntlm::detail::Identity& id = qel::ntlm::detail::TheIdentity();
    std::lock_guard lock(id.mutex);
    id.user = user != nullptr ? user : "";
    id.secret = secret != nullptr ? secret : "";
}
