#include "arc_platform.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

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
