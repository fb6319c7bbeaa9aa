// The reply object: headers, content type and charset, body assembly, state cookies.
#include "www_test_support.h"

namespace {

using wwwtest::ConfigFromIni;
using wwwtest::HeaderValue;

std::vector<std::pair<std::string, std::string>> Headers(const QelWWWResponse& response) {
    std::vector<std::pair<std::string, std::string>> out;
    for (uint32_t i = 0; i < response.GetHeaderCount(); ++i) {
        const char* n = nullptr;
        const char* v = nullptr;
        EXPECT_TRUE(response.GetHeader(i, &n, &v));
        out.emplace_back(n, v);
    }
    return out;
}

TEST(ResponseHeaders, ReplaceInPlaceButAddEverySetCookie) {
    QelWWWResponse response;
    EXPECT_EQ(response.SetHeader("Content-type", "%s", "text/html"), 0);
    EXPECT_EQ(response.SetHeader("Set-Cookie", "a=%d", 1), 0);
    EXPECT_EQ(response.SetHeader("Set-Cookie", "b=%d", 2), 0);
    EXPECT_EQ(response.SetHeader("set-cookie", "c=%d", 3), 0);
    EXPECT_EQ(response.SetHeader("Content-type", "%s", "text/plain"), 0);
    EXPECT_EQ(response.SetHeader("content-type", "%s", "other"), 0);  // another name: case counts
    using P = std::pair<std::string, std::string>;
    EXPECT_EQ(Headers(response), (std::vector<P>{{"Content-type", "text/plain"},
                                                 {"Set-Cookie", "a=1"},
                                                 {"Set-Cookie", "b=2"},
                                                 {"set-cookie", "c=3"},
                                                 {"content-type", "other"}}));
    EXPECT_FALSE(response.GetHeader(5, nullptr, nullptr));
}

TEST(ResponseHeaders, RefuseInjectionAndOverflow) {
    struct Case {
        const char* name;
        std::string header;
        std::string value;
    } refused[] = {
        {"LF in value", "X-A", "a\nSet-Cookie: evil=1"},
        {"CR in value", "X-A", "a\rb"},
        {"NUL in value", "X-A", std::string("a\0b", 3)},
        {"LF in name", "X-A\nB", "v"},
        {"colon in name", "X-A: b", "v"},
        {"empty name", "", "v"},
    };
    for (const Case& c : refused) {
        QelWWWResponse response;
        EXPECT_EQ(response.SetHeaderValue(c.header, c.value), 1) << c.name;
        EXPECT_EQ(response.GetHeaderCount(), 0u) << c.name;
    }
    QelWWWResponse response;
    for (int i = 0; i < QELWWW_MAX_HEADERS; ++i) EXPECT_EQ(response.SetHeader("Set-Cookie", "n%d=1", i), 0);
    EXPECT_EQ(response.SetHeader("Set-Cookie", "%s", "one=too many"), 1);
    EXPECT_EQ(response.SetHeader("X-New", "%s", "v"), 1);
    EXPECT_EQ(response.GetHeaderCount(), static_cast<uint32_t>(QELWWW_MAX_HEADERS));
}

TEST(ResponseContentType, CharsetFollowsTheTargetAndTheStickyTextFlag) {
    struct Case {
        const char* name;
        std::vector<const char*> types;
        uint32_t target;
        const char* header;
        uint32_t finalTarget;
    } cases[] = {
        {"utf-8 text", {"text/html"}, 1208, "text/html; charset=UTF-8", 1208},
        {"windows-1252", {"text/plain"}, 1252, "text/plain; charset=windows-1252", 1252},
        {"819 becomes UTF-8", {"text/html"}, 819, "text/html; charset=UTF-8", 1208},
        {"binary after text", {"text/html", "application/afp"}, 1208, "application/afp", 1208},
        {"text flag stays cleared", {"text/html", "application/afp", "text/plain"}, 1208, "text/plain", 1208},
        {"case counts in text/", {"Text/html"}, 1208, "Text/html", 1208},
    };
    for (const Case& c : cases) {
        QelWWWResponse response;
        response.SetTargetCodePage(c.target);
        for (const char* type : c.types) response.SetContentType(type);
        EXPECT_EQ(response.GetHeaderCount(), 1u) << c.name;
        EXPECT_EQ(HeaderValue(response, "Content-type"), c.header) << c.name;
        EXPECT_EQ(response.TargetCodePage(), c.finalTarget) << c.name;
    }
}

TEST(ResponseBody, JoinsPrefixMiddleAndSuffix) {
    QelWWWConfig config = ConfigFromIni("", 1208);
    {
        QelWWWResponse response(&config);
        response.AppendPrefix("<p%d>", 1);
        response.AppendSuffix("%s", "</p>");
        EXPECT_EQ(response.GetBody(), "<p1>\n</p>\n") << "nothing written: prefix and suffix only";
    }
    {
        QelWWWResponse response(&config);
        response.PrintText("text %s", "body");
        response.AppendBinary("BIN", 3);
        EXPECT_EQ(response.GetBody(), "text body") << "text wins over binary";
    }
    {
        QelWWWResponse response(&config);
        response.AppendBinary("\0\1\2", 3);
        response.PrintBinaryLine("%s", "x");
        EXPECT_EQ(response.GetBody(), std::string("\0\1\2x\n", 5));
    }
    {
        QelWWWResponse response(&config);
        response.AppendPrefixLine("%s%n%d");  // data, never a format
        EXPECT_EQ(response.GetBody(), "%s%n%d\n");
    }
}

TEST(ResponseBody, ConvertsTheTextFromTheServerCodePage) {
    QelWWWConfig config = ConfigFromIni("", 819);
    ASSERT_NE(config.codePageContext, nullptr);
    QelWWWResponse response(&config);
    EXPECT_EQ(response.SourceCodePage(), 819u);
    response.AppendPrefixLine("<pre>");  // frame is not converted
    response.AppendText("caf\xE9", 4);
    EXPECT_EQ(response.GetBody(), "<pre>\ncaf\xC3\xA9");

    QelWWWResponse same(&config);
    same.SetTargetCodePage(819);
    same.AppendText("caf\xE9", 4);
    EXPECT_EQ(same.GetBody(), "caf\xE9") << "equal code pages: no conversion";

    QelWWWResponse broken(&config);
    broken.SetSourceCodePage(1208);
    broken.SetTargetCodePage(1252);
    broken.AppendText("bad \xFF\xFE", 6);
    EXPECT_EQ(broken.GetBody(), "bad \xFF\xFE") << "a failed conversion sends the text as it is";

    QelWWWResponse zero;
    zero.SetSourceCodePage(0);
    zero.SetTargetCodePage(0);
    EXPECT_EQ(zero.SourceCodePage(), 819u);
    EXPECT_EQ(zero.TargetCodePage(), 1208u);
}

TEST(StateCookies, ArePercentEncodedHttpOnlyAndOnlySentWhenFlagged) {
    QelWWWSession session;
    session.serverName = "arch;ive";
    session.server = "10.0.0.1";
    session.port = 1445;
    session.user = "USER 1";
    session.password = "p&w=;d%";
    session.sendStateCookie = 1;
    session.sendLogIdCookie = 1;
    QelWWWResponse response;
    response.SaveStateCookies(nullptr, &session, 819, 42);
    auto headers = Headers(response);
    ASSERT_EQ(headers.size(), 2u);
    // Without a configuration there is no key to seal the password with: it stays out.
    EXPECT_EQ(headers[0].second, "ZEIQS=_s=arch%3Bive&_pt=1445&_cp=819&_u=USER%201; HttpOnly; SameSite=Lax");
    EXPECT_EQ(headers[1].second, "ZEILOGID=42; HttpOnly; SameSite=Lax");

    session.serverType = 'L';
    session.localDir = "/srv/arch";
    session.sendLogIdCookie = 0;
    QelWWWResponse local;
    local.SaveStateCookies(nullptr, &session, 1208, 1);
    ASSERT_EQ(local.GetHeaderCount(), 1u);
    EXPECT_NE(HeaderValue(local, "Set-Cookie").find("&_local=%2Fsrv%2Farch;"), std::string::npos);

    session.sendStateCookie = 0;
    QelWWWResponse none;
    none.SaveStateCookies(nullptr, &session, 819, 1);
    EXPECT_EQ(none.GetHeaderCount(), 0u);

    QelWWWResponse cleared;
    cleared.ClearStateCookies();
    EXPECT_EQ(Headers(cleared),
              (std::vector<std::pair<std::string, std::string>>{
                  {"Set-Cookie",
                   "ZEIQS=; Max-Age=0; Expires=Thu, 01 Jan 1970 00:00:00 GMT; HttpOnly; SameSite=Lax"},
                  {"Set-Cookie",
                   "ZEILOGID=; Max-Age=0; Expires=Thu, 01 Jan 1970 00:00:00 GMT; HttpOnly; SameSite=Lax"}}));
}

}  // namespace
