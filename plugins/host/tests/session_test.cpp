// qelview's whole run in-process: the test plug-in gets the document, drives the
// browser functions from scripts, and the JSON log and the files it wrote show what
// the host did.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "arc_install.h"
#include "http_test_server.h"
#include "qel_npapi.h"
#include "viewer_main.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary);
    out << data;
}

struct RunResult {
    int status = 0;
    std::string errors;               // standard error
    std::vector<nlohmann::json> log;  // one object per line
    // "call" of plugin and browser events and "step" of stream events, in order.
    std::vector<std::string> Calls() const {
        std::vector<std::string> calls;
        for (const auto& event : log) {
            std::string source = event.value("source", "");
            if (event.contains("call") && (source == "plugin" || source == "browser")) {
                calls.push_back(event["call"]);
            } else if (source == "stream") {
                calls.push_back(event["step"]);
            }
        }
        return calls;
    }
    std::vector<nlohmann::json> Events(const std::string& source, const std::string& key,
                                       const std::string& value) const {
        std::vector<nlohmann::json> found;
        for (const auto& event : log) {
            if (event.value("source", "") == source && event.contains(key) && event[key] == value) {
                found.push_back(event);
            }
        }
        return found;
    }
};

class SessionTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("qelview-test-" + std::to_string(getpid()) + "-" +
                                            testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "out");
        document_ = std::string("II*\0", 4) + std::string(3000, 'T') + "end";
        WriteFile(dir_ / "doc.tif", document_);
        server_.SetDocument("image/tiff", "served document bytes");
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string DocumentUrl() const { return "file:" + (dir_ / "doc.tif").string(); }

    // Runs qelview on url with the script and the test plug-in for image/tiff;
    // extra: more options (before the URL).
    RunResult Run(const std::string& script, std::vector<std::string> extra = {}, std::string url = "") {
        WriteFile(dir_ / "script.txt", script);
        std::vector<std::string> args = {"--headless",
                                         "--script",
                                         (dir_ / "script.txt").string(),
                                         "--log",
                                         (dir_ / "log.json").string(),
                                         "--plugin",
                                         std::string("image/tiff=") + QELVIEW_TEST_PLUGIN,
                                         "--arg",
                                         "out=" + (dir_ / "out").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(url.empty() ? DocumentUrl() : url);
        RunResult result;
        testing::internal::CaptureStderr();
        result.status = QelViewMain(args);
        result.errors = testing::internal::GetCapturedStderr();
        std::ifstream log(dir_ / "log.json");
        for (std::string line; std::getline(log, line);) {
            nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
            EXPECT_FALSE(event.is_discarded()) << line;
            result.log.push_back(event);
        }
        return result;
    }

    std::string Out(const std::string& name) const { return ReadFile(dir_ / "out" / name); }

    fs::path dir_;
    std::string document_;
    HttpTestServer server_;
};

// The calls one delivered stream makes: the plug-in reports each step as a status.
std::vector<std::string> StreamCalls(bool notify) {
    std::vector<std::string> calls = {"NPN_Status", "NPP_NewStream", "NPP_StreamAsFile", "NPN_Status",
                                      "NPP_DestroyStream"};
    if (notify) calls.insert(calls.end(), {"NPN_Status", "NPP_URLNotify"});
    return calls;
}

