// The CONVERT filter: an administrator's command run on a temporary file of the object.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "qel_sm.h"
#include "sm_test_support.h"

namespace {

using smtest::TempDir;
using smtest::WriteFile;

struct Output {
    std::string data;
    bool refuse = false;
    static int Take(void* context, const unsigned char* data, size_t length) {
        auto* out = static_cast<Output*>(context);
        if (out->refuse) return 0;
        out->data.append(reinterpret_cast<const char*>(data), length);
        return 1;
    }
};

class ConvertTest : public ::testing::Test {
protected:
    void SetUp() override {
        ArcOS_PutEnv(("QEL_EVENTLOG_FILE=" + dir_ / "events.log").c_str());
        UseTempDir(dir_ / "tmp");
        handle_.def.flags1 |= CS_F1_MESSAGES;
        handle_.callbackContext = &messages_;
        handle_.messageCallback = &smtest::MessageLog::Collect;
        // Prints how many arguments follow the script, then the file named last.
        script_ = dir_ / "bin/show";
        WriteFile(script_, "printf '%s|' \"$#\"\nfor last in \"$@\"; do :; done\ncat \"$last\"\n");
    }
    void TearDown() override { ArcOS_PutEnv("QEL_TMP="); }

    void UseTempDir(const std::string& dir) {
        std::filesystem::create_directories(dir);
        tmp_ = dir;
        ArcOS_PutEnv(("QEL_TMP=" + dir).c_str());
    }

    // Runs the steps as the converting reader does: the input in pieces of 3 bytes.
    int Run(const std::string& command, const std::string& options, const std::string& input,
            uint64_t owed = 0) {
        state_ = std::make_unique<SmConvertState>();
        state_->command = command;
        state_->options = options;
        state_->handle = &handle_;
        state_->output = &Output::Take;
        state_->outputContext = &output_;
        state_->owed = owed;
        output_.data.clear();
        messages_.texts.clear();
        SmConvertStep(state_.get(), 0);
        tempName_ = state_->tempName;
        SmConvertStep(state_.get(), 1);
        for (size_t at = 0; at < input.size(); at += 3) {
            std::string piece = input.substr(at, 3);
            EXPECT_EQ(SmConvertDataCallback(
                          state_.get(), reinterpret_cast<const unsigned char*>(piece.data()), piece.size()),
                      1);
        }
        SmConvertStep(state_.get(), 3);
        SmConvertStep(state_.get(), 4);
        return SmConvertStep(state_.get(), 5);
    }

    bool TempFilesLeft() const { return !std::filesystem::is_empty(tmp_); }

