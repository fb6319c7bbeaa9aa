// Locating objects, storing them into the cache in place, and loading and storing them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "qel_sm.h"
#include "sm_object_fixture.h"

namespace {

using smtest::MessageText;
using smtest::ReadFile;
using smtest::RoadsScope;
using smtest::Sink;
using smtest::WriteFile;

struct FakeExit {
    static inline std::string name;
    static int Locate(CsHandle*, const SmApplGroup&, const void*, const char* object) {
        return name == object ? CS_OK : CS_NOT_FOUND;
    }
};

class LocateTest : public smtest::ObjectFixture {};

TEST_F(LocateTest, PlacesInOrderWithTheirInfo) {
    WriteFile(CacheFile("INCACHE"), "x");
    FakeExit::name = "ATEXIT";
    RoadsScope roads({nullptr, &FakeExit::Locate, nullptr});
    group_.flags = SM_AG_STORAGE_EXIT;
    int options = 0;
    struct Case {
        const char* name;
        const char* object;
        uint8_t location;
        int exitLast;
        int rc;
        uint8_t found;
        const char* text;
        uint32_t word0;
        int message;
    };
    const Case cases[] = {
        {"cached", "INCACHE$", SM_LOC_CACHE | SM_LOC_PRIMARY, 0, 0, SM_LOCATE_CACHE, "", 0, 0},
        {"the exit before the node", "ATEXIT", SM_LOC_CACHE | SM_LOC_PRIMARY | SM_LOC_EXIT, 0, 0,
         SM_LOCATE_EXIT, "", 0xFFFFFFFF, 0},
        {"the node before a last exit", "ATEXIT", SM_LOC_PRIMARY | SM_LOC_EXIT, 1, 0, SM_LOCATE_NODE,
         "7 0 0 0 0", 7, 0},
        {"a last exit alone", "ATEXIT", SM_LOC_EXIT, 1, 0, SM_LOCATE_EXIT, "", 0xFFFFFFFF, 0},
        {"the node's volume", "ANY", SM_LOC_CACHE | SM_LOC_PRIMARY, 0, 0, SM_LOCATE_NODE, "7 0 0 0 0", 7, 0},
        {"neither cached nor with the exit", "ANY", SM_LOC_CACHE | SM_LOC_EXIT, 0, 6, 0, "", 0, 7},
        {"no place", "ANY", 0, 0, 6, 0, "", 0, 110},
    };
    for (const Case& c : cases) {
        sink_ = Sink{};
        uint8_t found = 99;
        std::string text = "old";
        uint32_t words[5] = {};
        EXPECT_EQ(SmLocateObject(&handle_, &group_, &primary_, c.location, &options, c.object, c.exitLast,
                                 &found, &text, words, nullptr),
                  c.rc)
            << c.name;
        EXPECT_EQ(found, c.found) << c.name;
        EXPECT_EQ(text, c.text) << c.name;
        if (c.rc == 0) {
            EXPECT_EQ(words[0], c.word0) << c.name;
        }
        if (c.message != 0) {
            EXPECT_TRUE(sink_.Said(MessageText(c.message))) << c.name << ": " << sink_.AllMessages();
        } else {
            EXPECT_TRUE(sink_.messages.empty()) << c.name << ": " << sink_.AllMessages();
        }
    }
    EXPECT_TRUE(sink_.Said("No logical place to retrieve object >ANY<"));
}

TEST_F(LocateTest, NotFoundNamesTheGroupAndNoNodeStoreSaysSo) {
    uint8_t found = 0;
    EXPECT_EQ(SmLocateObject(&handle_, &group_, nullptr, SM_LOC_CACHE | SM_LOC_PRIMARY, nullptr, "GONE$", 0,
                             &found, nullptr, nullptr, nullptr),
              6);
    EXPECT_TRUE(sink_.Said("Object >GONE< in Application Group >Invoices< not found in cache"))
        << sink_.AllMessages();

    Open("");  // a cache-only server
    sink_ = Sink{};
    EXPECT_EQ(SmLocateObject(&handle_, &group_, &primary_, SM_LOC_PRIMARY, nullptr, "ANY", 0, &found, nullptr,
                             nullptr, nullptr),
              6);
    EXPECT_TRUE(sink_.Said(MessageText(10))) << sink_.AllMessages();
}

TEST_F(LocateTest, NegativeCachePeriodSkipsTheCache) {
    WriteFile(CacheFile("INCACHE"), "x");
    group_.cachePeriod = -1;
    uint8_t found = 0;
    EXPECT_EQ(SmLocateObject(&handle_, &group_, &primary_, SM_LOC_CACHE, nullptr, "INCACHE", 0, &found,
                             nullptr, nullptr, nullptr),
              6);
    EXPECT_TRUE(sink_.Said(MessageText(110)));
}

TEST_F(LocateTest, AGivenStoreHandleIsUsedAsItIs) {
    // The caller's cache handle is on another root, which holds the object.
    WriteFile(dir_ / "other/data/AG1/DOC/ELSEWHERE", "x");
    QelCacheStore other{dir_ / "other"};
    QelCacheHandle cache{&other.root};
    SmStoreHandle store{&cache, nullptr};
    uint8_t found = 0;
    EXPECT_EQ(SmLocateObject(&handle_, &group_, nullptr, SM_LOC_CACHE, nullptr, "ELSEWHERE", 0, &found,
                             nullptr, nullptr, &store),
              0);
    EXPECT_EQ(found, SM_LOCATE_CACHE);
    EXPECT_EQ(store.cache, &cache);
}

// ---------------------------------------------------------------- storing

// A supplier that hands out its pieces in turn, then answers `end`.
struct Supplier {
    std::vector<std::string> pieces;
    int end = 0;
    size_t next = 0;
    static int Give(void* context, const char** data, uint32_t* length) {
        auto* s = static_cast<Supplier*>(context);
        if (s->next >= s->pieces.size()) {
            *data = nullptr;
            *length = 0;
            return s->end;
        }
        const std::string& piece = s->pieces[s->next++];
        *data = piece.data();
        *length = uint32_t(piece.size());
        return s->next < s->pieces.size() || s->end != 0 ? 1 : 0;
    }
};

class StoreTest : public smtest::ObjectFixture {
protected:
    int Store(const char* name, uint8_t* location, Supplier* supplier, uint64_t* length = nullptr) {
        sink_ = Sink{};
        return SmLoadAndStoreObject(&handle_, &group_, &primary_, &secondary_, location, name,
                                    &Supplier::Give, supplier, 1700000000, length);
    }
};

TEST_F(StoreTest, PlacesArePrunedBeforeTheWrite) {
    struct Case {
        const char* name;
        const char* object;
        uint8_t location;
        int32_t cachePeriod;
        int32_t migrationPeriod;
        bool primaryUsable;
        int rc;
        uint8_t after;
        bool cached;
        int message;
    };
    const uint8_t C = SM_LOC_CACHE, P = SM_LOC_PRIMARY, S = SM_LOC_SECONDARY, F = SM_LOC_CALLER,
                  X = SM_LOC_EXIT;
    const Case cases[] = {
        {"document kept in the cache", "DOC", C | F, 30, 0, true, 0, C | F, true, 0},
        {"document without a cache period", "DOC", C | F, 0, 0, true, 6, 0, false, 109},
        {"resource drops the caller's flag", "RES1", C | F, 1, 0, true, 0, C, true, 0},
        {"resource without a cache period", "RES1", C, 0, 0, true, 6, 0, false, 109},
        {"secondary alone drops the cache", "DOC", C | S | F, 30, -1, true, 6, S, false, 0},
        {"cache-only group drops the nodes", "DOC", C | P | S, 30, 0, true, 0, C, true, 0},
        {"nodes first drop the caller's flag", "DOC", C | P | F, 30, -1, true, 6, C | P, true, 0},
        {"the exit never stores", "DOC", C | X, 30, 0, true, 0, C, true, 0},
        {"unusable primary", "DOC", P, 30, -1, false, 6, 0, false, 109},
        {"no place asked", "DOC", 0, 30, -1, true, 6, 0, false, 109},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(dir_ / "cache");
        group_.cachePeriod = c.cachePeriod;
        group_.migrationPeriod = c.migrationPeriod;
        primary_.flags = c.primaryUsable ? 0 : SM_NODE_UNUSABLE;
        uint8_t location = c.location;
        Supplier supplier{{"object ", "data"}};
        EXPECT_EQ(Store(c.object, &location, &supplier), c.rc) << c.name;
        EXPECT_EQ(location, c.after) << c.name;
        EXPECT_EQ(std::filesystem::exists(CacheFile(c.object)), c.cached) << c.name;
        if (c.cached) {
            EXPECT_EQ(ReadFile(CacheFile(c.object)), "object data") << c.name;
        }
        if (c.message != 0) {
            EXPECT_TRUE(sink_.Said(MessageText(c.message))) << c.name << ": " << sink_.AllMessages();
        } else {
            EXPECT_TRUE(sink_.messages.empty()) << c.name << ": " << sink_.AllMessages();
        }
    }
    EXPECT_TRUE(sink_.Said("No logical place to store object >DOC<"));
}

TEST_F(StoreTest, CacheOnlyServerRewritesOnlyCachedObjects) {
    Open("");  // a cache store but no volumes
    group_.migrationPeriod = -1;
    uint8_t location = SM_LOC_CACHE;
    Supplier nothingLeft{{"x"}};
    EXPECT_EQ(Store("DOC", &location, &nothingLeft), 11) << "the cache is dropped and nothing is left";
    EXPECT_TRUE(sink_.messages.empty()) << sink_.AllMessages();

    location = SM_LOC_CACHE | SM_LOC_PRIMARY;
    Supplier first{{"new"}};
    EXPECT_EQ(Store("DOC", &location, &first), 0);
    EXPECT_FALSE(std::filesystem::exists(CacheFile("DOC"))) << "nothing cached, nothing to rewrite";

    WriteFile(CacheFile("DOC"), "old");
    location = SM_LOC_CACHE | SM_LOC_PRIMARY;
    Supplier second{{"new"}};
    EXPECT_EQ(Store("DOC", &location, &second), 0);
    EXPECT_EQ(ReadFile(CacheFile("DOC")), "new");

    location = SM_LOC_SECONDARY;
    Supplier third{{"new"}};
    EXPECT_EQ(Store("DOC", &location, &third), 6);
    EXPECT_TRUE(sink_.Said(MessageText(10))) << sink_.AllMessages();
}

TEST_F(StoreTest, NoCacheStoreIsReported) {
    WriteFile(dir_ / "install/etc/qel.ini", "");
    Open("");  // neither a cache nor volumes
    group_.migrationPeriod = 0;
    uint8_t location = SM_LOC_CACHE;
    Supplier supplier{{"x"}};
    EXPECT_EQ(Store("DOC", &location, &supplier), 6);
    EXPECT_TRUE(sink_.Said(MessageText(6))) << sink_.AllMessages();
}

TEST_F(StoreTest, TheSuppliersDataIsCollectedWhole) {
    group_.migrationPeriod = 0;
    struct Case {
        const char* name;
        std::vector<std::string> pieces;
        int end;
        int rc;
        std::string stored;
    };
    const Case cases[] = {
        {"pieces joined", {"ab", "", "cd", "e"}, 0, 0, "abcde"},
        {"an empty object", {}, 0, 0, ""},
        {"a failing supplier", {"ab"}, 7, 6, ""},
        {"a supplier answering -1", {"ab"}, -1, 6, ""},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(dir_ / "cache");
        uint8_t location = SM_LOC_CACHE;
        Supplier supplier{c.pieces, c.end};
        uint64_t length = 99;
        EXPECT_EQ(Store("DOC", &location, &supplier, &length), c.rc) << c.name;
        EXPECT_EQ(length, c.rc == 0 ? c.stored.size() : 0u) << c.name;
        EXPECT_EQ(std::filesystem::exists(CacheFile("DOC")), c.rc == 0) << c.name;
        if (c.rc == 0) {
            EXPECT_EQ(ReadFile(CacheFile("DOC")), c.stored) << c.name;
        }
    }
}

TEST_F(StoreTest, StoreIntoCacheNeedsACacheStore) {
    EXPECT_EQ(SmStoreIntoCache(&handle_, &group_, &primary_, &secondary_, "DOC", &Supplier::Give, nullptr),
              6);
    WriteFile(dir_ / "install/etc/qel.ini", "");
    Open("");
    EXPECT_EQ(SmStoreIntoCache(&handle_, &group_, &primary_, &secondary_, "DOC", &Supplier::Give, nullptr),
              11);
}

}  // namespace
