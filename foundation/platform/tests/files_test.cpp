#include "arc_platform.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string readAll(const std::string& path) {
    std::string content;
    EXPECT_EQ(ArcOS_ReadFile(path.c_str(), &content), 0) << path;
    return content;
}

size_t entryCount(const std::string& dir) {
    ArcOSFind* find = ArcOS_FindFirst(dir.c_str());
    size_t n = 0;
    char name[256];
    while (ArcOS_FindNext(find, name, sizeof name) == 0) ++n;
    ArcOS_FindClose(find);
    return n;
}

TEST(Files, AtomicWriteReplacesTheFile) {
    TempDir dir;
    std::string path = dir.file("table.tbl");
    ASSERT_EQ(ArcOS_WriteFileAtomic(path.c_str(), "first\n"), 0);
    EXPECT_EQ(readAll(path), "first\n");
    ASSERT_EQ(ArcOS_WriteFileAtomic(path.c_str(), "second, longer\n"), 0);
    EXPECT_EQ(readAll(path), "second, longer\n");
    EXPECT_EQ(entryCount(dir.path()), 1u) << "no temporary file may stay behind";
}

TEST(Files, FailedRewriteLeavesTheOldFileWhole) {
    TempDir dir;
    std::string path = dir.file("users.tbl");
    ASSERT_EQ(ArcOS_WriteFileAtomic(path.c_str(), "old content that must survive\n"), 0);
    for (const char* step : {"open", "write", "fsync", "rename"}) {
        SCOPED_TRACE(step);
        ArcOS_SetFaultHook([step](const char* at) { return std::string(at) == step ? ENOSPC : 0; });
        EXPECT_EQ(ArcOS_WriteFileAtomic(path.c_str(), "new"), ENOSPC);
        ArcOS_SetFaultHook({});
        EXPECT_EQ(readAll(path), "old content that must survive\n");
        EXPECT_EQ(entryCount(dir.path()), 1u);
    }
}

