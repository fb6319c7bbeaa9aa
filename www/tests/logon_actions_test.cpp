// The logon, chgpassword and logoff actions on the sample archive: replies in both forms,
// state cookies and files, password changes and the refusals.
#include "gateway_fixture.h"

namespace {

using wwwtest::GatewayFixture;

// The client layer is started by the first fixture and stopped when the program ends.
[[maybe_unused]] ::testing::Environment* const kClientLayer =
    ::testing::AddGlobalTestEnvironment(new wwwtest::ClientLayer);

const char* const kAliceList =
    "[BEGIN]\nACTION=/cgi-bin/qelwww?_a=s\nFOLDER=[Invoices^Customer invoices]\n"
    "FOLDER=[Payroll^Payroll statements]\n[END]\n";
// A changed password is said above the list, in the ID= and MSG= lines of the plain form.
const char* const kAliceListAfterChange =
    "[BEGIN]\nID=2347\nMSG=The password has been changed\nACTION=/cgi-bin/qelwww?_a=s\n"
    "FOLDER=[Invoices^Customer invoices]\nFOLDER=[Payroll^Payroll statements]\n[END]\n";

class LogonActions : public GatewayFixture {
protected:
    // The cookies of an earlier logon of ALICE with that password, sealed as the gateway seals it.
    std::string AliceCookie(const char* password = wwwtest::kAlicePassword) const {
        std::string key;
        EXPECT_EQ(QelWWW_StateKey(&config_, true, &key), 0);
        return "ZEIQS=_s=DEMO&_pt=0&_cp=1208&_u=ALICE&_p=" + QelWWW_SealPassword(key, "ALICE", password) +
               "&_local=" + QelWWW_UrlEncode(nullptr, archive_, true) + "; ZEILOGID=0";
    }
    // The password sealed in a state cookie the gateway set, opened with the site's key.
    std::optional<std::string> CookiePassword(const std::string& setCookie, const char* user) const {
        const size_t start = setCookie.find("&_p=");
        std::string key;
        if (start == std::string::npos || QelWWW_StateKey(&config_, false, &key) != 0) return std::nullopt;
        std::string sealed =
            setCookie.substr(start + 4, setCookie.find_first_of("&;", start + 4) - start - 4);
        QelWWW_PercentDecode(&sealed);
        return QelWWW_OpenPassword(key, user, sealed);
    }
    bool AliceFiles() const { return CacheHas("DEMO_0_ALICE.srv") && CacheHas("DEMO_0_ALICE.fnm"); }
};

TEST_F(LogonActions, FolderListReplies) {
    struct Case {
        const char* name;
        std::string query;
        std::string body;  // exact
    };
    const Case cases[] = {
        {"both folders, plain text", "_a=l&_s=DEMO&_u=ALICE&_p=wonder1&_nohtml=1", kAliceList},
        {"long keyword, user id in lower case",
         "_function=logon&_server=DEMO&_user=alice&_password=wonder1&_nohtml=1", kAliceList},
        {"one folder is listed too", "_a=l&_s=DEMO&_u=BOB&_p=builder2&_nohtml=1",
         "[BEGIN]\nACTION=/cgi-bin/qelwww?_a=s\nFOLDER=[Invoices^Customer invoices]\n[END]\n"},
        {"HTML page", "_a=l&_s=DEMO&_u=ALICE&_p=wonder1",
         "<HTML>\n<CENTER>\n<TITLE>Tidewell Netvara</TITLE>\n</CENTER>\n<BODY>\n<br>\n"
         "<form METHOD=\"POST\" action=\"/cgi-bin/qelwww\">\n<input type=hidden name=_a value=s>\n"
         "<h4>Select a folder:</h4>\n<select name=_f size=10>\n<option selected value=\"Invoices\">Invoices\n"
         "<option value=\"Payroll\">Payroll\n"
         "</select>\n<p>\n<input type=submit value=\"Open\">\n</form>\n</BODY>\n</HTML>\n"},
        {"HTML page carries the request's view values, escaped",
         "_a=l&_s=DEMO&_u=ALICE&_p=wonder1&_frame=%22%3E%3Cb%3E&_dfmt=%25d.%25m&_ascii=1&_afp=html&_email=x%"
         "22y",
         "<HTML>\n<CENTER>\n<TITLE>Tidewell Netvara</TITLE>\n</CENTER>\n<BODY>\n<br>\n"
         "<form METHOD=\"POST\" action=\"/cgi-bin/qelwww\" target=\"&quot;&gt;&lt;b&gt;\">\n"
         "<input type=hidden name=_a value=s>\n<input type=hidden name=_dfmt value=\"%d.%m\">\n"
         "<input type=hidden name=_ascii value=1>\n<input type=hidden name=_afp value=\"html\">\n"
         "<input type=hidden name=_email value=\"x&quot;y\">\n"
         "<h4>Select a folder:</h4>\n<select name=_f size=10>\n<option selected value=\"Invoices\">Invoices\n"
         "<option value=\"Payroll\">Payroll\n"
         "</select>\n<p>\n<input type=submit value=\"Open\">\n</form>\n</BODY>\n</HTML>\n"},
        {"wrong password", "_a=l&_s=DEMO&_u=ALICE&_p=builder2&_nohtml=1",
         "[ERROR]\nID=1799\nMSG=The user id or password is not valid\n"},
        {"unknown user", "_a=l&_s=DEMO&_u=CAROL&_p=wonder1&_nohtml=1",
         "[ERROR]\nID=1799\nMSG=The user id or password is not valid\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto session = Request(c.query);
        EXPECT_EQ(session->response->GetBody(), c.body);
        const bool ok = c.body.rfind("[ERROR]", 0) != 0;
        EXPECT_EQ(result_, ok ? 0 : 1);
        // Cookies go out with a successful logon only; the logon is disconnected either way.
        EXPECT_EQ(Cookies(*session).size(), ok ? 2u : 0u);
        EXPECT_EQ(session->client, nullptr);
    }
}

TEST_F(LogonActions, LogonLeavesCookiesAndStateFiles) {
    auto session = Request("_a=l&_s=DEMO&_u=ALICE&_p=wonder1&_nohtml=1");
    ASSERT_EQ(result_, 0);
    const std::vector<std::string> cookies = Cookies(*session);
    ASSERT_EQ(cookies.size(), 2u);
    // The configured directory of DEMO stays out of the browser.
    // The password only sealed: the browser keeps the cookie on disk.
    EXPECT_EQ(cookies[0].rfind("ZEIQS=_s=DEMO&_pt=0&_cp=1208&_u=ALICE&_p=v1.", 0), 0u) << cookies[0];
    EXPECT_EQ(cookies[0].find("wonder1"), std::string::npos) << cookies[0];
    EXPECT_EQ(CookiePassword(cookies[0], "ALICE"), "wonder1");
    EXPECT_EQ(cookies[0].substr(cookies[0].find(';')), "; HttpOnly; SameSite=Lax");
    EXPECT_EQ(cookies[1], "ZEILOGID=0; HttpOnly; SameSite=Lax");
    EXPECT_TRUE(AliceFiles());
    // The saved session holds a hash of the password, never the password.
    EXPECT_EQ(ReadCache("DEMO_0_ALICE.srv").find("wonder1"), std::string::npos);

    // The next request needs nothing but the cookies.
    EXPECT_EQ(Body("_a=l&_nohtml=1", CookieHeader(cookies)), kAliceList);
    EXPECT_EQ(Body("_a=f&_nohtml=1", CookieHeader(cookies)), "[BEGIN]\nUser logged off!\n[END]\n");
}

TEST_F(LogonActions, ChangePasswordJourney) {
    ASSERT_EQ(Body("_a=l&_s=DEMO&_u=ALICE&_p=wonder1&_nohtml=1"), kAliceList);
    // From the saved state: only the cookies and the new password.
    auto changed = Request("_a=c&_np=marvel7&_nohtml=1", AliceCookie());
    EXPECT_EQ(changed->response->GetBody(), kAliceListAfterChange);
    const std::vector<std::string> cookies = Cookies(*changed);
    // The browser has its log id already: only the state cookie, with the new password.
    ASSERT_EQ(cookies.size(), 1u);
    EXPECT_EQ(CookiePassword(cookies[0], "ALICE"), "marvel7") << cookies[0];
    // The saved state took the new password: the old one no longer restores it.
    EXPECT_EQ(Body("_a=f&_nohtml=1", AliceCookie()),
              "[ERROR]\nID=1689\nMSG=The server connection has timed out\n");
    EXPECT_TRUE(AliceFiles());
    EXPECT_EQ(Body("_a=l&_s=DEMO&_u=ALICE&_p=wonder1&_nohtml=1"),
              "[ERROR]\nID=1799\nMSG=The user id or password is not valid\n");
    EXPECT_EQ(Body("_a=f&_nohtml=1", AliceCookie("marvel7")), "[BEGIN]\nUser logged off!\n[END]\n");
    EXPECT_FALSE(CacheHas("DEMO_0_ALICE.srv"));
    EXPECT_FALSE(CacheHas("DEMO_0_ALICE.fnm"));
}

TEST_F(LogonActions, StoredStateChangesNeedAFormOfThisSite) {
    ASSERT_EQ(Body("_a=l&_s=DEMO&_u=ALICE&_p=wonder1&_nohtml=1"), kAliceList);
    const std::string refusedChange =
        "[ERROR]\nID=2339\nMSG=The function 'chgpassword' changes stored data: it is accepted only "
        "from a form (POST) of this site\n";
    const std::string refusedLogon =
        "[ERROR]\nID=2339\nMSG=The function 'logon' changes stored data: it is accepted only from a "
        "form (POST) of this site\n";
    struct Case {
        const char* name;
        const char* method;
        std::optional<std::string> origin;
        std::string query;
        std::string body;  // exact
    } cases[] = {
        {"GET chgpassword", "GET", std::nullopt, "_a=c&_np=owned1&_nohtml=1", refusedChange},
        {"GET chgpassword from the own site", "GET", "http://archive.test",
         "_function=chgpassword&_np=owned1&_nohtml=1", refusedChange},
        {"GET logon with a new password", "GET", std::nullopt, "_a=l&_np=owned1&_nohtml=1", refusedLogon},
        {"POST chgpassword from another site", "POST", "http://evil.test", "_a=c&_np=owned1&_nohtml=1",
         refusedChange},
        {"POST logon with a new password from another site", "POST", "http://evil.test",
         "_a=l&_np=owned1&_nohtml=1", refusedLogon},
        {"GET logon", "GET", std::nullopt, "_a=l&_nohtml=1", kAliceList},
        {"logon from another site", "POST", "http://evil.test", "_a=l&_nohtml=1", kAliceList},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto session = wwwtest::NewSession(&config_);
        session->requestMethod = c.method;
        session->requestOrigin = c.origin;
        session->requestHost = "archive.test";
        ASSERT_EQ(QelWWW_InitSession(&config_, session.get(), c.query.c_str(), "/cgi-bin/qelwww",
                                     "Mozilla/5.0", AliceCookie().c_str()),
                  0);
        EXPECT_EQ(QelWWW_Dispatch(&config_, session.get()), c.body == kAliceList ? 0 : 1);
        EXPECT_EQ(session->response->GetBody(), c.body);
        EXPECT_EQ(session->client, nullptr);
    }
    // No refused request changed the password; a form of this site does.
    EXPECT_EQ(Body("_a=l&_s=DEMO&_u=ALICE&_p=owned1&_nohtml=1").rfind("[ERROR]\nID=1799", 0), 0u);
    auto session = wwwtest::NewSession(&config_);
    session->requestMethod = "POST";
    session->requestOrigin = "http://archive.test";
    session->requestHost = "archive.test";
    ASSERT_EQ(QelWWW_InitSession(&config_, session.get(), "_a=c&_np=marvel7&_nohtml=1", "/cgi-bin/qelwww",
                                 "Mozilla/5.0", AliceCookie().c_str()),
              0);
    EXPECT_EQ(QelWWW_Dispatch(&config_, session.get()), 0);
    EXPECT_EQ(session->response->GetBody(), kAliceListAfterChange);
}

TEST_F(LogonActions, PasswordChangeRefusals) {
    struct Case {
        const char* name;
        std::string query;
        std::string cookie;
        std::string body;
    };
    const Case cases[] = {
        {"chgpassword needs _new_password", "_a=c&_s=DEMO&_u=BOB&_p=builder2&_nohtml=1", "",
         "[ERROR]\nID=2171\nMSG=The argument '_new_password' was not specified\n"},
        {"too short", "_a=c&_s=DEMO&_u=BOB&_p=builder2&_np=abc&_nohtml=1", "",
         "[ERROR]\nID=1805\nMSG=The new password is too short.  The minimum length is 4\n"},
        {"logon with a new password that is too short", "_a=l&_s=DEMO&_u=BOB&_p=builder2&_np=abc&_nohtml=1",
         "", "[ERROR]\nID=1805\nMSG=The new password is too short.  The minimum length is 4\n"},
        {"wrong current password", "_a=c&_s=DEMO&_u=BOB&_p=wonder1&_np=mason33&_nohtml=1", "",
         "[ERROR]\nID=1799\nMSG=The user id or password is not valid\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto session = Request(c.query, c.cookie);
        EXPECT_EQ(session->response->GetBody(), c.body);
        EXPECT_EQ(result_, 1);
        EXPECT_TRUE(Cookies(*session).empty());
    }
    // Nothing changed: BOB still logs on with his password.
    EXPECT_EQ(Body("_a=l&_s=DEMO&_u=BOB&_p=builder2&_nohtml=1"),
              "[BEGIN]\nACTION=/cgi-bin/qelwww?_a=s\nFOLDER=[Invoices^Customer invoices]\n[END]\n");
}

TEST_F(LogonActions, LogonWithNewPassword) {
    auto session = Request("_a=l&_s=DEMO&_u=BOB&_p=builder2&_np=mason33&_nohtml=1");
    EXPECT_EQ(result_, 0);
    ASSERT_FALSE(Cookies(*session).empty());
    EXPECT_EQ(CookiePassword(Cookies(*session)[0], "BOB"), "mason33") << Cookies(*session)[0];
    EXPECT_EQ(Body("_a=l&_s=DEMO&_u=BOB&_p=builder2&_nohtml=1").rfind("[ERROR]\nID=1799", 0), 0u);
    EXPECT_EQ(Body("_a=l&_s=DEMO&_u=BOB&_p=mason33&_nohtml=1").rfind("[BEGIN]", 0), 0u);
}

TEST_F(LogonActions, LogoffWithoutStateSendsNoCookies) {
    for (const char* keyword : {"f", "logoff"}) {
        auto session = Request(std::string("_a=") + keyword + "&_s=DEMO&_u=ALICE&_p=wonder1&_nohtml=1");
        EXPECT_EQ(session->response->GetBody(),
                  "[ERROR]\nID=1689\nMSG=The server connection has timed out\n");
        EXPECT_EQ(result_, 1);
        EXPECT_TRUE(Cookies(*session).empty());
    }
    auto html = Request("_a=f&_s=DEMO&_u=ALICE&_p=wonder1");
    EXPECT_NE(html->response->GetBody().find("<h4>The server connection has timed out</h4>"),
              std::string::npos);
}

TEST_F(LogonActions, LogoffHtmlClearsCookies) {
    ASSERT_EQ(Body("_a=l&_s=DEMO&_u=ALICE&_p=wonder1&_nohtml=1"), kAliceList);
    auto session = Request("_a=f", AliceCookie());
    EXPECT_EQ(result_, 0);
    EXPECT_NE(session->response->GetBody().find("<BODY>\n<br>\nUser logged off!\n</BODY>"), std::string::npos)
        << session->response->GetBody();
    // Expired, so that the browser drops them (AliceCookie carries _local: still taken).
    EXPECT_EQ(Cookies(*session),
              (std::vector<std::string>{
                  "ZEIQS=; Max-Age=0; Expires=Thu, 01 Jan 1970 00:00:00 GMT; HttpOnly; SameSite=Lax",
                  "ZEILOGID=; Max-Age=0; Expires=Thu, 01 Jan 1970 00:00:00 GMT; HttpOnly; SameSite=Lax"}));
    EXPECT_FALSE(AliceFiles());
}

TEST_F(LogonActions, FolderTexts) {
    // A description-less folder and a name with markup and a line break in it.
    WriteTable("fol",
               "[FOLDERS]\nFOLDERS=1,2\n\n[1]\nNAME=\"In<b>voices\"\nDESCRIPTION=\"\"\nANN_SEARCH=1\n"
               "FLDS_NUM=3\nAPPLICATION_GROUPS=100\n\n[2]\nNAME=Payroll\nDESCRIPTION=\"Pay & more\"\n"
               "ANN_SEARCH=0\nFLDS_NUM=2\nAPPLICATION_GROUPS=101\n");
    EXPECT_EQ(Body("_a=l&_s=DEMO&_u=ALICE&_p=wonder1&_nohtml=1"),
              "[BEGIN]\nACTION=/cgi-bin/qelwww?_a=s\nFOLDER=[In<b>voices^\"\"]\nFOLDER=[Payroll^Pay & "
              "more]\n[END]\n");
    const std::string page = Body("_a=l&_s=DEMO&_u=ALICE&_p=wonder1");
    EXPECT_NE(page.find("<option selected value=\"In&lt;b&gt;voices\">In&lt;b&gt;voices\n"),
              std::string::npos)
        << page;
    EXPECT_EQ(page.find("<b>"), std::string::npos);
}

TEST_F(LogonActions, UserWithoutFolders) {
    // BOB loses his only folder permission.
    WriteTable("folperms", "[2]\nIDS=10\n\n[10|2]\nPERMS=3\nHITS=-1\n");
    EXPECT_EQ(Body("_a=l&_s=DEMO&_u=BOB&_p=builder2&_nohtml=1"),
              "[ERROR]\nID=2193\nMSG=The user specified does not have access to any folders\n");
    EXPECT_EQ(result_, 1);
    EXPECT_FALSE(CacheHas("DEMO_0_BOB.srv"));
}

TEST_F(LogonActions, ExpiredPassword) {
    // Passwords expire at once; the sample rows were never changed.
    std::string system = ReadTable("system");
    system.replace(system.find("PASSWD_EXP=-1"), 13, "PASSWD_EXP=30");
    WriteTable("system", system);
    EXPECT_EQ(Body("_a=l&_s=DEMO&_u=BOB&_p=builder2&_nohtml=1"),
              "[ERROR]\nID=1532\nMSG=Change Expired Logon Password\n");
    EXPECT_FALSE(CacheHas("DEMO_0_BOB.srv"));
    // With a new password the logon changes it and goes on.
    auto session = Request("_a=l&_s=DEMO&_u=BOB&_p=builder2&_np=mason33&_nohtml=1");
    EXPECT_EQ(result_, 0);
    EXPECT_EQ(session->response->GetBody(),
              "[BEGIN]\nID=2347\nMSG=The password has been changed\nACTION=/cgi-bin/qelwww?_a=s\n"
              "FOLDER=[Invoices^Customer invoices]\n[END]\n");
    EXPECT_EQ(Body("_a=l&_s=DEMO&_u=BOB&_p=mason33&_nohtml=1").rfind("[BEGIN]", 0), 0u);
}

TEST_F(LogonActions, UnwritableCacheDoesNotFailTheLogon) {
    std::filesystem::remove_all(cache_);
    auto session = Request("_a=l&_s=DEMO&_u=ALICE&_p=wonder1&_nohtml=1");
    EXPECT_EQ(result_, 0);
    const std::string body = session->response->GetBody();
    EXPECT_EQ(body.rfind("[BEGIN]\nACTION=/cgi-bin/qelwww?_a=s\nFOLDER=[Invoices^Customer invoices]\n"
                         "FOLDER=[Payroll^Payroll statements]\nUnable to open the file: ",
                         0),
              0u)
        << body;
    EXPECT_NE(body.find("DEMO_0_ALICE.srv<br>\nerrno: 2\n[END]\n"), std::string::npos) << body;
}

}  // namespace
