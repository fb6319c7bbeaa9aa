// Cache file names, the two locks, and reading, writing and removing cache files.
#include "www_test_support.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <set>
#include <thread>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "arc_platform.h"

namespace {

namespace fs = std::filesystem;
using wwwtest::ScratchDir;

std::string Decoded(std::string text) {
    QelWWW_PercentDecode(&text);
    return text;
}

// What a name part must never hold: a path separator, a field separator, "..", control bytes.
void ExpectHarmless(const std::string& encoded, const std::string& label) {
    EXPECT_EQ(encoded.find('/'), std::string::npos) << label;
    EXPECT_EQ(encoded.find('_'), std::string::npos) << label;
    EXPECT_EQ(encoded.find(".."), std::string::npos) << label;
    for (char c : encoded) EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << label;
}

TEST(CacheNamePart, KeepsPlainTextAndEscapesTheRest) {
    struct Case {
        std::string value;
        std::string expected;
    } cases[] = {
        {"host", "host"},
        {"archive-1.example.com", "archive-1.example.com"},
        {"USER1", "USER1"},
        {"", ""},
        {"a_b", "a%5Fb"},
        {"..", "%2E%2E"},
        {"../../etc/passwd", "%2E%2E%2F%2E%2E%2Fetc%2Fpasswd"},
        {"a..b", "a%2E.b"},
        {".hidden", "%2Ehidden"},
        {"trail.", "trail%2E"},
        {"100%", "100%25"},
        {"a b+c", "a%20b%2Bc"},
        {"line\nfeed\x7F", "line%0Afeed%7F"},
        {"caf\xC3\xA9", "caf%C3%A9"},
        {std::string("nul\0x", 5), "nul%00x"},
    };
    for (const Case& c : cases) {
        std::string encoded = QelWWW_CacheNamePart(c.value);
        EXPECT_EQ(encoded, c.expected) << c.value;
        ExpectHarmless(encoded, c.value);
        EXPECT_EQ(Decoded(encoded), c.value) << "decoding gives the value back: " << c.value;
    }
}

TEST(CacheNamePart, EveryByteAndDotRunStaysHarmlessAndDistinct) {
    std::set<std::string> seen;
    std::set<std::string> values;
    for (int c = 0; c < 256; ++c) {
        values.insert(std::string(1, static_cast<char>(c)));
        values.insert("x" + std::string(1, static_cast<char>(c)) + ".");
    }
    for (int dots = 1; dots <= 5; ++dots) {
        values.insert(std::string(static_cast<size_t>(dots), '.'));
        values.insert("a" + std::string(static_cast<size_t>(dots), '.') + "b");
    }
    for (const std::string& value : values) {
        std::string encoded = QelWWW_CacheNamePart(value);
        ExpectHarmless(encoded, value);
        EXPECT_EQ(Decoded(encoded), value);
        EXPECT_TRUE(seen.insert(encoded).second) << "two values share the name " << encoded;
    }
}

TEST(CacheFilePaths, NameServerPortUserFolderAndDocument) {
    QelWWWConfig config;
    config.cacheDir = "/var/cache/qel";
    struct Case {
        const char* label;
        std::string server;
        int32_t port;
        std::string user;
        std::string folder;
        std::string srv, fnm, fld, doc, res;
    } cases[] = {
        {"plain", "archive", 1445, "ALICE", "Invoices", "/var/cache/qel/archive_1445_ALICE.srv",
         "/var/cache/qel/archive_1445_ALICE.fnm", "/var/cache/qel/archive_1445_ALICE_Invoices.fld",
         "/var/cache/qel/archive_1445_D1.doc", "/var/cache/qel/archive_1445_3-7.res"},
        {"hostile", "../../etc", 0, "a/b", "x_y z", "/var/cache/qel/%2E%2E%2F%2E%2E%2Fetc_0_a%2Fb.srv",
         "/var/cache/qel/%2E%2E%2F%2E%2E%2Fetc_0_a%2Fb.fnm",
         "/var/cache/qel/%2E%2E%2F%2E%2E%2Fetc_0_a%2Fb_x%5Fy%20z.fld",
         "/var/cache/qel/%2E%2E%2F%2E%2E%2Fetc_0_D1.doc", "/var/cache/qel/%2E%2E%2F%2E%2E%2Fetc_0_3-7.res"},
        {"no user", "archive", 1, "", "F", "", "", "", "/var/cache/qel/archive_1_D1.doc",
         "/var/cache/qel/archive_1_3-7.res"},
        {"no folder", "archive", 1, "U", "", "/var/cache/qel/archive_1_U.srv",
         "/var/cache/qel/archive_1_U.fnm", "", "/var/cache/qel/archive_1_D1.doc",
         "/var/cache/qel/archive_1_3-7.res"},
        {"no server", "", 1, "U", "F", "", "", "", "", ""},
    };
    for (const Case& c : cases) {
        QelWWWSession session;
        session.server = c.server;
        session.port = c.port;
        session.user = c.user;
        session.folder = c.folder;
        EXPECT_EQ(QelWWW_StateFilePath(&config, &session, "srv"), c.srv) << c.label;
        EXPECT_EQ(QelWWW_StateFilePath(&config, &session, "fnm"), c.fnm) << c.label;
        EXPECT_EQ(QelWWW_FolderFilePath(&config, &session), c.fld) << c.label;
        EXPECT_EQ(QelWWW_DocumentFilePath(&config, &session, "D1", "doc"), c.doc) << c.label;
        EXPECT_EQ(QelWWW_ResourceFilePath(&config, &session, 3, 7), c.res) << c.label;
    }
}

TEST(CacheFilePaths, PartsThatOnceRanTogetherNameDifferentFiles) {
    QelWWWConfig config;
    config.cacheDir = "/c";
    struct Logon {
        std::string server;
        int32_t port;
        std::string user;
        std::string folder;
    } logons[] = {
        {"host1", 445, "u", "f"}, {"host", 1445, "u", "f"}, {"x_1", 2, "b", "f"},
        {"x", 1, "2_b", "f"},     {"s", 1, "a_b", "c"},     {"s", 1, "a", "b_c"},
    };
    std::set<std::string> names;
    for (const Logon& l : logons) {
        QelWWWSession session;
        session.server = l.server;
        session.port = l.port;
        session.user = l.user;
        session.folder = l.folder;
        EXPECT_TRUE(names.insert(QelWWW_StateFilePath(&config, &session, "srv")).second)
            << l.server << "/" << l.user;
        EXPECT_TRUE(names.insert(QelWWW_FolderFilePath(&config, &session)).second)
            << l.user << "/" << l.folder;
    }
    QelWWWSession session;
    session.server = "s";
    session.user = "u";
    for (const char* extension : {"", "exe", "srv/../x", "SRV"}) {
        EXPECT_EQ(QelWWW_StateFilePath(&config, &session, extension), "") << extension;
        EXPECT_EQ(QelWWW_DocumentFilePath(&config, &session, "d", extension), "") << extension;
    }
    EXPECT_EQ(QelWWW_StateFilePath(&config, &session, nullptr), "");
    for (const char* extension : {"asc", "idx", "idoc"})
        EXPECT_EQ(QelWWW_DocumentFilePath(&config, &session, "d", extension),
                  std::string("/c/s_0_d.") + extension);
}

TEST(CacheFileClass, FollowsTheLastExtensionExactly) {
    struct Case {
        const char* name;
        uint32_t fileClass;
    } cases[] = {
        {"a_1_d.doc", 0},        {"a_1_d.idoc", 0},  {"a_1_d.asc", 0}, {"a_1_d.idx", 0},
        {"a_1_1-2.res", 1},      {"a_1_u_f.fld", 2}, {"a_1_u.srv", 3}, {"a_1_u.fnm", 3},
        {"qelwww.lck", 4},       {"README", 4},      {"a.DOC", 4},     {"a.srv.bak", 4},
        {".a.srv.tmpAbC123", 4}, {"a.srv.", 4},      {"", 4},          {"x.doc.srv", 3},
    };
    for (const Case& c : cases) EXPECT_EQ(QelWWW_CacheFileClass(c.name), c.fileClass) << c.name;
}

// A configuration over a fresh cache directory, with its mutex.
class CacheFiles : public ::testing::Test {
protected:
    void SetUp() override {
        config_.cacheDir = dir_.MakeDir("cache");
        config_.lockFilePath = config_.cacheDir + "/qelwww.lck";
        config_.cacheSize = 10 * 1048576;
        config_.cacheLowMark = 40;
        config_.cacheHighMark = 80;
        config_.cacheMutex = ArcOS_MutexCreate();
        ASSERT_NE(config_.cacheMutex, nullptr);
    }
    void TearDown() override { ArcOS_CloseHandle(config_.cacheMutex); }
    std::string Path(const std::string& name) const { return config_.cacheDir + "/" + name; }

