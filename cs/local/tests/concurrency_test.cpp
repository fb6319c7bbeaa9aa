// Threads and processes writing one archive at the same time lose no update.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "arc_platform.h"
#include "archive_fixture.h"
#include "table_oracle.h"

namespace {

using localtest::ArchiveCopy;
using localtest::MakeHandle;
using localtest::ReadFile;

constexpr int kThreads = 8;
constexpr int kProcesses = 4;
constexpr int kRounds = 40;
constexpr const char* kChildEnv = "QEL_LOCAL_TEST_CHILD_ARCHIVE";

// Every writer waits for this file, so that all of them start together.
std::string StartSignal(const std::string& directory) { return directory + "../go"; }

// One writer: each round opens the archive, takes a load name and adds a note,
// as one gateway request would. Returns the load names it was given.
std::vector<std::string> Write(const std::string& directory, const std::string& who) {
    while (!std::filesystem::exists(StartSignal(directory))) ArcOS_SleepMs(1);
    std::vector<std::string> names;
    for (int round = 0; round < kRounds; ++round) {
        CsHandle handle;
        MakeHandle(&handle, directory);
        EXPECT_EQ(QelLocal_Open(&handle), 0) << who;
        char name[QELLOCAL_LOAD_NAME_SIZE] = {};
        EXPECT_EQ(QelLocal_NextLoadId(&handle, 100, name), 0) << who;
        names.push_back(name);
        QelLocalNoteDoc doc;
        doc.agid = 100;
        doc.objectName = "1FAA";
        QelLocalNote note;
        note.text = who + " round " + std::to_string(round);
        EXPECT_EQ(QelLocal_AddNote(&handle, &doc, &note), 0) << who;
        QelLocal_Close(&handle);
    }
    return names;
}

// The body of a child process; only runs when a parent started it.
TEST(LocalChildProcess, Writes) {
    std::optional<std::string> directory = ArcOS_GetEnv(kChildEnv);
    if (!directory) GTEST_SKIP() << "started by LocalConcurrencyTest only";
    std::optional<std::string> out = ArcOS_GetEnv("QEL_LOCAL_TEST_CHILD_OUT");
    ASSERT_TRUE(out.has_value());
    std::vector<std::string> names = Write(*directory, "process " + std::to_string(ArcOS_GetProcessId()));
    std::ofstream file(*out);
    for (const std::string& n : names) file << n << "\n";
}

TEST(LocalConcurrencyTest, EightThreadsAndFourProcessesLoseNoUpdate) {
    ArchiveCopy archive;
    std::vector<ArcOSPipe> children(kProcesses);
    std::vector<std::string> outputs;
    for (int p = 0; p < kProcesses; ++p) {
        outputs.push_back(archive.Root() + "child" + std::to_string(p) + ".txt");
        ArcOS_PutEnv((std::string(kChildEnv) + "=" + archive.Dir()).c_str());
        ArcOS_PutEnv(("QEL_LOCAL_TEST_CHILD_OUT=" + outputs.back()).c_str());
        ASSERT_EQ(ArcOS_PipeOpen({"/proc/self/exe", "--gtest_filter=LocalChildProcess.Writes"}, "r",
                                 &children[size_t(p)]),
                  0);
    }
    ArcOS_PutEnv((std::string(kChildEnv) + "=").c_str());

    std::vector<std::vector<std::string>> threadNames(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back(
            [&, t] { threadNames[size_t(t)] = Write(archive.Dir(), "thread " + std::to_string(t)); });
    }
    localtest::WriteFile(StartSignal(archive.Dir()), "go");
    for (std::thread& t : threads) t.join();
    for (ArcOSPipe& child : children) {
        char sink[4096];
        while (std::fread(sink, 1, sizeof sink, child.stream) > 0) {
        }
        EXPECT_EQ(ArcOS_PipeClose(&child), 0) << "a child process failed";
    }

    std::set<std::string> all;
    size_t handedOut = 0;
    for (const auto& names : threadNames) {
        all.insert(names.begin(), names.end());
        handedOut += names.size();
    }
    for (const std::string& output : outputs) {
        std::ifstream in(output);
        for (std::string line; std::getline(in, line);) {
            all.insert(line);
            ++handedOut;
        }
    }
    const size_t total = size_t(kThreads + kProcesses) * kRounds;
    EXPECT_EQ(handedOut, total);
    EXPECT_EQ(all.size(), total) << "a load name was handed out twice";
    EXPECT_EQ((cstest::ReadWithConfigParser(archive.Table("ag"))[{"100", "LOAD_ID"}]),
              std::to_string(total + 1));

    CsHandle handle;
    MakeHandle(&handle, archive.Dir());
    ASSERT_EQ(QelLocal_Open(&handle), 0);
    QelLocalNoteDoc doc;
    doc.agid = 100;
    doc.objectName = "1FAA";
    QelLocalNote note;
    size_t notes = 0;
    for (int rc = QelLocal_GetNotes(&handle, &doc, -1, &note); rc == 0;
         rc = QelLocal_GetNotesNext(&handle, &note)) {
        ++notes;
    }
    QelLocal_Close(&handle);
    EXPECT_EQ(notes, total) << "an annotation was lost";
}

}  // namespace
