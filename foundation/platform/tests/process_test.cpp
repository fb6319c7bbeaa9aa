#include "arc_platform.h"
#include "temp_dir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

#include <string>
#include <vector>

namespace {

TEST(Process, RunProgramReportsTheExitStatus) {
    int status = -1;
    EXPECT_EQ(ArcOS_RunProgram({"/bin/true"}, &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ArcOS_RunProgram({"sh", "-c", "exit 7"}, &status), 0);
    EXPECT_EQ(status, 7);
    EXPECT_NE(ArcOS_RunProgram({"/no/such/program"}, &status), 0);
    EXPECT_NE(ArcOS_RunProgram({}, &status), 0);
}

// The quiet form keeps the child off our standard output and gives it an empty input.
TEST(Process, RunProgramQuietLeavesOurStandardOutputAlone) {
    TempDir dir;
    const std::string captured = dir.file("stdout");
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    const int file = open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    dup2(file, STDOUT_FILENO);
    close(file);
    int status = -1;
    const int rc =
        ArcOS_RunProgramQuiet({"/bin/sh", "-c", "echo leaked; if read x; then exit 9; fi; exit 4"}, &status);
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(status, 4) << "standard input is empty";
    std::string content;
    ASSERT_EQ(ArcOS_ReadFile(captured.c_str(), &content), 0);
    EXPECT_EQ(content, "");
    EXPECT_NE(ArcOS_RunProgramQuiet({"/no/such/program"}, &status), 0);
}

TEST(Process, ArgumentsNeverReachAShell) {
    TempDir dir;
    std::string marker = dir.file("owned");
    std::string hostile = "x; touch " + marker + " $(touch " + marker + ")";
    int status = -1;
    ASSERT_EQ(ArcOS_RunProgram({"/bin/echo", hostile}, &status), 0);
    EXPECT_EQ(status, 0);
    ArcOSStat st;
    EXPECT_NE(ArcOS_Stat64(marker.c_str(), &st), 0);
}

TEST(Process, ShellQuotedValuesStayOneWord) {
    TempDir dir;
    std::string out = dir.file("out");
    std::string marker = dir.file("owned");
    std::vector<std::string> values = {"it's", "a b", "$(touch " + marker + ")",
                                       "'; touch " + marker + "; '"};
    for (const std::string& value : values) {
        SCOPED_TRACE(value);
        std::string command = "printf %s " + ArcOS_ShellQuote(value) + " > " + ArcOS_ShellQuote(out);
        EXPECT_EQ(ArcOS_System(command.c_str()), 0);
        std::string written;
        ASSERT_EQ(ArcOS_ReadFile(out.c_str(), &written), 0);
        EXPECT_EQ(written, value);
    }
    ArcOSStat st;
    EXPECT_NE(ArcOS_Stat64(marker.c_str(), &st), 0);
    EXPECT_EQ(ArcOS_System("exit 3"), 3);
}

TEST(Process, PipeReadsAChildsOutput) {
    ArcOSPipe pipe;
    ASSERT_EQ(ArcOS_PipeOpen({"/bin/echo", "hello"}, "r", &pipe), 0);
    char line[32] = {};
    ASSERT_NE(fgets(line, sizeof line, pipe.stream), nullptr);
    EXPECT_STREQ(line, "hello\n");
    EXPECT_EQ(ArcOS_PipeClose(&pipe), 0);
}

TEST(Process, PipeFeedsAChildsInput) {
    TempDir dir;
    std::string out = dir.file("copy");
    ArcOSPipe pipe;
    ASSERT_EQ(ArcOS_PipeOpen({"/bin/sh", "-c", "cat > " + ArcOS_ShellQuote(out) + "; exit 4"}, "w", &pipe),
              0);
    fputs("line data\n", pipe.stream);
    EXPECT_EQ(ArcOS_PipeClose(&pipe), 4);
    std::string copied;
    ASSERT_EQ(ArcOS_ReadFile(out.c_str(), &copied), 0);
    EXPECT_EQ(copied, "line data\n");
    EXPECT_NE(ArcOS_PipeOpen({"/bin/true"}, "x", &pipe), 0);
    EXPECT_EQ(ArcOS_PipeClose(&pipe), -1);
}

}  // namespace

// A detached program: the call returns before the program ends, leaves no child of ours
// behind (nothing to reap, so no zombie), and a program that cannot start is reported.
TEST(Process, SpawnDetachedDoesNotWaitAndLeavesNoChild) {
    TempDir dir;
    const std::string marker = dir.file("done");
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(ArcOS_SpawnDetached({"/bin/sh", "-c", "sleep 1; echo x > \"$0\"", marker}), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(800));
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    for (int i = 0; i < 50 && access(marker.c_str(), F_OK) != 0; ++i) usleep(100 * 1000);
    EXPECT_EQ(access(marker.c_str(), F_OK), 0);

    EXPECT_EQ(ArcOS_SpawnDetached({"/no/such/program"}), ENOENT);
    EXPECT_EQ(ArcOS_SpawnDetached({"no-such-program-on-path"}), ENOENT);
    EXPECT_EQ(ArcOS_SpawnDetached({}), EINVAL);
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}
