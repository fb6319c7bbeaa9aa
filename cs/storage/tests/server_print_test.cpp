// Server printing and the text-search run over a stand-in bulk retrieval that reads each
// stored object once and delivers the documents in object order, not document order.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "qel_smprint.h"
#include "sm_test_support.h"

namespace {

namespace fs = std::filesystem;
using smtest::ReadFile;
using smtest::TempDir;
using smtest::WriteFile;

// The stored objects of the archive and a bulk retrieval over them.
struct Archive {
    std::map<std::string, std::string> objects;
    std::map<std::string, int> reads;  // per object
    bool announceLengths = true;       // else each document ends with an empty piece
    size_t piece = 7;                  // delivery piece size
    std::function<void()> beforeData;  // runs once, before the first delivery

    // A document's bytes read on their own.
    std::string Alone(const SmPrintObject& o) const { return objects.at(o.name).substr(o.offset, o.length); }

    int Bulk(SmBulkFeed& feed) {
        struct Doc {
            int entry;
            const SmPrintDoc* doc;
        };
        std::map<std::string, std::vector<Doc>> byObject;
        const SmPrintGroup* group = nullptr;
        const SmPrintDoc* doc = nullptr;
        int entry = -1;
        while (feed.next(&group, &doc, &entry)) byObject[doc->object.name].push_back({entry, doc});
        if (beforeData) std::exchange(beforeData, nullptr)();
        // Objects in descending name order: later documents often arrive first.
        for (auto it = byObject.rbegin(); it != byObject.rend(); ++it) {
            const std::string& stored = objects.at(it->first);
            ++reads[it->first];
            for (const Doc& d : it->second) {
                const bool whole = d.doc->object.name.find('$') != std::string::npos;
                std::string bytes =
                    whole ? stored : stored.substr(d.doc->object.offset, d.doc->object.length);
                feed.expect(announceLengths ? bytes.size() : 0, d.entry);
                for (size_t at = 0; at < bytes.size(); at += piece) {
                    std::string part = bytes.substr(at, piece);
                    feed.data(reinterpret_cast<const unsigned char*>(part.data()), part.size());
                }
                feed.data(nullptr, 0);
            }
        }
        return CS_OK;
    }
};

// A print script that copies the job file and its control texts into the spool directory
// and records its arguments, one per line.
std::string SpoolScript(const std::string& spool) {
    return "#!/bin/sh\n"
           "spool='" +
           spool +
           "'\n"
           "base=$(basename \"$7\")\n"
           "for f in \"$7\" \"$7.opts\" \"$7.notes\"; do [ -f \"$f\" ] && cp \"$f\" \"$spool/\"; done\n"
           "printf '%s\\n' \"$@\" > \"$spool/$base.args.tmp\"\n"
           "mv \"$spool/$base.args.tmp\" \"$spool/$base.args\"\n";
}

class ServerPrintTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* d : {"p1", "p2", "p3", "spool", "bin", "tmp"}) fs::create_directories(dir_ / d);
        ArcOS_PutEnv(("QEL_PRINT_PATH=" + dir_ / "p1" + ";" + dir_ / "p2").c_str());
        ArcOS_PutEnv(("QEL_TMP=" + dir_ / "tmp").c_str());
        script_ = dir_ / "bin/print";
        WriteScript(script_, SpoolScript(dir_ / "spool"));
        std::snprintf(handle_.identity.userId, sizeof handle_.identity.userId, "alice");
        // The timing messages go to the System Log only: record its rows.
        CsLayerHooks hooks;
        hooks.storeSystemLog = [this](CsHandle*, CsStorageSet&, const CsSystemLogDef&,
                                      const CsSystemLogRecord& record) {
            systemLog_.push_back(record.text);
            systemData_.push_back(record.data ? std::optional(CsReadMessageData(*record.data))
                                              : std::nullopt);
            return CS_OK;
        };
        CsSetIssueHooks(hooks);
        std::vector<CsSystemLogField> fields = {{'S', 0}, {'T', 0}};
        CsLoadSystemLogDef(std::make_shared<CsStorageSet>(), nullptr, &fields);
        Configure("");
        groupA_ = MakeGroup("GroupA", 7);
        groupB_ = MakeGroup("GroupB", 9);
        appl_ = std::make_shared<SmPrintAppl>(SmPrintAppl{"Appl1", 'A', "DATATYPE=LINE", nullptr});
        // Three shared objects of 26 documents' worth of bytes each.
        for (int k = 0; k < 3; ++k) {
            std::string data;
            for (int d = 0; d < 26; ++d) data += "obj" + std::to_string(k) + "-doc" + std::to_string(d) + ";";
            archive_.objects["OBJ" + std::to_string(k)] = data;
        }
    }
    void TearDown() override {
        CsSetIssueHooks({});
        CsFreeSystemLogDef();
        ArcOS_PutEnv("QEL_PRINT_PATH=");
        ArcOS_PutEnv("QEL_TMP=");
    }

    static void WriteScript(const std::string& path, const std::string& text) {
        WriteFile(path, text);
        fs::permissions(path, fs::perms::owner_all);
    }
    void Configure(const std::string& cfgLines) {
        smtest::MakeHandle(&handle_, "LOCAL", "[CFG]\n" + cfgLines, &log_);
    }
    std::shared_ptr<SmPrintGroup> MakeGroup(const std::string& name, uint32_t number) {
        auto g = std::make_shared<SmPrintGroup>();
        g->number = number;
        g->name = name;
        g->permissions = SM_PERMIT_PRINT;
        g->logging = SM_LOG_PRINT_REPORT;
        g->fields = {{"acct", 'S'}, {"amount", 'D'}, {"seq", 'I'}};
        return g;
    }
    // Document d: its bytes are one entry of object d % 3.
    std::shared_ptr<SmPrintDoc> Doc(int d, uint32_t rid = 5) {
        auto doc = std::make_shared<SmPrintDoc>();
        const int k = d % 3, slot = d / 3;
        const std::string& data = archive_.objects.at("OBJ" + std::to_string(k));
        const std::string mark = "obj" + std::to_string(k) + "-doc" + std::to_string(slot) + ";";
        doc->object.name = "OBJ" + std::to_string(k);
        doc->object.offset = uint32_t(data.find(mark));
        doc->object.length = uint32_t(mark.size());
        doc->object.resourceId = rid;
        doc->values = {std::string("A") + std::to_string(d), 1.5 * d, int64_t(d)};
        return doc;
    }

    // Items: the first document of each group with group and application, the rest of the
    // group without either (they join the group's job).
    SmPrintItemFn Items(std::vector<SmPrintItem> items) {
        auto shared = std::make_shared<std::vector<SmPrintItem>>(std::move(items));
        auto next = std::make_shared<size_t>(0);
        return [shared, next](SmPrintItem* item) {
            *item = *next < shared->size() ? (*shared)[(*next)++] : SmPrintItem{};
            return 0;
        };
    }
    std::vector<SmPrintItem> TwoGroups(int count) {
        std::vector<SmPrintItem> items;
        for (int d = 0; d < count; ++d) {
            SmPrintItem item;
            item.doc = Doc(d);
            if (d == 0) item.group = groupA_, item.appl = appl_;
            if (d == count / 2 && d > 0) item.group = groupB_, item.appl = appl_;
            items.push_back(item);
        }
        return items;
    }

    SmPrintServices Services() {
        SmPrintServices s;
        s.bulkRetrieve = [this](CsHandle*, SmBulkFeed& feed) { return archive_.Bulk(feed); };
        s.resources = [this](CsHandle*, const SmPrintGroup& g, const SmPrintDoc& doc,
                             const SmPrintSink& sink) {
            ++resourceCalls_;
            std::string res = "RES" + std::to_string(doc.object.resourceId) + "@" + g.name + "|";
            sink(reinterpret_cast<const unsigned char*>(res.data()), res.size());
            return CS_OK;
        };
        s.expandParts = [](const SmPrintObject& first, std::string_view table,
                           std::vector<SmPrintObject>* parts) {
            // The table names the part objects: "P2,P3".
            std::string t(table);
            for (size_t at = 0; at <= t.size();) {
                size_t end = t.find(',', at);
                if (end == std::string::npos) end = t.size();
                SmPrintObject o = first;
                o.name = t.substr(at, end - at);
                o.offset = 0;
                o.length = 5;
                parts->push_back(o);
                at = end + 1;
            }
            return CS_OK;
        };
        return s;
    }

    int Print(const std::vector<SmPrintItem>& items, const SmPrinter* printer = nullptr,
              const SmPrintOptions* options = nullptr, const char* notes = nullptr) {
        if (printer == nullptr) printer = &plain_;
        return SmServerPrint(&handle_, printer, options, notes, Items(items), Services(), {script_, ""});
    }

    // The spool's argument files, waited for (the script runs on its own).
    std::vector<std::vector<std::string>> SpoolRuns(size_t expected) {
        std::vector<std::vector<std::string>> runs;
        for (int wait = 0; wait < 100; ++wait) {
            runs.clear();
            for (const auto& e : fs::directory_iterator(dir_ / "spool")) {
                if (e.path().extension() != ".args") continue;
                std::vector<std::string> args;
                std::string text = ReadFile(e.path().string());
                for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
                    args.push_back(text.substr(at, end - at));
                runs.push_back(args);
            }
            if (runs.size() >= expected) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        std::sort(runs.begin(), runs.end(), [](auto& a, auto& b) { return a.back() < b.back(); });
        return runs;
    }

    size_t FilesIn(const std::string& sub) {
        size_t n = 0;
        for (const auto& e : fs::directory_iterator(dir_ / sub)) n += e.is_regular_file() ? 1 : 0;
        return n;
    }

    TempDir dir_;
    CsHandle handle_;
    smtest::MessageLog log_;
    std::string script_;
    Archive archive_;
    int resourceCalls_ = 0;
    std::vector<std::string> systemLog_;
    std::vector<std::optional<std::string>> systemData_;  // each record's data; none without
    bool Logged(const std::string& piece) const { return LoggedData(piece) != nullptr; }
    // The data of the first System Log record that holds the piece; null for no record.
    const std::optional<std::string>* LoggedData(const std::string& piece) const {
        for (size_t i = 0; i < systemLog_.size(); ++i)
            if (systemLog_[i].find(piece) != std::string::npos) return &systemData_[i];
        return nullptr;
    }
    std::shared_ptr<SmPrintGroup> groupA_, groupB_;
    std::shared_ptr<SmPrintAppl> appl_;
    SmPrinter plain_{"LPT1", 'P'};
};

