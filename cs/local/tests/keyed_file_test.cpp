// keyed_file_test.cpp - the keyed files of the segment index: one behaviour suite
// run on LMDB and on the in-memory double, then what only files on disk can show.
#include <gtest/gtest.h>
#include <lmdb.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "keyed_file.h"
#include "keyed_file_map.h"

namespace {

namespace fs = std::filesystem;
using namespace qel::local::detail;
using Bytes = std::vector<uint8_t>;

constexpr int kData = 3;          // the data file's number in these sets
constexpr uint32_t kRecord = 16;  // record length: the value, then 8 bytes of tag
constexpr uint32_t kIntKey = 8;   // member 0: an int64 value
constexpr uint32_t kTextKey = 3;  // member 1: a 3-byte text

Bytes IntKey(int64_t value) {
    Bytes key(8);
    std::memcpy(key.data(), &value, 8);
    EXPECT_EQ(QelKf_MakeKey(QELKF_KEY_INTEGER, 8, key.data()), 0);
    return key;
}

Bytes WithSlot(Bytes key, uint32_t slot) {
    for (int i = 3; i >= 0; --i) key.push_back(uint8_t(slot >> (8 * i)));
    return key;
}

Bytes WithTail(Bytes key, uint8_t tail) {
    key.insert(key.end(), QELKF_SLOT_SIZE, tail);
    return key;
}

Bytes Record(int64_t value, uint32_t tag) {
    Bytes record(kRecord, 0);
    std::memcpy(record.data(), &value, 8);
    std::memcpy(record.data() + 8, &tag, 4);
    return record;
}

std::string Text3(int64_t value) {
    std::string text = std::to_string(value);
    text.resize(3, ' ');
    return text;
}

struct Impl {
    const char* name;
    std::function<std::unique_ptr<KeyedFile>()> make;
};

std::string TempDirectory() {
    std::string pattern = (fs::path(::testing::TempDir()) / "qel_kf_XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const char* made = mkdtemp(name.data());
    EXPECT_NE(made, nullptr);
    return std::string(made ? made : "") + "/";
}

// A set of keyed files under test with the paths of its two files.
class KeyedFileTest : public ::testing::TestWithParam<Impl> {
protected:
    void SetUp() override {
        dir_ = TempDirectory();
        dat_ = dir_ + "seg.dat";
        ind_ = dir_ + "seg.ind";
    }
    void TearDown() override {
        ClearMapKeyedFiles();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    std::unique_ptr<KeyedFile> Make() { return GetParam().make(); }

    // Builds records of values in one build; returns their positions. create: a new pair.
    std::vector<uint64_t> Build(const std::vector<int64_t>& values, bool create, uint32_t firstTag = 0) {
        auto set = Make();
        if (create) {
            EXPECT_EQ(set->CreateData(kData, dat_, kRecord), 0);
            EXPECT_EQ(set->CreateIndex(ind_, kIntKey + QELKF_SLOT_SIZE, 1), 0);
            EXPECT_EQ(set->AddKeyMember(1, kTextKey + QELKF_SLOT_SIZE), 0);
        } else {
            EXPECT_EQ(set->Open(0, ind_, QELKF_OPEN_BUILD), 0);
            EXPECT_EQ(set->Open(kData, dat_, QELKF_OPEN_BUILD), 0);
        }
        std::vector<uint64_t> positions;
        uint32_t tag = firstTag;
        for (int64_t value : values) {
            uint64_t position = set->Reserve(kData);
            EXPECT_NE(position, 0u);
            positions.push_back(position);
            Bytes record = Record(value, tag++);
            EXPECT_EQ(set->Write(kData, position, record), 0);
            EXPECT_EQ(set->AddKey(0, IntKey(value), position), 0);
            std::string text = Text3(value);
            EXPECT_EQ(set->AddKey(1, Bytes(text.begin(), text.end()), position), 0);
        }
        EXPECT_EQ(set->Close(kData), 0);
        EXPECT_EQ(set->Close(0), 0);
        return positions;
    }

    std::unique_ptr<KeyedFile> OpenSearch() {
        auto set = Make();
        EXPECT_EQ(set->Open(0, ind_, QELKF_OPEN_SEARCH), 0);
        EXPECT_EQ(set->Open(kData, dat_, QELKF_OPEN_SEARCH), 0);
        return set;
    }

    // Every key of member 0 walking forward (or backward) from the end.
    std::vector<Bytes> Walk(KeyedFile& set, bool forward) {
        std::vector<Bytes> keys;
        Bytes key(kIntKey + QELKF_SLOT_SIZE);
        for (uint64_t p = forward ? set.First(0, key) : set.Last(0, key); p != 0;
             p = forward ? set.Next(0, key) : set.Previous(0, key)) {
            keys.push_back(key);
        }
        EXPECT_EQ(set.LastError(), QELKF_ERR_NONE);
        return keys;
    }

    std::string dir_, dat_, ind_;
};

// Values of slots 0..5, with ties.
const std::vector<int64_t> kValues = {5, 3, 5, 9, -1, 5};

enum class Role { AtLeast, AtMost, Below, Next, Previous };

struct LookupCase {
    Role role;
    int64_t value;
    std::optional<uint32_t> tail;  // slot bytes of the target; none: tailByte four times
    uint8_t tailByte;
    std::optional<uint32_t> slot;  // expected slot, none: no key
};

TEST_P(KeyedFileTest, LookupsFindTheKeyOfEachRole) {
    std::vector<uint64_t> positions = Build(kValues, true);
    auto set = OpenSearch();
    const LookupCase cases[] = {
        {Role::AtLeast, 5, std::nullopt, 0x00, 0},
        {Role::AtLeast, 5, std::nullopt, 0xFF, 3},
        {Role::AtLeast, 5, 2, 0, 2},
        {Role::AtLeast, 4, std::nullopt, 0xFF, 0},
        {Role::AtLeast, -2, std::nullopt, 0x00, 4},
        {Role::AtLeast, 10, std::nullopt, 0x00, std::nullopt},
        {Role::AtMost, 5, std::nullopt, 0xFF, 5},
        {Role::AtMost, 5, std::nullopt, 0x00, 0},  // equal to the key of slot 0
        {Role::AtMost, 4, std::nullopt, 0xFF, 1},
        {Role::AtMost, 5, 2, 0, 2},
        {Role::AtMost, 100, std::nullopt, 0x00, 3},
        {Role::AtMost, -1, std::nullopt, 0x00, std::nullopt},
        {Role::Below, 5, std::nullopt, 0x00, 1},
        {Role::Below, 5, 2, 0, 0},
        {Role::Below, 5, std::nullopt, 0xFF, 5},
        {Role::Below, -1, 4, 0, std::nullopt},
        {Role::Below, 1000, std::nullopt, 0x00, 3},
        {Role::Next, 5, 1, 0, 2},
        {Role::Next, 5, 0, 0, 2},
        {Role::Next, 9, 3, 0, std::nullopt},
        {Role::Next, -5, std::nullopt, 0xFF, 4},
        {Role::Previous, 5, 1, 0, 0},
        {Role::Previous, 5, 2, 0, 0},
        {Role::Previous, -1, 4, 0, std::nullopt},
        {Role::Previous, 50, std::nullopt, 0x00, 3},
    };
    for (const LookupCase& c : cases) {
        Bytes target = c.tail ? WithSlot(IntKey(c.value), *c.tail) : WithTail(IntKey(c.value), c.tailByte);
        Bytes key = target;
        uint64_t position = 0;
        switch (c.role) {
            case Role::AtLeast: position = set->FirstAtLeast(0, target, key); break;
            case Role::AtMost: position = set->LastAtMost(0, target, key); break;
            case Role::Below: position = set->LastBelow(0, target, key); break;
            case Role::Next: position = set->Next(0, key); break;
            case Role::Previous: position = set->Previous(0, key); break;
        }
        std::string label = "role " + std::to_string(int(c.role)) + " value " + std::to_string(c.value);
        EXPECT_EQ(set->LastError(), QELKF_ERR_NONE) << label;
        if (!c.slot) {
            EXPECT_EQ(position, 0u) << label;
            continue;
        }
        ASSERT_EQ(position, positions[*c.slot]) << label;
        EXPECT_EQ(key, WithSlot(IntKey(kValues[*c.slot]), *c.slot)) << label;
        Bytes record(kRecord);
        ASSERT_EQ(set->Read(kData, position, record), 0) << label;
        EXPECT_EQ(record, Record(kValues[*c.slot], *c.slot)) << label;
    }
}

TEST_P(KeyedFileTest, WalksVisitEveryKeyInOrderBothWays) {
    std::vector<uint64_t> positions = Build(kValues, true);
    auto set = OpenSearch();
    const uint32_t order[] = {4, 1, 0, 2, 5, 3};  // slots by value, ties by slot
    std::vector<Bytes> expected;
    for (uint32_t slot : order) expected.push_back(WithSlot(IntKey(kValues[slot]), slot));
    EXPECT_EQ(Walk(*set, true), expected);
    std::reverse(expected.begin(), expected.end());
    EXPECT_EQ(Walk(*set, false), expected);

    // Two members walked in turns keep their own places; a step back and forth returns.
    Bytes a(kIntKey + QELKF_SLOT_SIZE), b(kTextKey + QELKF_SLOT_SIZE);
    ASSERT_EQ(set->First(0, a), positions[4]);
    ASSERT_EQ(set->First(1, b), positions[4]);  // "-1 " sorts before the digits
    EXPECT_EQ(set->Next(0, a), positions[1]);
    EXPECT_EQ(set->Next(1, b), positions[1]);
    EXPECT_EQ(set->Next(0, a), positions[0]);
    EXPECT_EQ(set->Previous(0, a), positions[1]);
    EXPECT_EQ(set->Next(0, a), positions[0]);
    EXPECT_EQ(set->Next(1, b), positions[0]);
    // A key handed in that differs from the last one found is looked up afresh.
    Bytes other = WithSlot(IntKey(9), 3);
    EXPECT_EQ(set->Previous(0, other), positions[5]);
    EXPECT_EQ(other, WithSlot(IntKey(5), 5));
}

TEST_P(KeyedFileTest, EmptyMembersAndEmptyIndexesFindNothing) {
    auto set = Make();
    ASSERT_EQ(set->CreateData(kData, dat_, kRecord), 0);
    ASSERT_EQ(set->CreateIndex(ind_, kIntKey + QELKF_SLOT_SIZE, 1), 0);
    ASSERT_EQ(set->AddKeyMember(1, kTextKey + QELKF_SLOT_SIZE), 0);
    ASSERT_EQ(set->Close(0), 0);
    ASSERT_EQ(set->Close(kData), 0);
    for (bool withRecord : {false, true}) {
        if (withRecord) {  // a record keyed in member 0 only
            auto build = Make();
            ASSERT_EQ(build->Open(kData, dat_, QELKF_OPEN_BUILD), 0);
            ASSERT_EQ(build->Open(0, ind_, QELKF_OPEN_BUILD), 0);
            uint64_t position = build->Reserve(kData);
            ASSERT_EQ(build->AddKey(0, IntKey(1), position), 0);
            ASSERT_EQ(build->Close(0), 0);
            ASSERT_EQ(build->Close(kData), 0);
        }
        auto search = OpenSearch();
        EXPECT_EQ(search->RecordCount(), withRecord ? 1u : 0u);
        const int member = withRecord ? 1 : 0;
        const size_t length = (member == 0 ? kIntKey : kTextKey) + QELKF_SLOT_SIZE;
        Bytes key(length, 0x00), target(length, 0x7F);
        EXPECT_EQ(search->First(member, key), 0u);
        EXPECT_EQ(search->Last(member, key), 0u);
        EXPECT_EQ(search->FirstAtLeast(member, target, key), 0u);
        EXPECT_EQ(search->LastAtMost(member, target, key), 0u);
        EXPECT_EQ(search->LastBelow(member, target, key), 0u);
        EXPECT_EQ(search->Next(member, key), 0u);
        EXPECT_EQ(search->Previous(member, key), 0u);
        EXPECT_EQ(search->LastError(), QELKF_ERR_NONE);
    }
}

TEST_P(KeyedFileTest, LaterBuildsAppendAndSearchesSeeThemAfterRefresh) {
    std::vector<uint64_t> first = Build({10, 20}, true);
    auto before = OpenSearch();
    EXPECT_EQ(before->RecordCount(), 2u);

    std::vector<uint64_t> second = Build({15, 10}, false, 2);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(second[0], first[1] + kRecord);  // the slots after the earlier records
    EXPECT_EQ(second[1], second[0] + kRecord);

    // The older search still has its snapshot: keys, count and records.
    Bytes key(kIntKey + QELKF_SLOT_SIZE), record(kRecord);
    EXPECT_EQ(before->RecordCount(), 2u);
    EXPECT_EQ(Walk(*before, true).size(), 2u);
    EXPECT_EQ(before->FirstAtLeast(0, WithTail(IntKey(15), 0), key), first[1]);
    EXPECT_EQ(before->Read(kData, second[0], record), -1);
    EXPECT_EQ(before->LastError(), QELKF_ERR_ARGUMENT);

    ASSERT_EQ(before->Refresh(), 0);
    EXPECT_EQ(before->RecordCount(), 4u);
    std::vector<Bytes> expected = {WithSlot(IntKey(10), 0), WithSlot(IntKey(10), 3), WithSlot(IntKey(15), 2),
                                   WithSlot(IntKey(20), 1)};
    EXPECT_EQ(Walk(*before, true), expected);
    ASSERT_EQ(before->Read(kData, second[0], record), 0);
    EXPECT_EQ(record, Record(15, 2));

    // Closing and opening again shows the same.
    ASSERT_EQ(before->Close(0), 0);
    ASSERT_EQ(before->Close(kData), 0);
    auto reopened = OpenSearch();
    EXPECT_EQ(reopened->RecordCount(), 4u);
    EXPECT_EQ(Walk(*reopened, true), expected);
}

TEST_P(KeyedFileTest, AnUnfinishedBuildAddsNothing) {
    enum class End { Abandon, Destroy, DataOnlyClosed };
    for (End end : {End::Abandon, End::Destroy, End::DataOnlyClosed}) {
        SCOPED_TRACE(int(end));
        ClearMapKeyedFiles();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        std::vector<uint64_t> earlier = Build({1, 2}, true);
        {
            auto set = Make();
            ASSERT_EQ(set->Open(0, ind_, QELKF_OPEN_BUILD), 0);
            ASSERT_EQ(set->Open(kData, dat_, QELKF_OPEN_BUILD), 0);
            uint64_t position = set->Reserve(kData);
            ASSERT_NE(position, 0u);
            ASSERT_EQ(set->Write(kData, position, Record(0, 99)), 0);
            ASSERT_EQ(set->AddKey(0, IntKey(0), position), 0);
            EXPECT_EQ(set->RecordCount(), 3u);
            if (end == End::Abandon) set->Abandon();
            if (end == End::DataOnlyClosed) {
                EXPECT_EQ(set->Close(kData), 0);
            }
        }
        auto search = OpenSearch();
        EXPECT_EQ(search->RecordCount(), 2u);
        EXPECT_EQ(Walk(*search, true), (std::vector<Bytes>{WithSlot(IntKey(1), 0), WithSlot(IntKey(2), 1)}));
        search.reset();
        // The next build takes the same slot again.
        std::vector<uint64_t> next = Build({7}, false, 2);
        EXPECT_EQ(next[0], earlier[1] + kRecord);
        search = OpenSearch();
        Bytes record(kRecord);
        ASSERT_EQ(search->Read(kData, next[0], record), 0);
        EXPECT_EQ(record, Record(7, 2));
    }
}

TEST_P(KeyedFileTest, AnAbandonedCreationLeavesTheNamesFree) {
    auto set = Make();
    ASSERT_EQ(set->CreateData(kData, dat_, kRecord), 0);
    ASSERT_EQ(set->CreateIndex(ind_, kIntKey + QELKF_SLOT_SIZE, 1), 0);
    // Until its first build finishes the index is not one to open.
    auto early = Make();
    EXPECT_EQ(early->Open(0, ind_, QELKF_OPEN_SEARCH), -1);
    EXPECT_EQ(early->LastError(), QELKF_ERR_DAMAGED);
    set->Abandon();
    EXPECT_EQ(early->Open(0, ind_, QELKF_OPEN_SEARCH), -1);
    EXPECT_EQ(early->LastError(), QELKF_ERR_IO);  // gone
    Build({4}, true);
    EXPECT_EQ(OpenSearch()->RecordCount(), 1u);
}

TEST_P(KeyedFileTest, RecordsAreReadAndWrittenOnlyAtTheirSlots) {
    std::vector<uint64_t> earlier = Build({1}, true);
    auto set = Make();
    ASSERT_EQ(set->Open(0, ind_, QELKF_OPEN_BUILD), 0);
    ASSERT_EQ(set->Open(kData, dat_, QELKF_OPEN_BUILD), 0);
    const uint64_t a = set->Reserve(kData), b = set->Reserve(kData);
    ASSERT_EQ(b, a + kRecord);
    ASSERT_EQ(set->Write(kData, a, Record(2, 1)), 0);
    Bytes record(kRecord, 0xEE);
    ASSERT_EQ(set->Read(kData, a, record), 0);  // the builder reads its own records
    EXPECT_EQ(record, Record(2, 1));
    ASSERT_EQ(set->Read(kData, b, record), 0);  // reserved, never written: zeros
    EXPECT_EQ(record, Bytes(kRecord, 0));
    ASSERT_EQ(set->Read(kData, earlier[0], record), 0);
    EXPECT_EQ(record, Record(1, 0));

    struct BadPosition {
        const char* what;
        uint64_t position;
    };
    const BadPosition writes[] = {{"an earlier build's record", earlier[0]},
                                  {"between records", a + 1},
                                  {"inside the header", earlier[0] - kRecord},
                                  {"past the reserved slots", b + kRecord},
                                  {"zero", 0}};
    for (const BadPosition& bad : writes) {
        EXPECT_EQ(set->Write(kData, bad.position, Record(3, 3)), -1) << bad.what;
        EXPECT_EQ(set->LastError(), QELKF_ERR_ARGUMENT) << bad.what;
    }
    for (const BadPosition& bad : {writes[1], writes[2], writes[3], writes[4]}) {
        EXPECT_EQ(set->Read(kData, bad.position, record), -1) << bad.what;
        EXPECT_EQ(set->LastError(), QELKF_ERR_ARGUMENT) << bad.what;
    }
    Bytes shortRecord(kRecord - 1), longRecord(kRecord + 1);
    EXPECT_EQ(set->Write(kData, a, shortRecord), -1);
    EXPECT_EQ(set->Read(kData, a, longRecord), -1);
    EXPECT_EQ(set->LastError(), QELKF_ERR_ARGUMENT);
    ASSERT_EQ(set->Close(0), 0);
    ASSERT_EQ(set->Close(kData), 0);

    auto search = OpenSearch();
    ASSERT_EQ(search->Read(kData, a, record), 0);
    EXPECT_EQ(record, Record(2, 1));
    ASSERT_EQ(search->Read(kData, b, record), 0);
    EXPECT_EQ(record, Bytes(kRecord, 0));
    EXPECT_EQ(search->Read(kData, b + kRecord, record), -1);
    EXPECT_EQ(search->Write(kData, b, record), -1);  // a search writes nothing
}

TEST_P(KeyedFileTest, WrongNumbersLengthsAndModesFail) {
    Build({1}, true);
    auto build = Make();
    ASSERT_EQ(build->Open(0, ind_, QELKF_OPEN_BUILD), 0);
    EXPECT_EQ(build->Open(kData, dat_, QELKF_OPEN_SEARCH), -1);  // one mode per set
    EXPECT_EQ(build->LastError(), QELKF_ERR_ARGUMENT);
    ASSERT_EQ(build->Open(kData, dat_, QELKF_OPEN_BUILD), 0);
    const uint64_t position = build->Reserve(kData);
    ASSERT_NE(position, 0u);
    Bytes key8 = IntKey(1), key(kIntKey + QELKF_SLOT_SIZE), shortKey(kIntKey + QELKF_SLOT_SIZE - 1);
    Bytes record(kRecord);

    struct Call {
        const char* what;
        std::function<bool()> fails;  // true when the call reported a failure
        uint16_t error;
    };
    KeyedFile& s = *build;
    const Call calls[] = {
        {"open mode", [&] { return s.Open(0, ind_, 3) == -1; }, QELKF_ERR_ARGUMENT},
        {"index opened twice", [&] { return s.Open(0, ind_, QELKF_OPEN_BUILD) == -1; }, QELKF_ERR_ARGUMENT},
        {"second data file", [&] { return s.Open(kData + 1, dat_, QELKF_OPEN_BUILD) == -1; },
         QELKF_ERR_ARGUMENT},
        {"reserve other file", [&] { return s.Reserve(kData + 1) == 0; }, QELKF_ERR_ARGUMENT},
        {"reserve index", [&] { return s.Reserve(0) == 0; }, QELKF_ERR_ARGUMENT},
        {"write other file", [&] { return s.Write(1, position, Record(1, 1)) == -1; }, QELKF_ERR_ARGUMENT},
        {"read other file", [&] { return s.Read(0, position, record) == -1; }, QELKF_ERR_ARGUMENT},
        {"member below", [&] { return s.AddKey(-1, key8, position) == -1; }, QELKF_ERR_ARGUMENT},
        {"member above", [&] { return s.AddKey(2, key8, position) == -1; }, QELKF_ERR_ARGUMENT},
        {"member past limit", [&] { return s.AddKey(QELKF_MAX_MEMBERS, key8, position) == -1; },
         QELKF_ERR_ARGUMENT},
        {"key length", [&] { return s.AddKey(0, Bytes(7), position) == -1; }, QELKF_ERR_ARGUMENT},
        {"key of other member's length", [&] { return s.AddKey(1, key8, position) == -1; },
         QELKF_ERR_ARGUMENT},
        {"key at unreserved slot", [&] { return s.AddKey(0, key8, position + kRecord) == -1; },
         QELKF_ERR_ARGUMENT},
        {"member on open index", [&] { return s.AddKeyMember(1, 8) == -1; }, QELKF_ERR_ARGUMENT},
        {"lookup member", [&] { return s.First(2, key) == 0; }, QELKF_ERR_ARGUMENT},
        {"lookup key length", [&] { return s.Last(0, shortKey) == 0; }, QELKF_ERR_ARGUMENT},
        {"lookup target length", [&] { return s.FirstAtLeast(0, shortKey, key) == 0; }, QELKF_ERR_ARGUMENT},
        {"walk key length", [&] { return s.Next(0, shortKey) == 0; }, QELKF_ERR_ARGUMENT},
        {"refresh a build", [&] { return s.Refresh() == -1; }, QELKF_ERR_ARGUMENT},
        {"close unknown file", [&] { return s.Close(kData + 1) == -1; }, QELKF_ERR_ARGUMENT},
    };
    for (const Call& call : calls) {
        EXPECT_TRUE(call.fails()) << call.what;
        EXPECT_EQ(s.LastError(), call.error) << call.what;
    }
    // The failures left the build as it was.
    ASSERT_EQ(s.AddKey(0, key8, position), 0);
    ASSERT_EQ(s.Close(0), 0);
    ASSERT_EQ(s.Close(kData), 0);
    EXPECT_EQ(OpenSearch()->RecordCount(), 2u);

    auto fresh = Make();
    const Call creates[] = {
        {"open missing index", [&] { return fresh->Open(0, dir_ + "none.ind", QELKF_OPEN_SEARCH) == -1; },
         QELKF_ERR_IO},
        {"open missing data", [&] { return fresh->Open(1, dir_ + "none.dat", QELKF_OPEN_SEARCH) == -1; },
         QELKF_ERR_IO},
        {"existing data", [&] { return fresh->CreateData(1, dat_, kRecord) == -1; }, QELKF_ERR_IO},
        {"existing index", [&] { return fresh->CreateIndex(ind_, 12, 0) == -1; }, QELKF_ERR_IO},
        {"data number 0", [&] { return fresh->CreateData(0, dir_ + "x.dat", kRecord) == -1; },
         QELKF_ERR_ARGUMENT},
        {"record length 0", [&] { return fresh->CreateData(1, dir_ + "x.dat", 0) == -1; },
         QELKF_ERR_ARGUMENT},
        {"key without field", [&] { return fresh->CreateIndex(dir_ + "x.ind", 4, 0) == -1; },
         QELKF_ERR_ARGUMENT},
        {"key too long",
         [&] { return fresh->CreateIndex(dir_ + "x.ind", QELKF_MAX_KEY + QELKF_SLOT_SIZE + 1, 0) == -1; },
         QELKF_ERR_ARGUMENT},
        {"too many members", [&] { return fresh->CreateIndex(dir_ + "x.ind", 12, QELKF_MAX_MEMBERS) == -1; },
         QELKF_ERR_ARGUMENT},
        {"member without index", [&] { return fresh->AddKeyMember(1, 8) == -1; }, QELKF_ERR_ARGUMENT},
    };
    for (const Call& call : creates) {
        EXPECT_TRUE(call.fails()) << call.what;
        EXPECT_EQ(fresh->LastError(), call.error) << call.what;
    }
}

TEST_P(KeyedFileTest, ANewIndexNeedsEveryMemberDeclared) {
    auto set = Make();
    ASSERT_EQ(set->CreateData(kData, dat_, kRecord), 0);
    ASSERT_EQ(set->CreateIndex(ind_, 12, 2), 0);
    ASSERT_EQ(set->AddKeyMember(2, 6), 0);
    EXPECT_EQ(set->AddKeyMember(2, 6), -1);  // declared already
    EXPECT_EQ(set->AddKeyMember(3, 6), -1);  // beyond furtherMembers
    EXPECT_EQ(set->Reserve(kData), 0u);      // member 1 is missing
    EXPECT_EQ(set->LastError(), QELKF_ERR_ARGUMENT);
    EXPECT_EQ(set->Close(0), -1);
    EXPECT_EQ(set->LastError(), QELKF_ERR_ARGUMENT);
    // The failed close dropped the creation.
    auto again = Make();
    EXPECT_EQ(again->CreateData(kData, dat_, kRecord), 0);
    EXPECT_EQ(again->CreateIndex(ind_, 12, 0), 0);
    EXPECT_EQ(again->Close(0), 0);
    EXPECT_EQ(again->Close(kData), 0);
}

// The field keys of a record of value: member 0's, then member 1's.
Bytes FieldKeys(int64_t value) {
    Bytes keys = IntKey(value);
    const std::string text = Text3(value);
    keys.insert(keys.end(), text.begin(), text.end());
    return keys;
}

TEST_P(KeyedFileTest, AReplacementMovesItsKeysOrChangesNothing) {
    enum class End { Close, Abandon, Destroy, WrongOldKey };
    for (End end : {End::Close, End::Abandon, End::Destroy, End::WrongOldKey}) {
        SCOPED_TRACE(int(end));
        ClearMapKeyedFiles();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        std::vector<uint64_t> positions = Build({10, 20, 30}, true);
        auto before = OpenSearch();
        {
            auto set = Make();
            ASSERT_EQ(set->Open(0, ind_, QELKF_OPEN_BUILD), 0);
            ASSERT_EQ(set->Open(kData, dat_, QELKF_OPEN_BUILD), 0);
            const Bytes old = FieldKeys(end == End::WrongOldKey ? 21 : 20);
            ASSERT_EQ(set->Replace(kData, positions[1], Record(25, 7), old, FieldKeys(25)), 0);
            EXPECT_EQ(set->Reserve(kData), 0u);  // a replacement adds no records
            EXPECT_EQ(set->RecordCount(), 3u);
            if (end == End::Abandon) set->Abandon();
            if (end == End::Close || end == End::WrongOldKey) {
                EXPECT_EQ(set->Close(kData), 0);
                EXPECT_EQ(set->Close(0), end == End::Close ? 0 : -1);
            }
        }
        const bool replaced = end == End::Close;
        ASSERT_EQ(before->Refresh(), 0);
        EXPECT_EQ(before->RecordCount(), 3u);
        const int64_t value = replaced ? 25 : 20;
        EXPECT_EQ(Walk(*before, true),
                  (std::vector<Bytes>{WithSlot(IntKey(10), 0), WithSlot(IntKey(value), 1),
                                      WithSlot(IntKey(30), 2)}));
        Bytes record(kRecord), key(kTextKey + QELKF_SLOT_SIZE);
        ASSERT_EQ(before->Read(kData, positions[1], record), 0);
        EXPECT_EQ(record, replaced ? Record(25, 7) : Record(20, 1));
        const std::string text = Text3(value);
        EXPECT_EQ(before->FirstAtLeast(1, WithTail(Bytes(text.begin(), text.end()), 0), key), positions[1]);
        EXPECT_EQ(key, WithSlot(Bytes(text.begin(), text.end()), 1));
        // The slots after the records are the next build's, whatever became of the replacement.
        before.reset();
        EXPECT_EQ(Build({40}, false, 3), std::vector<uint64_t>{positions[2] + kRecord});
    }
}

TEST_P(KeyedFileTest, AReplacementTakesOnlyARecordOfAFinishedBuild) {
    std::vector<uint64_t> positions = Build({10, 20}, true);
    auto set = Make();
    ASSERT_EQ(set->Open(0, ind_, QELKF_OPEN_BUILD), 0);
    ASSERT_EQ(set->Open(kData, dat_, QELKF_OPEN_BUILD), 0);
    const Bytes keys = FieldKeys(10);
    struct Case {
        const char* what;
        uint64_t position;
        size_t recordLength, keyBytes;
    };
    const Case cases[] = {
        {"past the records", positions[1] + kRecord, kRecord, keys.size()},
        {"inside a record", positions[0] + 1, kRecord, keys.size()},
        {"short record", positions[0], kRecord - 1, keys.size()},
        {"short keys", positions[0], kRecord, keys.size() - 1},
    };
    for (const Case& c : cases) {
        const Bytes record(c.recordLength, 0), k(keys.begin(), keys.begin() + long(c.keyBytes));
        EXPECT_EQ(set->Replace(kData, c.position, record, k, k), -1) << c.what;
        EXPECT_EQ(set->LastError(), QELKF_ERR_ARGUMENT) << c.what;
    }
    // Not after reserving, and not twice.
    ASSERT_NE(set->Reserve(kData), 0u);
    EXPECT_EQ(set->Replace(kData, positions[0], Record(11, 0), keys, FieldKeys(11)), -1);
    set->Abandon();
    ASSERT_EQ(set->Open(0, ind_, QELKF_OPEN_BUILD), 0);
    ASSERT_EQ(set->Open(kData, dat_, QELKF_OPEN_BUILD), 0);
    ASSERT_EQ(set->Replace(kData, positions[0], Record(11, 0), keys, FieldKeys(11)), 0);
    EXPECT_EQ(set->Replace(kData, positions[1], Record(21, 1), FieldKeys(20), FieldKeys(21)), -1);
    set->Abandon();
    // A search set cannot replace.
    auto search = OpenSearch();
    EXPECT_EQ(search->Replace(kData, positions[0], Record(11, 0), keys, FieldKeys(11)), -1);
}

INSTANTIATE_TEST_SUITE_P(Both, KeyedFileTest,
                         ::testing::Values(Impl{"Lmdb", [] { return QelKf_NewLmdb(); }},
                                           Impl{"Map", [] { return NewMapKeyedFile(); }}),
                         [](const ::testing::TestParamInfo<Impl>& info) {
                             return std::string(info.param.name);
                         });

// Keys order as their values do.
template <typename T>
Bytes IntegerKey(T value) {
    Bytes key(sizeof value);
    std::memcpy(key.data(), &value, sizeof value);
    EXPECT_EQ(QelKf_MakeKey(QELKF_KEY_INTEGER, sizeof value, key.data()), 0);
    return key;
}

Bytes DoubleKey(double value) {
    Bytes key(8);
    std::memcpy(key.data(), &value, 8);
    EXPECT_EQ(QelKf_MakeKey(QELKF_KEY_DOUBLE, 8, key.data()), 0);
    return key;
}

template <typename T>
void ExpectIntegerOrder(std::mt19937_64& random) {
    std::vector<T> values = {std::numeric_limits<T>::min(), T(-1), T(0), T(1), std::numeric_limits<T>::max()};
    for (int i = 0; i < 500; ++i) values.push_back(T(random()));
    for (size_t i = 0; i < values.size(); ++i) {
        for (size_t j = i; j < values.size(); j += 7) {
            int order = std::memcmp(IntegerKey(values[i]).data(), IntegerKey(values[j]).data(), sizeof(T));
            int expected = values[i] < values[j] ? -1 : values[i] > values[j] ? 1 : 0;
            ASSERT_EQ((order > 0) - (order < 0), expected)
                << int64_t(values[i]) << " vs " << int64_t(values[j]);
        }
    }
    // Big-endian with the sign bit flipped: 1 is 0x80..01.
    Bytes one = IntegerKey(T(1));
    EXPECT_EQ(one.front(), 0x80);
    EXPECT_EQ(one.back(), 0x01);
}

TEST(KeyedKeyTest, IntegersOrderAsTheirValues) {
    std::mt19937_64 random(20261210);
    ExpectIntegerOrder<int64_t>(random);
    ExpectIntegerOrder<int32_t>(random);
    ExpectIntegerOrder<int16_t>(random);
}

TEST(KeyedKeyTest, DoublesOrderAsTheirValuesWithNaNOnTop) {
    const double inf = std::numeric_limits<double>::infinity();
    const double tiny = std::numeric_limits<double>::denorm_min();
    const double big = std::numeric_limits<double>::max();
    // Ascending; -0.0 and 0.0 are one value.
    std::vector<double> values = {-inf, -big,   -1e10, -1.5, -1.0, -tiny, -0.0, 0.0,
                                  tiny, 1e-300, 1.0,   1.5,  1e10, big,   inf};
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> spread(-1e6, 1e6);
    for (int i = 0; i < 300; ++i) values.push_back(spread(random));
    std::sort(values.begin(), values.end());
    for (size_t i = 0; i + 1 < values.size(); ++i) {
        int order = std::memcmp(DoubleKey(values[i]).data(), DoubleKey(values[i + 1]).data(), 8);
        if (values[i] == values[i + 1]) {
            EXPECT_EQ(order, 0) << values[i];
        } else {
            EXPECT_LT(order, 0) << values[i] << " vs " << values[i + 1];
        }
    }
    EXPECT_EQ(DoubleKey(-0.0), DoubleKey(0.0));
    for (double nan : {std::nan(""), -std::nan("")}) {
        EXPECT_GT(std::memcmp(DoubleKey(nan).data(), DoubleKey(inf).data(), 8), 0);
        EXPECT_EQ(DoubleKey(nan), DoubleKey(std::nan("")));
    }
}

TEST(KeyedKeyTest, TextStaysAndBadModesFail) {
    Bytes text = {'a', 'b', ' '};
    EXPECT_EQ(QelKf_MakeKey(QELKF_KEY_TEXT, text.size(), text.data()), 0);
    EXPECT_EQ(text, (Bytes{'a', 'b', ' '}));
    uint8_t buffer[QELKF_MAX_KEY + 1] = {};
    const std::pair<int, size_t> bad[] = {{QELKF_KEY_INTEGER, 3}, {QELKF_KEY_INTEGER, 1},
                                          {QELKF_KEY_DOUBLE, 4},  {QELKF_KEY_TEXT, QELKF_MAX_KEY + 1},
                                          {QELKF_KEY_TEXT, 0},    {5, 8}};
    for (auto [mode, length] : bad)
        EXPECT_EQ(QelKf_MakeKey(mode, length, buffer), -1) << mode << "/" << length;
}

TEST(KeyedLibraryTest, StartsWithTheServersLimits) {
    EXPECT_EQ(QelKf_Start(1024, 33, 32), 0);
    for (auto [files, members, depth] : {std::tuple{0, 33, 32}, {1024, 0, 32}, {1024, 33, -1}}) {
        EXPECT_EQ(QelKf_Start(files, members, depth), -1) << files << "/" << members << "/" << depth;
    }
    EXPECT_EQ(QelKf_Stop(), 0);
}

// Files on disk: layout, modes, other processes, damage.
class LmdbFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = TempDirectory();
        dat_ = dir_ + "seg.dat";
        ind_ = dir_ + "seg.ind";
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // One build of count records valued first.. with int keys in member 0.
    void Build(int64_t first, int count, bool create) {
        auto set = QelKf_NewLmdb();
        if (create) {
            ASSERT_EQ(set->CreateData(kData, dat_, kRecord), 0);
            ASSERT_EQ(set->CreateIndex(ind_, kIntKey + QELKF_SLOT_SIZE, 0), 0);
        } else {
            ASSERT_EQ(set->Open(kData, dat_, QELKF_OPEN_BUILD), 0);
            ASSERT_EQ(set->Open(0, ind_, QELKF_OPEN_BUILD), 0);
        }
        for (int i = 0; i < count; ++i) {
            uint64_t position = set->Reserve(kData);
            ASSERT_NE(position, 0u);
            ASSERT_EQ(set->Write(kData, position, Record(first + i, uint32_t(i))), 0);
            ASSERT_EQ(set->AddKey(0, IntKey(first + i), position), 0);
        }
        ASSERT_EQ(set->Close(0), 0);
        ASSERT_EQ(set->Close(kData), 0);
    }

    std::unique_ptr<KeyedFile> Search() {
        auto set = QelKf_NewLmdb();
        EXPECT_EQ(set->Open(0, ind_, QELKF_OPEN_SEARCH), 0);
        EXPECT_EQ(set->Open(kData, dat_, QELKF_OPEN_SEARCH), 0);
        return set;
    }

    static size_t CountKeys(KeyedFile& set) {
        size_t n = 0;
        Bytes key(kIntKey + QELKF_SLOT_SIZE);
        for (uint64_t p = set.First(0, key); p != 0; p = set.Next(0, key)) ++n;
        EXPECT_EQ(set.LastError(), QELKF_ERR_NONE);
        return n;
    }

    std::string dir_, dat_, ind_;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteAll(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

TEST_F(LmdbFileTest, DataFileHeaderTakesWholeSlots) {
    struct Case {
        uint32_t recordLength;
        uint64_t firstPosition;
    };
    const Case cases[] = {{1, 24}, {7, 28}, {24, 24}, {25, 25}, {16, 32}, {100, 100}};
    for (const Case& c : cases) {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        auto set = QelKf_NewLmdb();
        ASSERT_EQ(set->CreateData(kData, dat_, c.recordLength), 0);
        ASSERT_EQ(set->CreateIndex(ind_, 12, 0), 0);
        EXPECT_EQ(set->Reserve(kData), c.firstPosition) << c.recordLength;
        EXPECT_EQ(set->Reserve(kData), c.firstPosition + c.recordLength) << c.recordLength;
        ASSERT_EQ(set->Close(0), 0);
        ASSERT_EQ(set->Close(kData), 0);
        std::string bytes = ReadAll(dat_);
        ASSERT_EQ(bytes.size(), c.firstPosition + 2 * c.recordLength);
        EXPECT_EQ(bytes.substr(0, 8), "QELKFDAT");
        const uint8_t* b = reinterpret_cast<const uint8_t*>(bytes.data());
        EXPECT_EQ(b[15], c.recordLength & 0xFF);
        EXPECT_EQ(b[23], 2) << "record count, big-endian";
    }
}

TEST_F(LmdbFileTest, NewFilesGetTheTableFileMode) {
    mode_t old = ::umask(077);
    Build(0, 1, true);
    ::umask(old);
    for (const std::string& path : {dat_, ind_, ind_ + "-lock"}) {
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0) << path;
        EXPECT_EQ(st.st_mode & 0777, 0644u) << path;
    }
}

TEST_F(LmdbFileTest, TwoSetsOnOneFileInOneProcess) {
    Build(0, 10, true);
    auto search = Search();
    EXPECT_EQ(CountKeys(*search), 10u);
    // A build big enough to grow the map while the search holds its snapshot.
    Build(10, 60000, false);
    EXPECT_EQ(search->RecordCount(), 10u);
    EXPECT_EQ(CountKeys(*search), 10u);
    Bytes key(kIntKey + QELKF_SLOT_SIZE);
    EXPECT_EQ(search->FirstAtLeast(0, WithTail(IntKey(10), 0), key), 0u);
    ASSERT_EQ(search->Refresh(), 0);
    EXPECT_EQ(search->RecordCount(), 60010u);
    EXPECT_EQ(CountKeys(*search), 60010u);
    uint64_t position = search->LastAtMost(0, WithTail(IntKey(30000), 0xFF), key);
    Bytes record(kRecord);
    ASSERT_EQ(search->Read(kData, position, record), 0);
    EXPECT_EQ(record, Record(30000, 29990));
}

// Runs body in a child process; the child's exit code is what body returns.
pid_t Fork(const std::function<int()>& body) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    return pid;
}

int ExitCode(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A build of values first.. in this process, for a child: 0 when it finished.
int ChildBuild(const std::string& dat, const std::string& ind, int64_t first, int count) {
    auto set = QelKf_NewLmdb();
    if (set->Open(0, ind, QELKF_OPEN_BUILD) != 0 || set->Open(kData, dat, QELKF_OPEN_BUILD) != 0) return 1;
    for (int i = 0; i < count; ++i) {
        uint64_t position = set->Reserve(kData);
        if (position == 0 || set->Write(kData, position, Record(first + i, 0)) != 0 ||
            set->AddKey(0, IntKey(first + i), position) != 0) {
            return 2;
        }
    }
    return set->Close(0) == 0 && set->Close(kData) == 0 ? 0 : 3;
}

TEST_F(LmdbFileTest, AChildBuildsWhileTheParentSearches) {
    Build(0, 100, true);
    auto search = Search();
    ASSERT_EQ(CountKeys(*search), 100u);
    const std::string dat = dat_, ind = ind_;
    pid_t child = Fork([&] { return ChildBuild(dat, ind, 100, 100000); });
    ASSERT_GT(child, 0);
    int walks = 0;
    for (int status = 0; ::waitpid(child, &status, WNOHANG) == 0; ++walks) {
        ASSERT_EQ(CountKeys(*search), 100u) << "walk " << walks;
    }
    // waitpid reaped the child above; its result shows in the data.
    EXPECT_EQ(CountKeys(*search), 100u);
    ASSERT_EQ(search->Refresh(), 0);
    EXPECT_EQ(search->RecordCount(), 100100u);
    EXPECT_EQ(CountKeys(*search), 100100u);
}

TEST_F(LmdbFileTest, BuildersTakeTurnsAcrossProcesses) {
    Build(0, 5, true);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const std::string dat = dat_, ind = ind_;
    pid_t child = Fork([&] {
        auto set = QelKf_NewLmdb();
        if (set->Open(kData, dat, QELKF_OPEN_BUILD) != 0 || set->Open(0, ind, QELKF_OPEN_BUILD) != 0)
            return 1;
        uint64_t position = set->Reserve(kData);
        if (set->AddKey(0, IntKey(100), position) != 0) return 2;
        char c = 'x';
        if (::write(ready[1], &c, 1) != 1) return 3;
        ::usleep(300 * 1000);  // the parent's build waits for this one
        return set->Close(0) == 0 && set->Close(kData) == 0 ? 0 : 4;
    });
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    auto set = QelKf_NewLmdb();
    ASSERT_EQ(set->Open(kData, dat_, QELKF_OPEN_BUILD), 0);
    ASSERT_EQ(set->Open(0, ind_, QELKF_OPEN_BUILD), 0);
    EXPECT_EQ(set->RecordCount(), 6u);  // it started after the child's build finished
    uint64_t position = set->Reserve(kData);
    ASSERT_EQ(set->AddKey(0, IntKey(200), position), 0);
    ASSERT_EQ(set->Close(0), 0);
    ASSERT_EQ(set->Close(kData), 0);
    EXPECT_EQ(ExitCode(child), 0);
    ::close(ready[0]);
    ::close(ready[1]);
    auto search = Search();
    EXPECT_EQ(CountKeys(*search), 7u);
}

TEST_F(LmdbFileTest, AKilledBuildLeavesTheEarlierOne) {
    Build(0, 50, true);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const std::string dat = dat_, ind = ind_;
    pid_t child = Fork([&] {
        auto set = QelKf_NewLmdb();
        if (set->Open(0, ind, QELKF_OPEN_BUILD) != 0 || set->Open(kData, dat, QELKF_OPEN_BUILD) != 0)
            return 1;
        for (int i = 0; i < 1000; ++i) {
            uint64_t position = set->Reserve(kData);
            set->Write(kData, position, Record(-1, 0));
            set->AddKey(0, IntKey(-1), position);
        }
        set->Close(kData);
        char c = 'x';
        if (::write(ready[1], &c, 1) != 1) return 3;
        for (;;) ::pause();
    });
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    EXPECT_EQ(ExitCode(child), 128 + SIGKILL);
    ::close(ready[0]);
    ::close(ready[1]);

    auto search = Search();
    EXPECT_EQ(search->RecordCount(), 50u);
    EXPECT_EQ(CountKeys(*search), 50u);
    Build(50, 10, false);
    ASSERT_EQ(search->Refresh(), 0);
    EXPECT_EQ(CountKeys(*search), 60u);
    Bytes key(kIntKey + QELKF_SLOT_SIZE), record(kRecord);
    uint64_t position = search->Last(0, key);
    EXPECT_EQ(position, 32u + 59 * kRecord);  // the killed build's slots were taken again
    ASSERT_EQ(search->Read(kData, position, record), 0);
    EXPECT_EQ(record, Record(59, 9));
}

TEST_F(LmdbFileTest, AKilledReplacementLeavesTheOldRecord) {
    Build(0, 5, true);
    const uint64_t position = 32u + 2 * kRecord;  // value 2, tag 2
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const std::string dat = dat_, ind = ind_;
    pid_t child = Fork([&] {
        auto set = QelKf_NewLmdb();
        if (set->Open(0, ind, QELKF_OPEN_BUILD) != 0 || set->Open(kData, dat, QELKF_OPEN_BUILD) != 0)
            return 1;
        if (set->Replace(kData, position, Record(77, 7), IntKey(2), IntKey(77)) != 0) return 2;
        set->Close(kData);
        char c = 'x';
        if (::write(ready[1], &c, 1) != 1) return 3;
        for (;;) ::pause();
    });
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    EXPECT_EQ(ExitCode(child), 128 + SIGKILL);
    ::close(ready[0]);
    ::close(ready[1]);

    // The new record is in the data file, but a search reads the old one and its keys.
    const std::string onDisk = ReadAll(dat_);
    ASSERT_GE(onDisk.size(), position + kRecord);
    EXPECT_EQ(Bytes(onDisk.begin() + long(position), onDisk.begin() + long(position + kRecord)),
              Record(77, 7));
    auto search = Search();
    Bytes key(kIntKey + QELKF_SLOT_SIZE), record(kRecord);
    ASSERT_EQ(search->Read(kData, position, record), 0);
    EXPECT_EQ(record, Record(2, 2));
    EXPECT_EQ(search->FirstAtLeast(0, WithTail(IntKey(2), 0), key), position);
    EXPECT_EQ(search->FirstAtLeast(0, WithTail(IntKey(77), 0), key), 0u);

    // The next build puts the old record back, and keeps its own.
    Build(5, 1, false);
    const std::string after = ReadAll(dat_);
    EXPECT_EQ(Bytes(after.begin() + long(position), after.begin() + long(position + kRecord)), Record(2, 2));
    ASSERT_EQ(search->Refresh(), 0);
    EXPECT_EQ(CountKeys(*search), 6u);
    ASSERT_EQ(search->Read(kData, position, record), 0);
    EXPECT_EQ(record, Record(2, 2));
}

// Writes raw entries into an index file as a foreign writer could.
void PutRaw(const std::string& path, const char* db, const Bytes& key, const Bytes& value) {
    MDB_env* env = nullptr;
    ASSERT_EQ(mdb_env_create(&env), 0);
    mdb_env_set_maxdbs(env, 40);
    ASSERT_EQ(mdb_env_open(env, path.c_str(), MDB_NOSUBDIR, 0644), 0);
    MDB_txn* txn = nullptr;
    ASSERT_EQ(mdb_txn_begin(env, nullptr, 0, &txn), 0);
    MDB_dbi dbi = 0;
    ASSERT_EQ(mdb_dbi_open(txn, db, MDB_CREATE, &dbi), 0);
    MDB_val k{key.size(), const_cast<uint8_t*>(key.data())},
        v{value.size(), const_cast<uint8_t*>(value.data())};
    ASSERT_EQ(mdb_put(txn, dbi, &k, &v, 0), 0);
    ASSERT_EQ(mdb_txn_commit(txn), 0);
    mdb_env_close(env);
}

Bytes Name(const char* text) { return Bytes(text, text + std::strlen(text)); }

TEST_F(LmdbFileTest, DamagedFilesFailWithoutHarm) {
    Build(0, 20, true);
    const std::string goodDat = ReadAll(dat_), goodInd = ReadAll(ind_);
    struct Damage {
        const char* what;
        std::function<void()> apply;
        uint16_t error;
        bool buildOnly = false;  // a search may open data written before a later build
    };
    auto patch = [](std::string bytes, size_t at, std::string with) {
        return bytes.replace(at, with.size(), with);
    };
    std::mt19937 random(3);
    std::string noise(goodInd.size(), '\0');
    for (char& ch : noise) ch = char(random());
    const Damage damages[] = {
        {"empty data file", [&] { WriteAll(dat_, ""); }, QELKF_ERR_DAMAGED},
        {"short data header", [&] { WriteAll(dat_, goodDat.substr(0, 10)); }, QELKF_ERR_DAMAGED},
        {"data magic", [&] { WriteAll(dat_, patch(goodDat, 0, "XELKFDAT")); }, QELKF_ERR_DAMAGED},
        {"data version", [&] { WriteAll(dat_, patch(goodDat, 11, "\x02")); }, QELKF_ERR_DAMAGED},
        {"record length 0", [&] { WriteAll(dat_, patch(goodDat, 12, std::string(4, '\0'))); },
         QELKF_ERR_DAMAGED},
        {"record length not the index's", [&] { WriteAll(dat_, patch(goodDat, 15, "\x08")); },
         QELKF_ERR_DAMAGED},
        {"data truncated", [&] { WriteAll(dat_, goodDat.substr(0, goodDat.size() - kRecord)); },
         QELKF_ERR_DAMAGED},
        {"count beyond the file", [&] { WriteAll(dat_, patch(goodDat, 20, "\x7F")); }, QELKF_ERR_DAMAGED},
        {"header count below the index's", [&] { WriteAll(dat_, patch(goodDat, 23, "\x05")); },
         QELKF_ERR_DAMAGED, true},
        {"records fewer than the index's",
         [&] { WriteAll(dat_, patch(goodDat, 23, "\x0A").substr(0, 32 + 10 * kRecord)); }, QELKF_ERR_DAMAGED},
        {"empty index file", [&] { WriteAll(ind_, ""); }, QELKF_ERR_DAMAGED},
        {"index of noise", [&] { WriteAll(ind_, noise); }, QELKF_ERR_DAMAGED},
        {"index of zeros", [&] { WriteAll(ind_, std::string(goodInd.size(), '\0')); }, QELKF_ERR_DAMAGED},
        {"short index", [&] { WriteAll(ind_, goodInd.substr(0, 100)); }, QELKF_ERR_DAMAGED},
        {"index truncated", [&] { WriteAll(ind_, goodInd.substr(0, goodInd.size() / 2)); },
         QELKF_ERR_DAMAGED},
        {"a plain LMDB file",
         [&] {
             fs::remove(ind_);
             PutRaw(ind_, "other", Name("k"), Name("v"));
         },
         QELKF_ERR_DAMAGED},
        {"index version",
         [&] {
             PutRaw(ind_, "meta", Name("version"), Bytes{0, 0, 0, 2});
         },
         QELKF_ERR_DAMAGED},
        {"member key length",
         [&] {
             PutRaw(ind_, "meta", Name("member key lengths"), Bytes{0, 2});
         },
         QELKF_ERR_DAMAGED},
        {"member missing",
         [&] {
             PutRaw(ind_, "meta", Name("member key lengths"), Bytes{0, 12, 0, 12});
         },
         QELKF_ERR_DAMAGED},
        {"record count width",
         [&] {
             PutRaw(ind_, "meta", Name("record count"), Bytes{0, 20});
         },
         QELKF_ERR_DAMAGED},
    };
    for (const Damage& damage : damages) {
        WriteAll(dat_, goodDat);
        WriteAll(ind_, goodInd);
        fs::remove(ind_ + "-lock");
        damage.apply();
        for (int mode : {QELKF_OPEN_SEARCH, QELKF_OPEN_BUILD}) {
            if (damage.buildOnly && mode == QELKF_OPEN_SEARCH) continue;
            auto set = QelKf_NewLmdb();
            int rc = set->Open(0, ind_, mode);
            if (rc == 0) rc = set->Open(kData, dat_, mode);
            EXPECT_EQ(rc, -1) << damage.what << " mode " << mode;
            EXPECT_EQ(set->LastError(), damage.error) << damage.what << " mode " << mode;
        }
    }

    // A key of the wrong length inside a member shows when a lookup meets it.
    WriteAll(dat_, goodDat);
    WriteAll(ind_, goodInd);
    PutRaw(ind_, "0", Bytes(5, 0xFF), {});
    auto set = Search();
    Bytes key(kIntKey + QELKF_SLOT_SIZE);
    EXPECT_NE(set->First(0, key), 0u);
    EXPECT_EQ(set->Last(0, key), 0u);
    EXPECT_EQ(set->LastError(), QELKF_ERR_DAMAGED);
    // A record the file no longer holds fails to read.
    uint64_t position = set->First(0, key);
    ASSERT_EQ(::truncate(dat_.c_str(), off_t(position)), 0);
    Bytes record(kRecord);
    EXPECT_EQ(set->Read(kData, position, record), -1);
    EXPECT_EQ(set->LastError(), QELKF_ERR_DAMAGED);
}

TEST_F(LmdbFileTest, RandomlyDamagedIndexPagesNeverCrash) {
    Build(0, 3000, true);
    const std::string good = ReadAll(ind_), goodDat = ReadAll(dat_);
    const size_t pageSize = size_t(::sysconf(_SC_PAGESIZE));
    ASSERT_GT(good.size() / pageSize, 4u);
    const std::string dat = dat_, ind = ind_;
    int refused = 0;
    for (unsigned seed = 0; seed < 120; ++seed) {
        // Noise over a whole page, a few bytes of a page, or a few bytes of a meta page's fields.
        std::mt19937 random(seed);
        std::string bad = good;
        const int kind = int(seed % 3);
        const size_t page = kind == 2 ? random() % 2 : 2 + random() % (good.size() / pageSize - 2);
        for (int i = 0; i < (kind == 0 ? int(pageSize) : 8); ++i) {
            size_t at = kind == 0 ? size_t(i) : kind == 1 ? random() % pageSize : 16 + random() % 144;
            bad[page * pageSize + at] = char(random());
        }
        WriteAll(ind_, bad);
        WriteAll(dat_, goodDat);
        fs::remove(ind_ + "-lock");
        // Exit 0: every call returned; 1: the index was refused at open.
        pid_t child = Fork([&] {
            auto search = QelKf_NewLmdb();
            if (search->Open(0, ind, QELKF_OPEN_SEARCH) != 0)
                return search->LastError() == QELKF_ERR_DAMAGED ? 1 : 2;
            Bytes key(kIntKey + QELKF_SLOT_SIZE);
            for (uint64_t p = search->First(0, key); p != 0; p = search->Next(0, key)) {
            }
            for (uint64_t p = search->Last(0, key); p != 0; p = search->Previous(0, key)) {
            }
            search.reset();
            ChildBuild(dat, ind, 5000, 500);
            return 0;
        });
        int code = ExitCode(child);
        ASSERT_TRUE(code == 0 || code == 1) << "seed " << seed << " ended with " << code;
        refused += code;
    }
    EXPECT_GT(refused, 0);
}

TEST_F(LmdbFileTest, AForkedChildUsesItsOwnEnvironment) {
    Build(0, 3, true);
    auto search = Search();  // the parent's environment stays open across the fork
    const std::string dat = dat_, ind = ind_;
    pid_t child = Fork([&] {
        auto own = QelKf_NewLmdb();
        if (own->Open(0, ind, QELKF_OPEN_SEARCH) != 0 || own->Open(kData, dat, QELKF_OPEN_SEARCH) != 0)
            return 1;
        Bytes key(kIntKey + QELKF_SLOT_SIZE);
        int n = 0;
        for (uint64_t p = own->First(0, key); p != 0; p = own->Next(0, key)) ++n;
        return n == 3 ? ChildBuild(dat, ind, 3, 2) : 2;
    });
    EXPECT_EQ(ExitCode(child), 0);
    EXPECT_EQ(CountKeys(*search), 3u);
    ASSERT_EQ(search->Refresh(), 0);
    EXPECT_EQ(CountKeys(*search), 5u);
}

}  // namespace
