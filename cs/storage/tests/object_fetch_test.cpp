// Fetching objects: places, windows, names, the cache copy of resources, the exit road.
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

std::string Pattern(size_t size) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i) text[i] = char('a' + (i * 7 + i / 251) % 26);
    return text;
}

// The storage exit as the request layer lends it: holds at most one object.
struct FakeExit {
    static inline std::string name;
    static inline std::string data;
    static inline int asked = 0;
    static int Locate(CsHandle*, const SmApplGroup&, const void*, const char* object) {
        ++asked;
        return name == object ? CS_OK : CS_NOT_FOUND;
    }
    static int Fetch(CsHandle*, const SmApplGroup&, const void*, const char* object,
                     std::vector<uint8_t>* out) {
        ++asked;
        if (name != object) return CS_NOT_FOUND;
        out->assign(data.begin(), data.end());
        return CS_OK;
    }
};

class FetchTest : public smtest::ObjectFixture {
protected:
    void SetUp() override {
        ObjectFixture::SetUp();
        FakeExit::name.clear();
        FakeExit::data.clear();
        FakeExit::asked = 0;
    }

    // Fetches into a fresh sink; *location in and out.
    int Fetch(const char* name, uint8_t* location, uint64_t offset = 0, uint64_t length = 0,
              const void* exitOptions = nullptr) {
        sink_ = Sink{};
        return SmFetchObjectData(&handle_, &group_, &primary_, &secondary_, location, exitOptions, name,
                                 offset, length, &Sink::Take);
    }
};

TEST_F(FetchTest, WindowsCutExactlyTheirPartOfEachPiece) {
    // Three pieces on the node and in the cache: 32767, 32767 and 4466 bytes.
    const std::string object = Pattern(70000);
    WriteFile(NodeFile("BIG"), object);
    struct Case {
        const char* name;
        uint64_t offset;
        uint64_t length;
    };
    const Case cases[] = {
        {"whole object", 0, 0},
        {"inside the first piece", 10, 100},
        {"inside the last piece", 65600, 300},
        {"spanning two pieces", 32000, 2000},
        {"spanning all three pieces", 100, 69800},
        {"starting at a piece boundary", 32767, 5},
        {"ending past the end of the object", 69990, 100},
        {"starting past the end of the object", 80000, 10},
        {"zero length runs to the end", 40000, 0},
        {"length that would overflow", 69000, UINT64_MAX},
    };
    for (uint8_t place : {SM_LOC_PRIMARY, SM_LOC_CACHE}) {
        if (place == SM_LOC_CACHE) WriteFile(CacheFile("BIG"), object);
        for (const Case& c : cases) {
            uint8_t location = place;
            ASSERT_EQ(Fetch("BIG", &location, c.offset, c.length), 0) << c.name << sink_.AllMessages();
            EXPECT_EQ(location, place) << c.name;
            std::string expected = c.offset < object.size()
                                       ? object.substr(c.offset, c.length == 0 ? std::string::npos : c.length)
                                       : "";
            EXPECT_EQ(sink_.data.size(), expected.size()) << c.name << " from " << int(place);
            EXPECT_TRUE(sink_.data == expected) << c.name << " from " << int(place);
            EXPECT_EQ(sink_.ends, 1) << c.name << " from " << int(place);
        }
    }
}

TEST_F(FetchTest, EmptyObjectEndsAtOnceAndARefusedPieceStops) {
    WriteFile(NodeFile("EMPTY"), "");
    uint8_t location = SM_LOC_PRIMARY;
    ASSERT_EQ(Fetch("EMPTY", &location), 0);
    EXPECT_EQ(sink_.pieces, 0);
    EXPECT_EQ(sink_.ends, 1);

    WriteFile(NodeFile("BIG"), Pattern(70000));
    location = SM_LOC_PRIMARY;
    sink_ = Sink{};
    sink_.refuseAfter = 0;
    ASSERT_EQ(SmFetchObjectData(&handle_, &group_, &primary_, &secondary_, &location, nullptr, "BIG", 0, 0,
                                &Sink::Take),
              0);
    EXPECT_EQ(sink_.pieces, 1) << "no piece after the callback refused one";
    EXPECT_EQ(sink_.ends, 0) << "no end after the callback refused a piece";
}

TEST_F(FetchTest, TrailingDollarIsDroppedOnce) {
    WriteFile(CacheFile("ABC"), "abc");
    WriteFile(CacheFile("ABC$"), "abc-dollar");
    WriteFile(CacheFile("$"), "dollar");
    struct Case {
        const char* name;
        int rc;
        const char* data;
    };
    const Case cases[] = {
        {"ABC$", 0, "abc"},
        {"ABC$$", 0, "abc-dollar"},
        {"ABC", 0, "abc"},
        {"$", 6, ""},  // an empty name names no object
    };
    for (const Case& c : cases) {
        uint8_t location = SM_LOC_CACHE;
        EXPECT_EQ(Fetch(c.name, &location), c.rc) << c.name;
        EXPECT_EQ(sink_.data, c.data) << c.name;
    }
}