// Each job file holds its resources, then exactly its documents' bytes in document order,
// each as read on its own; every object is read once; the script gets one run per job.
TEST_F(ServerPrintTest, JobFilesHoldTheDocumentsInOrder) {
    struct Case {
        int documents;
        bool announce;
        size_t piece;
    };
    for (const Case c :
         {Case{1, true, 7}, Case{2, true, 3}, Case{50, true, 7}, Case{50, false, 5}, Case{50, true, 4096}}) {
        SCOPED_TRACE(::testing::Message() << c.documents << " documents, announce " << c.announce);
        fs::remove_all(dir_ / "spool");
        fs::create_directories(dir_ / "spool");
        archive_.reads.clear();
        archive_.announceLengths = c.announce;
        archive_.piece = c.piece;
        resourceCalls_ = 0;
        auto items = TwoGroups(c.documents);
        ASSERT_EQ(Print(items), CS_OK) << (log_.texts.empty() ? "" : log_.texts.back());

        std::vector<std::string> expected;  // per job, in job order
        for (const SmPrintItem& item : items) {
            if (item.group) expected.push_back("RES5@" + item.group->name + "|");
            expected.back() += archive_.Alone(item.doc->object);
        }
        auto runs = SpoolRuns(expected.size());
        ASSERT_EQ(runs.size(), expected.size());
        std::vector<std::string> files;
        for (const auto& run : runs) {
            ASSERT_EQ(run.size(), 7u);
            EXPECT_EQ(run[0], "LPT1");
            EXPECT_EQ(run[1], "1");
            EXPECT_EQ(run[2], "alice");
            EXPECT_EQ(run[4], "Appl1");
            EXPECT_EQ(run[5], "DATATYPE=LINE");
            files.push_back(run[6]);
        }
        // Job files are named after the index of their first document: sort by group.
        std::sort(runs.begin(), runs.end(), [](auto& a, auto& b) { return a[3] < b[3]; });
        for (size_t j = 0; j < expected.size(); ++j) {
            EXPECT_EQ(runs[j][3], j == 0 ? "GroupA" : "GroupB");
            EXPECT_EQ(ReadFile(runs[j][6]), expected[j]);
            EXPECT_EQ(fs::status(runs[j][6]).permissions() & fs::perms::all,
                      fs::perms::owner_read | fs::perms::owner_write);
        }
        for (const auto& [name, n] : archive_.reads) EXPECT_EQ(n, 1) << name;
        EXPECT_EQ(resourceCalls_, int(expected.size()));
        EXPECT_TRUE(Logged("BulkPrint: Time("));
        for (const auto& f : files) fs::remove(f);
    }
}

