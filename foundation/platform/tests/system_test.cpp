#include "arc_platform.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(Crypt, MatchesKnownDesHashes) {
    struct Case {
        const char* key;
        const char* salt;
        const char* hash;
    } cases[] = {
        {"password", "ab", "abJnggxhB/yWI"},
        {"test", "ab", "abgOeLfPimXQo"},
        {"", "ab", "abmF1QH4PEr.E"},
        {"Secret99", "zz", "zzmBfoTrYfcXk"},
        {"aaaaaaaaaaaa", "./", "./p6IkxJuGIe6"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        char result[16];
        ASSERT_EQ(ArcOS_Crypt(c.key, c.salt, result), 0);
        EXPECT_STREQ(result, c.hash);
        EXPECT_EQ(result[14], 0);
        EXPECT_EQ(result[15], 0);
    }
}

TEST(Crypt, RefusedSaltsAreAMismatchNotAHash) {
    for (const char* salt : {"", "a", "$1", "*x", "a\n", "\xff\xfe"}) {
        char result[16];
        std::memset(result, 'x', sizeof result);
        EXPECT_EQ(ArcOS_Crypt("password", salt, result), 1) << salt;
        EXPECT_EQ(result[0], 0);
    }
    char result[16];
    EXPECT_EQ(ArcOS_Crypt(nullptr, "ab", result), 1);
}

TEST(Crypt, Sha512HashesVerifyOnlyTheWholePassword) {
    std::string hash;
    ASSERT_EQ(ArcOS_CryptSha512("LongPassword1", nullptr, &hash), 0);
    EXPECT_EQ(hash.rfind("$6$", 0), 0u);
    std::string again;
    ASSERT_EQ(ArcOS_CryptSha512("LongPassword1", hash.c_str(), &again), 0);
    EXPECT_TRUE(ArcOS_ConstantTimeEqual(hash, again));
    // Unlike DES, the characters after the eighth count.
    ASSERT_EQ(ArcOS_CryptSha512("LongPassword2", hash.c_str(), &again), 0);
    EXPECT_FALSE(ArcOS_ConstantTimeEqual(hash, again));
    std::string other;
    ASSERT_EQ(ArcOS_CryptSha512("LongPassword1", nullptr, &other), 0);
    EXPECT_NE(hash, other) << "each new hash gets its own salt";
    // A known vector (salt "saltstring").
    ASSERT_EQ(ArcOS_CryptSha512("Hello world!", "$6$saltstring", &again), 0);
    EXPECT_EQ(again,
              "$6$saltstring$svn8UoSVapNtMuq1ukKS4tPQd8iKwSMHWjl/"
              "O817G3uBnIFNjnQJuesI68u4OTLiBFdcbYEdFCoEOfaS35inz1");
    EXPECT_EQ(ArcOS_CryptSha512("x", "ab", &again), 1) << "only SHA-512 settings";
    EXPECT_EQ(ArcOS_CryptSha512(nullptr, nullptr, &again), 1);
}

TEST(Crypt, ConstantTimeEqual) {
    EXPECT_TRUE(ArcOS_ConstantTimeEqual("", ""));
    EXPECT_TRUE(ArcOS_ConstantTimeEqual("abc", "abc"));
    EXPECT_FALSE(ArcOS_ConstantTimeEqual("abc", "abd"));
    EXPECT_FALSE(ArcOS_ConstantTimeEqual("abc", "abcd"));
}

TEST(Random, StaysInRangeAndDoesNotRepeatWithinASecond) {
    std::set<int> seen;
    for (int i = 0; i < 64; ++i) {
        int v = ArcOS_Random();
        EXPECT_GE(v, 0);
        EXPECT_LE(v, 32767);
        seen.insert(v);
    }
    // 64 draws from 32768 values: more than a handful of repeats means no real randomness.
    EXPECT_GT(seen.size(), 56u);
}

TEST(Environment, PutAndGet) {
    EXPECT_EQ(ArcOS_PutEnv("QEL_TEST_VAR=some value"), 0);
    EXPECT_EQ(ArcOS_GetEnv("QEL_TEST_VAR"), "some value");
    EXPECT_EQ(ArcOS_PutEnv("QEL_TEST_VAR="), 0);
    EXPECT_FALSE(ArcOS_GetEnv("QEL_TEST_VAR").has_value());
    EXPECT_NE(ArcOS_PutEnv("NOEQUALS"), 0);
    EXPECT_NE(ArcOS_PutEnv("=value"), 0);
}