TEST_F(SessionTest, CallSequenceForEachBrowserVersion) {
    for (int minor : {8, 9}) {
        SCOPED_TRACE(minor);
        fs::remove_all(dir_ / "out");
        fs::create_directories(dir_ / "out");
        RunResult run = Run("command 2\nwait-url /doc\ncommand 4\nwait-url /echo\nquit\n",
                            {"--np-minor", std::to_string(minor), "--arg", "url=" + server_.Url("/doc"),
                             "--arg", "post=" + server_.Url("/echo"), "--arg", "body=a=1&b=2"});
        ASSERT_EQ(run.status, 0) << run.errors;
        bool notify = minor == 9;
        std::vector<std::string> expected = {
            "NP_GetEntryPoints", "NP_Initialize", "NPN_MemAlloc", "NPP_New",
            // the plug-in's first window: its probe of the browser
            "NPN_UserAgent", "NPN_MemAlloc", "NPN_MemFree", "NPN_MemFlush", "NPN_ReloadPlugins",
            "NPN_GetJavaEnv", "NPN_GetJavaPeer", "NPN_RequestRead", "NPN_NewStream", "NPN_Write",
            "NPN_DestroyStream", "NPN_GetURL", "NPN_GetURL", "NPN_MemFree", "NPN_Status", "NPP_SetWindow"};
        auto append = [&](std::vector<std::string> more) {
            expected.insert(expected.end(), more.begin(), more.end());
        };
        append(StreamCalls(false));
        append({notify ? "NPN_GetURLNotify" : "NPN_GetURL", "NPN_Status"});
        append(StreamCalls(notify));
        append({notify ? "NPN_PostURLNotify" : "NPN_PostURL", "NPN_Status"});
        append(StreamCalls(notify));
        append({"NPN_MemFree", "NPP_Destroy", "NP_Shutdown"});
        EXPECT_EQ(run.Calls(), expected);

        EXPECT_EQ(Out("stream-1"), document_);
        EXPECT_EQ(Out("stream-2"), "served document bytes");
        EXPECT_EQ(Out("stream-3"), "method=POST;cookie=;type=application/x-www-form-urlencoded;body=a=1&b=2");
        std::string calls = Out("calls.txt");
        EXPECT_NE(calls.find("version " + std::to_string(minor) + " notify " + (notify ? "yes" : "no")),
                  std::string::npos)
            << calls;
        size_t size = notify ? sizeof(NPNetscapeFuncs) : offsetof(NPNetscapeFuncs, geturlnotify);
        EXPECT_NE(calls.find("size " + std::to_string(size) + "\n"), std::string::npos) << calls;
        EXPECT_NE(calls.find("foreign 2\nemptyurl 10\n"), std::string::npos) << calls;
        EXPECT_EQ(run.Events("browser", "error", "MemFree of a block the browser did not give").size(), 1u);
        for (const char* answer :
             {"memalloc ok", "memflush 0", "javaenv none", "javapeer none", "requestread 13", "newstream 1",
              "write -1", "destroystream 9", "agent Mozilla/4.0"}) {
            EXPECT_NE(calls.find(answer), std::string::npos) << answer << " in " << calls;
        }
        auto initialize = run.Events("plugin", "call", "NP_Initialize");
        ASSERT_EQ(initialize.size(), 1u);
        EXPECT_EQ(initialize[0]["version"], minor);
        auto live = run.log.back();
        EXPECT_EQ(live.value("liveBlocks", -1), 0) << live;
    }
}

TEST_F(SessionTest, ScriptedInputReachesThePlugin) {
    struct Case {
        std::string script;
        std::string status;
    };
    const Case cases[] = {
        {"click 15 25", "down 15 25"},
        {"rclick 5 6", "right 5 6"},
        {"dblclick 1 1", "double"},
        {"drag 3 4 50 60", "down 3 4"},
        {"click 1 1\nkey Return", "key 13"},
        {"click 1 1\nkey q", "typed q"},
        {"click 1 1\ntype a b", "typed a b"},
        {"answer-box yes\ncommand 5", "box 6"},
        {"answer-box 2\ncommand 5", "box 2"},
        {"choose-menu 900\ncommand 6", "menu 900"},
        {"command 6", "menu 0"},
        {"command 42", "command 42"},
        {"resize 300 200", "size 300 200"},
        {"command 8", "post 9"},
        {"command 10", "post 9"},
        {"answer-dialog Ask set 100=\"two words\" click 1\ncommand 11", "dialog 1 [two words]"},
        {"answer-dialog Ask set 100=x click 2\ncommand 11", "dialog 2 []"},
        // Several steps in order: a radio button, then the text, then OK.
        {"answer-dialog Ask click 102 set 100=big click 1\ncommand 11", "dialog 1 [big large]"},
        {"answer-dialog Ask click 102 click 101 click 1\ncommand 11", "dialog 1 []"},
        {"answer-dialog Ask click 102 click 2\ncommand 11", "dialog 2 []"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        RunResult run =
            Run(c.script + "\nexpect-status " + c.status + "\n", {"--arg", "post=" + server_.Url("/echo")});
        EXPECT_EQ(run.status, 0) << run.errors;
    }
    RunResult copied = Run("command 7\nexpect-clipboard copied text\n");
    EXPECT_EQ(copied.status, 0) << copied.errors;
    RunResult wrongDialog = Run("answer-dialog Find click 1\ncommand 11\n");
    EXPECT_EQ(wrongDialog.status, 1);
    EXPECT_NE(wrongDialog.errors.find("line 1: expected dialog \"Find\", got \"Ask\""), std::string::npos)
        << wrongDialog.errors;
    // Steps after the click that ended the dialog cannot run.
    RunResult late = Run("answer-dialog Ask click 1 click 102\ncommand 11\n");
    EXPECT_EQ(late.status, 1);
    EXPECT_NE(late.errors.find("line 1: dialog \"Ask\" ended before click 102"), std::string::npos)
        << late.errors;
}

TEST_F(SessionTest, PrintAndScreenshot) {
    std::string pdf = (dir_ / "pdf").string();
    fs::create_directories(pdf);
    std::string png = (dir_ / "shot.png").string();
    RunResult run = Run("print-to " + pdf + " pages 2 3 copies 2\ncommand 12\nscreenshot " + png + "\n");
    ASSERT_EQ(run.status, 0) << run.errors;
    auto status = run.Events("browser", "call", "NPN_Status");
    ASSERT_FALSE(status.empty());
    std::string text = status.back()["text"];
    ASSERT_EQ(text.rfind("printed " + pdf + "/", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.size() - 6), " 2-3 2");
    std::string file = text.substr(8, text.size() - 8 - 6);
    EXPECT_EQ(ReadFile(file).substr(0, 5), "%PDF-");
    EXPECT_EQ(ReadFile(png).substr(1, 3), "PNG");
}

TEST_F(SessionTest, ResizeSetsTheWindowAgain) {
    RunResult run = Run("resize 300 200\nresize 300 200\n", {"--size", "640x480"});
    ASSERT_EQ(run.status, 0) << run.errors;
    auto windows = run.Events("plugin", "call", "NPP_SetWindow");
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[0]["width"], 640);
    EXPECT_EQ(windows[0]["height"], 480);
    EXPECT_EQ(windows[1]["width"], 300);
    EXPECT_EQ(windows[1]["height"], 200);
}

