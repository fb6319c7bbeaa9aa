// The host's parsers: command line, plug-in table, post buffers, file URLs, scripts.
#include <gtest/gtest.h>

#include "fetcher.h"
#include "options.h"
#include "plugin_table.h"
#include "post_buffer.h"
#include "script.h"

namespace {

ViewerOptions Parse(std::vector<std::string> args) {
    ViewerOptions options;
    std::string error;
    EXPECT_TRUE(ParseViewerOptions(args, &options, &error)) << error;
    return options;
}

TEST(ViewerOptionsTest, ReadsEveryOption) {
    ViewerOptions o = Parse({"--type",    "Image/TIFF; x=1", "--plugin",   "application/afp=/opt/a.so",
                             "--size",    "640x480",         "--arg",      "zoom=50",
                             "--arg",     "empty=",          "--np-minor", "8",
                             "--script",  "s.txt",           "--log",      "l.json",
                             "--cookies", "c.txt",           "--headless", "--title",
                             "A title",   "http://h/doc"});
    EXPECT_EQ(o.type, "image/tiff");
    EXPECT_EQ(o.plugins.at("application/afp"), "/opt/a.so");
    EXPECT_EQ(o.width, 640);
    EXPECT_EQ(o.height, 480);
    ASSERT_EQ(o.args.size(), 2u);
    EXPECT_EQ(o.args[0], std::make_pair(std::string("zoom"), std::string("50")));
    EXPECT_EQ(o.args[1], std::make_pair(std::string("empty"), std::string("")));
    EXPECT_EQ(o.npMinor, 8);
    EXPECT_EQ(o.script, "s.txt");
    EXPECT_EQ(o.log, "l.json");
    EXPECT_EQ(o.cookies, "c.txt");
    EXPECT_EQ(o.title, "A title");
    EXPECT_TRUE(o.headless);
    EXPECT_EQ(o.url, "http://h/doc");
    ViewerOptions defaults = Parse({"file:/x"});
    EXPECT_EQ(defaults.npMinor, 9);
    EXPECT_EQ(defaults.width, 800);
    EXPECT_FALSE(defaults.headless);
}

TEST(ViewerOptionsTest, DocumentTitleFromTheOptionElseTheUrl) {
    struct Case {
        std::vector<std::string> args;
        const char* title;
    };
    const Case cases[] = {
        {{"--title", "Shipping letter", "http://h/cgi-bin/qelwww?_d=1"}, "Shipping letter"},
        {{"--title", "", "file:///srv/a.afp"}, "a.afp"},
        {{"http://h/cgi-bin/qelwww?_f=Documents&_d=x/y#top"}, "qelwww"},
        {{"file:///srv/docs/My%20letter.afp"}, "My letter.afp"},
        {{"file:/scan.tif?x=/y"}, "scan.tif"},
        {{"https://h:8443/docs/"}, ""},
        {{"http://h?a=/b"}, ""},
        {{"http://h"}, ""},
        {{"relative/name.afp"}, "name.afp"},
    };
    for (const Case& c : cases) EXPECT_EQ(DocumentTitle(Parse(c.args)), c.title) << c.args.back();
}

TEST(ViewerOptionsTest, RefusesBadArguments) {
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{}, "no document URL"},
        {{"a", "b"}, "only one URL"},
        {{"--size", "640", "u"}, "--size"},
        {{"--size", "0x10", "u"}, "--size"},
        {{"--size", "10x99999", "u"}, "--size"},
        {{"--size", "10x-5", "u"}, "--size"},
        {{"--np-minor", "7", "u"}, "--np-minor"},
        {{"--np-minor", "9x", "u"}, "--np-minor"},
        {{"--plugin", "image/tiff=lib.so", "u"}, "absolute"},
        {{"--plugin", "=/lib.so", "u"}, "--plugin"},
        {{"--arg", "novalue", "u"}, "--arg"},
        {{"--arg", "=v", "u"}, "--arg"},
        {{"--log"}, "needs a value"},
        {{"u", "--title"}, "needs a value"},
        {{"--type", ";", "u"}, "--type"},
        {{"--frobnicate", "u"}, "unknown option"},
    };
    for (const Case& c : cases) {
        ViewerOptions options;
        std::string error;
        EXPECT_FALSE(ParseViewerOptions(c.args, &options, &error)) << c.message;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
}

