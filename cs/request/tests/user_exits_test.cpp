// The four user exits, loaded from libraries that the tests build.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "message_test_support.h"
#include "qel_cs.h"
#include "qel_exits.h"
#include "qel_sm.h"

namespace {

int Collect(void* context, const char* text) {
    static_cast<std::vector<std::string>*>(context)->push_back(text);
    return 0;
}

class UserExitTest : public ::testing::Test {
protected:
    void SetUp() override {
        handle_.def.kind = CS_KIND_TCP;
        handle_.def.flags1 = CS_F1_MESSAGES;
        handle_.callbackContext = &messages_;
        handle_.messageCallback = Collect;
    }

    void Install(const char* built, const char* name) {
        std::filesystem::copy_file(built, sandbox_.Path() + name,
                                   std::filesystem::copy_options::overwrite_existing);
    }
    void InstallAll() {
        for (const char* name : {"libqelusec.so", "libqelusmxc.so", "libqelusdoc.so", "libqelusxct.so"})
            Install(QEL_TEST_EXITS, name);
    }
    bool Said(const std::string& words) const {
        for (const auto& m : messages_)
            if (m.find(words) != std::string::npos) return true;
        return false;
    }

    reqtest::MessageSandbox sandbox_;
    std::vector<std::string> messages_;
    CsHandle handle_;
};

TEST_F(UserExitTest, SecurityResults) {
    InstallAll();
    struct Case {
        const char* answer;
        int rc;
        bool unexpected;
    } cases[] = {
        {"r0", 0, false},  {"r4", 10, false}, {"r1", 13, false},
        {"r2", 12, false}, {"r3", 6, true},   {"r-1", 6, true},
    };
    for (const auto& c : cases) {
        messages_.clear();
        EXPECT_EQ(
            CsCallSecurityExit(&handle_, QEL_SECURITY_LOGON, c.answer, "secret", nullptr, nullptr, nullptr),
            c.rc)
            << c.answer;
        EXPECT_STREQ(handle_.serverMessage, "function:1 arg2:secret") << c.answer;
        EXPECT_EQ(Said("returned the unexpected result " + std::string(c.answer + 1)), c.unexpected)
            << c.answer;
        if (c.unexpected) {
            EXPECT_TRUE(Said("libqelusec.so")) << c.answer;
        }
    }
}

TEST_F(UserExitTest, MissingLibraryOrEntry) {
    EXPECT_EQ(CsCallSecurityExit(&handle_, QEL_SECURITY_LOGON, "r0", "", nullptr, nullptr, nullptr), 6);
    EXPECT_TRUE(Said("Unable to load the exit library >" + sandbox_.Path() + "libqelusec.so<"));

    messages_.clear();
    Install(QEL_TEST_NO_EXITS, "libqelusec.so");
    EXPECT_EQ(CsCallSecurityExit(&handle_, QEL_SECURITY_LOGON, "r0", "", nullptr, nullptr, nullptr), 6);
    EXPECT_TRUE(Said("no entry SECURITY"));

    // Only the security exit reports a load failure.
    messages_.clear();
    int answer = 0;
    int32_t found = 0;
    handle_.callbackContext = &messages_;
    EXPECT_EQ(CsCallSearchExit(&handle_, nullptr, nullptr, nullptr, "job", &found), 6);
    EXPECT_EQ(CsCallExtractExit(&handle_, nullptr, nullptr, "1", "job", "out"), 6);
    CsStorageExitInput input;
    input.exitContext = &answer;
    EXPECT_EQ(CsCallStorageExit(&handle_, &input, 0, nullptr, nullptr), 6);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(UserExitTest, LoadExit) {
    InstallAll();
    CsExitLibrary library;
    void* entry = nullptr;
    std::string path = sandbox_.Path() + "libqelusdoc.so";
    EXPECT_EQ(CsLoadExit(&handle_, 1, path.c_str(), "DOCSRCH", &library, &entry), 0);
    EXPECT_TRUE(library);
    EXPECT_NE(entry, nullptr);
    EXPECT_EQ(CsLoadExit(&handle_, 0, path.c_str(), "NOPE", &library, &entry), 6);
    EXPECT_FALSE(library);
    EXPECT_EQ(entry, nullptr);
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(CsLoadExit(&handle_, 1, "", "DOCSRCH", &library, &entry), 6);
    EXPECT_TRUE(Said("Unable to load the exit library"));
}

TEST_F(UserExitTest, StorageExitSeesTheFields) {
    InstallAll();
    const char* text = "txt";
    CsExitFieldInput fields[5];
    auto put = [&](int i, char type, uint8_t flags, const void* value, size_t size) {
        fields[i].type = type;
        fields[i].definitionFlags = flags;
        std::memcpy(fields[i].value, value, size);
    };
    int32_t i32 = 5;
    int16_t i16 = -2;
    int64_t i64 = int64_t(1) << 40;
    double d = 1.5;
    put(0, 'I', 0x40, &i32, sizeof i32);
    put(1, 'N', 0x00, &i16, sizeof i16);
    put(2, 'S', 0x40, &text, sizeof text);
    put(3, 'B', 0x41, &i64, sizeof i64);
    put(4, 'D', 0x01, &d, sizeof d);
    int answer = 0;
    CsStorageExitInput input;
    input.groupName = "GROUP12CHARS";
    input.exitContext = &answer;
    input.fields = fields;
    input.documentWords[1] = 77;
    struct Case {
        int indexedOnly;
        int answer;
        int rc;
        const char* dump;
    } cases[] = {
        {0, 0, 0, "group=GROUP12CHARS count=5 I=5 N=-2 S=txt B=1099511627776 D=1.50"},
        {1, 0, 0, "group=GROUP12CHARS count=3 I=5 S=txt B=1099511627776"},
        {0, 8, 6, "group=GROUP12CHARS count=5 I=5 N=-2 S=txt B=1099511627776 D=1.50"},
    };
    for (const auto& c : cases) {
        answer = c.answer;
        char dump[512] = {};
        int32_t word = 0;
        EXPECT_EQ(CsCallStorageExit(&handle_, &input, c.indexedOnly, dump, &word), c.rc) << c.dump;
        EXPECT_STREQ(dump, c.dump);
        EXPECT_EQ(word, 77);
    }
    EXPECT_TRUE(Said("returned the unexpected result 8"));

    input.groupName = "THIRTEENCHARS";
    EXPECT_EQ(CsCallStorageExit(&handle_, &input, 0, nullptr, nullptr), 6);
}

TEST_F(UserExitTest, StorageExitLooksUpObjects) {
    InstallAll();
    int answer = 0;
    struct Case {
        const char* name;
        uint32_t function;
        const char* object;
        const char* group;
        int answer;
        int rc;
        int found;
        std::string data;
    } cases[] = {
        {"held object located", QEL_STORAGE_EXIT_LOCATE, "HELD", "GROUP", 0, 0, 1, ""},
        {"other object", QEL_STORAGE_EXIT_LOCATE, "OTHER", "GROUP", 0, 0, 0, ""},
        {"held object fetched", QEL_STORAGE_EXIT_FETCH, "HELD", "GROUP", 0, 0, 1, "held:SID:GROUP"},
        {"the exit fails: its data is dropped", QEL_STORAGE_EXIT_FETCH, "HELD", "GROUP", 3, 6, 0, ""},
        {"group name too long", QEL_STORAGE_EXIT_LOCATE, "HELD", "THIRTEENCHARS", 0, 6, 0, ""},
    };
    for (const auto& c : cases) {
        messages_.clear();
        answer = c.answer;
        QelExitObjectQuery query{};
        query.storageId = "SID";
        query.name = c.object;
        query.found = 5;
        EXPECT_EQ(CsAskStorageExit(&handle_, c.function, c.group, &answer, &query), c.rc) << c.name;
        EXPECT_EQ(query.found, c.found) << c.name;
        EXPECT_EQ(std::string(static_cast<const char*>(query.data ? query.data : ""), query.length), c.data)
            << c.name;
        std::free(query.data);
        EXPECT_EQ(Said("returned the unexpected result 3"), c.answer == 3) << c.name;
    }
}

TEST_F(UserExitTest, StorageManagerAsksTheExitThroughTheRequestLayer) {
    InstallAll();
    CsSetLayerHooks({});  // lends the storage manager its roads
    int answer = 0;
    SmApplGroup group;
    group.storageId = "SID";
    group.name = "GROUP";
    group.flags = SM_AG_STORAGE_EXIT;
    uint8_t found = 0;
    uint32_t words[5] = {};
    EXPECT_EQ(SmLocateObject(&handle_, &group, nullptr, SM_LOC_EXIT, &answer, "HELD$", 0, &found, nullptr,
                             words, nullptr),
              0);
    EXPECT_EQ(found, SM_LOCATE_EXIT);
    EXPECT_EQ(words[4], 0xFFFFFFFFu);
    EXPECT_EQ(SmLocateObject(&handle_, &group, nullptr, SM_LOC_EXIT, &answer, "OTHER", 0, &found, nullptr,
                             words, nullptr),
              6);
    EXPECT_TRUE(Said("Object >OTHER< in Application Group >GROUP< not found in cache"));

    std::string data;
    handle_.callbackContext = &data;
    handle_.messageCallback = nullptr;
    uint8_t location = SM_LOC_EXIT;
    auto take = [](void* context, const unsigned char* bytes, size_t length) {
        static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(bytes), length);
        return 1;
    };
    EXPECT_EQ(SmFetchObjectData(&handle_, &group, nullptr, nullptr, &location, &answer, "HELD", 5, 0, take),
              0);
    EXPECT_EQ(data, "SID:GROUP");
    EXPECT_EQ(location, SM_LOC_EXIT);
}

TEST_F(UserExitTest, SearchAndExtractExits) {
    InstallAll();
    int answer = 0;
    handle_.callbackContext = &answer;  // the exits' context
    handle_.messageCallback = nullptr;
    int32_t found = 0;
    EXPECT_EQ(CsCallSearchExit(&handle_, nullptr, nullptr, nullptr, "/jobs/job1", &found), 0);
    EXPECT_EQ(found, 10);
    std::string output = sandbox_.Path() + "job1.pages";
    EXPECT_EQ(CsCallExtractExit(&handle_, nullptr, nullptr, "1-3,7-9", "/jobs/job1", output.c_str()), 0);
    EXPECT_EQ(reqtest::ReadText(output), "1-3,7-9|/jobs/job1");

    answer = 3;
    testing::internal::CaptureStderr();
    EXPECT_EQ(CsCallSearchExit(&handle_, nullptr, nullptr, nullptr, "j", &found), 6);
    EXPECT_EQ(CsCallExtractExit(&handle_, nullptr, nullptr, "1", "j", output.c_str()), 6);
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("libqelusdoc.so< returned the unexpected result 3"), std::string::npos) << errors;
    EXPECT_NE(errors.find("libqelusxct.so< returned the unexpected result 3"), std::string::npos) << errors;
}

}  // namespace
