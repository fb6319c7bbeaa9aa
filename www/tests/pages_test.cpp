// Page templates, error replies, the trace line and the dispatcher.
#include "www_test_support.h"

#include <sys/stat.h>

#include "arc_platform.h"

namespace {

using wwwtest::ConfigFromIni;
using wwwtest::NewSession;
using wwwtest::ScratchDir;

struct Frame {
    std::string prefix;
    std::string suffix;
};

Frame FrameOf(const ScratchDir& dir, const std::string& page) {
    QelWWWConfig config = ConfigFromIni("");
    config.templateDir = dir.Path();
    auto session = NewSession(&config);
    session->page = page;
    QelWWW_WriteHeader(&config, session.get());
    QelWWW_WriteTrailer(&config, session.get());
    return {session->response->Prefix(), session->response->Suffix()};
}

TEST(Templates, SplitAtTheMarkerLine) {
    ScratchDir dir;
    const std::string longLine(5000, 'x');
    struct Case {
        const char* name;
        std::string file;
        std::string prefix;
        std::string suffix;
    } cases[] = {
        {"comment marker", "<html>\n<b><!-- VOD# Marker --> tail\n</html>\n", "<html>\n\n<b>\n",
         " tail\n\n</html>\n\n"},
        {"bare marker", "head\nVOD# Marker\nend\n", "head\n\n\n", "end\n\n"},
        {"marker with closing bracket", "a VOD# Marker> rest\n", "a \n", " rest\n\n"},
        {"no marker", "one\ntwo", "one\n\ntwo\n", ""},
        {"printf characters are data", "%s%n%x\nVOD# Marker>%d\n", "%s%n%x\n\n\n", "%d\n\n"},
        {"long lines stay whole", longLine + "\nVOD# Marker>\n" + longLine, longLine + "\n\n\n",
         "\n\n" + longLine + "\n"},
        {"last bang not after <", "<!a!VOD# Marker\n", "<!a!\n", ""},
    };
    for (const Case& c : cases) {
        dir.Write("page.html", c.file);
        Frame frame = FrameOf(dir, "page.html");
        EXPECT_EQ(frame.prefix, c.prefix) << c.name;
        EXPECT_EQ(frame.suffix, c.suffix) << c.name;
    }
}

TEST(Templates, BuiltInFrameWithoutAUsableFile) {
    ScratchDir dir;
    dir.Write("sub/page.html", "X\nVOD# Marker>Y\n");
    const std::string head = "<HTML>\n<CENTER>\n<TITLE>Tidewell Netvara</TITLE>\n</CENTER>\n<BODY>\n<br>\n";
    const std::string tail = "</BODY>\n</HTML>\n";
    struct Case {
        const char* page;
        bool builtIn;
    } cases[] = {{"", true},
                 {"missing.html", true},
                 {"../sub/page.html", true},
                 {"sub/page.html", false},
                 {"/sub/page.html", false},
                 {"sub", true}};
    for (const Case& c : cases) {
        Frame frame = FrameOf(dir, c.page);
        if (c.builtIn) {
            EXPECT_EQ(frame.prefix, head) << c.page;
            EXPECT_EQ(frame.suffix, tail) << c.page;
        } else {
            EXPECT_EQ(frame.prefix, "X\n\n\n") << c.page;
        }
    }
}

TEST(Templates, SafePageNames) {
    struct Case {
        std::string page;
        bool safe;
    } cases[] = {{"a.html", true},
                 {"/pages/a.html", true},
                 {"a/b/c.html", true},
                 {"..", false},
                 {"../a.html", false},
                 {"a/../b", false},
                 {"a/..", false},
                 {"a..b.html", true},
                 {"a\nb", false},
                 {"", false},
                 {std::string(QELWWW_MAX_PAGE, 'p'), true},
                 {std::string(QELWWW_MAX_PAGE + 1, 'p'), false}};
    for (const Case& c : cases) EXPECT_EQ(QelWWW_IsSafePage(c.page), c.safe) << c.page;
}

TEST(ErrorPage, HtmlPlainTextAndCommandLine) {
    QelWWWConfig config = ConfigFromIni("");
    {
        auto session = NewSession(&config);
        QelWWW_ErrorPage(&config, session.get(), true, 2175, "The function '%s' was not found",
                         "\"><script>");
        std::string body = session->response->GetBody();
        EXPECT_EQ(body.find("<script>"), std::string::npos);
        EXPECT_NE(
            body.find("<h3>Netvara Version 2.2.1.10.</h3>\n"
                      "<h4>The function &#39;&quot;&gt;&lt;script&gt;&#39; was not found</h4><br>\n<form>\n"
                      "<input type=button value=\"Ok\" onClick=\"history.back();\">\n</form>\n"),
            std::string::npos)
            << body;
        EXPECT_EQ(body.rfind("<HTML>", 0), 0u);
    }
    {
        auto session = NewSession(&config);
        QelWWW_ErrorPage(&config, session.get(), false, 2175, "%s", "<html>");
        EXPECT_EQ(session->response->GetBody().find("Netvara Version"), std::string::npos);
    }
    {
        config.beginChar = '{';
        config.endChar = '}';
        auto session = NewSession(&config);
        session->noHtml = 1;
        QelWWW_ErrorPage(&config, session.get(), true, 2171, "line one\r\nID=0\nMSG=%s", "{forged}");
        EXPECT_EQ(session->response->GetBody(),
                  "{ERROR}\nID=2171\nMSG=line one%0D%0AID=0%0AMSG=%7Bforged%7D\n");
        EXPECT_EQ(session->response->ContentType(), "text/plain");
    }
    {
        config.commandLineMode = 1;
        auto session = NewSession(&config);
        testing::internal::CaptureStderr();
        QelWWW_ErrorPage(&config, session.get(), true, 1, "to %s", "stderr");
        // A line of its own; a text that ends its line gets no second line feed.
        QelWWW_ErrorPage(&config, session.get(), true, 1, "%s\n", "ended");
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "to stderr\nended\n");
        EXPECT_EQ(session->response->GetBody(), "");
    }
}