TEST(Files, ReplaceFileIsAtomicWithoutSyncing) {
    TempDir dir;
    std::string path = dir.file("DEMO_0_ALICE.srv");
    std::vector<std::string> steps;
    ArcOS_SetFaultHook([&](const char* step) {
        steps.push_back(step);
        return 0;
    });
    ASSERT_EQ(ArcOS_ReplaceFile(path.c_str(), "first"), 0);
    ArcOS_SetFaultHook({});
    EXPECT_EQ(steps, (std::vector<std::string>{"open", "write", "rename"}));
    EXPECT_EQ(readAll(path), "first");
    for (const char* step : {"open", "write", "rename"}) {
        SCOPED_TRACE(step);
        ArcOS_SetFaultHook([step](const char* at) { return std::string(at) == step ? ENOSPC : 0; });
        EXPECT_EQ(ArcOS_ReplaceFile(path.c_str(), "second"), ENOSPC);
        ArcOS_SetFaultHook({});
        EXPECT_EQ(readAll(path), "first");
        EXPECT_EQ(entryCount(dir.path()), 1u);
    }
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(Files, CreateFileOnceKeepsTheFirstFile) {
    TempDir dir;
    std::string path = dir.file("qelwww.key");
    ASSERT_EQ(ArcOS_CreateFileOnce(path.c_str(), "first"), 0);
    EXPECT_EQ(ArcOS_CreateFileOnce(path.c_str(), "second"), EEXIST);
    EXPECT_EQ(readAll(path), "first");
    EXPECT_EQ(entryCount(dir.path()), 1u) << "no temporary file may stay behind";
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    std::string other = dir.file("other.key");
    for (const char* step : {"open", "write", "fsync", "rename"}) {
        SCOPED_TRACE(step);
        ArcOS_SetFaultHook([step](const char* at) { return std::string(at) == step ? ENOSPC : 0; });
        EXPECT_EQ(ArcOS_CreateFileOnce(other.c_str(), "x"), ENOSPC);
        ArcOS_SetFaultHook({});
        EXPECT_EQ(entryCount(dir.path()), 1u) << "nothing made, nothing left";
    }
}

TEST(Files, CreateFileOnceHasOneWinner) {
    TempDir dir;
    std::string path = dir.file("qelwww.key");
    std::atomic<int> winners{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&, i] {
            int rc = ArcOS_CreateFileOnce(path.c_str(), std::string(32, char('a' + i)));
            if (rc == 0) ++winners;
            EXPECT_TRUE(rc == 0 || rc == EEXIST) << rc;
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(winners.load(), 1);
    const std::string content = readAll(path);
    EXPECT_EQ(content.size(), 32u);
    EXPECT_EQ(content, std::string(32, content[0])) << "one writer's whole content";
    EXPECT_EQ(entryCount(dir.path()), 1u);
}

TEST(Files, ReadPrivateFileRefusesWhatOthersCouldSee) {
    TempDir dir;
    std::string good = dir.file("good");
    ASSERT_EQ(ArcOS_CreateFileOnce(good.c_str(), "secret"), 0);
    std::string open = dir.file("open");
    ASSERT_EQ(ArcOS_CreateFileOnce(open.c_str(), "secret", 0640), 0);
    std::string link = dir.file("link");
    ASSERT_EQ(symlink(good.c_str(), link.c_str()), 0);
    std::string sub = dir.file("sub");
    ASSERT_EQ(ArcOS_MakeDirectory(sub.c_str()), 0);
    struct Case {
        std::string path;
        size_t maxSize;
        int expected;
    };
    const Case cases[] = {
        {good, 6, 0},     {good, 5, EFBIG}, {open, 6, EPERM},
        {link, 6, ELOOP}, {sub, 6, EINVAL}, {dir.file("missing"), 6, ENOENT},
    };
    for (const Case& c : cases) {
        std::string content = "unchanged";
        EXPECT_EQ(ArcOS_ReadPrivateFile(c.path.c_str(), c.maxSize, &content), c.expected) << c.path;
        EXPECT_EQ(content, c.expected == 0 ? "secret" : "unchanged") << c.path;
    }
}

TEST(Files, AtomicWriteKeepsThePermissionsOfTheReplacedFile) {
    TempDir dir;
    std::string path = dir.file("qelwww.ini");
    ASSERT_EQ(ArcOS_WriteFileAtomic(path.c_str(), "a", 0644), 0);
    ASSERT_EQ(ArcOS_WriteFileAtomic(path.c_str(), "b"), 0);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST(Files, ReadFileReadsWholeFilesOfAnySize) {
    TempDir dir;
    for (size_t size : {size_t(0), size_t(1), size_t(4096), size_t(65537), size_t(1) << 20}) {
        SCOPED_TRACE(size);
        std::string data(size, '\0');
        for (size_t i = 0; i < size; ++i) data[i] = char('a' + i % 23);
        std::string path = dir.file("f" + std::to_string(size));
        ASSERT_EQ(ArcOS_WriteFileAtomic(path.c_str(), data), 0);
        EXPECT_EQ(readAll(path), data);
    }
    // Files that report no size are read to their end all the same.
    std::string status = readAll("/proc/self/status");
    EXPECT_NE(status.find("Pid:"), std::string::npos);
}

TEST(Files, TouchSetsTheTimeAndKeepsTheContent) {
    TempDir dir;
    std::string path = dir.file("s_1_D.doc");
    ASSERT_EQ(ArcOS_WriteFileAtomic(path.c_str(), "cached document"), 0);
    struct timespec old[2] = {{1000, 0}, {1000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
    struct stat before;
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    EXPECT_EQ(ArcOS_TouchFile(path.c_str()), 0);
    struct stat after;
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_GT(after.st_mtime, ArcOS_TimeNow() - 60);
    EXPECT_EQ(after.st_ino, before.st_ino) << "touched in place, not written again";
    EXPECT_EQ(readAll(path), "cached document");
    EXPECT_EQ(ArcOS_TouchFile(dir.file("missing").c_str()), ENOENT);
    EXPECT_EQ(ArcOS_TouchFile(nullptr), EINVAL);
}

TEST(Files, ReadFileReportsWhatWentWrong) {
    TempDir dir;
    std::string content = "untouched";
    EXPECT_EQ(ArcOS_ReadFile(dir.file("missing").c_str(), &content), ENOENT);
    EXPECT_EQ(content, "untouched");
    EXPECT_EQ(ArcOS_ReadFile(dir.path().c_str(), &content), EISDIR);
}

TEST(Files, ListingSkipsDotEntriesAndChecksTheBufferSize) {
    TempDir dir;
    for (const char* name : {"a.tbl", "b.tbl", "long-name.tbl"})
        ASSERT_EQ(ArcOS_WriteFileAtomic(dir.file(name).c_str(), ""), 0);
    ArcOSFind* find = ArcOS_FindFirst(dir.path().c_str());
    ASSERT_NE(find, nullptr);
    std::set<std::string> names;
    char name[256];
    while (ArcOS_FindNext(find, name, sizeof name) == 0) names.insert(name);
    ArcOS_FindClose(find);
    EXPECT_EQ(names, (std::set<std::string>{"a.tbl", "b.tbl", "long-name.tbl"}));

    // A name that does not fit ends the listing instead of overrunning the buffer.
    TempDir one;
    ASSERT_EQ(ArcOS_WriteFileAtomic(one.file("long-name.tbl").c_str(), ""), 0);
    find = ArcOS_FindFirst(one.path().c_str());
    char small[5];
    EXPECT_EQ(ArcOS_FindNext(find, small, sizeof small), -1);
    ArcOS_FindClose(find);

    EXPECT_EQ(ArcOS_FindFirst(dir.file("none").c_str()), nullptr);
}

TEST(Files, TempNameCreatesAPrivateFile) {
    TempDir dir;
    char* name = ArcOS_TempName(dir.path().c_str(), "qel");
    ASSERT_NE(name, nullptr);
    std::string path = name;
    free(name);
    EXPECT_EQ(path.rfind(dir.path() + "/qel", 0), 0u);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(ArcOS_TempName(dir.file("no/such").c_str(), "qel"), nullptr);
    EXPECT_EQ(ArcOS_TempName(dir.path().c_str(), "../escape"), nullptr);
}

// A child that is killed in the middle of an atomic write, as kill -9 ends a CGI request:
// the name of the temporary file it leaves behind.
std::string leftoverOfKilledWriter(const TempDir& dir, const std::string& target) {
    pid_t child = fork();
    if (child == 0) {
        ArcOS_SetFaultHook([](const char* step) {
            if (std::string(step) == "fsync") raise(SIGKILL);
            return 0;
        });
        ArcOS_WriteFileAtomic(dir.file(target).c_str(), "half written");
        _exit(0);
    }
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    ArcOSFind* find = ArcOS_FindFirst(dir.path().c_str());
    char name[256];
    std::string found;
    while (ArcOS_FindNext(find, name, sizeof name) == 0) {
        if (std::string(name).rfind("." + target + ".tmp", 0) == 0) found = name;
    }
    ArcOS_FindClose(find);
    return found;
}

void setAge(const std::string& path, int64_t seconds) {
    const time_t then = time(nullptr) - seconds;
    struct timespec times[2] = {{then, 0}, {then, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

TEST(Files, LeftoversOfKilledWritersGoOnceNoWriterCanOwnThem) {
    TempDir dir;
    const std::string old = leftoverOfKilledWriter(dir, "GROUP.seg");
    const std::string fresh = leftoverOfKilledWriter(dir, "user.tbl");
    ASSERT_FALSE(old.empty());
    ASSERT_FALSE(fresh.empty());
    EXPECT_TRUE(ArcOS_IsWriteTempName(old)) << old;
    setAge(dir.file(old), ARCOS_WRITE_LEFTOVER_AGE + 60);
    setAge(dir.file(fresh), ARCOS_WRITE_LEFTOVER_AGE - 60);

    struct Case {
        const char* name;
        bool removed;  // when an old regular file
    };
    const Case cases[] = {
        {".a.srv.tmpAb3dE9", true},  {".x.tmp000000", true},
        {"a.srv.tmpAb3dE9", false},  // not hidden: someone's own file
        {".a.srv.tmpAb3dE", false},  // five characters
        {".a.srv.tmpAb3d-9", false}, {".a.srv.tmp_Ab3dE9", false},
        {"..tmpAb3dE9", false},  // no name of a file
        {".a.srv.lck", false},       {"qelwww.lck", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ArcOS_IsWriteTempName(c.name), c.removed) << c.name;
        ASSERT_EQ(ArcOS_WriteFileAtomic(dir.file(c.name).c_str(), "x"), 0) << c.name;
        setAge(dir.file(c.name), ARCOS_WRITE_LEFTOVER_AGE * 24);
    }
    // Only regular files: a link or a directory of that name is nobody's leftover.
    ASSERT_EQ(symlink(dir.file("qelwww.lck").c_str(), dir.file(".link.tmpAAAAAA").c_str()), 0);
    setAge(dir.file(".link.tmpAAAAAA"), ARCOS_WRITE_LEFTOVER_AGE * 24);
    ASSERT_EQ(mkdir(dir.file(".dir.tmpBBBBBB").c_str(), 0700), 0);
    setAge(dir.file(".dir.tmpBBBBBB"), ARCOS_WRITE_LEFTOVER_AGE * 24);
    // A time ahead of the clock says nothing about the writer.
    ASSERT_EQ(ArcOS_WriteFileAtomic(dir.file(".future.tmpCCCCCC").c_str(), "x"), 0);
    setAge(dir.file(".future.tmpCCCCCC"), -ARCOS_WRITE_LEFTOVER_AGE * 24);

    EXPECT_EQ(ArcOS_RemoveWriteLeftovers(dir.path().c_str()), 3);
    struct stat st;
    EXPECT_NE(lstat(dir.file(old).c_str(), &st), 0) << old;
    EXPECT_EQ(lstat(dir.file(fresh).c_str(), &st), 0) << "a live writer's file stays: " << fresh;
    for (const Case& c : cases) EXPECT_EQ(lstat(dir.file(c.name).c_str(), &st) != 0, c.removed) << c.name;
    for (const char* kept : {".link.tmpAAAAAA", ".dir.tmpBBBBBB", ".future.tmpCCCCCC"})
        EXPECT_EQ(lstat(dir.file(kept).c_str(), &st), 0) << kept;

    EXPECT_EQ(ArcOS_RemoveWriteLeftovers(dir.file("none").c_str()), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(ArcOS_RemoveWriteLeftovers(nullptr), -1);
}

TEST(Files, UnlinkStatAndDirectories) {
    TempDir dir;
    std::string path = dir.file("f");
    ASSERT_EQ(ArcOS_WriteFileAtomic(path.c_str(), "12345"), 0);
    ArcOSStat st;
    ASSERT_EQ(ArcOS_Stat64(path.c_str(), &st), 0);
    EXPECT_EQ(st.size, 5);
    EXPECT_TRUE(st.isRegular);
    EXPECT_FALSE(st.isDirectory);
    EXPECT_EQ(ArcOS_Unlink(path.c_str()), 0);
    EXPECT_EQ(ArcOS_Stat64(path.c_str(), &st), -1);
    EXPECT_EQ(ArcOS_Unlink(path.c_str()), -1);

    std::string sub = dir.file("sub");
    EXPECT_EQ(ArcOS_MakeDirectory(sub.c_str()), 0);
    EXPECT_EQ(ArcOS_MakeDirectory(sub.c_str()), 0) << "an existing directory is no failure";
    EXPECT_TRUE(ArcOS_IsDirectory(sub.c_str()));
    ASSERT_EQ(ArcOS_Stat64(sub.c_str(), &st), 0);
    EXPECT_EQ(st.mode, 0700u);
    ASSERT_EQ(ArcOS_WriteFileAtomic((sub + "/x").c_str(), ""), 0);
    EXPECT_EQ(ArcOS_RemoveDirectory(sub.c_str()), -1) << "only empty directories go";
    ASSERT_EQ(ArcOS_Unlink((sub + "/x").c_str()), 0);
    EXPECT_EQ(ArcOS_RemoveDirectory(sub.c_str()), 0);
    EXPECT_FALSE(ArcOS_IsDirectory(sub.c_str()));
    ASSERT_EQ(ArcOS_MakeDirectory(sub.c_str()), 0);
    ASSERT_EQ(ArcOS_WriteFileAtomic(dir.file("plain").c_str(), ""), 0);
    EXPECT_EQ(ArcOS_MakeDirectory(dir.file("plain").c_str()), EEXIST);
}

TEST(Files, ByteLockExcludesOtherThreads) {
    TempDir dir;
    std::string path = dir.file("qelwww.lck");
    int a = open(path.c_str(), O_RDWR | O_CREAT, 0600);
    int b = open(path.c_str(), O_RDWR);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    ASSERT_EQ(ArcOS_LockByte(a), 0);
    std::atomic<bool> acquired{false};
    std::thread other([&] {
        EXPECT_EQ(ArcOS_LockByte(b), 0);
        acquired = true;
        EXPECT_EQ(ArcOS_UnlockByte(b), 0);
    });
    ArcOS_SleepMs(100);
    EXPECT_FALSE(acquired.load()) << "the second lock must wait for the first";
    EXPECT_EQ(ArcOS_UnlockByte(a), 0);
    other.join();
    EXPECT_TRUE(acquired.load());
    close(a);
    close(b);
}

TEST(Files, PathLockStartsAgainWhenTheHolderRemovedTheFile) {
    TempDir dir;
    std::string path = dir.file("user.lck");
    int first = ArcOS_LockPath(path.c_str());
    ASSERT_GE(first, 0);
    std::atomic<int> second{-1};
    std::thread waiter([&] { second = ArcOS_LockPath(path.c_str()); });
    ArcOS_SleepMs(100);
    EXPECT_EQ(second.load(), -1) << "the second lock must wait for the first";
    ArcOS_UnlockPath(first, path.c_str(), true);
    waiter.join();
    ASSERT_GE(second.load(), 0);
    // The waiter holds the file now named by the path, so a third one waits for it.
    struct stat held {};
    struct stat named {};
    ASSERT_EQ(fstat(second.load(), &held), 0);
    ASSERT_EQ(stat(path.c_str(), &named), 0);
    EXPECT_EQ(held.st_ino, named.st_ino);
    std::atomic<bool> third{false};
    std::thread other([&] {
        int fd = ArcOS_LockPath(path.c_str());
        third = fd >= 0;
        ArcOS_UnlockPath(fd, path.c_str(), false);
    });
    ArcOS_SleepMs(100);
    EXPECT_FALSE(third.load());
    ArcOS_UnlockPath(second.load(), path.c_str(), false);
    other.join();
    EXPECT_TRUE(third.load());
    EXPECT_EQ(ArcOS_LockPath(dir.file("missing/user.lck").c_str()), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST(Files, PathLockExcludesWhileHoldersRemoveTheFile) {
    TempDir dir;
    std::string path = dir.file("user.lck");
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 150; ++i) {
                int fd = ArcOS_LockPath(path.c_str());
                if (fd < 0) {
                    ++overlaps;
                    return;
                }
                if (inside.fetch_add(1) != 0) ++overlaps;
                std::this_thread::yield();
                inside.fetch_sub(1);
                ArcOS_UnlockPath(fd, path.c_str(), (i + t) % 2 == 0);
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(overlaps.load(), 0);
}

}  // namespace