TEST_F(SessionTest, PluginRequestsThatFailEndWithReasonOne) {
    int closedPort = 0;
    {
        HttpTestServer gone;
        closedPort = gone.Port();
    }
    struct Case {
        std::string url;
        int reason;
        const char* outcome;
    };
    const Case cases[] = {
        {server_.Url("/missing"), 1, "http-error"},
        {"http://127.0.0.1:" + std::to_string(closedPort) + "/doc", 1, "network-error"},
        {"file:" + (dir_ / "no-such-file").string(), 1, "network-error"},
        {"file://otherhost/etc/passwd", 1, "network-error"},
        {server_.Url("/other-redirect"), 1, "http-error"},
        {server_.Url("/same-redirect"), 0, "done"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        fs::remove_all(dir_ / "out");
        fs::create_directories(dir_ / "out");
        RunResult run = Run("command 2\nwait-url " + c.url + "\nexpect-status notify " +
                                std::to_string(c.reason) + " marked " + c.url + "\n",
                            {"--arg", "url=" + c.url});
        EXPECT_EQ(run.status, 0) << run.errors;
        auto fetches = run.Events("fetch", "url", c.url);
        ASSERT_EQ(fetches.size(), 1u);
        EXPECT_EQ(fetches[0]["outcome"], c.outcome);
        auto ends = run.Events("stream", "url", c.url);
        ASSERT_FALSE(ends.empty());
        EXPECT_EQ(ends.back()["step"], "NPP_DestroyStream");
        EXPECT_EQ(ends.back()["reason"], c.reason);
        // Only a good fetch hands the plug-in a file.
        EXPECT_EQ(fs::exists(dir_ / "out" / "stream-2"), c.reason == 0);
        if (c.reason == 0) {
            EXPECT_EQ(Out("stream-2"), "served document bytes");
        }
    }
}

TEST_F(SessionTest, DocumentThatCannotBeFetched) {
    RunResult untyped = Run("quit\n", {}, server_.Url("/missing"));
    EXPECT_EQ(untyped.status, 1);
    EXPECT_NE(untyped.errors.find("cannot fetch " + server_.Url("/missing")), std::string::npos)
        << untyped.errors;
    EXPECT_TRUE(untyped.Events("plugin", "call", "NPP_New").empty());

    // With a type the plug-in still gets its instance; the stream ends with reason 1.
    RunResult typed = Run("quit\n", {"--type", "image/tiff"}, "file:" + (dir_ / "absent.tif").string());
    EXPECT_EQ(typed.status, 1);
    auto ends = typed.Events("stream", "step", "NPP_DestroyStream");
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0]["reason"], 1);
    EXPECT_EQ(typed.Events("plugin", "call", "NPP_Destroy").size(), 1u);

    RunResult noPlugin = Run("quit\n", {}, server_.Url("/echo"));
    EXPECT_EQ(noPlugin.status, 1);
    EXPECT_NE(noPlugin.errors.find("no plug-in shows documents of type \"text/plain\""), std::string::npos)
        << noPlugin.errors;
}