TEST(PluginTableTest, MapsTypesToLibraries) {
    const std::pair<const char*, const char*> cases[] = {
        {"application/afp", "libnpkafp32.so"},
        {"application/vnd.qel-container", "libnpkafp32.so"},
        {"Application/AFP; charset=x", "libnpkafp32.so"},
        {"image/tiff", "libnpkzyp32.so"},
        {"image/png", "libnpkzyp32.so"},
        {"image/", ""},
        {"text/html", ""},
        {"", ""},
    };
    for (const auto& [type, file] : cases) EXPECT_EQ(DefaultPluginFile(type), file) << type;
    std::map<std::string, std::string> overrides = {{"image/tiff", "/own/zyp.so"}};
    EXPECT_EQ(ResolvePlugin("IMAGE/TIFF", overrides, "/inst/lib/"), "/own/zyp.so");
    EXPECT_EQ(ResolvePlugin("application/afp", overrides, "/inst/lib/"), "/inst/lib/libnpkafp32.so");
    EXPECT_EQ(ResolvePlugin("text/plain", overrides, "/inst/lib/"), "");
    EXPECT_EQ(ResolvePlugin("application/afp", overrides, ""), "");
}

TEST(PostBufferTest, SplitsHeadersAndBody) {
    struct Case {
        std::string buffer;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;
    };
    const Case cases[] = {
        {"Content-Type: application/x-www-form-urlencoded\nContent-Length: 7\n\na=1&b=2",
         {{"Content-Type", "application/x-www-form-urlencoded"}},
         "a=1&b=2"},
        {"Content-Type: text/plain\r\nContent-Length: 3\r\n\r\nabcdef",
         {{"Content-Type", "text/plain"}},
         "abc"},
        {"X-A:  spaced  \n\nrest\nwith\nlines", {{"X-A", "spaced"}}, "rest\nwith\nlines"},
        {"\nbody only", {}, "body only"},
        {"Content-Length: 0\n\n", {}, ""},
        {std::string("Content-Length: 2\n\n\0x", 21), {}, std::string("\0x", 2)},
    };
    for (const Case& c : cases) {
        PostBody post;
        std::string error;
        ASSERT_TRUE(ParsePostBuffer(c.buffer, &post, &error)) << error;
        EXPECT_EQ(post.headers, c.headers);
        EXPECT_EQ(post.body, c.body);
    }
}

TEST(PostBufferTest, RefusesBrokenBuffers) {
    const std::pair<std::string, const char*> cases[] = {
        {"a=1&b=2", "no empty line"},
        {"Content-Type: text/plain", "no empty line"},
        {"Content-Type: text/plain\rX-Injected: yes\n\nbody", "line break"},
        {"Content-Type: a\rb\r\n\r\nbody", "line break"},
        {"no colon here\n\nbody", "without a name"},
        {": value\n\nbody", "without a name"},
        {"Bad Name: v\n\nbody", "bad character"},
        {"Content-Length: 10\n\nshort", "exceeds"},
        {"Content-Length: -1\n\nx", "not a number"},
        {"Content-Length: 99999999999\n\nx", "not a number"},
        {"Content-Length: 1x\n\nx", "not a number"},
    };
    for (const auto& [buffer, message] : cases) {
        PostBody post;
        std::string error;
        EXPECT_FALSE(ParsePostBuffer(buffer, &post, &error)) << buffer;
        EXPECT_NE(error.find(message), std::string::npos) << error;
    }
}

TEST(FileUrlTest, LocalPathsOnly) {
    const std::pair<const char*, const char*> good[] = {
        {"file:/tmp/a.tif", "/tmp/a.tif"},
        {"file:///tmp/a.tif", "/tmp/a.tif"},
        {"file://localhost/tmp/a%20b.tif", "/tmp/a b.tif"},
        {"file:///tmp/x?query#frag", "/tmp/x"},
    };
    for (const auto& [url, path] : good) {
        std::string got;
        EXPECT_TRUE(FileUrlPath(url, &got)) << url;
        EXPECT_EQ(got, path);
    }
    for (const char* url : {"file:relative", "file://otherhost/tmp/a", "file:///tmp/%zz", "file:///tmp/%00x",
                            "file:///tmp/%4", "http://h/x", "file:", "file://"}) {
        std::string got;
        EXPECT_FALSE(FileUrlPath(url, &got)) << url;
    }
}

