// Request session set-up: required values, cookies, server sections, limits, browsers.
#include "www_test_support.h"

#include "arc_platform.h"

namespace {

using wwwtest::ConfigFromIni;
using wwwtest::NewSession;

const char* kIni =
    "[@SRV@_prod]\nHOST=prod.example\nPROTOCOL=4\nPORT=1450\n"
    "[@SRV@_local]\nPROTOCOL=1\nDIRECTORY=/srv/archive/\n"
    "[IE 5]\nAfpViewing=pdf\nViewNotes=1\n"
    "[Netscape 4.7/Unix]\nLineViewing=ascii\nMaxHits=12x\n";

struct Outcome {
    int rc;
    std::unique_ptr<QelWWWSession> session;
    std::string body;
};

Outcome Request(const QelWWWConfig& config, const char* query, const char* cookie = nullptr,
                const char* agent = nullptr, const char* script = "/cgi-bin/qelwww") {
    Outcome out;
    out.session = NewSession(&config);
    out.rc = QelWWW_InitSession(&config, out.session.get(), query, script, agent, cookie);
    out.body = out.session->response->GetBody();
    return out;
}

std::string PlainError(int number, const std::string& message) {
    return "[ERROR]\nID=" + std::to_string(number) + "\nMSG=" + message + "\n";
}

TEST(InitSession, RefusesMissingAndInvalidValuesWithTheirMessage) {
    QelWWWConfig config = ConfigFromIni(kIni);
    config.serverAccess = "prod,test,local";
    const std::string longName(QELWWW_MAX_USER + 1, 'u');
    std::string manyPairs = "_nohtml=1&";
    for (int i = 0; i < QELWWW_MAX_PARMS; ++i) manyPairs += "x=1&";
    struct Case {
        const char* name;
        std::string query;
        const char* cookie;
        int number;
        std::string message;
    } cases[] = {
        {"no function", "_nohtml=1&_s=prod&_u=a&_p=b", nullptr, 2171,
         "The argument '_function' was not specified"},
        {"no server", "_nohtml=1&_a=l&_u=a&_p=b", nullptr, 2171, "The argument '_server' was not specified"},
        {"empty server", "_nohtml=1&_a=l&_s=&_u=a&_p=b", nullptr, 2171,
         "The argument '_server' was not specified"},
        {"no user", "_nohtml=1&_a=l&_s=prod&_p=b", nullptr, 2171, "The argument '_user' was not specified"},
        {"no password, no cookie", "_nohtml=1&_a=l&_s=prod&_u=a", nullptr, 2171,
         "The argument '_password' was not specified"},
        {"cookie without password", "_nohtml=1&_a=l", "ZEIQS=_s=prod&_u=a", 2171,
         "The argument '_password' was not specified"},
        {"request server drops the cookie", "_nohtml=1&_a=l&_s=test", "ZEIQS=_s=prod&_u=a&_p=b", 2171,
         "The argument '_user' was not specified"},
        {"server not allowed", "_nohtml=1&_a=l&_s=pro&_u=a&_p=b", nullptr, 142,
         "The server 'pro' may not be accessed through this gateway"},
        {"max hits empty", "_nohtml=1&_a=l&_s=prod&_u=a&_p=b&_mh=", nullptr, 2159,
         "The argument '_max_hits' is not a valid decimal number"},
        {"max hits 12a", "_nohtml=1&_a=l&_s=prod&_u=a&_p=b&_max_hits=12a", nullptr, 2159,
         "The argument '_max_hits' is not a valid decimal number"},
        {"user too long", "_nohtml=1&_a=l&_s=prod&_p=b&_u=" + longName, nullptr, 2159,
         "The argument '_user' is not a valid decimal number"},
        {"password too long", "_nohtml=1&_a=l&_s=prod&_u=a&_p=" + std::string(21, 'p'), nullptr, 2159,
         "The argument '_password' is not a valid decimal number"},
        {"new password too long", "_nohtml=1&_a=c&_s=prod&_u=a&_p=b&_np=" + std::string(21, 'n'), nullptr,
         2159, "The argument '_new_password' is not a valid decimal number"},
        {"logon's new password too long",
         "_nohtml=1&_a=l&_s=prod&_u=a&_p=b&_new_password=" + std::string(21, 'n'), nullptr, 2159,
         "The argument '_new_password' is not a valid decimal number"},
        {"logoff without a logon", "_nohtml=1&_a=f", nullptr, 1689, "The server connection has timed out"},
        {"logoff after a logoff", "_nohtml=1&_function=logoff", "ZEIQS=; ZEILOGID=", 1689,
         "The server connection has timed out"},
        {"logoff without a user", "_nohtml=1&_a=f&_s=prod", nullptr, 1689,
         "The server connection has timed out"},
        {"logoff without a password", "_nohtml=1&_a=f", "ZEIQS=_s=prod&_u=a", 1689,
         "The server connection has timed out"},
        {"folder too long", "_nohtml=1&_a=l&_s=prod&_u=a&_p=b&_f=" + std::string(61, 'f'), nullptr, 2159,
         "The argument '_folder' is not a valid decimal number"},
        {"server too long", "_nohtml=1&_a=l&_u=a&_p=b&_s=" + std::string(255, 's'), nullptr, 2159,
         "The argument '_server' is not a valid decimal number"},
        {"template outside", "_nohtml=1&_a=l&_s=prod&_u=a&_p=b&_h=../etc/passwd", nullptr, 2159,
         "The argument '_html' is not a valid decimal number"},
        {"template ..", "_nohtml=1&_a=l&_s=prod&_u=a&_p=b&_h=pages/../../x", nullptr, 2159,
         "The argument '_html' is not a valid decimal number"},
        {"cgibin with host", "_nohtml=1&_c=http://evil/x&_a=l", nullptr, 2159,
         "The argument '_cgibin' is not a valid decimal number"},
        {"cgibin with quote", "_nohtml=1&_c=/a%22onload%3D&_a=l", nullptr, 2159,
         "The argument '_cgibin' is not a valid decimal number"},
        {"cgibin network path", "_nohtml=1&_c=//evil/x&_a=l", nullptr, 2159,
         "The argument '_cgibin' is not a valid decimal number"},
        {"local not configured", "_nohtml=1&_a=l&_s=prod&_u=a&_p=b&_local=/etc", nullptr, 2159,
         "The argument '_local' is not a valid decimal number"},
        {"local not the server's", "_nohtml=1&_a=l&_s=local&_u=a&_p=b&_local=/srv/other", nullptr, 2159,
         "The argument '_local' is not a valid decimal number"},
        {"too many pairs", manyPairs, nullptr, 2159, "The argument 'x' is not a valid decimal number"},
        // A NUL would cut the value: "alice%00x" must not log on as alice.
        {"NUL in the user", "_a=l&_s=prod&_u=alice%00x&_p=b&_nohtml=1", nullptr, 2159,
         "The argument '_u' is not a valid decimal number"},
        {"NUL in a name", "_nohtml=1&_a=l&_s=prod&_u=a&_p=b&_u%00x=1", nullptr, 2159,
         "The argument '_u%2500x' is not a valid decimal number"},  // its '%' escaped
        {"NUL in the state cookie", "_nohtml=1&_a=l", "ZEIQS=_s=prod&_u=alice%00x&_p=b", 2159,
         "The argument '_u' is not a valid decimal number"},
    };
    for (const Case& c : cases) {
        Outcome out = Request(config, c.query.c_str(), c.cookie);
        EXPECT_EQ(out.rc, 1) << c.name;
        EXPECT_EQ(out.body, PlainError(c.number, c.message)) << c.name;
        EXPECT_EQ(wwwtest::HeaderValue(*out.session->response, "Content-type"), "text/plain; charset=UTF-8")
            << c.name;
    }
}

TEST(InitSession, NoScriptNameAndHtmlErrorPages) {
    QelWWWConfig config = ConfigFromIni(kIni);
    Outcome noScript = Request(config, "_a=l", nullptr, nullptr, nullptr);
    EXPECT_EQ(noScript.rc, 1);
    EXPECT_NE(noScript.body.find("<h3>Netvara Version 2.2.1.10.</h3>"), std::string::npos);
    EXPECT_NE(noScript.body.find("The value &#39;SCRIPT_NAME&#39; was not specified by the web server"),
              std::string::npos);

    Outcome html = Request(config, "_s=prod&_u=a&_p=b");
    EXPECT_EQ(html.rc, 1);
    EXPECT_EQ(wwwtest::HeaderValue(*html.session->response, "Content-type"), "text/html; charset=UTF-8");
    EXPECT_NE(html.body.find("<h4>The argument &#39;_function&#39; was not specified</h4><br>"),
              std::string::npos);
    EXPECT_NE(html.body.find("<input type=button value=\"Ok\" onClick=\"history.back();\">"),
              std::string::npos);
}

TEST(InitSession, TakesValuesFromTheRequest) {
    QelWWWConfig config = ConfigFromIni(kIni);
    config.defaultPort = 1445;
    Outcome out =
        Request(config,
                "_function=d&_server=prod&_user=U1&_password=&_folder=Loans&_html=/pages/*&_frm=main"
                "&_dfmt=%25d.%25m&_ascii=1&_or=1&_mh=25&_afp=PDF+please&_line=applet&_email=native&_cp=1252");
    ASSERT_EQ(out.rc, 0) << out.body;
    const QelWWWSession& s = *out.session;
    EXPECT_EQ(s.action, "d");
    EXPECT_EQ(s.pageAsGiven, "/pages/*");
    EXPECT_EQ(s.page, "/pages/dochitlist.html");
    EXPECT_EQ(s.frame, "main");
    EXPECT_EQ(s.dateFormat, "%d.%m");
    EXPECT_EQ(s.folder, "Loans");
    EXPECT_EQ(s.serverName, "prod");
    EXPECT_EQ(s.server, "prod.example");
    EXPECT_EQ(s.serverType, 'S');
    EXPECT_EQ(s.port, 1450);
    EXPECT_EQ(s.user, "U1");
    EXPECT_EQ(s.password, "") << "an empty password is a password";
    EXPECT_EQ(s.sendStateCookie, 1);
    EXPECT_EQ(s.sendLogIdCookie, 1);
    EXPECT_EQ(s.logId, -1);
    EXPECT_EQ(s.asciiOutput, 1);
    EXPECT_EQ(s.orFlag, 1);
    EXPECT_EQ(s.noHtml, 0);
    EXPECT_EQ(s.view.maxHits, 25);
    EXPECT_EQ(s.view.afpViewMode, QELWWW_VIEW_PDF);
    EXPECT_EQ(s.view.lineViewMode, QELWWW_VIEW_APPLET);
    EXPECT_EQ(s.view.emailViewMode, QELWWW_VIEW_NATIVE);
    EXPECT_EQ(s.codePage, 1252u) << "the request's code page lives in the session";
    EXPECT_EQ(config.codePage, 819u);
    EXPECT_EQ(s.scriptName, "/cgi-bin/qelwww");
}

TEST(InitSession, CookieOnlyRequestsAndTheOtherCookies) {
    wwwtest::ScratchDir dir;
    QelWWWConfig config = ConfigFromIni(kIni);
    config.cacheDir = dir.MakeDir("cache");
    std::string key;
    ASSERT_EQ(QelWWW_StateKey(&config, true, &key), 0);
    const std::string cookie =
        "other=1; ZEIQS=_s=local&_pt=99&_cp=1208&_u=U%202&_p=" + QelWWW_SealPassword(key, "U 2", "s&cr;t") +
        "&_local=/srv/archive; ZEILOGID=77; ZEIIE=_f=Claims&x=1";
    Outcome out = Request(config, "_a=s", cookie.c_str());
    ASSERT_EQ(out.rc, 0) << out.body;
    const QelWWWSession& s = *out.session;
    EXPECT_EQ(s.serverName, "local");
    EXPECT_EQ(s.serverType, 'L');
    EXPECT_EQ(s.localDir, "/srv/archive");
    EXPECT_EQ(s.port, 99);
    EXPECT_EQ(s.codePage, 1208u);
    EXPECT_EQ(s.user, "U 2");
    EXPECT_EQ(s.password, "s&cr;t");
    EXPECT_EQ(s.sendStateCookie, 0) << "a password from the cookie is not sent back";
    EXPECT_EQ(s.logId, 77);
    EXPECT_EQ(s.sendLogIdCookie, 0);
    EXPECT_EQ(s.folder, "Claims");
}

TEST(InitSession, StateCookieRoundTripsThroughTheParser) {
    wwwtest::ScratchDir dir;
    QelWWWConfig config = ConfigFromIni(kIni);
    config.cacheDir = dir.MakeDir("cache");  // the key that seals the password
    QelWWWSession logon;
    logon.serverName = "prod";
    logon.server = "prod.example";
    logon.port = 1450;
    logon.user = "ANN;X";
    logon.password = "a&b=c %d";
    logon.sendStateCookie = 1;
    QelWWWResponse response;
    response.SaveStateCookies(&config, &logon, 819, 5);
    std::string setCookie = wwwtest::HeaderValue(response, "Set-Cookie");
    std::string cookie = setCookie.substr(0, setCookie.find(';'));  // what the browser sends back
    Outcome out = Request(config, "_a=l", cookie.c_str());
    ASSERT_EQ(out.rc, 0) << out.body;
    EXPECT_EQ(out.session->serverName, "prod");
    EXPECT_EQ(out.session->server, "prod.example");
    EXPECT_EQ(out.session->user, "ANN;X");
    EXPECT_EQ(out.session->password, "a&b=c %d");
}

// The state cookie names the local directory only when the server's section would not give
// it back, and a cookie that names it is taken as the request would be.
TEST(InitSession, StateCookieLeavesOutTheConfiguredDirectory) {
    wwwtest::ScratchDir dir;
    QelWWWConfig config = ConfigFromIni(std::string(kIni) + "[@SRV@_other]\nDIRECTORY=/srv/other\n");
    config.cacheDir = dir.MakeDir("cache");
    struct Case {
        const char* query;
        const char* local;  // the _local pair expected in the cookie, or none
        char type;
        const char* directory;
    } cases[] = {
        {"_s=local", nullptr, 'L', "/srv/archive/"},
        {"_s=local&_local=/srv/archive", nullptr, 'L', "/srv/archive/"},
        {"_s=local&_local=/srv/archive/", nullptr, 'L', "/srv/archive/"},
        {"_s=other&_local=/srv/other", "&_local=%2Fsrv%2Fother;", 'L', "/srv/other"},
        {"_s=other", nullptr, 'T', "/srv/other"},
        {"_s=prod", nullptr, 'S', ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        Outcome logon = Request(config, (std::string("_a=l&_u=a&_p=b&") + c.query).c_str());
        ASSERT_EQ(logon.rc, 0) << logon.body;
        QelWWWResponse response;
        response.SaveStateCookies(&config, logon.session.get(), 819, 5);
        const std::string setCookie = wwwtest::HeaderValue(response, "Set-Cookie");
        if (c.local != nullptr) {
            EXPECT_NE(setCookie.find(c.local), std::string::npos) << setCookie;
        } else {
            EXPECT_EQ(setCookie.find("_local"), std::string::npos) << setCookie;
        }
        Outcome next = Request(config, "_a=s", setCookie.substr(0, setCookie.find(';')).c_str());
        ASSERT_EQ(next.rc, 0) << next.body;
        EXPECT_EQ(next.session->serverType, c.type);
        EXPECT_EQ(next.session->localDir, c.directory);
    }
}

TEST(InitSession, PagesFromWildcards) {
    QelWWWConfig config = ConfigFromIni(kIni);
    struct Case {
        const char* function;
        const char* html;
        const char* page;
    } cases[] = {
        {"l", "*", "logon.html"},
        {"logoff", "t/*", "t/logoff.html"},
        {"c", "*", "chgpassword.html"},
        {"addnote", "*", "addnote.html"},
        {"QKA2H", "x*", "x"},
        {"unknown", "*", ""},
        {"g", "plain.html", "plain.html"},
    };
    for (const Case& c : cases) {
        std::string query = std::string("_s=prod&_u=a&_p=b&_a=") + c.function + "&_html=" + c.html;
        Outcome out = Request(config, query.c_str());
        ASSERT_EQ(out.rc, 0) << c.function;
        EXPECT_EQ(out.session->page, c.page) << c.function;
    }
}

TEST(InitSession, BrowserSectionsOverrideTheDefaults) {
    QelWWWConfig config = ConfigFromIni(kIni);
    config.defaults.maxHits = 7;
    Outcome ie =
        Request(config, "_a=l&_s=prod&_u=a&_p=b", nullptr, "Mozilla/4.0 (compatible; MSIE 5.01; Windows NT)");
    ASSERT_EQ(ie.rc, 0);
    EXPECT_EQ(ie.session->browserKind, QELWWW_BROWSER_IE);
    EXPECT_EQ(ie.session->view.afpViewMode, QELWWW_VIEW_PDF);
    EXPECT_EQ(ie.session->view.permissions, QELWWW_PERM_VIEW_NOTES);
    EXPECT_EQ(ie.session->view.lineViewMode, QELWWW_VIEW_APPLET) << "keys the section lacks keep the default";

    Outcome ns = Request(config, "_a=l&_s=prod&_u=a&_p=b", nullptr, "Mozilla/4.7 [en] (X11; Linux)");
    ASSERT_EQ(ns.rc, 0);
    EXPECT_EQ(ns.session->view.lineViewMode, QELWWW_VIEW_ASCII);
    EXPECT_EQ(ns.session->view.maxHits, 7) << "MaxHits that is not a number is ignored";
    EXPECT_EQ(ns.session->view.afpViewMode, QELWWW_VIEW_PLUGIN);
}

TEST(InitSession, TraceNeverShowsAPassword) {
    wwwtest::ScratchDir dir;
    QelWWWConfig config = ConfigFromIni(kIni);
    config.traceOn = 1;
    config.traceFile = dir.Path() + "/qelwww.log";
    Outcome out = Request(config, "_a=l&_s=prod&_u=a&_password=REQSECRET",
                          "ZEIQS=_s=prod&_pt=1450&_u=a&_p=COOKIESECRET&_np=NEWSECRET; x=_password=OTHER");
    ASSERT_EQ(out.rc, 0) << out.body;
    std::string trace;
    ASSERT_EQ(ArcOS_ReadFile(config.traceFile.c_str(), &trace), 0);
    for (const char* secret : {"REQSECRET", "COOKIESECRET", "NEWSECRET", "OTHER"})
        EXPECT_EQ(trace.find(secret), std::string::npos) << secret;
    EXPECT_NE(trace.find("_pt=1450"), std::string::npos) << "_p must not blank _pt";
    EXPECT_NE(trace.find("QelWWW_InitSession: user = 'a'"), std::string::npos);
}

TEST(InitSession, TraceHidesPasswordsNamedInPercentEncoding) {
    wwwtest::ScratchDir dir;
    QelWWWConfig config = ConfigFromIni(kIni);
    config.traceOn = 1;
    config.traceFile = dir.Path() + "/qelwww.log";
    Outcome out = Request(config, "_a=c&_s=prod&_u=a&%5Fpassword=REQSECRET&_new%5Fpassword=NEWSECRET",
                          "ZEIQS=_s=prod&_u=a&%5Fp=COOKIESECRET");
    ASSERT_EQ(out.rc, 0) << out.body;
    EXPECT_EQ(out.session->password, "REQSECRET") << "the parser reads the encoded name";
    std::string trace;
    ASSERT_EQ(ArcOS_ReadFile(config.traceFile.c_str(), &trace), 0);
    for (const char* secret : {"REQSECRET", "COOKIESECRET", "NEWSECRET"})
        EXPECT_EQ(trace.find(secret), std::string::npos) << secret;
    EXPECT_NE(trace.find("HTTP_COOKIE = 'ZEIQS=_s=prod&_u=a&%5Fp=***'"), std::string::npos) << trace;
}

TEST(InitSession, ACharacterBeyondTheBmpChangesOnlyItsValue) {
    QelWWWConfig config = ConfigFromIni(kIni);
    Outcome out = Request(config,
                          "_a=l&_s=prod&_u=a\xF0\x9F\x98\x80"
                          "b&_p=pw&_nohtml=1");
    ASSERT_EQ(out.rc, 0) << out.body;
    EXPECT_EQ(out.session->user,
              "a\x1A"
              "b");
    EXPECT_EQ(out.session->password, "pw");
    EXPECT_EQ(out.session->noHtml, 1);
    EXPECT_EQ(out.session->action, "l");
}

TEST(BlankPasswords, HidesWholeNamesInCookiesWithoutTheirLength) {
    struct Case {
        const char* cookie;
        const char* expected;
    } cases[] = {
        {"ZEIQS=_s=x&_p=abc&_pt=80", "ZEIQS=_s=x&_p=***&_pt=80"},
        {"ZEIQS=_p=abc", "ZEIQS=_p=***"},
        {"ZEIQS=_p=a-much-longer-one", "ZEIQS=_p=***"},
        {"ZEIQS=_password=ab;b=_np=c", "ZEIQS=_password=***;b=_np=***"},
        {"a=x_p=abc", "a=x_p=abc"},
        {"_pt=1&_px=2&a_p=3", "_pt=1&_px=2&a_p=3"},
        {"_p=a&_p=b", "_p=***"},  // a cookie named like a password is hidden whole
        {"_new_password=n", "_new_password=***"},
        {"ZEIQS=_s=x&_p=", "ZEIQS=_s=x&_p="},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(QelWWW_BlankCookiePasswords(c.cookie), c.expected) << c.cookie;
}

TEST(BlankPasswords, ComparesNamesAsTheParserDecodesThem) {
    QelWWWConfig config = ConfigFromIni("");
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"_function=logon&_server=S&_user=alice&%5Fpassword=Secret1&_nohtml=1",
         "_function=logon&_server=S&_user=alice&%5Fpassword=***&_nohtml=1"},
        {"%5fp=Secret1", "%5fp=***"},
        {"_new%5Fpassword=Secret1", "_new%5Fpassword=***"},
        {"%5F%6E%70=Secret1", "%5F%6E%70=***"},
        {"_pass%77ord=Secret1&_u=a", "_pass%77ord=***&_u=a"},
        {"_p=Sec;ret1&_u=a", "_p=***&_u=a"},  // ';' is data in a request text
        {"_p=Sec=ret1", "_p=***"},
        {"x&_p=Secret1", "x&_p=***"},
        {"_p=one&_password=two&_np=three", "_p=***&_password=***&_np=***"},
        {"%5Fpassword=", "%5Fpassword="},
        {"%5Fpt=80&_p%20=x&_p=", "%5Fpt=80&_p%20=x&_p="},
        {"no pairs", "no pairs"},
    };
    for (const Case& c : cases) {
        std::string blanked = QelWWW_BlankPasswords(c.text);
        EXPECT_EQ(blanked, c.expected) << c.text;
        // Whatever the parser takes for a password must be gone.
        QelWWWParmList list(&config, c.text);
        for (const char* name : {"_password", "_p", "_new_password", "_np"}) {
            const char* value = list.Get(name);
            if (value != nullptr && *value != '\0') {
                EXPECT_EQ(blanked.find(value), std::string::npos) << c.text << " " << name;
            }
        }
    }

    struct CookieCase {
        const char* cookie;
        const char* expected;
    } cookies[] = {
        {"ZEIQS=_s=S&%5Fp=Secret1", "ZEIQS=_s=S&%5Fp=***"},
        {"ZEILOGID=3; ZEIQS=%5Fpassword=Secret1", "ZEILOGID=3; ZEIQS=%5Fpassword=***"},
        {"ZEIQS=_s=S&_new%5Fpassword=Secret1;ZEIIE=_f=F", "ZEIQS=_s=S&_new%5Fpassword=***;ZEIIE=_f=F"},
        {" %5Fnp=Secret1; x=1", " %5Fnp=***; x=1"},
    };
    for (const CookieCase& c : cookies)
        EXPECT_EQ(QelWWW_BlankCookiePasswords(c.cookie), c.expected) << c.cookie;
}

TEST(GetCookie, MatchesWholeNames) {
    struct Case {
        const char* header;
        const char* name;
        std::optional<std::string> value;
    } cases[] = {
        {"ZEIQS=abc", "ZEIQS", "abc"},
        {"a=1; ZEIQS=x=y&z; b=2", "ZEIQS", "x=y&z"},
        {"XZEIQS=evil; ZEIQS=good", "ZEIQS", "good"},
        {"XZEIQS=evil", "ZEIQS", std::nullopt},
        {"ZEIQS=", "ZEIQS", std::nullopt},
        {"ZEIQS", "ZEIQS", std::nullopt},
        {"ZEILOGID=5;ZEIQS=q", "ZEIQS", "q"},
        {"ZEIQS=first; ZEIQS=second", "ZEIQS", "first"},
        {"", "ZEIQS", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(QelWWW_GetCookie(c.header, c.name), c.value) << c.header;
    EXPECT_EQ(QelWWW_GetCookie(nullptr, "ZEIQS"), std::nullopt);
}

TEST(DetectBrowser, KindVersionSystemAndCandidateSections) {
    struct Case {
        const char* agent;
        uint32_t kind;
        int32_t major;
        const char* minor;
        uint32_t os;
    } cases[] = {
        {"Mozilla/4.0 (compatible; MSIE 5.01; Windows NT)", 1, 5, "01", 4},
        {"Mozilla/4.0 (compatible; MSIE 4.0; Windows 95)", 1, 4, "0", 1},
        {"Mozilla/4.0 (compatible; MSIE 6.0; Windows 98)", 1, 6, "0", 2},
        {"contype", 1, 3, "0", 16},
        {"Mozilla/4.7 [en] (WinNT; I)", 2, 4, "7", 4},
        {"Mozilla/3.01 (Win95; I)", 2, 3, "01", 1},
        {"Mozilla/5.0 (X11; Linux x86_64)", 2, 5, "0", 16},
        {"curl/8.0", 2, 3, "0", 16},
        {"MSIE", 1, 0, "", 16},
        {"Mozilla/99999999999999", 2, INT32_MAX, "", 16},
    };
    for (const Case& c : cases) {
        uint32_t kind = 0, os = 0;
        int32_t major = -1;
        std::string minor = "?";
        QelWWW_DetectBrowser(c.agent, &kind, &major, &minor, &os);
        EXPECT_EQ(kind, c.kind) << c.agent;
        EXPECT_EQ(major, c.major) << c.agent;
        EXPECT_EQ(minor, c.minor) << c.agent;
        EXPECT_EQ(os, c.os) << c.agent;
    }
    const char* agent = "Mozilla/4.0 (compatible; MSIE 5.01; Windows NT)";
    EXPECT_EQ(QelWWW_BrowserSections(agent),
              (std::vector<std::string>{agent, "IE 5.01/WinNT", "IE 5.01", "IE 5", "IE"}));
    EXPECT_EQ(QelWWW_BrowserSections("Mozilla/4.7 [en] (X11)"),
              (std::vector<std::string>{"Mozilla/4.7 [en] (X11)", "Netscape 4.7/Unix", "Netscape 4.7",
                                        "Netscape 4", "Netscape"}));
}

}  // namespace