TEST(Trace, AppendsOneLinePerCallWithThreadAndProcess) {
    ScratchDir dir;
    QelWWWConfig config;
    config.traceFile = dir.Path() + "/qelwww.log";
    QelWWW_Trace(&config, "first %d", 1);
    QelWWW_Trace(&config, "forged\nline %s", "x");
    std::string content;
    ASSERT_EQ(ArcOS_ReadFile(config.traceFile.c_str(), &content), 0);
    std::string who =
        std::to_string(ArcOS_GetThreadId()) + ":" + std::to_string(ArcOS_GetProcessId()) + " - ";
    EXPECT_EQ(content, who + "first 1\n" + who + "forged line x\n");

    // User names and request texts: for the owner only, whatever the umask lets through.
    mode_t saved = umask(0);
    config.traceFile = dir.Path() + "/fresh.log";
    QelWWW_Trace(&config, "line");
    umask(saved);
    struct stat info {};
    ASSERT_EQ(stat(config.traceFile.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    config.traceFile = dir.Path() + "/missing/qelwww.log";
    QelWWW_Trace(&config, "dropped");  // an unwritable trace never fails the caller
}

TEST(Dispatch, KeywordsAliasesAndTheirErrors) {
    QelWWWConfig config = ConfigFromIni("");
    struct Case {
        const char* action;
        const char* folder;
        int number;
        const char* message;
    } cases[] = {
        {"d", "", 2171, "The argument '_folder' was not specified"},
        {"dochitlist", "", 2171, "The argument '_folder' was not specified"},
        {"s", "", 2171, "The argument '_folder' was not specified"},
        {"searchcrit", "", 2171, "The argument '_folder' was not specified"},
        {"r", "", 2171, "The argument '_folder' was not specified"},
        {"retrieve", "", 2171, "The argument '_folder' was not specified"},
        {"Logoff", "", 2175, "The function 'Logoff' was not found"},
        {"D", "", 2175, "The function 'D' was not found"},
        {"", "F", 2175, "The function '' was not found"},
        {"qka2h", "", 2175, "The function 'qka2h' was not found"},
        {"x\"><script>", "", 2175, "The function 'x\"><script>' was not found"},
    };
    for (const Case& c : cases) {
        auto session = NewSession(&config);
        session->noHtml = 1;
        session->action = c.action;
        session->folder = c.folder;
        EXPECT_EQ(QelWWW_Dispatch(&config, session.get()), 1) << c.action;
        EXPECT_EQ(session->response->GetBody(),
                  "[ERROR]\nID=" + std::to_string(c.number) + "\nMSG=" + c.message + "\n")
            << c.action;
    }
}

TEST(Dispatch, WhoMayChangeStoredState) {
    const std::optional<std::string> none;
    const std::string allowed = "https://portal.example.com, http://intranet:8080/";
    struct Case {
        const char* name;
        const char* method;
        std::optional<std::string> origin;
        const char* host;
        bool allowed;
    } cases[] = {
        {"GET, no origin", "GET", none, "archive.example.com", false},
        {"GET from the own origin", "GET", "http://archive.example.com", "archive.example.com", false},
        {"HEAD", "HEAD", none, "archive.example.com", false},
        {"post in lower case", "post", none, "archive.example.com", false},
        {"POST without Origin", "POST", none, "archive.example.com", true},
        {"POST from the own host", "POST", "http://archive.example.com", "archive.example.com", true},
        {"own host and port", "POST", "http://127.0.0.1:8080", "127.0.0.1:8080", true},
        {"host without case", "POST", "HTTPS://Archive.Example.COM", "archive.example.com", true},
        {"trailing slash", "POST", "http://archive.example.com/", "archive.example.com", true},
        {"another port", "POST", "http://127.0.0.1:9090", "127.0.0.1:8080", false},
        {"another host", "POST", "http://evil.example", "archive.example.com", false},
        {"own host as a suffix", "POST", "http://evil.archive.example.com", "archive.example.com", false},
        {"own host as a prefix", "POST", "http://archive.example.com.evil", "archive.example.com", false},
        {"no scheme", "POST", "archive.example.com", "archive.example.com", false},
        {"null origin", "POST", "null", "archive.example.com", false},
        {"empty origin", "POST", "", "archive.example.com", false},
        {"no Host header", "POST", "http://archive.example.com", "", false},
        {"listed origin", "POST", "https://portal.example.com", "archive.example.com", true},
        {"listed with slash and port", "POST", "http://intranet:8080", "archive.example.com", true},
        {"listed host, other scheme", "POST", "http://portal.example.com", "archive.example.com", false},
        {"listed host, other port", "POST", "http://intranet:8081", "archive.example.com", false},
        {"GET from a listed origin", "GET", "https://portal.example.com", "archive.example.com", false},
        {"front end does not tell", "", none, "", false},
        {"no method, own origin", "", "http://archive.example.com", "archive.example.com", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(QelWWW_MayChangeState(c.method, c.origin, c.host, allowed), c.allowed) << c.name;
    }
    // Without a list only the own host passes; an empty entry lets nothing through.
    EXPECT_FALSE(QelWWW_MayChangeState("POST", std::string("https://portal.example.com"), "archive", ""));
    EXPECT_FALSE(QelWWW_MayChangeState("POST", std::string("https://portal.example.com"), "archive", " , ,"));
    EXPECT_TRUE(QelWWW_MayChangeState("POST", std::string("http://archive"), "archive", ""));
}

}  // namespace
