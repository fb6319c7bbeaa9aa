// The hit list a search fills: sorted insertion against a stable sort, duplicates, the
// hit limit, rows dropped by data type, the per-hit function, the latest-value parking
// and the client exit's rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "folder_fixture.h"
#include "hit_links.h"
#include "library_state.h"
#include "server_ops.h"
#include "session_list.h"

using clienttest::FolderSpec;
using clienttest::MakeRow;
using clienttest::OpenTestFolder;

namespace {

// Folder fields: KEY 'I' (sort 1, ascending), NAME 'S' (sort 2, descending), DAY 'I'
// date, APP 'S'. Group 0 maps all four; group 1 ("OTHER") has no KEY.
FolderSpec HitFolder() {
    FolderSpec spec;
    spec.fields = {{.name = "KEY", .type = 'I', .sortOrder = 1},
                   {.name = "NAME", .type = 'S', .sortOrder = 2, .ascending = 'D'},
                   {.name = "DAY", .type = 'I', .dateType = 'D'},
                   {.name = "APP", .type = 'S'}};
    spec.groups = {{.number = 10,
                    .name = "MAIN",
                    .fields = {{.name = "key", .type = 'I'},
                               {.name = "name", .type = 'S'},
                               {.name = "day", .type = 'I', .dateType = 'D'},
                               {.name = "app", .type = 'S', .flags = CS_FIELD_GROUP_NAME}},
                    .applications = {{.name = "FIRST", .number = 1, .dataType = 'A'},
                                     {.name = "NONE", .number = 2, .dataType = 'N'}},
                    .map = {0, 1, 2, 3}},
                   {.number = 11,
                    .name = "OTHER",
                    .fields = {{.name = "name", .type = 'S'}, {.name = "day", .type = 'I', .dateType = 'D'}},
                    .applications = {{.name = "ONLY", .number = 3}},
                    .map = {FOLDER_FIELD_UNMAPPED, 0, 1}}};
    return spec;
}

class HitListTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = qelclient::Library().options;
        auto& options = qelclient::Library().options;
        options.sortByField = 1;
        options.duplicateCheck = 1;
        options.keepTypeNRows = 1;
        qelclient::ServerOps ops;
        ops.interrupt = [this](ClientSession*) { ++interrupts; };
        qelclient::SetOps(ops);
        session.requestRunning = 1;
        folder = OpenTestFolder(&session, HitFolder());
        Begin(0);
    }
    void TearDown() override {
        qelclient::Library().options = saved_;
        qelclient::SetOps(qelclient::ServerOps{});
    }

    // The session's search state for rows of group g.
    void Begin(int g, bool keepHits = false) {
        ClientSearchState& search = session.search;
        search.folder = folder;
        search.groupIndex = g;
        search.groupNameField = g == 0 ? 3 : -1;
        search.keepHits = keepHits;
        search.runningCount = 0;
        session.stopped = 0;
    }
    const CsXdrApplGroup& Group(int g) const { return folder->definition->groups[g]; }
    FolderSessionEntry& List() const { return folder->entry->hits; }

    // A row of group 0 (or 1, without the key) whose object offset identifies it.
    CsXdrHitRow* Row(int g, uint32_t id, int key, const std::string& name, int day = 1,
                     const std::string& app = "FIRST") {
        if (g == 0)
            return MakeRow(Group(0), {std::to_string(key), name, std::to_string(day), app}, "1AAAA", id);
        return MakeRow(Group(1), {name, std::to_string(day)}, "1AAAA", id);
    }
    // Hands the row to the callback; frees it when it was not kept, as the request layer does.
    int Add(CsXdrHitRow* row) {
        const int kept = Search_AddRowCallback(&session, row);
        if (kept != 0) CsFreePackedHit(row, -1);
        return kept;
    }
    std::vector<uint32_t> Ids() const {
        std::vector<uint32_t> ids;
        for (const SearchHitPtr& hit : List().hits) ids.push_back(hit->row->object->offset);
        return ids;
    }
    // The links agree with the vector, and the public walk visits the same hits.
    void ExpectLinked() {
        const auto& hits = List().hits;
        SearchHit* walk = Folder_GetFirstHit(&session, folder);
        for (size_t i = 0; i < hits.size(); ++i) {
            ASSERT_EQ(walk, hits[i].get()) << "hit " << i;
            EXPECT_EQ(hits[i]->prev, i > 0 ? hits[i - 1].get() : nullptr) << "hit " << i;
            walk = Hit_GetNext(walk);
        }
        EXPECT_EQ(walk, nullptr);
        EXPECT_EQ(Folder_GetHitCount(&session, folder), static_cast<int>(hits.size()));
    }

    ClientSession session;
    OpenFolder* folder = nullptr;
    int interrupts = 0;

