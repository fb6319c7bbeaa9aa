// The password hash of a session and password change. Python's crypt module is the
// outside judge of the hashes.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "arc_platform.h"
#include "client_test_support.h"

namespace {

using clienttest::ClientTest;

// True when Python's crypt finds that hash is the SHA-512 crypt of key (UTF-8 bytes).
bool PythonAccepts(const std::string& key, const std::string& hash) {
    std::string hex;
    char byte[3];
    for (unsigned char c : key) {
        std::snprintf(byte, sizeof byte, "%02x", c);
        hex += byte;
    }
    const std::string script =
        "import crypt, sys\n"
        "key = bytes.fromhex(sys.argv[1]).decode('utf-8')\n"
        "print('yes' if crypt.crypt(key, sys.argv[2]) == sys.argv[2] else 'no')\n";
    ArcOSPipe pipe;
    if (ArcOS_PipeOpen({"python3", "-W", "ignore", "-c", script, hex, hash}, "r", &pipe) != 0) return false;
    char line[16] = {};
    const bool read = std::fgets(line, sizeof line, pipe.stream) != nullptr;
    const int status = ArcOS_PipeClose(&pipe);
    return read && status == 0 && std::string(line) == "yes\n";
}

class PasswordTest : public ClientTest {};

// The same cases for the crypt hash and the keyed hash: both hash the same bytes.
struct FoldCase {
    uint32_t flags;
    const char* set;
    const char* check;
    int expected;
};
const FoldCase kFoldCases[] = {
    {0x00, "Secret1", "Secret1", 0},
    {0x00, "Secret1", "SECRET1", 0},
    {0x00, "Secret1", "secret1", 0},
    {0x00, "Secret1", "Secret2", 1},
    {0x00, "Secret1", "Secret", 1},
    {0x00, "Secret1", "", 1},
    {0x00, "Secret1", nullptr, 1},
    {0x00, "", "", 0},
    {0x02, "Secret1", "Secret1", 0},
    {0x02, "Secret1", "SECRET1", 1},
    // crypt's DES form reads 8 characters; this hash reads them all
    {0x00, "LONGPASSWORD1", "LONGPASS", 1},
    {0x00, "LONGPASSWORD1", "LONGPASSWORD2", 1},
    {0x00, "LONGPASSWORD1", "longpassword1", 0},
};

const std::string kKey(32, '\x5c');

TEST_F(PasswordTest, CheckFoldsCaseUnlessTheServerSaysOtherwise) {
    ClientSession* s = LogOn();
    ASSERT_NE(s, nullptr);
    for (const FoldCase& c : kFoldCases) {
        s->systemParms->flags = c.flags;
        ASSERT_EQ(Session_SetPassword(s, c.set), 0) << c.set;
        EXPECT_EQ(Session_CheckPassword(s, c.check), c.expected)
            << c.set << " against " << (c.check ? c.check : "(null)") << " flags " << c.flags;
    }
}

TEST_F(PasswordTest, KeepsOnlyAFreshlySaltedHash) {
    ClientSession* s = LogOn();
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(Session_SetPassword(s, "Secret1"), 0);
    const std::string first = s->user.password;
    EXPECT_EQ(first.rfind("$6$", 0), 0u) << first;
    EXPECT_EQ(first.find("ecret"), std::string::npos);
    EXPECT_TRUE(PythonAccepts("SECRET1", first)) << first;
    EXPECT_FALSE(PythonAccepts("Secret1", first)) << first;
    ASSERT_EQ(Session_SetPassword(s, "Secret1"), 0);
    EXPECT_NE(s->user.password, first);  // a new salt each time
}

TEST_F(PasswordTest, KeyedCheckFoldsCaseLikeTheCryptCheck) {
    ClientSession* s = LogOn();
    ASSERT_NE(s, nullptr);
    for (const FoldCase& c : kFoldCases) {
        s->systemParms->flags = c.flags;
        ASSERT_EQ(Session_SetPasswordKeyed(s, c.set, kKey), 0) << c.set;
        EXPECT_EQ(Session_CheckPasswordKeyed(s, c.check, kKey), c.expected)
            << c.set << " against " << (c.check ? c.check : "(null)") << " flags " << c.flags;
    }
}

// The keyed hash is the HMAC-SHA-256 under the key of its salt (as written) and the
// folded password, made here from the platform's HMAC as docs/state.md describes it.
TEST_F(PasswordTest, KeyedHashIsSaltedAndNeedsItsKey) {
    ClientSession* s = LogOn();
    ASSERT_NE(s, nullptr);
    s->systemParms->flags = 0;
    ASSERT_EQ(Session_SetPasswordKeyed(s, "Secret1", kKey), 0);
    const std::string first = s->user.password;
    ASSERT_TRUE(Session_IsKeyedHash(first)) << first;
    const std::string salt = first.substr(3, 32);
    unsigned char mac[ARCOS_SHA256_SIZE];
    ArcOS_HmacSha256(kKey, salt + "SECRET1", mac);
    std::string hex;
    char byte[3];
    for (unsigned char c : mac) {
        std::snprintf(byte, sizeof byte, "%02x", c);
        hex += byte;
    }
    EXPECT_EQ(first, "$k$" + salt + "$" + hex);

    ASSERT_EQ(Session_SetPasswordKeyed(s, "Secret1", kKey), 0);
    EXPECT_NE(s->user.password, first) << "a new salt each time";
    EXPECT_EQ(Session_CheckPasswordKeyed(s, "Secret1", kKey), 0);
    std::string otherKey = kKey;
    otherKey[31] ^= 1;
    EXPECT_EQ(Session_CheckPasswordKeyed(s, "Secret1", otherKey), 1);
    EXPECT_EQ(Session_CheckPasswordKeyed(s, "Secret1", kKey.substr(0, 31)), 1)
        << "a short key checks nothing";
    EXPECT_EQ(Session_CheckPassword(s, "Secret1"), 1) << "the crypt check takes no keyed hash";

    EXPECT_EQ(Session_SetPasswordKeyed(s, "Secret1", ""), 1);
    EXPECT_TRUE(s->user.password.empty()) << "no hash without a key";
    EXPECT_EQ(Session_CheckPasswordKeyed(s, "Secret1", ""), 1);

    ASSERT_EQ(Session_SetPassword(s, "Secret1"), 0);
    EXPECT_EQ(Session_CheckPasswordKeyed(s, "Secret1", kKey), 1) << "the keyed check takes no crypt hash";
    EXPECT_EQ(Session_SetPasswordKeyed(nullptr, "x", kKey), 1);
    EXPECT_EQ(Session_CheckPasswordKeyed(nullptr, "x", kKey), 1);
}

TEST_F(PasswordTest, NoHashMatchesNothing) {
    ClientSession* s = LogOn();
    ASSERT_NE(s, nullptr);
    const char* const kStored[] = {"", "abJnggxhB/yWI", "$1$salt$hash", "*0"};
    for (const char* stored : kStored) {
        s->user.password = stored;
        EXPECT_EQ(Session_CheckPassword(s, ""), 1) << stored;
        EXPECT_EQ(Session_CheckPassword(s, stored), 1) << stored;
    }
    EXPECT_EQ(Session_CheckPassword(nullptr, "x"), 1);
    EXPECT_EQ(Session_SetPassword(nullptr, "x"), 1);
}

TEST_F(PasswordTest, ChangeChecksTheRepetitionFirst) {
    struct Case {
        uint32_t flags;
        const char* repeat;
        bool sent;
    };
    const Case cases[] = {
        {0x00, "NewPass1", true},  {0x00, "NEWPASS1", true}, {0x02, "NEWPASS1", false},
        {0x00, "NewPass2", false}, {0x00, "", false},        {0x00, nullptr, false},
    };
    ClientSession* s = LogOn();
    ASSERT_NE(s, nullptr);
    for (const Case& c : cases) {
        s->systemParms->flags = c.flags;
        server.lastNew.clear();
        ClientStatus st;
        Session_ChangePassword(&st, s, "Old", "NewPass1", c.repeat);
        if (c.sent) {
            EXPECT_EQ(st.severity, 0) << (c.repeat ? c.repeat : "(null)");
            EXPECT_EQ(server.lastNew, "NewPass1");
            EXPECT_EQ(server.lastOld, "Old");
        } else {
            EXPECT_EQ(st.severity, 9) << (c.repeat ? c.repeat : "(null)");
            EXPECT_EQ(st.code, 31);
            EXPECT_EQ(server.lastNew, "") << "nothing may be sent";
        }
    }
}

TEST_F(PasswordTest, ChangeResultsAndReasons) {
    struct Case {
        int result, reason, severity, code;
    };
    const Case cases[] = {
        {0, 0, 0, 0},   {13, 0, 6, 32}, {13, 1, 6, 29}, {13, 2, 6, 30},
        {13, 7, 6, 35}, {6, 1, 9, 21},  {12, 0, 3, 0},  {3, 0, 9, 34},
    };
    ClientSession* s = LogOn();
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(Session_SetPassword(s, "SECRET"), 0);
    const std::string hash = s->user.password;
    for (const Case& c : cases) {
        server.changeResult = c.result;
        server.changeReason = c.reason;
        ClientStatus st;
        Session_ChangePassword(&st, s, "SECRET", "NEWPASS", "NEWPASS");
        EXPECT_EQ(st.severity, c.severity) << c.result << "/" << c.reason;
        EXPECT_EQ(st.code, c.code) << c.result << "/" << c.reason;
        if (c.code == 29) {
            ASSERT_EQ(st.inserts[0].kind, CLIENT_INSERT_PARM16);
            EXPECT_EQ(*static_cast<const uint16_t*>(st.inserts[0].value), 6);
        }
    }
    // The old password went to the server only; the record still holds the hash.
    EXPECT_EQ(s->user.password, hash);

    s->systemParms.reset();
    server.changeResult = 13;
    server.changeReason = 1;
    ClientStatus st;
    Session_ChangePassword(&st, s, "SECRET", "NEWPASS", "NEWPASS");
    EXPECT_EQ(st.code, 29);
    EXPECT_EQ(st.inserts[0].kind, CLIENT_INSERT_NUMBER);
    EXPECT_EQ(st.inserts[0].number, 0);
}

class Utf8PasswordTest : public ClientTest {
    int32_t CodePage() const override { return 1208; }
};

TEST_F(Utf8PasswordTest, CharactersOutsideLatin1StayApart) {
    ClientSession* s = LogOn();
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(Session_SetPassword(s,
                                  "\xE2\x82\xAC"
                                  "uro"),
              0);  // euro sign
    EXPECT_TRUE(
        PythonAccepts("\xE2\x82\xAC"
                      "URO",
                      s->user.password));
    EXPECT_EQ(Session_CheckPassword(s,
                                    "\xE2\x82\xAC"
                                    "uro"),
              0);
    EXPECT_EQ(Session_CheckPassword(s,
                                    "\xE2\x82\xA4"
                                    "uro"),
              1);  // lira sign
    EXPECT_EQ(Session_CheckPassword(s,
                                    "\x1A"
                                    "uro"),
              1);
}

TEST_F(Utf8PasswordTest, UnconvertibleBytesAreHashedNeverKeptPlain) {
    ClientSession* s = LogOn();
    ASSERT_NE(s, nullptr);
    // A double-byte page and a text cut inside a character: the conversion fails.
    s->codePage = 943;
    const char* bad = "pw\x81";
    ArcIconvHandle* h = nullptr;
    ASSERT_EQ(ArcICONV_Open(s->handle.iconv, 943, 1208, &h), ARC_ICONV_OK);
    char out[16];
    size_t length = sizeof out;
    EXPECT_NE(ArcICONV_Convert(h, bad, 3, out, &length), ARC_ICONV_OK);
    ArcICONV_Close(h);

    ASSERT_EQ(Session_SetPassword(s, bad), 0);
    EXPECT_EQ(s->user.password.rfind("$6$", 0), 0u);
    // The hash's own alphabet may spell "pw" by chance; the plain text holds a byte it never has.
    EXPECT_EQ(s->user.password.find(bad), std::string::npos);
    EXPECT_EQ(Session_CheckPassword(s, bad), 0);
    EXPECT_EQ(Session_CheckPassword(s, "PW\x81"), 0);  // folded alike
    EXPECT_EQ(Session_CheckPassword(s, "pw\x82"), 1);

    s->codePage = 1208;  // invalid UTF-8 is hashed as its bytes
    const char* invalid =
        "\xFF\xFE"
        "ab";
    ASSERT_EQ(Session_SetPassword(s, invalid), 0);
    EXPECT_EQ(Session_CheckPassword(s, invalid), 0);
    EXPECT_EQ(Session_CheckPassword(s,
                                    "\xFF\xFD"
                                    "ab"),
              1);
}

// The library refuses to start on an EBCDIC code page (its search clauses are ASCII);
// a session's own conversions still follow the session's code page, set here by hand.
class EbcdicPasswordTest : public ClientTest {
protected:
    ClientSession* LogOnEbcdic() {
        ClientSession* s = LogOn();
        if (s != nullptr) s->codePage = 500;
        return s;
    }
};

TEST_F(EbcdicPasswordTest, FoldsAfterConversion) {
    ClientSession* s = LogOnEbcdic();
    ASSERT_NE(s, nullptr);
    const char lower[] = "\xA2\x85\x83\x99\x85\xA3";  // "secret" in code page 500
    const char upper[] = "\xE2\xC5\xC3\xD9\xC5\xE3";  // "SECRET"
    ASSERT_EQ(Session_SetPassword(s, lower), 0);
    EXPECT_TRUE(PythonAccepts("SECRET", s->user.password));
    EXPECT_EQ(Session_CheckPassword(s, upper), 0);
    EXPECT_EQ(Session_CheckPassword(s, lower), 0);
    EXPECT_EQ(Session_CheckPassword(s, "SECRET"), 1);  // ASCII bytes are other characters here
}

TEST_F(EbcdicPasswordTest, ConvertsShortTextsToAndFromLatin1) {
    ClientSession* s = LogOnEbcdic();
    ASSERT_NE(s, nullptr);
    std::string a, b;
    ASSERT_EQ(Session_ConvertLatin1(s, 0, "\xC1\x81", nullptr, &a, &b), 0);
    EXPECT_EQ(a, "Aa");
    EXPECT_EQ(b, "");
    ASSERT_EQ(Session_ConvertLatin1(s, 1, "Aa", "9", &a, &b), 0);
    EXPECT_EQ(a, "\xC1\x81");
    EXPECT_EQ(b, "\xF9");
    s->handle.iconv = nullptr;
    EXPECT_EQ(Session_ConvertLatin1(s, 0, "x", nullptr, &a, nullptr), 1);
    EXPECT_EQ(Session_ConvertLatin1(nullptr, 0, "x", nullptr, &a, nullptr), 1);
}

}  // namespace