TEST_F(FetchTest, PlacesAreTriedInOrderAndReportedBack) {
    WriteFile(CacheFile("INCACHE"), "from cache");
    WriteFile(NodeFile("INCACHE"), "from node");
    WriteFile(NodeFile("ONNODE"), "node data");
    FakeExit::name = "ATEXIT";
    FakeExit::data = "exit data";
    RoadsScope roads({nullptr, &FakeExit::Locate, &FakeExit::Fetch});
    group_.flags = SM_AG_STORAGE_EXIT;
    int options = 0;
    struct Case {
        const char* name;
        const char* object;
        uint8_t location;
        bool withOptions;
        int rc;
        uint8_t after;
        const char* data;
        int message;  // 0: none
    };
    const Case cases[] = {
        {"the cache first", "INCACHE", SM_LOC_CACHE | SM_LOC_PRIMARY, false, 0, SM_LOC_CACHE, "from cache",
         0},
        {"not cached: the primary node", "ONNODE", SM_LOC_CACHE | SM_LOC_PRIMARY, false, 0, SM_LOC_PRIMARY,
         "node data", 0},
        {"the secondary node alone", "ONNODE", SM_LOC_SECONDARY, false, 0, SM_LOC_SECONDARY, "node data", 0},
        {"the exit before the node", "ATEXIT", SM_LOC_EXIT | SM_LOC_PRIMARY, true, 0, SM_LOC_EXIT,
         "exit data", 0},
        {"the exit without the object", "ONNODE", SM_LOC_EXIT | SM_LOC_PRIMARY, true, 0, SM_LOC_PRIMARY,
         "node data", 0},
        {"only the exit, without options", "ATEXIT", SM_LOC_EXIT, false, 11, 0, "", 110},
        {"not cached and no node asked", "ONNODE", SM_LOC_CACHE, false, 6, 0, "", 7},
        {"nowhere at all", "NOWHERE", SM_LOC_CACHE | SM_LOC_PRIMARY, false, 6, SM_LOC_PRIMARY, "", 0},
        {"nothing asked", "ONNODE", 0, false, 11, 0, "", 110},
    };
    for (const Case& c : cases) {
        uint8_t location = c.location;
        EXPECT_EQ(Fetch(c.object, &location, 0, 0, c.withOptions ? &options : nullptr), c.rc) << c.name;
        EXPECT_EQ(location, c.after) << c.name;
        EXPECT_EQ(sink_.data, c.data) << c.name;
        if (c.message != 0) {
            EXPECT_TRUE(sink_.Said(MessageText(c.message))) << c.name << ": " << sink_.AllMessages();
        } else {
            EXPECT_TRUE(sink_.messages.empty()) << c.name << ": " << sink_.AllMessages();
        }
    }
    EXPECT_TRUE(sink_.Said("No logical place to retrieve object >ONNODE<"));
}

TEST_F(FetchTest, ExitNeedsTheGroupFlagAndItsOptions) {
    FakeExit::name = "ATEXIT";
    FakeExit::data = "exit data";
    RoadsScope roads({nullptr, &FakeExit::Locate, &FakeExit::Fetch});
    int options = 0;
    group_.flags = 0;
    uint8_t location = SM_LOC_EXIT;
    EXPECT_EQ(Fetch("ATEXIT$", &location, 0, 0, &options), 11);
    EXPECT_TRUE(sink_.Said("No logical place to retrieve object >ATEXIT<")) << sink_.AllMessages();
    EXPECT_EQ(FakeExit::asked, 0);

    group_.flags = SM_AG_STORAGE_EXIT;
    location = SM_LOC_EXIT;
    EXPECT_EQ(Fetch("ATEXIT", &location, 5, 4, &options), 0);
    EXPECT_EQ(sink_.data, "data");
    EXPECT_EQ(location, SM_LOC_EXIT);
    EXPECT_EQ(FakeExit::asked, 1);
}

TEST_F(FetchTest, NegativeCachePeriodNeverTouchesTheCache) {
    group_.cachePeriod = -1;
    WriteFile(CacheFile("DOC"), "stale cache copy");
    WriteFile(NodeFile("DOC"), "node copy");
    WriteFile(NodeFile("RES1"), "resource");
    uint8_t location = SM_LOC_CACHE | SM_LOC_PRIMARY;
    ASSERT_EQ(Fetch("DOC", &location), 0);
    EXPECT_EQ(sink_.data, "node copy");
    EXPECT_EQ(location, SM_LOC_PRIMARY);

    location = SM_LOC_CACHE | SM_LOC_PRIMARY;
    ASSERT_EQ(Fetch("RES1", &location), 0);
    EXPECT_FALSE(std::filesystem::exists(CacheFile("RES1"))) << "no copy into the cache";

    location = SM_LOC_CACHE;
    EXPECT_EQ(Fetch("DOC", &location), 11);
    EXPECT_TRUE(sink_.Said(MessageText(110)));
    EXPECT_EQ(sink_.data, "");
}