// Jobs take the print directories in turn; with resources off, documents never share a job.
TEST_F(ServerPrintTest, JobsTakeThePrintDirectoriesInTurn) {
    Configure("QEL_SERVER_PRINT_RESOURCES=0\n");
    ArcOS_PutEnv(("QEL_PRINT_PATH=" + dir_ / "p1" + ";" + dir_ / "p2" + ";" + dir_ / "p3").c_str());
    ASSERT_EQ(Print(TwoGroups(5)), CS_OK);
    auto runs = SpoolRuns(5);
    ASSERT_EQ(runs.size(), 5u);
    std::map<std::string, int> perDir;
    for (const auto& run : runs) {
        ++perDir[fs::path(run[6]).parent_path().filename().string()];
        EXPECT_EQ(ReadFile(run[6]).find("RES"), std::string::npos);
    }
    EXPECT_EQ(perDir, (std::map<std::string, int>{{"p1", 2}, {"p2", 2}, {"p3", 1}}));
    EXPECT_EQ(resourceCalls_, 0);
}

// Two jobs of one group and resource: the second job's resources are copied from the first.
TEST_F(ServerPrintTest, ResourcesOfTheSameGroupAreFetchedOnce) {
    auto items = TwoGroups(4);
    items[1].group = groupA_;
    items[1].appl = appl_;  // a job of its own, same group and resource
    items[2].group = nullptr;
    items[2].appl = nullptr;
    ASSERT_EQ(Print(items), CS_OK);
    auto runs = SpoolRuns(2);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(resourceCalls_, 1);
    for (const auto& run : runs) EXPECT_EQ(ReadFile(run[6]).rfind("RES5@GroupA|", 0), 0u);
}