    ScratchDir dir_;
    QelWWWConfig config_;
    QelWWWSession session_;
};

TEST_F(CacheFiles, WriteReadRemoveRoundTrip) {
    const std::string path = Path("srv_1_U.srv");
    const std::string data("state\0blob\xFF", 11);
    ASSERT_TRUE(QelWWW_WriteCacheFile(&config_, &session_, path.c_str(), data.data(), data.size()));
    EXPECT_FALSE(session_.cacheLock) << "the lock is released after the write";
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(config_.lockFilePath).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);

    int64_t modified = 0;
    uint64_t size = 0;
    auto read = QelWWW_ReadCacheFile(&config_, &session_, path.c_str(), &modified, &size, false);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, data);
    EXPECT_EQ(size, data.size());
    EXPECT_GT(modified, 0);

    const std::string shorter = "new";
    ASSERT_TRUE(QelWWW_WriteCacheFile(&config_, &session_, path.c_str(), shorter.data(), shorter.size()));
    EXPECT_EQ(QelWWW_ReadCacheFile(&config_, &session_, path.c_str(), nullptr, nullptr, false), shorter)
        << "a rewrite replaces the whole file";
    ASSERT_TRUE(QelWWW_WriteCacheFile(&config_, &session_, path.c_str(), nullptr, 0));
    EXPECT_EQ(QelWWW_ReadCacheFile(&config_, &session_, path.c_str(), nullptr, nullptr, false), "");

    EXPECT_TRUE(QelWWW_RemoveCacheFile(&config_, &session_, path.c_str()));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(QelWWW_RemoveCacheFile(&config_, &session_, path.c_str()));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(
        QelWWW_ReadCacheFile(&config_, &session_, path.c_str(), nullptr, nullptr, false).has_value());
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(session_.cacheLock);
}

