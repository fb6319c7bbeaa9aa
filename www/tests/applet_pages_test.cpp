// The pages of the viewer applets: the AFP applet's frameset, the applet page, and the
// QKA2H action that writes it.
#include <gtest/gtest.h>

#include "documents.h"
#include "www_test_support.h"

namespace {

using namespace qelwww::detail;

struct Page {
    int rc = -1;
    std::string prefix, text, suffix, body, contentType;
};

QelWWWConfig AppletConfig() {
    QelWWWConfig config = wwwtest::ConfigFromIni("", 819);
    config.appletDir = "/applets/";
    config.imageDir = "/images/";
    return config;
}

std::unique_ptr<QelWWWSession> AppletSession(const QelWWWConfig& config, const char* query,
                                             const char* folder, const char* agent = "Mozilla/5.0") {
    auto session = wwwtest::NewSession(&config);
    session->parms = std::make_unique<QelWWWParmList>(&config, query);
    session->scriptName = "/cgi-bin/qelwww";
    session->folder = folder;
    QelWWW_DetectBrowser(agent, &session->browserKind, &session->browserMajor, &session->browserMinor,
                         &session->osKind);
    return session;
}

Page Result(int rc, const QelWWWSession& session) {
    const QelWWWResponse& r = *session.response;
    return {rc, r.Prefix(), r.Text(), r.Suffix(), r.GetBody(), r.ContentType()};
}

Page Frameset(const QelWWWConfig& config, QelWWWSession* session) {
    return Result(QelWWW_AfpAppletFrameset(&config, session), *session);
}
Page Applet(const QelWWWConfig& config, QelWWWSession* session, const char* name = kLineAppletName) {
    return Result(QelWWW_AppletPage(&config, session, name), *session);
}

TEST(AppletPages, FramesetAsWritten) {
    QelWWWConfig config = AppletConfig();
    auto session = AppletSession(config, "_docid=7FAA%01x", "Statements");
    const Page page = Frameset(config, session.get());
    EXPECT_EQ(page.rc, 0);
    EXPECT_EQ(page.contentType, "text/html");
    EXPECT_EQ(page.prefix, "<HTML>\n<HEAD>\n<TITLE> ZERiz2Iraz Applet </TITLE>\n</HEAD>\n");
    EXPECT_EQ(page.text,
              "<P ALIGN=CENTER>\n"
              "<frameset rows=\"45,*\" border=0>\n"
              "<frame marginheight=1 marginwidth=1 name=\"navbar\" "
              "src=\"/cgi-bin/qelwww?_a=QKA2H&_d=7FAA%01x&_f=Statements\" scrolling=no>"
              "<frame name=\"content\" src=\"about:blank\">\n"
              "</frameset>\n"
              "</P>\n");
    EXPECT_EQ(page.suffix, "</HTML>\n");
}

TEST(AppletPages, AppletPageAsWritten) {
    QelWWWConfig config = AppletConfig();
    auto session = AppletSession(config, "_d=7FAA", "Statements");
    const Page page = Applet(config, session.get());
    EXPECT_EQ(page.rc, 0);
    EXPECT_EQ(page.contentType, "text/html");
    EXPECT_EQ(page.prefix, "<HTML>\n<HEAD>\n<TITLE> ZURaduVeraZozezo Applet </TITLE>\n</HEAD>\n");
    EXPECT_EQ(page.text,
              "<BODY>\n<SCRIPT>\nfunction view_doc(doc)\n{\n    parent.content.location.replace(doc);\n}\n"
              "function go_back()\n{\n    top.history.back();\n}\n</SCRIPT>\n"
              " <APPLET codebase=\"/applets/\" archive=\"ZURaduVeraZozezo.jar\" "
              "CODE=\"com.kvr.ekvo.qk.ZURaduVeraZozezo.class\" WIDTH=100% HEIGHT=99% MAYSCRIPT>\n"
              "   <PARAM NAME=cabbase VALUE=\"/applets/ZURaduVeraZozezo.cab\">\n"
              "   <PARAM NAME=imgDir VALUE=\"/images/\">\n"
              "   <PARAM NAME=action VALUE=\"/cgi-bin/qelwww\">\n"
              "   <PARAM NAME=folder VALUE=\"Statements\">\n"
              "   <PARAM NAME=docid VALUE=\"7FAA\">\n"
              "      Where is the Java? : Use a version 4.0 or greater browser.\n"
              " </APPLET>\n</BODY>\n");
    EXPECT_EQ(page.suffix, "</HTML>\n");
}

TEST(AppletPages, WithoutADocidMessage491AndNoPage) {
    QelWWWConfig config = AppletConfig();
    for (int which = 0; which < 2; ++which) {
        auto session = AppletSession(config, "_docids=7FAA&_f=x", "Statements");
        session->noHtml = 1;
        const Page page = which == 0 ? Frameset(config, session.get()) : Applet(config, session.get());
        EXPECT_EQ(page.rc, 1) << which;
        EXPECT_EQ(page.body, "[ERROR]\nID=2171\nMSG=The argument '_docid' was not specified\n") << which;
    }
}

TEST(AppletPages, FolderReachesTheAppletAsPercentEncodedUtf8) {
    QelWWWConfig config = AppletConfig();
    // The folder in the configured code page 819; the docid arrives as a request value.
    auto session = AppletSession(config, "_d=%C3%A9t%C3%A9", "R\xE9sum\xE9");
    const Page applet = Applet(config, session.get());
    EXPECT_NE(applet.text.find("<PARAM NAME=folder VALUE=\"R%C3%A9sum%C3%A9\">"), std::string::npos)
        << applet.text;
    EXPECT_NE(applet.text.find("<PARAM NAME=docid VALUE=\"%C3%A9t%C3%A9\">"), std::string::npos)
        << applet.text;
    auto second = AppletSession(config, "_d=%C3%A9t%C3%A9", "R\xE9sum\xE9");
    const Page frameset = Frameset(config, second.get());
    EXPECT_NE(frameset.text.find("_d=%C3%A9t%C3%A9&_f=R%C3%A9sum%C3%A9\""), std::string::npos)
        << frameset.text;
}

TEST(AppletPages, OnlyMsieGetsTheIsIeParameter) {
    QelWWWConfig config = AppletConfig();
    struct Case {
        const char* agent;
        bool isIE;
    } cases[] = {
        {"Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)", true},
        {"Mozilla/4.7 [en] (X11; U; Linux)", false},
        {"Mozilla/5.0 (X11; Linux x86_64) Firefox/120.0", false},
        {"", false},
    };
    for (const Case& c : cases) {
        auto session = AppletSession(config, "_d=1", "F", c.agent);
        const Page page = Applet(config, session.get(), kAfpAppletName);
        EXPECT_EQ(page.text.find("<PARAM NAME=isIE VALUE=\"1\">\n") != std::string::npos, c.isIE) << c.agent;
    }
}

TEST(AppletPages, HostileValuesStayInsideTheirAttributes) {
    QelWWWConfig config = AppletConfig();
    config.appletDir = "/a\"><script>alert(1)</script>/";
    config.imageDir = "/i'><b>/";
    auto session = AppletSession(config, "_d=%22%3E%3Cscript%3Ex%3C%2Fscript%3E", "F\"><img src=x>");
    session->scriptName = "/cgi\"><script>s</script>";
    const Page applet = Applet(config, session.get());
    auto second = AppletSession(config, "_d=%22%3E%3Cscript%3Ex%3C%2Fscript%3E", "F\"><img src=x>");
    second->scriptName = session->scriptName;
    const Page frameset = Frameset(config, second.get());
    for (const Page* page : {&applet, &frameset}) {
        EXPECT_EQ(page->rc, 0);
        EXPECT_EQ(page->text.find("<script>"), std::string::npos) << page->text;
        EXPECT_EQ(page->text.find("<img"), std::string::npos) << page->text;
        EXPECT_EQ(page->text.find("<b>"), std::string::npos) << page->text;
        EXPECT_EQ(page->text.find("\"><"), std::string::npos) << page->text;
    }
    EXPECT_NE(applet.text.find("codebase=\"/a&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;/\""),
              std::string::npos)
        << applet.text;
    EXPECT_NE(applet.text.find("<PARAM NAME=docid VALUE=\"%22%3E%3Cscript%3Ex%3C%2Fscript%3E\">"),
              std::string::npos)
        << applet.text;
    EXPECT_NE(frameset.text.find("src=\"/cgi&quot;&gt;&lt;script&gt;s&lt;/script&gt;?_a=QKA2H"),
              std::string::npos)
        << frameset.text;
}

TEST(AppletPages, QKA2HWritesTheAfpAppletPage) {
    QelWWWConfig config = AppletConfig();
    auto session = AppletSession(config, "_d=7FAA", "Statements");
    session->action = "QKA2H";
    EXPECT_EQ(QelWWW_Dispatch(&config, session.get()), 0);
    const Page page = Result(0, *session);
    EXPECT_NE(page.prefix.find("<TITLE> ZERiz2Iraz Applet </TITLE>"), std::string::npos);
    EXPECT_NE(page.text.find("CODE=\"com.kvr.ekvo.qk.ZERiz2Iraz.class\""), std::string::npos);
    EXPECT_NE(page.text.find("<PARAM NAME=docid VALUE=\"7FAA\">"), std::string::npos);
}

}  // namespace