// A multi-part document prints whole, its parts in page order, whatever order they arrive in.
TEST_F(ServerPrintTest, MultiPartDocumentPrintsWholeInPageOrder) {
    archive_.objects["DOC$"] = "P2,P3,P4page1";
    archive_.objects["P2"] = "page2";
    archive_.objects["P3"] = "page3";
    archive_.objects["P4"] = "page4";
    for (bool announce : {true, false}) {
        archive_.announceLengths = announce;
        archive_.reads.clear();
        fs::remove_all(dir_ / "spool");
        fs::create_directories(dir_ / "spool");
        SmPrintItem item;
        item.group = groupA_;
        item.appl = appl_;
        item.doc = Doc(0, 0);
        auto doc = std::make_shared<SmPrintDoc>(*item.doc);
        doc->object.name = "DOC$";
        doc->object.offset = 0;
        doc->object.length = 0;
        doc->object.compressedOffset = 8;  // the page tables' length
        item.doc = doc;
        ASSERT_EQ(Print({item}), CS_OK);
        auto runs = SpoolRuns(1);
        ASSERT_EQ(runs.size(), 1u);
        EXPECT_EQ(ReadFile(runs[0][6]), "page1page2page3page4");
        EXPECT_EQ(archive_.reads, (std::map<std::string, int>{{"DOC$", 1}, {"P2", 1}, {"P3", 1}, {"P4", 1}}));
        fs::remove(runs[0][6]);
    }
}

// The control texts and the control file beside the jobs.
TEST_F(ServerPrintTest, ControlTextsAndControlFile) {
    Configure("QEL_SERVER_PRINT_CONTROL_FILE=1\n");
    SmPrinter fax{"FAX1", 'F'};
    SmPrintOptions options{{"SSubject", "Statements"}, {"RFax", "555-0101"}, {"Copies", "3"}};
    auto items = TwoGroups(2);
    ASSERT_EQ(Print(items, &fax, &options, "please call"), CS_OK);
    auto runs = SpoolRuns(2);
    ASSERT_EQ(runs.size(), 2u);
    for (const auto& run : runs) {
        EXPECT_EQ(run[1], "3");
        const std::string base = dir_ / "spool/" + fs::path(run[6]).filename().string();
        for (int wait = 0; wait < 50 && !fs::exists(base + ".notes"); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(ReadFile(base + ".opts"), "Statements\n\n\n\n\n\n\n555-0101\n\n");
        EXPECT_EQ(ReadFile(base + ".notes"), "please call");
    }
    std::string control;
    for (const auto& e : fs::directory_iterator(dir_ / "p1")) {
        if (e.path().string().ends_with(".cntl")) control = ReadFile(e.path().string());
    }
    std::sort(runs.begin(), runs.end(), [](auto& a, auto& b) { return a[3] < b[3]; });
    const SmPrintObject& o = items[0].doc->object;
    const std::string first =
        "Application Group=GroupA\tacct=A0\tamount=0.00\tseq=0\tObjName=OBJ0\tOff=" +
        std::to_string(o.offset) + "\tLen=" + std::to_string(o.length) +
        "\tCompOff=0\tCompLen=0\tAnnot=0x00\tCompType=0x00\tRid=5\tPriNid=0\tSecNid=0\tFile=" + runs[0][6] +
        "\tSubmitted=1\n";
    ASSERT_FALSE(control.empty());
    EXPECT_EQ(control.substr(0, first.size()), first);
    EXPECT_NE(control.find("acct=A1\tamount=1.50\tseq=1\t"), std::string::npos);
    EXPECT_EQ(std::count(control.begin(), control.end(), '\n'), 2);
}

// The script's own fate is not the run's: a failing script and a hanging one both leave the
// run successful at once; a missing script is message 119 and 6, its files removed.
TEST_F(ServerPrintTest, PrintScriptFailsHangsOrIsMissing) {
    struct Case {
        const char* name;
        std::string script;
        int result;
    };
    const std::string marker = dir_ / "spool/hung";
    for (const Case& c : {Case{"fails", "#!/bin/sh\nexit 3\n", CS_OK},
                          Case{"hangs", "#!/bin/sh\nsleep 3\ntouch '" + marker + "' 2>/dev/null\n", CS_OK},
                          Case{"missing", "", CS_FAILED}}) {
        SCOPED_TRACE(c.name);
        log_.texts.clear();
        for (const char* d : {"p1", "p2"}) {
            fs::remove_all(dir_ / d);
            fs::create_directories(dir_ / d);
        }
        script_ = dir_ / "bin/print-" + c.name;  // a script of its own: none is replaced while starting
        if (!c.script.empty()) WriteScript(script_, c.script);
        SmPrinter fax{"FAX1", 'F'};
        SmPrintOptions options{{"SSubject", "s"}};
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(Print(TwoGroups(1), &fax, &options, "n"), c.result);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
        EXPECT_EQ(log_.Has("Unable to fork.  errno=2"), c.result != CS_OK);
        // A job that was not submitted loses its file and its control texts.
        EXPECT_EQ(FilesIn("p1") + FilesIn("p2"), c.result == CS_OK ? 3u : 0u);
    }
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);  // no child left to reap
}