TEST_F(CacheFiles, RefusesPathsOutsideTheCacheDirectory) {
    dir_.MakeDir("cache/sub");
    dir_.MakeDir("cacheX");
    const std::string cache = config_.cacheDir;
    struct Case {
        const char* label;
        std::string path;
    } cases[] = {
        {"null", ""},
        {"the directory itself", cache},
        {"directory with slash", cache + "/"},
        {"parent", cache + "/.."},
        {"dot", cache + "/."},
        {"climbing out", cache + "/../escaped.srv"},
        {"sub directory", cache + "/sub/x.srv"},
        {"sibling with the same prefix", cache + "X/x.srv"},
        {"relative", "x.srv"},
        {"control character", cache + "/a\nb.srv"},
    };
    const std::string data = "x";
    for (const Case& c : cases) {
        const char* path = c.path.empty() ? nullptr : c.path.c_str();
        errno = 0;
        EXPECT_FALSE(QelWWW_WriteCacheFile(&config_, &session_, path, data.data(), data.size())) << c.label;
        EXPECT_EQ(errno, EINVAL) << c.label;
        EXPECT_FALSE(QelWWW_ReadCacheFile(&config_, &session_, path, nullptr, nullptr, true).has_value())
            << c.label;
        EXPECT_FALSE(QelWWW_RemoveCacheFile(&config_, &session_, path)) << c.label;
    }
    EXPECT_FALSE(fs::exists(dir_.Path() + "/escaped.srv"));
    EXPECT_FALSE(fs::exists(cache + "/sub/x.srv"));
    EXPECT_FALSE(fs::exists(cache + "X/x.srv"));
    EXPECT_TRUE(fs::exists(cache + "/sub")) << "a directory is never removed";
}

