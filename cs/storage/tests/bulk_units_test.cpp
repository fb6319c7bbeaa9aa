// The parts of bulk retrieval that need no archive: gathering batches, the two sort
// orders, the deliveries a run is split into, the span read once and the windows
// served from it.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "bulk_deliver.h"
#include "bulk_entries.h"

namespace {

using qelsm::bulk::Block;
using qelsm::bulk::Delivery;
using qelsm::bulk::Entry;
using qelsm::bulk::GroupNode;

// A document of an object: stored block (c, L), window (O, T) in the expanded block.
struct Doc {
    const char* name;
    char letter;
    uint32_t c, L, O, T;
};

// Rows and references for a list of documents, kept alive with the entries.
class Docs {
public:
    Docs(std::initializer_list<Doc> docs, uint32_t groupNumber = 7) {
        group_.number = groupNumber;
        node_.group = &group_;
        for (const Doc& d : docs) {
            names_.emplace_back(d.name);
            CsXdrObjectRef& ref = refs_.emplace_back();
            ref.name = names_.back().data();
            ref.compression = d.letter;
            ref.compressedOffset = d.c;
            ref.compressedLength = d.L;
            ref.offset = d.O;
            ref.length = d.T;
            CsXdrHitRow& row = rows_.emplace_back();
            row.object = &ref;
            Entry e;
            e.row = &row;
            e.group = &node_;
            e.docLength = std::strchr(d.name, '$') != nullptr ? 0 : d.T;
            entries_.push_back(e);
        }
    }
    std::vector<Entry>& entries() { return entries_; }

private:
    CsXdrApplGroup group_{};
    GroupNode node_;
    std::deque<std::string> names_;
    std::deque<CsXdrObjectRef> refs_;
    std::deque<CsXdrHitRow> rows_;
    std::vector<Entry> entries_;
};

// ---------------------------------------------------------------- deliveries

struct PlanCase {
    const char* what;
    std::initializer_list<Doc> docs;
    // Per delivery: the documents it carries and where each begins in its output.
    std::vector<std::vector<uint64_t>> offsets;
    std::vector<Block> blocks;
    std::vector<std::pair<uint64_t, uint64_t>> windows;
};

TEST(BulkPlan, DocumentsThatFollowOnShareOneDelivery) {
    const PlanCase cases[] = {
        {"three documents back to back in one compressed block",
         {{"1FAA", 'O', 100, 50, 0, 10}, {"1FAA", 'O', 100, 50, 10, 20}, {"1FAA", 'O', 100, 50, 30, 5}},
         {{0, 10, 30}},
         {{100, 50}},
         {{0, 35}}},
        {"a gap inside the block starts a new delivery",
         {{"1FAA", 'O', 100, 50, 0, 10}, {"1FAA", 'O', 100, 50, 11, 20}},
         {{0}, {0}},
         {{100, 50}, {100, 50}},
         {{0, 10}, {11, 20}}},
        {"adjacent whole blocks of a plain object merge",
         {{"2FAA", 'N', 0, 40, 0, 40}, {"2FAA", 'N', 40, 25, 0, 25}, {"2FAA", 'N', 65, 5, 0, 5}},
         {{0, 40, 65}},
         {{0, 70}},
         {{0, 70}}},
        {"adjacent blocks of a compressed object do not",
         {{"2FAA", 'O', 0, 40, 0, 90}, {"2FAA", 'O', 40, 25, 0, 60}},
         {{0}, {0}},
         {{0, 40}, {40, 25}},
         {{0, 90}, {0, 60}}},
        {"a plain window that ends before its block keeps the next block apart",
         {{"2FAA", 'N', 0, 40, 0, 30}, {"2FAA", 'N', 40, 25, 0, 25}},
         {{0}, {0}},
         {{0, 40}, {40, 25}},
         {{0, 30}, {0, 25}}},
        {"a plain block that is only partly the document stays apart",
         {{"2FAA", 'N', 0, 40, 0, 40}, {"2FAA", 'N', 40, 25, 0, 20}},
         {{0}, {0}},
         {{0, 40}, {40, 25}},
         {{0, 40}, {0, 20}}},
        {"another letter starts a new delivery",
         {{"1FAA", 'N', 0, 40, 0, 40}, {"1FAA", 'D', 40, 25, 0, 25}},
         {{0}, {0}},
         {{0, 40}, {40, 25}},
         {{0, 40}, {0, 25}}},
        {"the same document twice is two deliveries",
         {{"1FAA", 'O', 100, 50, 0, 10}, {"1FAA", 'O', 100, 50, 0, 10}},
         {{0}, {0}},
         {{100, 50}, {100, 50}},
         {{0, 10}, {0, 10}}},
        {"a multi-part document is read whole and never merged",
         {{"3FAA$", 'O', 0, 30, 0, 0}, {"3FAA$", 'O', 0, 30, 0, 0}},
         {{0}, {0}},
         {{0, 0}, {0, 0}},
         {{0, 0}, {0, 0}}},
        {"a document to the end of its block ends the merging",
         {{"1FAA", 'O', 100, 50, 0, 10}, {"1FAA", 'O', 100, 50, 10, 0}, {"1FAA", 'O', 100, 50, 10, 3}},
         {{0, 10}, {0}},
         {{100, 50}, {100, 50}},
         {{0, 0}, {10, 3}}},
    };
    for (const PlanCase& c : cases) {
        Docs docs(c.docs);
        const std::vector<Delivery> plan = qelsm::bulk::PlanDeliveries(docs.entries());
        ASSERT_EQ(plan.size(), c.offsets.size()) << c.what;
        size_t next = 0;
        for (size_t d = 0; d < plan.size(); ++d) {
            EXPECT_EQ(plan[d].first, next) << c.what;
            EXPECT_EQ(plan[d].offsets, c.offsets[d]) << c.what << " delivery " << d;
            EXPECT_EQ(plan[d].count, c.offsets[d].size()) << c.what;
            EXPECT_EQ(plan[d].block.offset, c.blocks[d].offset) << c.what << " delivery " << d;
            EXPECT_EQ(plan[d].block.length, c.blocks[d].length) << c.what << " delivery " << d;
            EXPECT_EQ(plan[d].window, c.windows[d].first) << c.what << " delivery " << d;
            EXPECT_EQ(plan[d].windowLength, c.windows[d].second) << c.what << " delivery " << d;
            next += plan[d].count;
        }
        EXPECT_EQ(next, docs.entries().size()) << c.what;
    }
}

// ---------------------------------------------------------------- runs and spans

TEST(BulkPlan, RunsInMemoryCoverOneObjectOfOneGroup) {
    Docs docs({{"1FAA", 'O', 0, 10, 0, 5}, {"1FAA", 'O', 10, 10, 0, 5}, {"2FAA", 'O', 0, 10, 0, 5}});
    std::vector<Entry>& e = docs.entries();
    EXPECT_EQ(qelsm::bulk::RunEnd(e, 0, true), 2u);
    EXPECT_EQ(qelsm::bulk::RunEnd(e, 2, true), 3u);
    // Read per delivery: every document stands alone.
    EXPECT_EQ(qelsm::bulk::RunEnd(e, 0, false), 1u);
    // The storage exit's documents are read one by one.
    for (uint32_t& w : e[1].info) w = qelsm::bulk::kExitWord;
    EXPECT_EQ(qelsm::bulk::RunEnd(e, 0, true), 1u);

    Docs other({{"1FAA", 'O', 0, 10, 0, 5}}, 8);
    std::vector<Entry> mixed = {e[0], other.entries()[0]};
    EXPECT_EQ(qelsm::bulk::RunEnd(mixed, 0, true), 1u) << "another group's object of the same name";
}

TEST(BulkPlan, SpanReachesTheFurthestBlock) {
    struct Case {
        const char* what;
        std::initializer_list<Doc> docs;
        Block span;
    } cases[] = {
        {"one block", {{"A", 'O', 20, 30, 0, 5}}, {20, 30}},
        {"blocks one after another", {{"A", 'O', 20, 30, 0, 5}, {"A", 'O', 50, 10, 0, 5}}, {20, 40}},
        {"a gap between blocks is read along",
         {{"A", 'O', 0, 10, 0, 5}, {"A", 'O', 100, 10, 0, 5}},
         {0, 110}},
        {"a block inside a longer one keeps its end",
         {{"A", 'O', 0, 100, 0, 5}, {"A", 'O', 0, 100, 5, 5}, {"A", 'O', 40, 10, 0, 5}},
         {0, 100}},
        {"a block to the end of the object", {{"A", 'O', 0, 10, 0, 5}, {"A", 'O', 10, 0, 0, 5}}, {0, 0}},
        {"a multi-part document reads from the start", {{"A$", 'O', 30, 10, 0, 0}}, {0, 0}},
    };
    for (const Case& c : cases) {
        Docs docs(c.docs);
        const Block span = qelsm::bulk::SpanOf(docs.entries());
        EXPECT_EQ(span.offset, c.span.offset) << c.what;
        EXPECT_EQ(span.length, c.span.length) << c.what;
    }
}

TEST(BulkPlan, WindowsMustLieInsideWhatWasCollected) {
    qelsm::bulk::SmBulkCollector collector;
    collector.start = 100;
    const std::string piece1 = "0123456789", piece2 = "abcdef";
    EXPECT_EQ(qelsm::bulk::SmBulkCollect(&collector, 100, 'O', piece1.data(), 10), 1);
    EXPECT_EQ(qelsm::bulk::SmBulkCollect(&collector, 110, 'O', piece2.data(), 0),
              1);  // an end piece adds nothing
    EXPECT_EQ(qelsm::bulk::SmBulkCollect(&collector, 110, 'O', piece2.data(), 6), 1);
    ASSERT_EQ(collector.data, "0123456789abcdef");
    qelsm::bulk::SmBulkCollector failed;
    failed.status = CS_NO_MEMORY;
    EXPECT_EQ(qelsm::bulk::SmBulkCollect(&failed, 0, 'O', piece1.data(), 10), 1);
    EXPECT_TRUE(failed.data.empty()) << "nothing is collected after memory ran out";
    struct Case {
        const char* what;
        Block block;
        int rc;
        const char* window;
    } cases[] = {
        {"the whole span", {100, 16}, CS_OK, "0123456789abcdef"},
        {"a block inside", {104, 8}, CS_OK, "456789ab"},
        {"to the end of the span", {110, 0}, CS_OK, "abcdef"},
        {"empty at the very end", {116, 0}, CS_OK, ""},
        {"a block that runs past the data", {110, 7}, CS_FAILED, ""},
        {"a block after the data", {117, 1}, CS_FAILED, ""},
        {"a block before the span", {99, 2}, CS_FAILED, ""},
        {"a length that wraps around", {101, 0xFFFFFFFFFFFFFFFFull}, CS_FAILED, ""},
    };
    for (const Case& c : cases) {
        std::string_view window = "untouched";
        EXPECT_EQ(qelsm::bulk::SmBulkServeWindow(collector, c.block, &window), c.rc) << c.what;
        if (c.rc == CS_OK) {
            EXPECT_EQ(window, c.window) << c.what;
        }
    }
}

// ---------------------------------------------------------------- sort orders

TEST(BulkOrder, NodeOrderPutsDocumentsWithoutANodeFirstThenSignedNumbers) {
    Docs docs(
        {{"A", 'O', 0, 1, 0, 1}, {"B", 'O', 0, 1, 0, 1}, {"C", 'O', 0, 1, 0, 1}, {"D", 'O', 0, 1, 0, 1}});
    CsStorageNode high, low, negative;
    high.number = 7;
    low.number = 2;
    negative.number = 0x8001;  // read as a signed 16-bit number: below every positive one
    std::vector<Entry>& e = docs.entries();
    e[0].node = &high;
    e[1].node = &low;
    e[2].node = nullptr;
    e[3].node = &negative;
    qelsm::bulk::SortByNode(e);
    std::string order;
    for (const Entry& x : e) order += x.Ref().name;
    EXPECT_EQ(order, "CDBA");
}

TEST(BulkOrder, ObjectOrderGroupsEachObjectsDataInOrder) {
    Docs g7({{"2FAA", 'O', 50, 10, 0, 5},
             {"1FAA", 'O', 10, 10, 5, 5},
             {"1FAA", 'O', 10, 10, 0, 5},
             {"1FAA", 'O', 0, 10, 0, 5},
             {"1faa", 'O', 0, 10, 0, 5},
             {"1FAA", 'O', 0, 8, 0, 5}});
    Docs g3({{"9ZZZ", 'O', 0, 1, 0, 1}}, 3);
    Docs gNegative({{"9ZZZ", 'O', 0, 1, 0, 1}}, 0x80000000u);  // signed: before every positive group
    Docs atNode({{"0AAA", 'O', 0, 1, 0, 1}});
    Docs atExit({{"0AAA", 'O', 0, 1, 0, 1}});
    std::vector<Entry> all = g7.entries();
    all.push_back(g3.entries()[0]);
    all.push_back(gNegative.entries()[0]);
    atNode.entries()[0].info[0] = 2;  // volume 2
    for (uint32_t& w : atExit.entries()[0].info) w = qelsm::bulk::kExitWord;
    all.insert(all.begin(), atExit.entries()[0]);
    all.insert(all.begin(), atNode.entries()[0]);
    qelsm::bulk::SortByObject(all);
    std::vector<std::string> order;
    for (const Entry& x : all) {
        const CsXdrObjectRef& r = x.Ref();
        order.push_back(std::to_string(static_cast<int32_t>(x.group->group->number)) + ":" + r.name + "@" +
                        std::to_string(r.compressedOffset) + "+" + std::to_string(r.compressedLength) + "/" +
                        std::to_string(r.offset));
    }
    const std::vector<std::string> expected = {
        "-2147483648:9ZZZ@0+1/0", "3:9ZZZ@0+1/0",  "7:1FAA@0+8/0",   "7:1FAA@0+10/0", "7:1FAA@10+10/0",
        "7:1FAA@10+10/5",         "7:1faa@0+10/0", "7:2FAA@50+10/0", "7:0AAA@0+1/0",  "7:0AAA@0+1/0",
    };
    EXPECT_EQ(order, expected);
    // Cache and unlocated documents first, then the node's, the storage exit's last.
    EXPECT_EQ(all[8].info[0], 2u);
    EXPECT_TRUE(all[9].AtExit());
}

// ---------------------------------------------------------------- gathering

// An item source over a list of (group, row) pairs.
struct Items {
    std::vector<std::pair<CsXdrApplGroup*, CsXdrHitRow*>> list;
    size_t next = 0;
    int failAt = -1;  // the call that refuses
    static int Next(void* context, CsXdrApplGroup** group, CsXdrHitRow** row, uint32_t* word) {
        auto* items = static_cast<Items*>(context);
        if (static_cast<int>(items->next) == items->failAt) return CS_FAILED;
        if (items->next == items->list.size()) {
            *row = nullptr;
            return CS_OK;
        }
        *group = items->list[items->next].first;
        *row = items->list[items->next].second;
        *word = static_cast<uint32_t>(1000 + items->next);
        ++items->next;
        return CS_OK;
    }
};

TEST(BulkGather, BatchLimitAndGroupOfTheDocumentBefore) {
    CsXdrApplGroup a{}, b{}, aCopy{};
    a.number = 1;
    b.number = 2;
    aCopy.number = 1;  // another record of group 1: the listed one is used
    CsXdrObjectRef ref{};
    char name[] = "1FAA";
    ref.name = name;
    ref.length = 9;
    CsXdrHitRow row{};
    row.object = &ref;
    Items items;
    const size_t total = SM_BULK_BATCH_MAX + 1;
    items.list.assign(total, {nullptr, &row});
    items.list[0].first = &a;
    items.list[5].first = &b;
    items.list[7].first = &aCopy;
    SmBulkRequest request;
    request.items = Items::Next;
    qelsm::bulk::GroupList groups;
    qelsm::bulk::GatherState state;
    std::vector<Entry> batch;

    ASSERT_EQ(qelsm::bulk::Gather(request, &items, SM_BULK_BATCH_MAX, &groups, &batch, &state), CS_OK);
    ASSERT_EQ(batch.size(), SM_BULK_BATCH_MAX);
    EXPECT_FALSE(state.ended);
    EXPECT_EQ(batch[4].group->group, &a);
    EXPECT_EQ(batch[5].group->group, &b);
    EXPECT_EQ(batch[6].group->group, &b);
    EXPECT_EQ(batch[7].group->group, &a) << "a record of a listed group's number uses the listed one";
    EXPECT_EQ(batch[9].userWord, 1009u);
    EXPECT_EQ(batch[9].docLength, 9u);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups.front().group, &b) << "new groups go to the head of the list";