TEST(Environment, ConcurrentReadersAndWriters) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 500; ++i) {
                std::string entry = "QEL_RACE_" + std::to_string(t) + "=" + std::to_string(i);
                ASSERT_EQ(ArcOS_PutEnv(entry.c_str()), 0);
                EXPECT_EQ(ArcOS_GetEnv(("QEL_RACE_" + std::to_string(t)).c_str()), std::to_string(i));
            }
        });
    for (auto& th : threads) th.join();
}

TEST(Libraries, LoadsOnlyByAbsolutePath) {
    ArcOSLibrary* lib = ArcOS_LoadLibrary(TEST_MODULE_PATH);
    ASSERT_NE(lib, nullptr) << ArcOS_LibraryError();
    auto answer = reinterpret_cast<int (*)()>(ArcOS_GetProcAddress(lib, "platform_test_answer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(ArcOS_GetProcAddress(lib, "no_such_entry"), nullptr);
    ArcOS_FreeLibrary(lib);

    EXPECT_EQ(ArcOS_LoadLibrary("libc.so.6"), nullptr);
    EXPECT_FALSE(ArcOS_LibraryError().empty());
    EXPECT_EQ(ArcOS_LoadLibrary("/no/such/lib.so"), nullptr);
    EXPECT_EQ(ArcOS_GetProcAddress(nullptr, "x"), nullptr);
}

TEST(SystemInfo, ModuleDirectoryAndUser) {
    char dir[4096];
    size_t n = ArcOS_GetModuleDir(sizeof dir, dir);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(dir[0], '/');
    EXPECT_EQ(dir[n - 1], '/');
    EXPECT_EQ(std::string(dir) + "platform_test", std::string(QEL_STAGE_DIR) + "/tests/platform_test");
    EXPECT_EQ(ArcOS_GetModuleDir(3, dir), 0u) << "a buffer too small gives 0";

    char user[256];
    EXPECT_EQ(ArcOS_GetUserName(user, sizeof user), 0);
    EXPECT_GT(strlen(user), 0u);
    EXPECT_EQ(ArcOS_GetUserName(user, 0), 1);
    EXPECT_EQ(ArcOS_GetUserName(user, 1), 1);
    EXPECT_EQ(ArcOS_GetPlatform(), 4);
    EXPECT_NE(ArcOS_GetThreadId(), 0u);
}

TEST(SystemInfo, CodePageFollowsTheLocale) {
    struct Case {
        const char* locale;
        int ccsid;
    } cases[] = {{"C.UTF-8", 1208}, {"C", 819}, {"POSIX", 819}};
    auto saved = ArcOS_GetEnv("LC_ALL");
    for (const auto& c : cases) {
        ArcOS_PutEnv((std::string("LC_ALL=") + c.locale).c_str());
        EXPECT_EQ(ArcOS_GetCodePage(), c.ccsid) << c.locale;
    }
    ArcOS_PutEnv(("LC_ALL=" + saved.value_or("")).c_str());
}

TEST(EventLog, WritesOneLinePerEventToTheTestFile) {
    TempDir dir;
    std::string file = dir.file("events.log");
    ArcOS_PutEnv(("QEL_EVENTLOG_FILE=" + file).c_str());
    EXPECT_EQ(ArcOS_ReportEvent("Gateway", ARCOS_EVENT_ERROR, 2171, "first"), 0);
    EXPECT_EQ(ArcOS_ReportEvent("Gateway", ARCOS_EVENT_WARNING, 5, "forged\nGateway|1|1|line"), 0);
    ArcOS_PutEnv("QEL_EVENTLOG_FILE=");
    std::string content;
    ASSERT_EQ(ArcOS_ReadFile(file.c_str(), &content), 0);
    EXPECT_EQ(content, "Gateway|1|2171|first\nGateway|2|5|forged Gateway|1|1|line\n");
}

TEST(Mutex, IsRecursiveAndExcludesOthers) {
    ArcOSMutex* m = ArcOS_MutexCreate();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(ArcOS_MutexLock(m), 0);
    EXPECT_EQ(ArcOS_MutexLock(m), 0);
    int counter = 0;
    std::thread other([&] {
        ArcOS_MutexLock(m);
        counter += 1;
        ArcOS_MutexUnlock(m);
    });
    ArcOS_SleepMs(50);
    EXPECT_EQ(counter, 0);
    EXPECT_EQ(ArcOS_MutexUnlock(m), 0);
    EXPECT_EQ(ArcOS_MutexUnlock(m), 0);
    other.join();
    EXPECT_EQ(counter, 1);
    EXPECT_EQ(ArcOS_CloseHandle(m), 0);
    EXPECT_EQ(ArcOS_MutexLock(nullptr), 1);
    EXPECT_EQ(ArcOS_CloseHandle(nullptr), 1);
}

}  // namespace