// A print directory that disappears before the data arrives: its job fails (message 94, 6)
// while the job in the other directory is still printed.
TEST_F(ServerPrintTest, PrintDirectoryDisappearsMidRun) {
    archive_.beforeData = [this] { fs::remove_all(dir_ / "p1"); };
    // Group A's one document goes to p1, group B's two to p2; B's data arrives first.
    EXPECT_EQ(Print(TwoGroups(3)), CS_FAILED);
    EXPECT_TRUE(log_.Has("Unable to open file >" + dir_ / "p1/"));
    auto runs = SpoolRuns(1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0][3], "GroupB");
}

// Page ranges go to the extract exit; the job prints the ".pages" file it wrote.
TEST_F(ServerPrintTest, PageRangesPrintTheExtractedPages) {
    SmPrintOptions options{{"PAGE_RANGE_BGN_1", "1"},
                           {"PAGE_RANGE_END_1", "3"},
                           {"PAGE_RANGE_BGN_2", "7"},
                           {"PAGE_RANGE_END_2", "9"}};
    std::vector<std::string> ranges;
    auto services = Services();
    services.extractExit = [&](CsHandle*, const SmPrintGroup&, const SmPrintAppl&, const std::string& pages,
                               const std::string& jobFile, const std::string& outFile) {
        ranges.push_back(pages);
        EXPECT_EQ(outFile, jobFile + ".pages");
        WriteFile(outFile, "extract of " + ReadFile(jobFile));
        return CS_OK;
    };
    auto items = TwoGroups(1);
    ASSERT_EQ(SmServerPrint(&handle_, &plain_, &options, nullptr, Items(items), services, {script_, ""}),
              CS_OK);
    auto runs = SpoolRuns(1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(ranges, std::vector<std::string>{"1-3,7-9"});
    EXPECT_TRUE(runs[0][6].ends_with(".pages"));
    EXPECT_EQ(ReadFile(runs[0][6]), "extract of RES5@GroupA|" + archive_.Alone(items[0].doc->object));
    EXPECT_FALSE(fs::exists(runs[0][6].substr(0, runs[0][6].size() - 6)));
}

// An application of type 'R' whose SRVR_NORLA asks for PostScript is converted by the print
// program first; a program that fails is message 154 and 6, and nothing is printed.
TEST_F(ServerPrintTest, PostScriptConversion) {
    const std::string good = dir_ / "bin/topsok", bad = dir_ / "bin/topsbad";
    WriteScript(
        good,
        "#!/bin/sh\n[ \"$1\" = -f ] && [ \"$3\" = -o ] || exit 9\n{ echo '%!PS'; cat \"$2\"; } > \"$4\"\n");
    WriteScript(bad, "#!/bin/sh\necho half; echo broken >&2\nexit 4\n");
    const std::string silent = dir_ / "bin/topssilent";
    WriteScript(silent, "#!/bin/sh\nexit 3\n");
    auto ps = std::make_shared<SmPrintAppl>(SmPrintAppl{"Afp", 'R', "x,datatype=ps", nullptr});
    for (const std::string& program : {good, bad, silent}) {
        SCOPED_TRACE(program);
        log_.texts.clear();
        systemLog_.clear();
        systemData_.clear();
        for (const char* d : {"spool", "p1", "p2"}) {
            fs::remove_all(dir_ / d);
            fs::create_directories(dir_ / d);
        }
        auto items = TwoGroups(1);
        items[0].appl = ps;
        const int rc =
            SmServerPrint(&handle_, &plain_, nullptr, nullptr, Items(items), Services(), {script_, program});
        if (program == good) {
            ASSERT_EQ(rc, CS_OK);
            auto runs = SpoolRuns(1);
            ASSERT_EQ(runs.size(), 1u);
            EXPECT_TRUE(runs[0][6].ends_with(".ps"));
            EXPECT_EQ(ReadFile(runs[0][6]), "%!PS\nRES5@GroupA|" + archive_.Alone(items[0].doc->object));
        } else {
            EXPECT_EQ(rc, CS_FAILED);
            EXPECT_TRUE(log_.Has("System call failed for command >" + program + " -f "));
            // The program's output and errors are the message's data; none when it wrote none.
            const auto* data = LoggedData("System call failed");
            ASSERT_NE(data, nullptr);
            EXPECT_EQ(*data, program == bad ? std::optional<std::string>("half\nbroken\n") : std::nullopt);
            EXPECT_EQ(SpoolRuns(0).size(), 0u);
            EXPECT_EQ(FilesIn("p1"), 0u) << "job, PostScript and messages files are removed";
        }
    }
}

TEST_F(ServerPrintTest, GroupWithoutPrintPermissionStopsTheRun) {
    groupB_->permissions = 0x01;
    EXPECT_EQ(Print(TwoGroups(4)), CS_NOT_AUTHORISED);
    EXPECT_TRUE(log_.Has("User >alice< does not have permission"));
    EXPECT_EQ(FilesIn("p1") + FilesIn("p2"), 0u);
    EXPECT_EQ(SpoolRuns(0).size(), 0u);
}

// Items the run cannot place: no group at all, a group without application; and a source
// that stops the run.
TEST_F(ServerPrintTest, BadItemsStopTheRun) {
    struct Case {
        const char* name;
        bool group, appl;
        int sourceResult;
        int result;
    };
    for (const Case& c :
         {Case{"no group", false, false, 0, CS_FAILED}, Case{"no appl", true, false, 0, CS_FAILED},
          Case{"source stops", true, true, 5, CS_CANCELLED}}) {
        SCOPED_TRACE(c.name);
        auto doc = Doc(0);
        auto items = [&](SmPrintItem* item) {
            item->doc = doc;
            if (c.group) item->group = groupA_;
            if (c.appl) item->appl = appl_;
            return c.sourceResult;
        };
        EXPECT_EQ(SmServerPrint(&handle_, &plain_, nullptr, nullptr, items, Services(), {script_, ""}),
                  c.result);
        EXPECT_EQ(FilesIn("p1") + FilesIn("p2"), 0u);
    }
}

// No logging bit 0x04 in any group: no timing message.
TEST_F(ServerPrintTest, TimingMessageOnlyWithReportLogging) {
    groupA_->logging = SM_LOG_BULK_REPORT;
    groupB_->logging = 0;
    ASSERT_EQ(Print(TwoGroups(4)), CS_OK);
    EXPECT_FALSE(Logged("BulkPrint"));
    EXPECT_EQ(SpoolRuns(2).size(), 2u);
}

// The run's report: a line per document (logging-disabled lines for a group without
// 0x04), the group columns only where the group changes, a new page with a form feed
// every 60 lines, "--NOT PROCESSED--" for documents whose script did not start; handed
// over in 4096-byte pieces that make up the whole; the temporary file is removed.
TEST_F(ServerPrintTest, ReportOfTheRun) {
    groupA_->fields[0].logged = true;  // acct
    groupA_->fields[2].logged = true;  // seq
    groupB_->logging = 0;
    for (const bool started : {true, false}) {
        SCOPED_TRACE(started ? "script started" : "script missing");
        systemLog_.clear();
        systemData_.clear();
        std::vector<std::string> pieces;
        SmPrintRunArgs args;
        args.printer = &plain_;
        args.printItems = Items(TwoGroups(70));
        args.services = Services();
        args.programs = {started ? script_ : (dir_ / "bin/none"), ""};
        args.report = [&](const unsigned char* data, size_t length) {
            pieces.emplace_back(reinterpret_cast<const char*>(data), length);
        };
        EXPECT_EQ(SmServerPrintRun(&handle_, args), started ? CS_OK : CS_FAILED);
        EXPECT_TRUE(Logged("BulkPrint"));
        ASSERT_GE(pieces.size(), 2u);
        std::string whole;
        for (size_t i = 0; i < pieces.size(); ++i) {
            if (i + 1 < pieces.size()) {
                EXPECT_EQ(pieces[i].size(), 4096u) << i;
            }
            whole += pieces[i];
        }
        EXPECT_LE(pieces.back().size(), 4096u);

        std::vector<std::vector<std::string>> pages(1);
        for (size_t at = 0, end; at < whole.size(); at = end + 1) {
            end = whole.find('\n', at);
            ASSERT_NE(end, std::string::npos) << "the report ends with a line feed";
            std::string line = whole.substr(at, end - at);
            if (!line.empty() && line[0] == '\f') {
                pages.emplace_back();
                line.erase(0, 1);
            }
            pages.back().push_back(line);
        }
        ASSERT_EQ(pages.size(), 2u);
        EXPECT_EQ(pages[0].size(), 64u);  // header of four lines, sixty report lines
        EXPECT_EQ(pages[1].size(), 14u);
        for (const auto& page : pages) {
            EXPECT_EQ(page[0], "BULK DOCUMENT RETRIEVAL");
            EXPECT_EQ(page[3], std::string(86, '-'));
        }
        const std::string columns = std::string(74, ' ');
        const std::string mark = started ? "" : "--NOT PROCESSED-- ";
        const std::string object1 = "->OBJ1,0,10,0,0,0x00,0x00,5,0,0";
        EXPECT_EQ(pages[0][4], (std::string("GroupA") + std::string(55, ' ') + "7" + std::string(12, ' ')) +
                                   mark + "'A0',0->OBJ0,0,10,0,0,0x00,0x00,5,0,0");
        EXPECT_EQ(pages[0][5], columns + mark + "'A1',1" + object1);
        // Documents 35..69 are GroupB's: logging disabled, its columns once per page.
        EXPECT_EQ(pages[0][39],
                  "GroupB" + std::string(55, ' ') + "9" + std::string(12, ' ') + "--LOGGING DISABLED--");
        EXPECT_EQ(pages[0][40], columns + "--LOGGING DISABLED--");
        EXPECT_EQ(pages[1][4],
                  "GroupB" + std::string(55, ' ') + "9" + std::string(12, ' ') + "--LOGGING DISABLED--");
        // The timing message carries the same report as its data.
        const auto* data = LoggedData("BulkPrint: Time(");
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(*data, whole);
        EXPECT_TRUE(fs::is_empty(dir_ / "tmp")) << "the report's file is removed";
        SpoolRuns(started ? 2 : 0);
    }
}

// A text-search run: every document its own job, each matching job reported once with its
// item word, a multi-part document searched after its parts are added; no file stays.
TEST_F(ServerPrintTest, TextSearchReportsEveryMatchingJobOnce) {
    archive_.objects["DOC$"] = "P2,P3page1";
    archive_.objects["P2"] = "HIT-2";
    archive_.objects["P3"] = "page3";
    std::vector<SmPrintItem> items;
    for (int d = 0; d < 6; ++d) {
        SmPrintItem item;
        item.doc = Doc(d);
        item.word = 100 + d;
        if (d == 0) item.group = groupA_, item.appl = appl_;
        items.push_back(item);
    }
    auto multi = std::make_shared<SmPrintDoc>(*Doc(0));
    multi->object = SmPrintObject{"DOC$", 0, 0, 5, 0, 0, 0, 0, 0, 0};
    items.push_back(SmPrintItem{nullptr, nullptr, multi, 200});

    std::vector<std::string> searched;
    std::multiset<uint32_t> answered;
    auto services = Services();
    services.searchExit = [&](CsHandle*, const SmPrintGroup&, const SmPrintAppl&, const std::string& file,
                              int32_t* answer) {
        const std::string text = ReadFile(file);
        searched.push_back(text);
        // Documents 3, 4 and 5 (the second slot of each object) and anything with HIT match.
        *answer = (text.find("doc1;") != std::string::npos || text.find("HIT") != std::string::npos) ? 1 : 0;
        return CS_OK;
    };
    ASSERT_EQ(SmTextSearchRun(
                  &handle_, Items(items), [&](uint32_t word, int32_t) { answered.insert(word); }, services),
              CS_OK);
    // The multi-part document's first search sees only "page1"; after expansion it matches.
    EXPECT_EQ(answered, (std::multiset<uint32_t>{103, 104, 105, 200}));
    EXPECT_EQ(searched.size(), 8u);  // 7 jobs, the multi-part one twice
    EXPECT_EQ(searched.back(), "page1HIT-2page3");
    EXPECT_EQ(FilesIn("p1") + FilesIn("p2"), 0u);
    // The report, carried by the timing message, lists every document unprocessed.
    const auto* report = LoggedData("BulkTextSearch: Time(");
    ASSERT_NE(report, nullptr);
    ASSERT_TRUE(report->has_value());
    EXPECT_EQ((*report)->rfind("BULK DOCUMENT RETRIEVAL\n", 0), 0u);
    size_t documents = 0, unprocessed = 0;
    for (size_t at = 0, end; (end = (*report)->find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = (*report)->substr(at, end - at);
        if (line.find("->") == std::string::npos || line.find("Flds->Handle") != std::string::npos) continue;
        ++documents;
        if (line.find("--NOT PROCESSED-- ") != std::string::npos) ++unprocessed;
    }
    EXPECT_GE(documents, items.size());
    EXPECT_EQ(unprocessed, documents);
}

// A multi-part document that the first search finds is not expanded: its parts are never read.
TEST_F(ServerPrintTest, TextSearchFoundMultiPartIsNotExpanded) {
    archive_.objects["DOC$"] = "P2page1";
    archive_.objects["P2"] = "page2";
    SmPrintItem item{groupA_, appl_, std::make_shared<SmPrintDoc>(*Doc(0)), 9};
    auto doc = std::make_shared<SmPrintDoc>(*item.doc);
    doc->object = SmPrintObject{"DOC$", 0, 0, 2, 0, 0, 0, 0, 0, 0};
    item.doc = doc;
    auto services = Services();
    services.searchExit = [](CsHandle*, const SmPrintGroup&, const SmPrintAppl&, const std::string&,
                             int32_t* answer) {
        *answer = 7;
        return CS_OK;
    };
    std::vector<std::pair<uint32_t, int32_t>> answers;
    ASSERT_EQ(
        SmTextSearchRun(
            &handle_, Items({item}), [&](uint32_t w, int32_t a) { answers.emplace_back(w, a); }, services),
        CS_OK);
    EXPECT_EQ(answers, (std::vector<std::pair<uint32_t, int32_t>>{{9, 7}}));
    EXPECT_EQ(archive_.reads.count("P2"), 0u);
}

TEST(ServerPrintTexts, ReceiverText) {
    SmPrintOptions options{{"SSubject", "subj"}, {"RCompany", "acme"}, {"FROM_0", "me"}, {"TO_5", "you"}};
    SmPrinter fax{"F", 'F'}, info{"I", 'I'}, plain{"P", 'P'};
    EXPECT_EQ(SmPrintReceiverText(&fax, &options), "subj\n\n\n\n\n\n\n\nacme\n");
    EXPECT_EQ(SmPrintReceiverText(&info, &options), "me\n\n\n\n\n\n\n\n\n\n\nyou\n");
    EXPECT_EQ(SmPrintReceiverText(&fax, nullptr), std::string(9, '\n'));
    EXPECT_EQ(SmPrintReceiverText(&plain, &options), "");
    EXPECT_EQ(SmPrintReceiverText(nullptr, &options), "");
    // A value longer than any fixed area stays whole.
    SmPrintOptions longer{{"SSubject", std::string(5000, 'x')}};
    EXPECT_EQ(SmPrintReceiverText(&fax, &longer).size(), 5000u + 9u);
}

TEST(ServerPrintTexts, PageRangesAndCopies) {
    struct Case {
        SmPrintOptions options;
        std::string ranges;
        std::string copies;
    };
    const std::vector<Case> cases = {
        {{}, "", "1"},
        {{{"PAGE_RANGE_BGN_1", "1"},
          {"PAGE_RANGE_END_1", "3"},
          {"PAGE_RANGE_BGN_2", "7"},
          {"PAGE_RANGE_END_2", "9"},
          {"Copies", "2"}},
         "1-3,7-9",
         "2"},
        {{{"PAGE_RANGE_BGN_1", "4"},
          {"PAGE_RANGE_END_1", "0"},
          {"PAGE_RANGE_BGN_2", "7"},
          {"PAGE_RANGE_END_2", "9"},
          {"Copies", "100"}},
         "",
         "1"},
        {{{"PAGE_RANGE_BGN_1", "2"},
          {"PAGE_RANGE_END_1", "2"},
          {"PAGE_RANGE_BGN_3", "5"},
          {"PAGE_RANGE_END_3", "6"},
          {"Copies", "99"}},
         "2-2",
         "99"},
        {{{"Copies", "0"}}, "", "1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SmPrintPageRanges(&c.options), c.ranges);
        EXPECT_EQ(SmPrintCopies(&c.options), c.copies);
    }
    EXPECT_EQ(SmPrintPageRanges(nullptr), "");
}

}  // namespace