TEST_F(SessionTest, ServerTypePicksThePlugin) {
    RunResult run = Run("quit\n", {}, server_.Url("/doc"));
    ASSERT_EQ(run.status, 0) << run.errors;
    auto made = run.Events("plugin", "call", "NPP_New");
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0]["type"], "image/tiff");
    EXPECT_EQ(Out("stream-1"), "served document bytes");
}

TEST_F(SessionTest, StopBreaksThePendingRequest) {
    std::string url = server_.Url("/hang");
    RunResult run = Run("command 2\nstop\nwait-idle\nexpect-status notify 2 marked " + url + "\n",
                        {"--arg", "url=" + url});
    EXPECT_EQ(run.status, 0) << run.errors;
    auto fetches = run.Events("fetch", "url", url);
    ASSERT_EQ(fetches.size(), 1u);
    EXPECT_EQ(fetches[0]["outcome"], "stopped");
    // A broken request opens no stream.
    EXPECT_TRUE(run.Events("stream", "url", url).empty());
}

TEST_F(SessionTest, OpenRequestsEndWhenTheRunDoes) {
    std::string url = server_.Url("/hang");
    RunResult run = Run("command 2\nquit\n", {"--arg", "url=" + url});
    EXPECT_EQ(run.status, 0) << run.errors;
    std::vector<std::string> calls = run.Calls();
    auto notify = std::find(calls.begin(), calls.end(), "NPP_URLNotify");
    auto destroy = std::find(calls.begin(), calls.end(), "NPP_Destroy");
    ASSERT_NE(notify, calls.end());
    EXPECT_LT(notify, destroy);
    EXPECT_EQ(run.Events("plugin", "call", "NPP_URLNotify")[0]["reason"], 2);
}

TEST_F(SessionTest, CookieFileRidesAlong) {
    WriteFile(dir_ / "cookies.txt",
              "# Netscape HTTP Cookie File\n127.0.0.1\tFALSE\t/\tFALSE\t0\tSESSIONID\tabc123\n");
    RunResult run = Run("command 1\nwait-url /echo\n", {"--cookies", (dir_ / "cookies.txt").string(), "--arg",
                                                        "url=" + server_.Url("/echo")});
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(Out("stream-2"), "method=GET;cookie=SESSIONID=abc123;type=;body=");
}

TEST_F(SessionTest, MissingCookieFileIsABadCommandLine) {
    RunResult run = Run("quit\n", {"--cookies", (dir_ / "no-cookies.txt").string()});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.errors.find("cannot read the cookie file"), std::string::npos) << run.errors;
}

TEST_F(SessionTest, UnreadableScriptIsABadCommandLine) {
    fs::create_directories(dir_ / "script-dir");
    struct Case {
        fs::path script;
        int error;
    };
    for (const Case& c : {Case{dir_ / "no-script.txt", ENOENT}, Case{dir_ / "script-dir", EISDIR}}) {
        SCOPED_TRACE(c.script);
        testing::internal::CaptureStderr();
        int status =
            QelViewMain(std::vector<std::string>{"--headless", "--script", c.script.string(), DocumentUrl()});
        std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, 2);
        EXPECT_NE(errors.find("cannot read the script " + c.script.string() + ": " + std::strerror(c.error)),
                  std::string::npos)
            << errors;
    }
}

TEST_F(SessionTest, NormalStreamsArriveInChunks) {
    std::string big;
    for (int i = 0; i < 5000; ++i) big += static_cast<char>(i * 7 % 251);
    WriteFile(dir_ / "big.tif", big);
    RunResult run = Run("quit\n", {"--arg", "stype=1"}, "file:" + (dir_ / "big.tif").string());
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(Out("stream-1"), big);
    auto writes = run.Events("stream", "step", "NPP_Write");
    ASSERT_EQ(writes.size(), 5u);  // the plug-in is ready for 1000 bytes at a time
    EXPECT_EQ(writes[4]["offset"], 4000);
    EXPECT_TRUE(run.Events("stream", "step", "NPP_StreamAsFile").empty());
}

TEST_F(SessionTest, LiveBlocksShowLeaks) {
    for (const char* leak : {"0", "1"}) {
        RunResult run = Run("quit\n", {"--arg", std::string("leak=") + leak});
        ASSERT_EQ(run.status, 0) << run.errors;
        ASSERT_FALSE(run.log.empty());
        EXPECT_EQ(run.log.back().value("liveBlocks", -1), std::string(leak) == "1" ? 1 : 0);
    }
}