TEST_F(CacheFiles, TouchKeepsTheContentAndMakesTheFileNewest) {
    const std::string path = Path("s_1_D.doc");
    const std::string data(5000, 'd');
    ASSERT_TRUE(QelWWW_WriteCacheFile(&config_, &session_, path.c_str(), data.data(), data.size()));
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(1);
    fs::last_write_time(path, old);
    const int64_t oldSeconds = ArcOS_TimeNow() - 3600;

    int64_t modified = 0;
    EXPECT_EQ(QelWWW_ReadCacheFile(&config_, &session_, path.c_str(), &modified, nullptr, false), data);
    EXPECT_EQ(fs::last_write_time(path), old) << "a read without touch leaves the time";
    EXPECT_NEAR(static_cast<double>(modified), static_cast<double>(oldSeconds), 2.0);

    uint64_t size = 0;
    EXPECT_EQ(QelWWW_ReadCacheFile(&config_, &session_, path.c_str(), &modified, &size, true), data);
    EXPECT_NEAR(static_cast<double>(modified), static_cast<double>(oldSeconds), 2.0)
        << "the time reported is the one before the touch";
    EXPECT_EQ(size, data.size());
    EXPECT_GT(fs::last_write_time(path), old + std::chrono::minutes(59));
    EXPECT_EQ(fs::file_size(path), data.size());
    EXPECT_EQ(QelWWW_ReadCacheFile(&config_, &session_, path.c_str(), nullptr, nullptr, false), data);
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(CacheFiles, ALockFailureSkipsTheOperationAndReleasesTheMutex) {
    config_.lockFilePath = dir_.Path() + "/missing-dir/qelwww.lck";
    const std::string path = Path("s_1_U.srv");
    EXPECT_FALSE(QelWWW_WriteCacheFile(&config_, &session_, path.c_str(), "x", 1));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(fs::exists(path));
    // Another thread must get the mutex now, or the failed write kept it.
    auto other = std::async(std::launch::async, [&] {
        QelWWW_LockCacheMutex(&config_);
        QelWWW_UnlockCacheMutex(&config_);
        return true;
    });
    ASSERT_EQ(other.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    config_.lockFilePath = config_.cacheDir + "/qelwww.lck";
    EXPECT_TRUE(QelWWW_WriteCacheFile(&config_, &session_, path.c_str(), "x", 1));
}

TEST_F(CacheFiles, ASessionHoldsOneLockAndOtherThreadsWaitForIt) {
    ASSERT_TRUE(QelWWW_LockCacheFile(&config_, &session_));
    EXPECT_FALSE(QelWWW_LockCacheFile(&config_, &session_)) << "a second lock would wait for itself";
    EXPECT_EQ(errno, EDEADLK);

    std::atomic<bool> written{false};
    auto writer = std::async(std::launch::async, [&] {
        QelWWWSession other;
        bool ok = QelWWW_WriteCacheFile(&config_, &other, Path("t_1_U.srv").c_str(), "y", 1);
        written = true;
        return ok;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(written) << "a write of another thread waits for the byte lock";
    QelWWW_UnlockCacheFile(&config_, &session_);
    ASSERT_EQ(writer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(writer.get());
    EXPECT_TRUE(fs::exists(Path("t_1_U.srv")));
    QelWWW_UnlockCacheFile(&config_, &session_);  // nothing held: nothing happens
}

// A request killed with kill -9 while it saves its state: the child dies between writing
// the temporary file and renaming it. Gives the name of the temporary file it left.
std::string KilledWhileSaving(const QelWWWConfig& config, const std::string& name) {
    pid_t child = fork();
    if (child == 0) {
        ArcOS_SetFaultHook([](const char* step) {
            if (std::string(step) == "rename") raise(SIGKILL);
            return 0;
        });
        QelWWWSession session;
        const std::string path = config.cacheDir + "/" + name;
        QelWWW_WriteCacheFile(&config, &session, path.c_str(), "state", 5);
        _exit(0);
    }
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    for (const auto& entry : fs::directory_iterator(config.cacheDir)) {
        const std::string file = entry.path().filename().string();
        if (file.rfind("." + name + ".tmp", 0) == 0) return file;
    }
    return {};
}

TEST_F(CacheFiles, TheNextWriteRemovesWhatKilledWritersLeftOnceOld) {
    const std::string old = KilledWhileSaving(config_, "s_1_ALICE.srv");
    const std::string fresh = KilledWhileSaving(config_, "s_1_BOB.srv");
    ASSERT_FALSE(old.empty());
    ASSERT_FALSE(fresh.empty());
    EXPECT_FALSE(fs::exists(Path("s_1_ALICE.srv")));
    fs::last_write_time(
        Path(old), fs::file_time_type::clock::now() - std::chrono::seconds(ARCOS_WRITE_LEFTOVER_AGE + 60));

    const std::string path = Path("s_1_CAROL.srv");
    ASSERT_TRUE(QelWWW_WriteCacheFile(&config_, &session_, path.c_str(), "x", 1));
    EXPECT_FALSE(fs::exists(Path(old)));
    EXPECT_TRUE(fs::exists(Path(fresh))) << "it may be a live writer's";
    // Nor does it count against the high mark any longer.
    EXPECT_EQ(CheckCacheSize(&config_, 0), fs::file_size(path) + fs::file_size(Path(fresh)));
}

// The running figure against a count of the directory after every kind of change; a file
// planted behind the gateway's back shows whether a write counted the directory.
TEST_F(CacheFiles, TheRunningSizeFollowsWritesRemovalsAndPurges) {
    config_.cacheSize = 1000;  // high mark 800, low mark 400
    auto write = [&](const std::string& name, size_t size) {
        const std::string data(size, 'x');
        return QelWWW_WriteCacheFile(&config_, &session_, Path(name).c_str(), data.data(), data.size());
    };
    ASSERT_TRUE(write("s_1_A.srv", 100));
    EXPECT_EQ(QelWWW_CacheSizeFigure(&config_, &session_), 100u) << "the first write counts the directory";
    {
        std::ofstream planted(Path("planted.txt"));
        planted << std::string(50, 'p');
    }
    struct Step {
        const char* name;
        std::function<bool()> change;
        uint64_t figure;
    };
    const Step steps[] = {
        {"a new file adds its length", [&] { return write("s_1_B.fnm", 200); }, 300},
        {"a rewrite counts the difference", [&] { return write("s_1_A.srv", 40); }, 240},
        {"an unchanged update writes nothing",
         [&] {
             bool written = true;
             const std::string same(40, 'x');
             return QelWWW_UpdateCacheFile(&config_, &session_, Path("s_1_A.srv").c_str(), same.data(),
                                           same.size(), 0, &written) &&
                    !written;
         },
         240},
        {"a removal subtracts the file",
         [&] { return QelWWW_RemoveCacheFile(&config_, &session_, Path("s_1_B.fnm").c_str()); }, 40},
        {"a removal of a missing file changes nothing",
         [&] { return !QelWWW_RemoveCacheFile(&config_, &session_, Path("s_1_B.fnm").c_str()); }, 40},
        // 40 + 500 under the mark by the figure, which does not know the planted 50 bytes.
        {"writes trust the figure", [&] { return write("d_1_X.doc", 500); }, 540},
        // 540 + 300 over 800: the directory is counted (590 with the planted file) and the
        // purge frees 190 down to the low mark: the document, then nothing more is needed.
        {"over the high mark the directory is counted and purged", [&] { return write("d_1_Y.doc", 300); },
         390},
    };
    for (const Step& step : steps) {
        ASSERT_TRUE(step.change()) << step.name;
        EXPECT_EQ(QelWWW_CacheSizeFigure(&config_, &session_), step.figure) << step.name;
    }
    EXPECT_FALSE(fs::exists(Path("d_1_X.doc")));
    EXPECT_EQ(CheckCacheSize(&config_, 0), 390u) << "after the purge the figure is the directory's";
}

TEST_F(CacheFiles, AMissingDamagedOrUnfinishedFigureIsCountedAgain) {
    const std::string data(100, 'x');
    ASSERT_TRUE(
        QelWWW_WriteCacheFile(&config_, &session_, Path("s_1_A.srv").c_str(), data.data(), data.size()));
    const auto figure = [&]() {
        std::ifstream in(config_.lockFilePath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    ASSERT_FALSE(figure.empty());
    const auto spoil = [&](const std::string& content) {
        std::ofstream out(config_.lockFilePath, std::ios::binary | std::ios::trunc);
        out << content;
    };
    std::string digitChanged = figure;
    digitChanged[figure.find('1')] = '9';
    struct Case {
        const char* name;
        std::function<void()> spoil;
    };
    const Case cases[] = {
        {"no lock file", [&] { fs::remove(config_.lockFilePath); }},
        {"an empty lock file", [&] { spoil(""); }},
        {"a cut record", [&] { spoil(figure.substr(0, figure.size() - 2)); }},
        {"a digit changed", [&] { spoil(digitChanged); }},
        {"text", [&] { spoil("size of the cache: about 1 GB\n"); }},
        {"the mark of a change that did not end", [&] { spoil(std::string(figure.size() - 1, '-') + "\n"); }},
    };
    for (const Case& c : cases) {
        spoil(figure);
        ASSERT_EQ(QelWWW_CacheSizeFigure(&config_, &session_), 100u) << c.name;
        // A file planted meanwhile is found only by counting the directory.
        {
            std::ofstream planted(Path("planted.txt"), std::ios::trunc);
            planted << std::string(30, 'p');
        }
        c.spoil();
        EXPECT_FALSE(QelWWW_CacheSizeFigure(&config_, &session_).has_value()) << c.name;
        ASSERT_TRUE(
            QelWWW_WriteCacheFile(&config_, &session_, Path("s_1_A.srv").c_str(), data.data(), data.size()))
            << c.name;
        EXPECT_EQ(QelWWW_CacheSizeFigure(&config_, &session_), 130u) << c.name;
        EXPECT_EQ(CheckCacheSize(&config_, 0), 130u) << c.name;
        fs::remove(Path("planted.txt"));
        spoil(figure);
    }
}

// A request that changed nothing leaves the file as it is: same inode, same time.
TEST_F(CacheFiles, AnUpdateWritesOnlyWhatChanged) {
    const std::string path = Path("s_1_A.srv");
    ASSERT_TRUE(QelWWW_WriteCacheFile(&config_, &session_, path.c_str(), "state", 5));
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    struct Case {
        const char* name;
        std::string data;
        int64_t notBefore;
        bool written;
    };
    const Case cases[] = {
        {"the same bytes", "state", 0, false},
        {"the same bytes, as new as asked", "state", before.st_mtime, false},
        {"the same bytes, older than asked", "state", before.st_mtime + 1, true},
        {"other bytes of the same length", "STATE", 0, true},
        {"a longer file", "states", 0, true},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(QelWWW_WriteCacheFile(&config_, &session_, path.c_str(), "state", 5));
        ASSERT_EQ(stat(path.c_str(), &before), 0);
        bool written = !c.written;
        ASSERT_TRUE(QelWWW_UpdateCacheFile(&config_, &session_, path.c_str(), c.data.data(), c.data.size(),
                                           c.notBefore, &written))
            << c.name;
        EXPECT_EQ(written, c.written) << c.name;
        struct stat after {};
        ASSERT_EQ(stat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino != before.st_ino, c.written) << c.name;
        EXPECT_EQ(QelWWW_ReadCacheFile(&config_, &session_, path.c_str(), nullptr, nullptr, false), c.data)
            << c.name;
    }
}

}  // namespace