TEST(FileUrlTest, RedirectsStayOnTheSameHost) {
    EXPECT_TRUE(SameOrigin("http://127.0.0.1:8080/a", "http://127.0.0.1:8080/b?c"));
    EXPECT_TRUE(SameOrigin("http://h/a", "http://h:80/b"));
    EXPECT_FALSE(SameOrigin("http://127.0.0.1:8080/a", "http://localhost:8080/a"));
    EXPECT_FALSE(SameOrigin("http://h:8080/a", "http://h:8081/a"));
    EXPECT_FALSE(SameOrigin("http://h/a", "https://h/a"));
    EXPECT_FALSE(SameOrigin("http://h/a", "not a url"));
}

TEST(FileUrlTest, PluginUrlsResolveAgainstTheDocument) {
    const std::string base = "http://127.0.0.1:8080/cgi-bin/qelwww?_f=Documents&_d=x&_a=r#top";
    const std::pair<const char*, const char*> cases[] = {
        // A gateway's segment URL is a path with a query.
        {"/cgi-bin/qelwww?_f=Documents&_d=x&_a=g&_seg=1",
         "http://127.0.0.1:8080/cgi-bin/qelwww?_f=Documents&_d=x&_a=g&_seg=1"},
        {"qelres?x=1", "http://127.0.0.1:8080/cgi-bin/qelres?x=1"},
        {"../img/a.gif", "http://127.0.0.1:8080/img/a.gif"},
        {"./a/../b", "http://127.0.0.1:8080/cgi-bin/b"},
        {"../../../up", "http://127.0.0.1:8080/up"},
        {"?_seg=2", "http://127.0.0.1:8080/cgi-bin/qelwww?_seg=2"},
        {"#page", "http://127.0.0.1:8080/cgi-bin/qelwww?_f=Documents&_d=x&_a=r#page"},
        {"//other:81/p", "http://other:81/p"},
        {"https://h/x", "https://h/x"},
        {"file:///tmp/seg.afp", "file:///tmp/seg.afp"},
        {"", base.c_str()},
    };
    for (const auto& [url, want] : cases) EXPECT_EQ(ResolveUrl(base, url), want) << url;
    EXPECT_EQ(ResolveUrl("http://h", "a"), "http://h/a");
    EXPECT_EQ(ResolveUrl("file:///srv/docs/a.afp", "b.afp"), "file:///srv/docs/b.afp");
    EXPECT_EQ(ResolveUrl("file:/srv/docs/a.afp", "/x/b.afp"), "file:/x/b.afp");
    // Without a usable base the URL stays as it is (and its fetch fails with a message).
    EXPECT_EQ(ResolveUrl("not a url", "/x"), "/x");
}