    // The 100001st document starts the next batch, still in the group of the one before.
    batch.clear();
    ASSERT_EQ(qelsm::bulk::Gather(request, &items, SM_BULK_BATCH_MAX, &groups, &batch, &state), CS_OK);
    ASSERT_EQ(batch.size(), 1u);
    EXPECT_EQ(batch[0].group->group, &a);
    EXPECT_TRUE(state.ended);
}

TEST(BulkGather, RefusalsAndBadItems) {
    CsXdrApplGroup a{};
    a.number = 1;
    CsXdrObjectRef ref{};
    char name[] = "4FAA$";
    ref.name = name;
    ref.length = 9;
    CsXdrHitRow row{}, bare{};
    row.object = &ref;
    struct Case {
        const char* what;
        std::vector<std::pair<CsXdrApplGroup*, CsXdrHitRow*>> list;
        int failAt;
        int rc;
        size_t gathered;
    } cases[] = {
        {"the first document without a group", {{nullptr, &row}}, -1, SM_BULK_NO_GROUP, 0},
        {"the item source refuses", {{&a, &row}, {nullptr, &row}}, 1, CS_CANCELLED, 1},
        {"a row without an object reference", {{&a, &row}, {nullptr, &bare}}, -1, CS_FAILED, 1},
        {"no documents at all", {}, -1, CS_OK, 0},
    };
    for (const Case& c : cases) {
        Items items;
        items.list = c.list;
        items.failAt = c.failAt;
        SmBulkRequest request;
        request.items = Items::Next;
        qelsm::bulk::GroupList groups;
        qelsm::bulk::GatherState state;
        std::vector<Entry> batch;
        EXPECT_EQ(qelsm::bulk::Gather(request, &items, 0, &groups, &batch, &state), c.rc) << c.what;
        EXPECT_EQ(batch.size(), c.gathered) << c.what;
        if (!batch.empty()) {
            EXPECT_EQ(batch[0].docLength, 0u) << "a multi-part document has no length";
        }
    }
}

}  // namespace