private:
    qelclient::LibraryOptions saved_;
};

// The position a walk from the first hit gives: before the first hit the new one sorts
// strictly before.
std::vector<uint32_t> WalkOrder(ClientSession* session, const OpenFolder* folder,
                                const std::vector<SearchHitPtr>& arrivals) {
    std::vector<const SearchHit*> list;
    for (const SearchHitPtr& hit : arrivals) {
        auto at = std::find_if(list.begin(), list.end(), [&](const SearchHit* other) {
            return Hit_Compare(session, folder, hit.get(), other, folder->sortList) < 0;
        });
        list.insert(at, hit.get());
    }
    std::vector<uint32_t> ids;
    for (const SearchHit* hit : list) ids.push_back(hit->row->object->offset);
    return ids;
}

TEST_F(HitListTest, InsertionOrderEqualsStableSortAndWalk) {
    struct Case {
        const char* name;
        int count;
        int otherGroupEvery;  // every n-th row from group 1 (no key): 0 none
    };
    const Case cases[] = {{"one group, 10,000 rows", 10000, 0}, {"two groups, one without the key", 2000, 7}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Folder_FreeHits(&session, folder);
        std::mt19937 random(42);
        std::vector<SearchHitPtr> reference;  // the same rows as hits of no list
        struct Arrival {
            int g, key;
            std::string name;
        };
        std::vector<Arrival> arrivals;
        for (int i = 0; i < c.count; ++i) {
            const int g = c.otherGroupEvery != 0 && i % c.otherGroupEvery == 0 ? 1 : 0;
            const int key = static_cast<int>(random() % 50);
            const std::string name(1, static_cast<char>('a' + random() % 4));
            arrivals.push_back({g, key, name});
            Begin(g);
            ASSERT_EQ(Add(Row(g, static_cast<uint32_t>(i), key, name)), 0);
            auto hit = std::make_unique<SearchHit>();
            hit->row = Row(g, static_cast<uint32_t>(i), key, name);
            hit->groupIndex = g;
            hit->group = &Group(g);
            reference.push_back(std::move(hit));
        }
        ASSERT_EQ(List().hits.size(), static_cast<size_t>(c.count));
        if (c.otherGroupEvery == 0) {
            EXPECT_TRUE(List().sorted);
            std::vector<const SearchHit*> sorted;
            for (const SearchHitPtr& hit : reference) sorted.push_back(hit.get());
            std::stable_sort(sorted.begin(), sorted.end(), [&](const SearchHit* a, const SearchHit* b) {
                return Hit_Compare(&session, folder, a, b, folder->sortList) < 0;
            });
            std::vector<uint32_t> ids;
            for (const SearchHit* hit : sorted) ids.push_back(hit->row->object->offset);
            EXPECT_EQ(Ids(), ids);
        } else {
            // The key does not order hits of both groups alike: only the walk's answer counts.
            EXPECT_FALSE(List().sorted);
            EXPECT_EQ(Ids(), WalkOrder(&session, folder, reference));

            // The same rows again in a search that keeps the hits: none is added twice,
            // and a new document among them still finds its place.
            const std::vector<uint32_t> before = Ids();
            for (size_t i = 0; i < arrivals.size(); ++i) {
                const Arrival& a = arrivals[i];
                Begin(a.g, true);
                ASSERT_EQ(Add(Row(a.g, static_cast<uint32_t>(i), a.key, a.name)), 1) << "row " << i;
            }
            EXPECT_EQ(Ids(), before);
            Begin(0, true);
            ASSERT_EQ(Add(Row(0, 999999, -1, "z")), 0);
            EXPECT_EQ(List().hits.front()->row->object->offset, 999999u);
        }
        ExpectLinked();
    }
}

