// The state cookie's sealed password: sealing and opening, every kind of damage, the
// cookie-only request, and the Secure attribute under HTTPS.
#include "www_test_support.h"

#include <sys/stat.h>

#include "arc_platform.h"

namespace {

using wwwtest::ConfigFromIni;
using wwwtest::NewSession;
using wwwtest::ScratchDir;

const std::string kKey(32, 'K');
const std::string kOtherKey = std::string(31, 'K') + 'L';

// An independent base64url reader and writer (RFC 4648 section 5, no padding), so that the
// tests change the sealed bytes and not only the text.
const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

std::string Decode(const std::string& text) {
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        bits = (bits << 6) | static_cast<unsigned>(kAlphabet.find(c));
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

std::string Encode(const std::string& bytes) {
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (unsigned char b : bytes) {
        bits = (bits << 8) | b;
        count += 8;
        while (count >= 6) {
            count -= 6;
            out += kAlphabet[(bits >> count) & 0x3F];
        }
    }
    if (count > 0) out += kAlphabet[(bits << (6 - count)) & 0x3F];
    return out;
}

// The sealed bytes: 24 nonce bytes, the ciphertext, 16 tag bytes.
std::string Bytes(const std::string& sealed) { return Decode(sealed.substr(3)); }
std::string Sealed(const std::string& bytes) { return "v1." + Encode(bytes); }

TEST(CookieSeal, OpensWhatItSealedAndNeverShowsThePassword) {
    for (const std::string& password : {std::string(), std::string("wonder1"), std::string(20, 'x'),
                                        std::string("p&w=;d% +"), std::string("caf\xC3\xA9")}) {
        SCOPED_TRACE(password);
        const std::string sealed = QelWWW_SealPassword(kKey, "ALICE", password);
        ASSERT_EQ(sealed.rfind("v1.", 0), 0u) << sealed;
        EXPECT_EQ(sealed.find_first_not_of(kAlphabet, 3), std::string::npos) << "base64url only: " << sealed;
        EXPECT_EQ(Bytes(sealed).size(), 24 + password.size() + 16);
        if (!password.empty()) {
            EXPECT_EQ(Bytes(sealed).find(password), std::string::npos);
        }
        EXPECT_EQ(QelWWW_OpenPassword(kKey, "ALICE", sealed), password);
        // A fresh nonce each time: the same password never gives the same cookie.
        const std::string again = QelWWW_SealPassword(kKey, "ALICE", password);
        EXPECT_NE(again, sealed);
        EXPECT_NE(Bytes(again).substr(0, 24), Bytes(sealed).substr(0, 24));
        EXPECT_EQ(QelWWW_OpenPassword(kKey, "ALICE", again), password);
    }
    EXPECT_EQ(QelWWW_SealPassword(std::string(31, 'K'), "ALICE", "wonder1"), "")
        << "a short key seals nothing";
}

TEST(CookieSeal, EveryChangedByteAndEveryCutIsRefused) {
    const std::string sealed = QelWWW_SealPassword(kKey, "ALICE", "wonder1");
    const std::string bytes = Bytes(sealed);
    ASSERT_EQ(Sealed(bytes), sealed) << "the test's own encoder must agree";
    for (size_t at = 0; at < bytes.size(); ++at) {
        const char* part = at < 24 ? "nonce" : at < bytes.size() - 16 ? "ciphertext" : "tag";
        for (unsigned char flip : {0x01, 0x80, 0xFF}) {
            std::string changed = bytes;
            changed[at] = static_cast<char>(changed[at] ^ flip);
            EXPECT_EQ(QelWWW_OpenPassword(kKey, "ALICE", Sealed(changed)), std::nullopt)
                << part << " byte " << at << " ^ " << int(flip);
        }
    }
    for (size_t length = 0; length < bytes.size(); ++length)
        EXPECT_EQ(QelWWW_OpenPassword(kKey, "ALICE", Sealed(bytes.substr(0, length))), std::nullopt)
            << length;
    EXPECT_EQ(QelWWW_OpenPassword(kKey, "ALICE", Sealed(bytes + "x")), std::nullopt);
}

TEST(CookieSeal, OtherKeysUsersVersionsAndShapesDoNotOpen) {
    const std::string sealed = QelWWW_SealPassword(kKey, "ALICE", "wonder1");
    const std::string text = sealed.substr(3);
    struct Case {
        const char* name;
        std::string key;
        std::string user;
        std::string value;
    } cases[] = {
        {"another installation's key", kOtherKey, "ALICE", sealed},
        {"a key of 31 bytes", std::string(31, 'K'), "ALICE", sealed},
        {"another user's cookie", kKey, "BOB", sealed},
        {"the user in other case", kKey, "alice", sealed},
        {"the clear text of an older cookie", kKey, "ALICE", "wonder1"},
        {"clear text that looks versioned", kKey, "ALICE", "v1.wonder1"},
        {"a later version", kKey, "ALICE", "v2." + text},
        {"version in upper case", kKey, "ALICE", "V1." + text},
        {"no version", kKey, "ALICE", text},
        {"version only", kKey, "ALICE", "v1."},
        {"empty", kKey, "ALICE", ""},
        {"padding", kKey, "ALICE", sealed + "="},
        {"standard alphabet", kKey, "ALICE", "v1.+/" + text.substr(2)},
        {"a blank inside", kKey, "ALICE", "v1." + text.substr(0, 10) + " " + text.substr(10)},
        {"a NUL inside", kKey, "ALICE", "v1." + text.substr(0, 10) + std::string(1, '\0') + text.substr(10)},
        {"far too long", kKey, "ALICE", "v1." + std::string(4096, 'A')},
    };
    for (const Case& c : cases)
        EXPECT_EQ(QelWWW_OpenPassword(c.key, c.user, c.value), std::nullopt) << c.name;
    EXPECT_EQ(QelWWW_OpenPassword(kKey, "ALICE", sealed), "wonder1") << "the sealed value itself still opens";
}

// A site's configuration over a cache directory that holds the installation key.
class StateCookie : public ::testing::Test {
protected:
    void SetUp() override {
        config_ = ConfigFromIni("[@SRV@_prod]\nHOST=prod.example\nPROTOCOL=4\nPORT=1450\n");
        config_.cacheDir = dir_.MakeDir("cache");
        std::string key;
        ASSERT_EQ(QelWWW_StateKey(&config_, true, &key), 0);
    }

    // The Set-Cookie values a logon of user with password sends.
    std::vector<std::string> LogonCookies(const char* user, const char* password, bool secure) {
        QelWWWSession logon;
        logon.serverName = "prod";
        logon.server = "prod.example";
        logon.port = 1450;
        logon.user = user;
        logon.password = password;
        logon.sendStateCookie = 1;
        logon.sendLogIdCookie = 1;
        QelWWWResponse response(&config_);
        response.SetSecure(secure);
        response.SaveStateCookies(&config_, &logon, 819, 5);
        return Values(response);
    }

    static std::vector<std::string> Values(const QelWWWResponse& response) {
        std::vector<std::string> values;
        for (uint32_t i = 0; i < response.GetHeaderCount(); ++i) {
            const char* value = nullptr;
            response.GetHeader(i, nullptr, &value);
            values.emplace_back(value);
        }
        return values;
    }

    // The reply number of a request with only the cookie, and the session's password.
    std::pair<int, std::string> CookieOnly(const char* query, const std::string& cookie) {
        auto session = NewSession(&config_);
        if (QelWWW_InitSession(&config_, session.get(), query, "/cgi-bin/qelwww", nullptr, cookie.c_str()) !=
            0) {
            const std::string body = session->response->GetBody();
            const size_t id = body.find("ID=");
            return {id == std::string::npos ? -1 : std::atoi(body.c_str() + id + 3), body};
        }
        return {0, session->password};
    }

    ScratchDir dir_;
    QelWWWConfig config_;
};

TEST_F(StateCookie, HoldsThePasswordOnlySealedAndLogsOnAgainFromIt) {
    const std::vector<std::string> cookies = LogonCookies("ALICE", "wonder1", false);
    ASSERT_EQ(cookies.size(), 2u);
    const std::string state = cookies[0].substr(0, cookies[0].find(';'));
    EXPECT_EQ(state.find("wonder1"), std::string::npos) << state;
    ASSERT_EQ(state.rfind("ZEIQS=_s=prod&_pt=1450&_cp=819&_u=ALICE&_p=v1.", 0), 0u) << state;
    EXPECT_EQ(CookieOnly("_nohtml=1&_a=l", state), std::make_pair(0, std::string("wonder1")));
    // The browser's next logon cookie differs, though the password is the same.
    EXPECT_NE(LogonCookies("ALICE", "wonder1", false)[0], cookies[0]);
}

TEST_F(StateCookie, ACookieWhosePasswordDoesNotOpenIsAMissingLogon) {
    const std::string good = LogonCookies("ALICE", "wonder1", false)[0];
    const std::string sealed = good.substr(good.find("&_p=") + 4, good.find(';') - good.find("&_p=") - 4);
    const std::string bob = LogonCookies("BOB", "builder2", false)[0];
    const std::string bobSealed = bob.substr(bob.find("&_p=") + 4, bob.find(';') - bob.find("&_p=") - 4);
    std::string changed = Bytes(sealed);
    changed[30] = static_cast<char>(changed[30] ^ 1);
    struct Case {
        const char* name;
        std::string cookie;
    } cases[] = {
        {"clear text of an older cookie", "ZEIQS=_s=prod&_u=ALICE&_p=wonder1"},
        {"altered", "ZEIQS=_s=prod&_u=ALICE&_p=" + Sealed(changed)},
        {"another user's password", "ZEIQS=_s=prod&_u=ALICE&_p=" + bobSealed},
        {"the password taken to another user", "ZEIQS=_s=prod&_u=BOB&_p=" + sealed},
        {"no password", "ZEIQS=_s=prod&_u=ALICE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CookieOnly("_nohtml=1&_a=l", c.cookie).first, 2171)
            << "the argument '_password' is missing";
        EXPECT_EQ(CookieOnly("_nohtml=1&_a=f", c.cookie).first, 1689) << "logoff: no logon to end";
    }
    EXPECT_EQ(CookieOnly("_nohtml=1&_a=l", "ZEIQS=_s=prod&_u=ALICE&_p=" + sealed).first, 0);

    // A new key (the old file removed by whoever runs the site) opens no older cookie.
    ASSERT_EQ(ArcOS_Unlink(QelWWW_StateKeyPath(&config_).c_str()), 0);
    std::string key;
    ASSERT_EQ(QelWWW_StateKey(&config_, true, &key), 0);
    EXPECT_EQ(CookieOnly("_nohtml=1&_a=l", "ZEIQS=_s=prod&_u=ALICE&_p=" + sealed).first, 2171);
    // Nor does any cookie while there is no key.
    ASSERT_EQ(ArcOS_Unlink(QelWWW_StateKeyPath(&config_).c_str()), 0);
    const std::string fresh = LogonCookies("ALICE", "wonder1", false)[0];
    ASSERT_EQ(ArcOS_Unlink(QelWWW_StateKeyPath(&config_).c_str()), 0);
    EXPECT_EQ(CookieOnly("_nohtml=1&_a=l", fresh.substr(0, fresh.find(';'))).first, 2171);
}

TEST_F(StateCookie, AKeyThatCannotBeUsedSendsTheCookieWithoutPassword) {
    ASSERT_EQ(chmod(QelWWW_StateKeyPath(&config_).c_str(), 0644), 0);
    const std::string state = LogonCookies("ALICE", "wonder1", false)[0];
    EXPECT_EQ(state, "ZEIQS=_s=prod&_pt=1450&_cp=819&_u=ALICE; HttpOnly; SameSite=Lax");
}

TEST_F(StateCookie, UnderHttpsEveryCookieIsSecure) {
    for (bool secure : {false, true}) {
        SCOPED_TRACE(secure ? "HTTPS" : "HTTP");
        std::vector<std::string> cookies = LogonCookies("ALICE", "wonder1", secure);
        QelWWWResponse cleared(&config_);
        cleared.SetSecure(secure);
        cleared.ClearStateCookies();
        cleared.SetHeaderValue("Content-type", "text/plain");
        for (const std::string& value : Values(cleared)) cookies.push_back(value);
        ASSERT_EQ(cookies.size(), 5u);
        for (size_t i = 0; i < 4; ++i) {
            const bool endsSecure =
                cookies[i].size() > 8 && cookies[i].substr(cookies[i].size() - 8) == "; Secure";
            EXPECT_EQ(endsSecure, secure) << cookies[i];
            EXPECT_NE(cookies[i].find("; HttpOnly; SameSite=Lax"), std::string::npos) << cookies[i];
        }
        EXPECT_EQ(cookies[4], "text/plain") << "other headers are left as they are";
    }
}

}  // namespace