TEST(ScriptTest, ParsesEveryCommand) {
    std::vector<ScriptCommand> commands;
    std::string error;
    const std::string script =
        "# comment\n"
        "resize 640 480\n"
        "\n"
        "command 32085\r\n"
        "key PageDown\n"
        "click 10 -20\n"
        "dblclick 1 2\n"
        "rclick 3 4\n"
        "drag 1 2 3 4\n"
        "type hello world  \n"
        "answer-dialog Find set 1001=\"two words\" click 1003 set 1002= click 1\n"
        "answer-box Yes\n"
        "choose-menu 32092\n"
        "print-to /tmp/out pages 2 3 copies 2\n"
        "wait-url getsegment\n"
        "wait-idle\n"
        "stop\n"
        "screenshot /tmp/a.png\n"
        "expect-status\n"
        "expect-clipboard some text\n"
        "sleep 500\n"
        "quit";
    ASSERT_TRUE(ParseScript(script, &commands, &error)) << error;
    ASSERT_EQ(commands.size(), 20u);
    EXPECT_EQ(commands[0].kind, ScriptCommand::Resize);
    EXPECT_EQ(commands[0].numbers, (std::vector<long>{640, 480}));
    EXPECT_EQ(commands[0].line, 2);
    EXPECT_EQ(commands[1].numbers, (std::vector<long>{32085}));
    EXPECT_EQ(commands[1].line, 4);
    EXPECT_EQ(commands[2].text, "PageDown");
    EXPECT_EQ(commands[3].numbers, (std::vector<long>{10, -20}));
    EXPECT_EQ(commands[7].text, "hello world");
    EXPECT_EQ(commands[8].text, "Find");
    using Step = ScriptCommand::DialogStep;
    EXPECT_EQ(
        commands[8].steps,
        (std::vector<Step>{{false, 1001, "two words"}, {true, 1003, ""}, {false, 1002, ""}, {true, 1, ""}}));
    EXPECT_EQ(commands[9].numbers, (std::vector<long>{6}));
    EXPECT_EQ(commands[11].text, "/tmp/out");
    EXPECT_EQ(commands[11].numbers, (std::vector<long>{2, 3, 2}));
    EXPECT_EQ(commands[15].text, "/tmp/a.png");
    EXPECT_EQ(commands[16].kind, ScriptCommand::ExpectStatus);
    EXPECT_EQ(commands[16].text, "");
    EXPECT_EQ(commands[17].text, "some text");
    EXPECT_EQ(commands[19].kind, ScriptCommand::Quit);
}

TEST(ScriptTest, HostileLinesGetClearErrors) {
    const std::pair<std::string, const char*> cases[] = {
        {"frobnicate 1", "line 1: unknown command \"frobnicate\""},
        {"\n\nresize 10", "line 3: resize takes 2 number(s), got 1"},
        {"resize 10 x", "line 1: \"x\" is not a number"},
        {"resize 0 10", "not a number from 1 to 16384"},
        {"resize 99999999999999999999 1", "not a number"},
        {"click 1 40000", "not a number from -32768 to 32767"},
        {"command -1", "not a number from 0 to 65535"},
        {"sleep 1 2", "sleep takes 1 number(s), got 2"},
        {"sleep -5", "not a number"},
        {"stop now", "stop takes 0 number(s)"},
        {"key Hyper", "unknown key \"Hyper\""},
        {"key", "key needs an argument"},
        {"type", "type needs an argument"},
        {"wait-url", "wait-url needs an argument"},
        {"answer-box maybe", "answer-box takes one button"},
        {"answer-box 9", "answer-box takes one button"},
        {"answer-dialog", "needs the dialog's name"},
        {"answer-dialog Find set 12", "set wants ID=VALUE"},
        {"answer-dialog Find set x=1", "not a number"},
        {"answer-dialog Find push 1", "unexpected \"push\""},
        {"answer-dialog Find click 1 click", "unexpected \"click\""},
        {"answer-dialog Find click 0", "not a number from 1 to 65535"},
        {"answer-dialog Find set 1=\"open", "unterminated quote"},
        {"print-to relative/dir", "absolute directory"},
        {"print-to /tmp pages 3 2", "not a number from 3 to 65535"},
        {"print-to /tmp copies 0", "not a number from 1 to 999"},
        {"print-to /tmp duplex", "unexpected \"duplex\""},
        {std::string("type a\0b", 8), "line 1: a zero byte"},
    };
    for (const auto& [script, message] : cases) {
        std::vector<ScriptCommand> commands;
        std::string error;
        EXPECT_FALSE(ParseScript(script, &commands, &error)) << script;
        EXPECT_NE(error.find(message), std::string::npos) << script << " -> " << error;
    }
}

TEST(ScriptTest, KeyNames) {
    const std::pair<const char*, int> cases[] = {
        {"Return", 13}, {"Enter", 13}, {"Escape", 27}, {"PageUp", 33}, {"Down", 40}, {"Delete", 46},
        {"a", 'A'},     {"7", '7'},    {"return", 0},  {"ab", 0},      {"-", 0}};
    for (const auto& [name, key] : cases) EXPECT_EQ(VirtualKeyOf(name), key) << name;
}

}  // namespace