TEST_F(HitListTest, EqualRowsKeepServerOrder) {
    struct Case {
        const char* name;
        uint8_t sortByField;
        std::vector<std::pair<int, std::string>> rows;  // key, name in arrival order
        std::vector<uint32_t> expected;
    };
    const Case cases[] = {
        {"all equal", 1, {{5, "x"}, {5, "x"}, {5, "x"}}, {0, 1, 2}},
        {"equal runs among others", 1, {{5, "x"}, {1, "x"}, {5, "x"}, {1, "x"}, {5, "y"}}, {1, 3, 4, 0, 2}},
        {"descending name decides", 1, {{2, "a"}, {2, "c"}, {2, "b"}}, {1, 2, 0}},
        {"sorting off appends", 0, {{5, "x"}, {1, "x"}, {3, "x"}}, {0, 1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        qelclient::Library().options.sortByField = c.sortByField;
        Folder_FreeHits(&session, folder);
        uint32_t id = 0;
        for (const auto& [key, name] : c.rows) ASSERT_EQ(Add(Row(0, id++, key, name)), 0);
        EXPECT_EQ(Ids(), c.expected);
        ExpectLinked();
    }
}

TEST_F(HitListTest, KeptHitsAreNotAddedTwice) {
    struct Case {
        const char* name;
        bool keepHits;
        uint8_t duplicateCheck;
        std::vector<uint32_t> expected;
    };
    // The first search finds 0, 1, 2; the second 1, 2 (the same documents) and 3. Row 4
    // of the second search is row 0's document with another value: not the same.
    const Case cases[] = {
        {"keep hits with the check", true, 1, {0, 1, 2, 3, 0}},
        {"check switched off", true, 0, {0, 1, 2, 1, 2, 3, 0}},
        {"hits not kept: no check", false, 1, {0, 1, 2, 1, 2, 3, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        qelclient::Library().options.sortByField = 0;
        qelclient::Library().options.duplicateCheck = c.duplicateCheck;
        Folder_FreeHits(&session, folder);
        Begin(0);
        for (uint32_t id : {0u, 1u, 2u}) Add(Row(0, id, 7, "doc"));
        Begin(0, c.keepHits);
        for (uint32_t id : {1u, 2u, 3u}) Add(Row(0, id, 7, "doc"));
        Add(Row(0, 0, 8, "doc"));
        EXPECT_EQ(Ids(), c.expected);
    }
}

TEST_F(HitListTest, HitLimit) {
    struct Case {
        const char* name;
        int32_t limit;
        size_t kept;
        int interrupts;
    };
    const Case cases[] = {
        {"0 keeps nothing", 0, 0, 1},
        {"3 keeps three", 3, 3, 1},
        {"negative keeps every row", -1, 6, 0},
        {"more than the rows", 10, 6, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Folder_FreeHits(&session, folder);
        folder->hitLimit = c.limit;
        interrupts = 0;
        Begin(0);
        // The request layer stops sending rows once it is interrupted.
        for (uint32_t id = 0; id < 6 && interrupts == 0; ++id) {
            const int kept = Add(Row(0, id, 1, "x"));
            EXPECT_EQ(kept, id < c.kept ? 0 : 1) << "row " << id;
        }
        EXPECT_EQ(List().hits.size(), c.kept);
        EXPECT_EQ(interrupts, c.interrupts);
        EXPECT_EQ(session.stopped, c.interrupts);
    }
}

TEST_F(HitListTest, ApplicationOfTheRowAndTypeNRows) {
    struct Case {
        const char* name;
        std::string app;
        uint8_t keepTypeNRows;
        int kept;
        const char* application;
    };
    const Case cases[] = {
        {"named application", "FIRST", 1, 0, "FIRST"}, {"type N kept by the switch", "NONE", 1, 0, "NONE"},
        {"type N dropped", "NONE", 0, 1, nullptr},     {"unknown name: the first", "NONEX", 0, 0, "FIRST"},
        {"empty name: the first", "", 0, 0, "FIRST"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        qelclient::Library().options.keepTypeNRows = c.keepTypeNRows;
        Folder_FreeHits(&session, folder);
        EXPECT_EQ(Add(Row(0, 1, 1, "x", 1, c.app)), c.kept);
        if (c.application == nullptr) {
            EXPECT_TRUE(List().hits.empty());
            continue;
        }
        ASSERT_EQ(List().hits.size(), 1u);
        const SearchHit& hit = *List().hits[0];
        ASSERT_NE(hit.application, nullptr);
        EXPECT_STREQ(hit.application->name, c.application);
        EXPECT_EQ(hit.group, &Group(0));
        EXPECT_EQ(hit.groupIndex, 0);
    }
    // A group without a group-name field: its first application.
    Folder_FreeHits(&session, folder);
    Begin(1);
    ASSERT_EQ(Add(Row(1, 2, 0, "y")), 0);
    ASSERT_EQ(List().hits.size(), 1u);
    EXPECT_STREQ(List().hits[0]->application->name, "ONLY");
}

struct PerHitCall {
    int hits, running, position;
};
std::vector<PerHitCall> perHitCalls;
bool StopAfterFive(OpenFolder*, SearchHit* hit, int hits, int running, int position) {
    EXPECT_NE(hit, nullptr);
    perHitCalls.push_back({hits, running, position});
    return running < 5;
}

TEST_F(HitListTest, PerHitFunctionFalseInterrupts) {
    perHitCalls.clear();
    session.search.hitFunction = StopAfterFive;
    // Keys fall so that each row sorts first.
    for (uint32_t id = 0; id < 8 && interrupts == 0; ++id) EXPECT_EQ(Add(Row(0, id, 100 - int(id), "x")), 0);
    EXPECT_EQ(List().hits.size(), 5u);
    EXPECT_EQ(interrupts, 1);
    EXPECT_EQ(session.stopped, 0);
    ASSERT_EQ(perHitCalls.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(perHitCalls[i].hits, i + 1);
        EXPECT_EQ(perHitCalls[i].running, i + 1);
        EXPECT_EQ(perHitCalls[i].position, 0);
    }
    session.search.hitFunction = nullptr;
}

TEST_F(HitListTest, LatestValueRowsParked) {
    qelclient::Library().options.sortByField = 0;
    struct Case {
        const char* name;
        int maxField;  // folder field
        std::vector<int> days;
        std::vector<int> results;
        int keptDay;
    };
    // Rows of the document "a" differ only in DAY (and their offsets); one row of "b"
    // arrives after the first "a".
    const Case cases[] = {
        {"greatest wins in the first place", 2, {10, 30, 20}, {0, 0, 1}, 30},
        {"rising", 2, {1, 2, 3}, {0, 0, 0}, 3},
        {"equal values keep the parked row", 2, {5, 5, 5}, {0, 1, 1}, 5},
        {"falling", 2, {9, 8, 7}, {0, 1, 1}, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Folder_FreeHits(&session, folder);
        Begin(0);
        session.search.maxField = c.maxField;
        auto park = [&](CsXdrHitRow* row) {
            const int r = Search_MaxRowCallback(&session, row);
            if (r != 0) CsFreePackedHit(row, -1);
            return r;
        };
        std::vector<int> results;
        results.push_back(park(Row(0, 100, 1, "a", c.days[0])));
        EXPECT_EQ(park(Row(0, 200, 1, "b", 7)), 0);
        for (size_t i = 1; i < c.days.size(); ++i)
            results.push_back(park(Row(0, 100 + static_cast<uint32_t>(i), 1, "a", c.days[i])));
        EXPECT_EQ(results, c.results);
        ASSERT_EQ(session.search.parked.size(), 2u);
        // What the search does after the group's request: the parked rows, in order.
        for (ClientParkedRow& parked : session.search.parked) {
            CsXdrHitRow* row = std::exchange(parked.row, nullptr);
            if (Search_AddRowCallback(&session, row) != 0) CsFreePackedHit(row, -1);
        }
        session.search.parked.clear();
        ASSERT_EQ(List().hits.size(), 2u);
        EXPECT_EQ(List().hits[0]->row->values[2].v.integer, c.keptDay);
        EXPECT_STREQ(List().hits[0]->row->values[1].v.text, "a");
        EXPECT_STREQ(List().hits[1]->row->values[1].v.text, "b");
    }
    // A maximum of another type than 'B', 'I', 'N' (here the text NAME) keeps the parked row;
    // so does a latest-value field the group does not map.
    for (int maxField : {1, 4}) {
        SCOPED_TRACE(maxField);
        Begin(0);
        session.search.parked.clear();
        session.search.maxField = maxField;
        CsXdrHitRow* first = Row(0, 1, 1, "a");
        ASSERT_EQ(Search_MaxRowCallback(&session, first), 0);
        CsXdrHitRow* second = Row(0, 1, 1, maxField == 1 ? "b" : "a");
        EXPECT_EQ(Search_MaxRowCallback(&session, second), 1);
        CsFreePackedHit(second, -1);
        ASSERT_EQ(session.search.parked.size(), 1u);
        EXPECT_EQ(session.search.parked[0].row, first);
    }
    session.search.parked.clear();
    session.search.maxField = -1;
}

TEST_F(HitListTest, LinksAfterInsertsAndUnlinks) {
    std::mt19937 random(7);
    for (uint32_t id = 0; id < 200; ++id) Add(Row(0, id, static_cast<int>(random() % 10), "x"));
    ExpectLinked();
    // Take out the first, the last and hits in between; put some back by position.
    auto& hits = List().hits;
    for (int round = 0; round < 50; ++round) {
        const size_t at = round == 0 ? 0 : round == 1 ? hits.size() - 1 : random() % hits.size();
        SearchHitPtr taken = qelclient::UnlinkHit(List(), hits[at].get());
        ASSERT_NE(taken, nullptr);
        EXPECT_EQ(taken->prev, nullptr);
        EXPECT_EQ(taken->next, nullptr);
        if (round % 3 == 0) qelclient::LinkHit(List(), std::move(taken), static_cast<int>(random() % 300));
        ASSERT_NO_FATAL_FAILURE(ExpectLinked());
    }
    EXPECT_EQ(qelclient::UnlinkHit(List(), nullptr), nullptr);
    Folder_FreeHits(&session, folder);
    ExpectLinked();
}

TEST_F(HitListTest, SortedPositionAmongEqualKeys) {
    struct Case {
        const char* name;
        int key;
        int position;
    };
    // The list holds keys 1, 3, 3, 5 (one name): a new hit goes after the hits it equals.
    const Case cases[] = {
        {"before all", 0, 0}, {"equal to the first", 1, 1}, {"after an equal run", 3, 3},
        {"between", 4, 3},    {"equal to the last", 5, 4},  {"after all", 9, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Folder_FreeHits(&session, folder);
        uint32_t id = 0;
        for (int key : {1, 3, 3, 5}) Add(Row(0, id++, key, "x"));
        auto hit = std::make_unique<SearchHit>();
        hit->row = Row(0, 99, c.key, "x");
        hit->groupIndex = 0;
        hit->group = &Group(0);
        const SearchHit* added = hit.get();
        EXPECT_EQ(Hit_InsertSorted(&session, folder, std::move(hit), true, folder->sortList, -1), c.position);
        EXPECT_EQ(qelclient::HitPosition(List(), added), c.position);
        EXPECT_TRUE(List().sorted);
        ExpectLinked();
    }
}

TEST_F(HitListTest, PositionWithoutSortAndSortedFlag) {
    // Without sort the caller's position holds; the list no longer counts as sorted, so
    // later sorted inserts walk it.
    Add(Row(0, 0, 5, "x"));
    Add(Row(0, 1, 9, "x"));
    EXPECT_TRUE(List().sorted);
    auto hit = std::make_unique<SearchHit>();
    hit->row = Row(0, 2, 1, "x");
    hit->groupIndex = 0;
    hit->group = &Group(0);
    EXPECT_EQ(Hit_InsertSorted(&session, folder, std::move(hit), false, folder->sortList, 5), 2);
    EXPECT_FALSE(List().sorted);
    EXPECT_EQ(Add(Row(0, 3, 7, "x")), 0);
    // The walk stops at row 1 (9), the first that row 3 sorts before.
    EXPECT_EQ(Ids(), (std::vector<uint32_t>{0, 3, 1, 2}));
    Folder_FreeHits(&session, folder);
    EXPECT_TRUE(List().sorted);
}

int yields = 0;
void CountYield() { ++yields; }

// A group of every value type, its application-group-name field last.
FolderSpec ExitFolder() {
    FolderSpec spec;
    spec.fields = {{.name = "KEY", .type = 'I'}};
    spec.groups = {{.number = 5,
                    .name = "EXIT",
                    .fields = {{.name = "big", .type = 'B'},
                               {.name = "real", .type = 'D'},
                               {.name = "small", .type = 'N'},
                               {.name = "name", .type = 'S'},
                               {.name = "key", .type = 'I'},
                               {.name = "app", .type = 'S', .flags = CS_FIELD_GROUP_NAME}},
                    .applications = {{.name = "OTHER", .number = 1}, {.name = "FIRST", .number = 2}},
                    .map = {4}}};
    return spec;
}

TEST_F(HitListTest, ExitRowsBecomeHits) {
    qelclient::Library().options.sortByField = 0;
    auto owned = std::make_unique<ClientSession>();
    owned->exitSessionId = 0x5151;
    owned->requestRunning = 1;
    ClientSession* listed = qelclient::ListAppend(std::move(owned));
    OpenFolder* exitFolder = OpenTestFolder(listed, ExitFolder());
    listed->search.folder = exitFolder;
    listed->search.groupIndex = 0;
    listed->search.groupNameField = 5;
    listed->search.keepHits = true;
    Client_SetYieldFunction(CountYield);
    yields = 0;

    const ClientExitValue values[] = {{"name", "from exit"}, {"key", "42"},          {"KEY", "1"},
                                      {"app", "FIRST"},      {"big", "-9000000000"}, {"real", "2.5"},
                                      {"small", "-2"}};
    const ClientExitRow row{77, 7, values};
    EXPECT_EQ(ExitSearchFolderCallback(0x5151, &row), 1);
    EXPECT_EQ(ExitSearchFolderCallback(0x5152, &row), 0);  // no such session
    EXPECT_EQ(ExitSearchFolderCallback(0x5151, &row), 1);  // the same identifier: not kept
    listed->cancel = 1;
    const ClientExitRow other{78, 1, values + 1};            // only "key"
    EXPECT_EQ(ExitSearchFolderCallback(0x5151, &other), 0);  // kept, but the session cancels
    Client_SetYieldFunction(nullptr);
    EXPECT_EQ(yields, 3);

    const auto& hits = exitFolder->entry->hits.hits;
    ASSERT_EQ(hits.size(), 2u);
    const SearchHit& first = *hits[0];
    EXPECT_TRUE(first.exitHit);
    EXPECT_EQ(first.exitId, 77u);
    const CsXdrValue* v = first.row->values;
    EXPECT_EQ(v[0].v.big, -9000000000LL);
    EXPECT_DOUBLE_EQ(v[1].v.real, 2.5);
    EXPECT_EQ(v[2].v.small, -2);
    EXPECT_STREQ(v[3].v.text, "from exit");
    EXPECT_EQ(v[4].v.integer, 42);  // "KEY" is another name
    EXPECT_STREQ(first.application->name, "FIRST");
    ASSERT_NE(first.row->object, nullptr);
    EXPECT_EQ(first.row->object->compression, 'N');
    EXPECT_EQ(first.row->noteFlag, 'N');

    const CsXdrValue* absent = hits[1]->row->values;
    EXPECT_EQ(hits[1]->exitId, 78u);
    EXPECT_EQ(absent[0].v.big, 0);
    EXPECT_EQ(absent[1].v.real, 0.0);
    EXPECT_EQ(absent[3].v.text, nullptr);
    EXPECT_EQ(absent[4].v.integer, 42);
    EXPECT_STREQ(hits[1]->application->name, "OTHER");  // no group name: the first
    EXPECT_EQ(Hit_IsSameDocument(hits[0].get(), hits[1].get()), 1);

    // A server row never matches an exit hit.
    listed->cancel = 0;
    CsXdrHitRow* server =
        MakeRow(exitFolder->definition->groups[0], {"-9000000000", "2.5", "-2", "from exit", "42", "FIRST"});
    EXPECT_EQ(Search_AddRowCallback(listed, server), 0);
    EXPECT_EQ(hits.size(), 3u);

    // No search under way: nothing to add the row to.
    listed->search.folder = nullptr;
    EXPECT_EQ(ExitSearchFolderCallback(0x5151, &row), 0);
    EXPECT_EQ(hits.size(), 3u);
    qelclient::ListRemove(listed);
}

}  // namespace