TEST_F(SessionTest, ScriptFailuresExitWithAMessage) {
    struct Case {
        std::string script;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {"resize 10\n", 2, "script.txt: line 1: resize takes 2 number(s), got 1"},
        {"click 1 1\nbogus\n", 2, "line 2: unknown command \"bogus\""},
        {"expect-status nothing\n", 1, "line 1: status is \"end 0\", expected \"nothing\""},
        {"expect-clipboard x\n", 1, "clipboard holds \"\", expected \"x\""},
        {"answer-box yes\n", 1, "line 1: no message box came for \"answer-box yes\""},
        {"choose-menu 5\nquit\n", 1, "no popup menu came"},
        {"wait-url never-asked\n", 1, "no request for a URL containing \"never-asked\" completed"},
        {"screenshot /nonexistent-dir/a.png\n", 1, "cannot write the screenshot"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        RunResult run = Run(c.script);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.errors.find(c.message), std::string::npos) << run.errors;
    }
}

TEST_F(SessionTest, WithoutAScriptTheRunEndsWhenIdle) {
    std::vector<std::string> args = {"--headless",
                                     "--log",
                                     (dir_ / "log.json").string(),
                                     "--plugin",
                                     std::string("image/tiff=") + QELVIEW_TEST_PLUGIN,
                                     "--arg",
                                     "out=" + (dir_ / "out").string(),
                                     DocumentUrl()};
    EXPECT_EQ(QelViewMain(args), 0);
    EXPECT_EQ(Out("stream-1"), document_);
}

TEST_F(SessionTest, OtherWindowsAreNotShown) {
    std::string url = server_.Url("/doc");
    RunResult run =
        Run("command 9\nwait-url /doc\nexpect-status notify 0 marked " + url + "\n", {"--arg", "url=" + url});
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.Events("browser", "navigate", url).size(), 1u);
    EXPECT_TRUE(run.Events("fetch", "url", url).empty());
    EXPECT_FALSE(fs::exists(dir_ / "out" / "stream-2"));
}

TEST_F(SessionTest, RefusedStreamsGetNoMoreCalls) {
    std::string url = server_.Url("/doc");
    RunResult run = Run("command 2\nwait-url /doc\n", {"--arg", "url=" + url, "--arg", "refuse=1"});
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.Events("stream", "step", "NPP_NewStream").size(), 2u);
    EXPECT_TRUE(run.Events("stream", "step", "NPP_DestroyStream").empty());
    EXPECT_TRUE(run.Events("stream", "step", "NPP_StreamAsFile").empty());
    auto notify = run.Events("plugin", "call", "NPP_URLNotify");
    ASSERT_EQ(notify.size(), 1u);
    EXPECT_EQ(notify[0]["reason"], 1);
}

TEST_F(SessionTest, BuiltInTableLooksInTheInstallTree) {
    fs::create_directories(dir_ / "inst" / "bin");
    fs::create_directories(dir_ / "inst" / "lib");
    fs::copy_file(QELVIEW_TEST_PLUGIN, dir_ / "inst" / "lib" / "libnpkzyp32.so");
    QelInst_SetModuleDirForTest((dir_ / "inst" / "bin").c_str());
    std::vector<std::string> args = {
        "--headless", "--log", (dir_ / "log.json").string(), "--arg", "out=" + (dir_ / "out").string(),
        DocumentUrl()};
    int status = QelViewMain(args);
    QelInst_SetModuleDirForTest(nullptr);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Out("stream-1"), document_);
    EXPECT_NE(ReadFile(dir_ / "log.json").find((dir_ / "inst" / "lib" / "libnpkzyp32.so").string()),
              std::string::npos);
}

TEST_F(SessionTest, TemporaryFilesGoWithTheRun) {
    std::string tmp = (dir_ / "tmp").string();
    fs::create_directories(tmp);
    setenv("TMPDIR", tmp.c_str(), 1);
    RunResult run = Run("command 2\nwait-url /doc\nquit\n", {"--arg", "url=" + server_.Url("/doc")});
    unsetenv("TMPDIR");
    ASSERT_EQ(run.status, 0) << run.errors;
    // The document and the plug-in's request were both files of the run's own directory.
    std::istringstream files(Out("files.txt"));
    std::vector<std::string> paths;
    for (std::string line; std::getline(files, line);) paths.push_back(line);
    ASSERT_EQ(paths.size(), 2u) << Out("files.txt");
    for (const std::string& path : paths) EXPECT_EQ(path.rfind(tmp + "/qelview-", 0), 0u) << path;
    EXPECT_TRUE(fs::is_empty(tmp));
}

}  // namespace