TEST_F(FetchTest, WholeResourcesFromThePrimaryNodeAreCopiedIntoTheCache) {
    WriteFile(NodeFile("RES1"), "small resource");
    WriteFile(NodeFile("BIG1"), Pattern(40000));
    WriteFile(NodeFile("DOC"), "a document");
    struct Case {
        const char* name;
        const char* object;
        int32_t cachePeriod;
        uint8_t location;
        bool copied;
    };
    const Case cases[] = {
        {"resource in one piece", "RES1", 30, SM_LOC_CACHE | SM_LOC_PRIMARY, true},
        {"cache period 0", "RES1", 0, SM_LOC_CACHE | SM_LOC_PRIMARY, false},
        {"resource in two pieces", "BIG1", 30, SM_LOC_CACHE | SM_LOC_PRIMARY, false},
        {"document", "DOC", 30, SM_LOC_CACHE | SM_LOC_PRIMARY, false},
        {"cache not asked", "RES1", 30, SM_LOC_PRIMARY, false},
        {"from the secondary node", "RES1", 30, SM_LOC_CACHE | SM_LOC_SECONDARY, false},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(dir_ / "cache");
        group_.cachePeriod = c.cachePeriod;
        uint8_t location = c.location;
        ASSERT_EQ(Fetch(c.object, &location, 3, 4), 0) << c.name;
        EXPECT_EQ(sink_.data.size(), 4u) << c.name;
        EXPECT_EQ(std::filesystem::exists(CacheFile(c.object)), c.copied) << c.name;
        if (c.copied) {
            EXPECT_EQ(ReadFile(CacheFile(c.object)), ReadFile(NodeFile(c.object))) << c.name;
            location = c.location;
            ASSERT_EQ(Fetch(c.object, &location), 0) << c.name;
            EXPECT_EQ(location, SM_LOC_CACHE) << c.name << ": the next fetch reads the copy";
        }
    }
}

TEST_F(FetchTest, NodesNeedANodeStoreAndAUsableEntry) {
    WriteFile(NodeFile("DOC"), "a document");
    primary_.flags = SM_NODE_UNUSABLE;
    uint8_t location = SM_LOC_PRIMARY;
    EXPECT_EQ(Fetch("DOC", &location), 11);
    EXPECT_TRUE(sink_.Said(MessageText(110)));
    EXPECT_EQ(
        SmFetchObjectData(&handle_, &group_, nullptr, nullptr, &location, nullptr, "DOC", 0, 0, &Sink::Take),
        11)
        << "no entries";

    primary_.flags = 0;
    Open("");  // a cache but no volumes: a cache-only server
    location = SM_LOC_CACHE | SM_LOC_PRIMARY;
    EXPECT_EQ(Fetch("DOC", &location), 6);
    EXPECT_TRUE(sink_.Said(MessageText(10))) << sink_.AllMessages();
}

TEST_F(FetchTest, RetrieveSegmentNeverAsksTheExit) {
    FakeExit::name = "SEG";
    FakeExit::data = "exit data";
    RoadsScope roads({nullptr, &FakeExit::Locate, &FakeExit::Fetch});
    group_.flags = SM_AG_STORAGE_EXIT;
    WriteFile(NodeFile("SEG"), "segment rows");
    uint8_t location = SM_LOC_EXIT | SM_LOC_PRIMARY;
    sink_ = Sink{};
    ASSERT_EQ(
        SmRetrieveSegment(&handle_, &group_, &primary_, &secondary_, &location, "SEG", 8, 0, &Sink::Take), 0);
    EXPECT_EQ(sink_.data, "rows");
    EXPECT_EQ(location, SM_LOC_PRIMARY);
    EXPECT_EQ(FakeExit::asked, 0);
}

// The object reader as the request layer lends it: letters noted, the fetch run with the
// caller's context.
struct FakeReader {
    static inline std::string letters;
    static int Read(CsHandle* handle, const SmFetchFn& fetch, char expand, char compress, SmDataFn callback,
                    void* context) {
        letters = {expand, compress};
        void* saved = handle->callbackContext;
        handle->callbackContext = context;
        int rc = fetch(handle, callback);
        handle->callbackContext = saved;
        return rc;
    }
};

TEST_F(FetchTest, ResourcesByNumberGoThroughTheObjectReader) {
    WriteFile(CacheFile("1234"), "resource 1234");
    uint8_t location = SM_LOC_CACHE | SM_LOC_PRIMARY;
    sink_ = Sink{};
    EXPECT_EQ(SmRetrieveByName(&handle_, &group_, &primary_, &secondary_, &location, 1234, 'O', &Sink::Take),
              6)
        << "no reader lent";
    EXPECT_EQ(sink_.data, "");

    RoadsScope roads({&FakeReader::Read, nullptr, nullptr});
    ASSERT_EQ(SmRetrieveByName(&handle_, &group_, &primary_, &secondary_, &location, 1234, 'O', &Sink::Take),
              0);
    EXPECT_EQ(sink_.data, "resource 1234");
    EXPECT_EQ(FakeReader::letters, "ON");
    EXPECT_EQ(location, SM_LOC_CACHE);
    EXPECT_EQ(handle_.callbackContext, &sink_);
}

}  // namespace