    TempDir dir_;
    std::string tmp_;
    CsHandle handle_{};
    smtest::MessageLog messages_;
    Output output_;
    std::string script_;
    std::string tempName_;
    std::unique_ptr<SmConvertState> state_;
};

TEST_F(ConvertTest, CommandOutcomes) {
    struct Case {
        const char* name;
        std::string command;
        std::string options;
        std::string input;
        uint64_t owed;
        bool refuse;
        int rc;
        std::string output;
        std::string message;  // empty: none
    };
    const Case cases[] = {
        {"the file as the last argument", "/bin/sh", script_, "hello", 0, false, 0, "1|hello", ""},
        {"leading bytes passed unchanged", "/bin/sh", script_, "HEADbody", 4, false, 0, "HEAD1|body", ""},
        {"owed bytes beyond the object", "/bin/sh", script_, "ab", 9, false, 0, "ab1|", ""},
        {"quoted option with a blank", "/bin/sh", "\"" + script_ + "\" \"one word\"", "x", 0, false, 0, "2|x",
         ""},
        {"a failing command", "/bin/false", "", "x", 0, false, 6, "",
         "pclose failed for command >/bin/false  " + dir_ / "tmp/QEL."},
        {"a command killed by a signal", "/bin/sh", "-c \"kill -KILL $$\"", "x", 0, false, 6, "",
         "pclose failed for command >/bin/sh"},
        {"a command that cannot start", dir_ / "bin/missing", "", "x", 0, false, 6, "",
         "popen failed for command >" + dir_ / "bin/missing"},
        {"no command", "  ", "-x", "x", 0, false, 6, "", "popen failed for command >"},
        {"a command path too long", "/bin/" + std::string(260, 'c'), "", "x", 0, false, 6, "",
         "popen failed for command >"},
        {"an output that fails", "/bin/sh", script_, "hello", 0, true, 6, "", ""},
    };
    for (const Case& c : cases) {
        output_.refuse = c.refuse;
        EXPECT_EQ(Run(c.command, c.options, c.input, c.owed), c.rc) << c.name;
        EXPECT_EQ(output_.data, c.output) << c.name;
        if (c.message.empty()) {
            EXPECT_TRUE(messages_.texts.empty()) << c.name << ": " << messages_.texts.front();
        } else {
            EXPECT_TRUE(messages_.Has(c.message))
                << c.name << ": " << (messages_.texts.empty() ? "" : messages_.texts.front());
        }
        EXPECT_FALSE(tempName_.empty()) << c.name;
        EXPECT_FALSE(TempFilesLeft()) << c.name;
        EXPECT_TRUE(state_->tempName.empty()) << c.name;
    }
}

TEST_F(ConvertTest, TemporaryPathStaysOneArgument) {
    for (const char* folder : {"it's here", "two  blanks", "$(touch injected)", "`touch injected`"}) {
        UseTempDir(dir_ / folder);
        EXPECT_EQ(Run("/bin/sh", script_, "data"), 0) << folder;
        EXPECT_EQ(output_.data, "1|data") << folder;
        EXPECT_EQ(tempName_.rfind(dir_ / folder + "/QEL.", 0), 0u) << tempName_;
        EXPECT_FALSE(TempFilesLeft()) << folder;
    }
    EXPECT_FALSE(std::filesystem::exists("injected"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "injected"));
}

TEST_F(ConvertTest, TemporaryFileIsPrivateAndNew) {
    SmConvertState state;
    state.handle = &handle_;
    ASSERT_EQ(SmConvertStep(&state, 0), 0);
    struct stat st {};
    ASSERT_EQ(lstat(state.tempName.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_size, 0);
    SmConvertState other;
    other.handle = &handle_;
    ASSERT_EQ(SmConvertStep(&other, 0), 0);
    EXPECT_NE(other.tempName, state.tempName);
    // A link planted in the file's place is not followed when it is opened.
    std::string target = dir_ / "target";
    WriteFile(target, "keep");
    std::filesystem::remove(state.tempName);
    std::filesystem::create_symlink(target, state.tempName);
    EXPECT_EQ(SmConvertStep(&state, 1), 6);
    EXPECT_TRUE(messages_.Has("Unable to open file >" + state.tempName + "<"));
    EXPECT_EQ(smtest::ReadFile(target), "keep");
    EXPECT_EQ(SmConvertStep(&state, 5), 6);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(state.tempName)));
    EXPECT_EQ(SmConvertStep(&other, 5), 0);
    EXPECT_FALSE(TempFilesLeft());
}

TEST_F(ConvertTest, FailureIsStickyButTheFileAlwaysGoes) {
    SmConvertState state;
    state.handle = &handle_;
    state.command = "/bin/sh";
    state.options = script_;
    state.output = &Output::Take;
    state.outputContext = &output_;
    ASSERT_EQ(SmConvertStep(&state, 0), 0);
    ASSERT_EQ(SmConvertStep(&state, 1), 0);
    state.status = CS_NO_MEMORY;
    const unsigned char data[] = "abc";
    EXPECT_EQ(SmConvertDataCallback(&state, data, 3), 1);
    for (int step : {1, 2, 3, 4, 6, -1}) EXPECT_EQ(SmConvertStep(&state, step), CS_NO_MEMORY) << step;
    EXPECT_EQ(output_.data, "") << "the command never ran";
    EXPECT_EQ(SmConvertStep(&state, 5), CS_NO_MEMORY);
    EXPECT_FALSE(TempFilesLeft());
    EXPECT_TRUE(messages_.texts.empty());
}

TEST_F(ConvertTest, MissingTemporaryDirectoryIsReported) {
    ArcOS_PutEnv(("QEL_TMP=" + dir_ / "no/such/dir").c_str());
    SmConvertState state;
    state.handle = &handle_;
    EXPECT_EQ(SmConvertStep(&state, 0), 6);
    EXPECT_TRUE(messages_.Has("Unable to open file >" + dir_ / "no/such/dir/QEL."));
    EXPECT_EQ(SmConvertStep(&state, 5), 6);
}

}  // namespace
