// Bulk retrieval on a local archive built for the test: documents of two groups sharing
// a few objects (plain and zlib). What the sink receives is compared with retrieving
// each document alone, and the reads of the object files are counted from the outside
// (inotify on the archive's object folders).
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <cstring>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "bulk_test_archive.h"
#include "qel_sm_bulk.h"
#include "request_test_support.h"

namespace {

using namespace bulktest;

// What a run handed to the caller, in order.
struct Recorder {
    struct Announced {
        uint64_t at;  // the sink's size when the delivery that carries it began
        uint64_t offset;
        uint64_t length;
        char note;
        uint32_t word;
    };
    // The documents the item source hands out: group (null: as before), row, user word.
    struct Item {
        CsXdrApplGroup* group;
        CsXdrHitRow* row;
        uint32_t word;
    };
    std::vector<Item> items;
    size_t next = 0;
    int refuseAt = -1;
    std::string data;
    int emptyCalls = 0;
    std::vector<Announced> announced;
    std::vector<char> letters;
    std::vector<std::string> events;  // "item <word>" and "announce <word>" in order
    std::string report;
    CsHandle* interruptAfter = nullptr;  // interrupt the handle at the first announcement
    uint64_t deliveryStart = 0;

    static int Next(void* context, CsXdrApplGroup** group, CsXdrHitRow** row, uint32_t* word) {
        auto* r = static_cast<Recorder*>(context);
        if (static_cast<int>(r->next) == r->refuseAt) return CS_FAILED;
        if (r->next == r->items.size()) {
            *row = nullptr;
            return CS_OK;
        }
        const Item& item = r->items[r->next++];
        *group = item.group;
        *row = item.row;
        *word = item.word;
        r->events.push_back("item " + std::to_string(item.word));
        return CS_OK;
    }
    static int Announce(void* context, uint64_t offset, uint64_t length, char note, uint32_t word) {
        auto* r = static_cast<Recorder*>(context);
        if (offset == 0) r->deliveryStart = r->data.size();
        r->announced.push_back({r->deliveryStart, offset, length, note, word});
        r->events.push_back("announce " + std::to_string(word));
        if (r->interruptAfter != nullptr) CsInterrupt(r->interruptAfter);
        return 0;
    }
    static int Letter(void* context, char letter) {
        static_cast<Recorder*>(context)->letters.push_back(letter);
        return 0;
    }
    static int Sink(void* context, const unsigned char* data, size_t length) {
        if (length == 0) ++static_cast<Recorder*>(context)->emptyCalls;
        static_cast<Recorder*>(context)->data.append(reinterpret_cast<const char*>(data), length);
        return 1;
    }
    static int Report(void* context, const unsigned char* data, size_t length) {
        static_cast<Recorder*>(context)->report.append(reinterpret_cast<const char*>(data), length);
        return 1;
    }
};

class BulkRetrieve : public ::testing::Test {
protected:
    // Builds the archive of `count` documents and logs on to it.
    void Build(int count, bool paged = false) {
        std::string all;
        for (int n = 0; n < count; ++n) all += DocText(n);
        reqtest::WriteText(scratch_.Path() + "docs.txt", all);
        reqtest::WriteText(scratch_.Path() + "part1.txt", "1PAGE 1\n LINE\n1PAGE 2\n LINE\n");
        reqtest::WriteText(scratch_.Path() + "part2.txt", "1PAGE 3\n LAST LINE\n");
        archive_ = scratch_.Path() + "archive";
        arcbuild::Errors errors;
        arcbuild::Description d;
        ASSERT_TRUE(arcbuild::ParseDescription(Description("docs.txt", count, paged).dump(), scratch_.Path(),
                                               &d, &errors));
        ASSERT_TRUE(arcbuild::BuildArchive(d, archive_, &errors));
        ASSERT_NO_FATAL_FAILURE(session_.Open(archive_, "ALICE", "Secret-1", 1));
        ASSERT_EQ(session_.Hits().size(), static_cast<size_t>(count + (paged ? 1 : 0)));
        for (int n = 0; n < count; ++n) hits_.push_back(session_.Hit(Key(n)));
        if (paged) hits_.push_back(session_.Hit("P0001"));
    }
    CsHandle* Handle() { return session_.Handle(); }
    std::vector<std::string> ObjectDirs() const {
        return {archive_ + "/data/" + kLetters + "/DOC", archive_ + "/data/" + kNotices + "/DOC"};
    }
    // Every document alone, as the request layer retrieves it.
    std::vector<std::string> Alone() {
        std::vector<std::string> texts;
        for (const buildertest::FoundHit& hit : hits_) texts.push_back(session_.Retrieve(hit));
        return texts;
    }
    // The items of documents `order`, each with its group (or with none when it is the
    // group of the one before); the user word is the document number.
    static void Feed(Recorder* r, const std::vector<buildertest::FoundHit>& hits,
                     const std::vector<int>& order) {
        const CsXdrApplGroup* before = nullptr;
        for (int n : order) {
            const CsXdrApplGroup* group = hits[n].group == before ? nullptr : hits[n].group;
            r->items.push_back({const_cast<CsXdrApplGroup*>(group), hits[n].row, static_cast<uint32_t>(n)});
            before = hits[n].group;
        }
    }
    SmBulkRequest Request(bool withReport = false) const {
        SmBulkRequest request;
        request.items = Recorder::Next;
        request.announce = Recorder::Announce;
        request.sink = Recorder::Sink;
        if (withReport) request.report = Recorder::Report;
        return request;
    }
    int Run(Recorder* r, const SmBulkRequest& request) {
        Handle()->callbackContext = r;
        return SmBulkRetrieve(Handle(), request);
    }
    // The sink holds exactly the announced documents, each delivery right after the one
    // before, each document's bytes as retrieving it alone gives them.
    static void ExpectDocuments(const Recorder& r, const std::vector<std::string>& alone,
                                const std::string& what) {
        std::map<uint32_t, int> seen;
        uint64_t expectedAt = 0;
        for (size_t i = 0; i < r.announced.size(); ++i) {
            const Recorder::Announced& a = r.announced[i];
            ++seen[a.word];
            ASSERT_LT(a.word, alone.size()) << what;
            const std::string& text = alone[a.word];
            EXPECT_EQ(a.length, text.size()) << what << ": document " << a.word;
            if (a.offset == 0) {
                EXPECT_EQ(a.at, expectedAt) << what << ": a delivery starts where the one before ended";
            }
            EXPECT_EQ(r.data.substr(a.at + a.offset, a.length), text) << what << ": document " << a.word;
            expectedAt = a.at + a.offset + a.length;
        }
        EXPECT_EQ(r.data.size(), expectedAt) << what << ": nothing but the documents";
        for (const auto& [word, times] : seen) EXPECT_EQ(times, 1) << what << ": document " << word;
    }

    reqtest::TempDir scratch_;
    std::string archive_;
    buildertest::LocalSession session_;
    std::vector<buildertest::FoundHit> hits_;
};

// Documents of both groups in one run, read once per object (flag word 1 with
// CS_F1_EXTERNAL) or once per document.
TEST_F(BulkRetrieve, SinkHoldsEachDocumentAsRetrievedAlone) {
    ASSERT_NO_FATAL_FAILURE(Build(50));
    const std::vector<std::string> alone = Alone();
    struct Case {
        const char* what;
        std::vector<int> order;
        bool inMemory;
    } cases[] = {
        {"one document", {7}, true},
        {"two documents of one object", {4, 0}, true},
        {"two documents of two groups", {3, 2}, false},
        {"fifty documents, objects read once", {}, true},
        {"fifty documents, read one by one", {}, false},
    };
    for (Case& c : cases) {
        if (c.order.empty())
            for (int n = 49; n >= 0; --n) c.order.push_back(n);  // the item order is not the object order
        Recorder r;
        Feed(&r, hits_, c.order);
        if (c.inMemory) {
            Handle()->def.flags1 |= CS_F1_EXTERNAL;
        } else {
            Handle()->def.flags1 &= ~CS_F1_EXTERNAL;
        }
        OpenCounter opens(ObjectDirs());
        ASSERT_EQ(Run(&r, Request()), CS_OK) << c.what;
        ASSERT_EQ(r.announced.size(), c.order.size()) << c.what;
        ExpectDocuments(r, alone, c.what);

        // Reads of each object file: once per object, or once per document of it.
        std::map<std::string, int> expected;
        for (int n : c.order) {
            const std::string object =
                std::string(n % 2 == 0 ? kLetters : kNotices) + "/" + ((n / 2) % 2 == 0 ? "1FAA" : "2FAA");
            expected[object] = c.inMemory ? 1 : expected[object] + 1;
        }
        EXPECT_EQ(opens.Take(), expected) << c.what;
    }
}

TEST_F(BulkRetrieve, PlainDocumentsOfOneObjectGoOutInOneDelivery) {
    ASSERT_NO_FATAL_FAILURE(Build(12));
    const std::vector<std::string> alone = Alone();
    Handle()->def.flags1 |= CS_F1_EXTERNAL;
    Recorder r;
    // LETTERS keeps 1FAA plain: documents 0, 4 and 8 lie there one after another.
    Feed(&r, hits_, {8, 0, 4});
    ASSERT_EQ(Run(&r, Request()), CS_OK);
    ASSERT_EQ(r.announced.size(), 3u);
    const uint64_t l0 = alone[0].size(), l4 = alone[4].size();
    EXPECT_EQ(r.announced[0].word, 0u);
    EXPECT_EQ(r.announced[1].word, 4u);
    EXPECT_EQ(r.announced[2].word, 8u);
    EXPECT_EQ(r.announced[1].offset, l0);
    EXPECT_EQ(r.announced[2].offset, l0 + l4);
    ExpectDocuments(r, alone, "one delivery");
}

// Three documents cut out of one zlib block: one delivery, three announcements.
TEST_F(BulkRetrieve, DocumentsInOneCompressedBlockShareADelivery) {
    ASSERT_NO_FATAL_FAILURE(Build(4));
    // Document 2 is LETTERS' first in its zlib object 2FAA... (n / 2) % 2 == 1 for n = 2.
    const std::string block = session_.Retrieve(hits_[2]);
    ASSERT_GT(block.size(), 20u);
    CsXdrObjectRef refs[3];
    CsXdrHitRow rows[3];
    const uint32_t cuts[4] = {0, 7, 15, static_cast<uint32_t>(block.size())};
    Recorder r;
    for (int i = 0; i < 3; ++i) {
        refs[i] = *hits_[2].row->object;
        refs[i].offset = cuts[i];
        refs[i].length = cuts[i + 1] - cuts[i];
        rows[i] = *hits_[2].row;
        rows[i].object = &refs[i];
        r.items.push_back({i == 0 ? const_cast<CsXdrApplGroup*>(hits_[2].group) : nullptr, &rows[i],
                           static_cast<uint32_t>(i)});
    }
    for (bool inMemory : {true, false}) {
        Recorder run = r;
        if (inMemory) {
            Handle()->def.flags1 |= CS_F1_EXTERNAL;
        } else {
            Handle()->def.flags1 &= ~CS_F1_EXTERNAL;
        }
        ASSERT_EQ(Run(&run, Request()), CS_OK);
        ASSERT_EQ(run.announced.size(), 3u);
        EXPECT_EQ(run.data, block);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(run.announced[i].word, static_cast<uint32_t>(i));
            // In memory the three share one delivery; read one by one each is its own.
            EXPECT_EQ(run.announced[i].offset, inMemory ? cuts[i] : 0u) << i;
            EXPECT_EQ(run.announced[i].length, cuts[i + 1] - cuts[i]);
        }
    }
}

TEST_F(BulkRetrieve, BatchesFollowTheLimit) {
    ASSERT_NO_FATAL_FAILURE(Build(6));
    const std::vector<std::string> alone = Alone();
    Recorder r;
    // Four documents of LETTERS and NOTICES; batches of two ask for the next items only
    // once the batch before has gone out, and a second-batch document given without a
    // group keeps the group of the one before.
    Feed(&r, hits_, {4, 0, 2, 5});
    ASSERT_EQ(r.items[2].group, nullptr);
    SmBulkRequest request = Request();
    request.batchLimit = 2;
    ASSERT_EQ(Run(&r, request), CS_OK);
    const std::vector<std::string> events = {"item 4", "item 0", "announce 0", "announce 4",
                                             "item 2", "item 5", "announce 2", "announce 5"};
    EXPECT_EQ(r.events, events);
    ExpectDocuments(r, alone, "two batches");

    // Without a limit the objects decide the order.
    Recorder one;
    Feed(&one, hits_, {4, 1, 0, 5});
    ASSERT_EQ(Run(&one, Request()), CS_OK);
    std::vector<uint32_t> order;
    for (const auto& a : one.announced) order.push_back(a.word);
    EXPECT_EQ(order, (std::vector<uint32_t>{0, 4, 1, 5}));
}

TEST_F(BulkRetrieve, RefusedRuns) {
    ASSERT_NO_FATAL_FAILURE(Build(4));
    CsXdrHitRow bare = *hits_[0].row;
    bare.object = nullptr;
    CsXdrObjectRef elsewhere = *hits_[0].row->object;
    elsewhere.primaryNode = 9;  // LOCALSET has node 1 only
    CsXdrHitRow strayRow = *hits_[0].row;
    strayRow.object = &elsewhere;
    auto* group = const_cast<CsXdrApplGroup*>(hits_[0].group);
    struct Case {
        const char* what;
        std::vector<Recorder::Item> items;
        int refuseAt;
        int rc;
    } cases[] = {
        {"the first document without a group", {{nullptr, hits_[0].row, 0}}, -1, SM_BULK_NO_GROUP},
        {"the item source fails",
         {{const_cast<CsXdrApplGroup*>(hits_[0].group), hits_[0].row, 0}},
         1,
         CS_CANCELLED},
        {"a row without an object", {{group, &bare, 0}}, -1, CS_FAILED},
        {"a node the storage set lacks",
         {{group, hits_[0].row, 0}, {nullptr, &strayRow, 1}},
         -1,
         CS_NOT_FOUND},
    };
    for (const Case& c : cases) {
        Recorder r;
        r.items = c.items;
        r.refuseAt = c.refuseAt;
        EXPECT_EQ(Run(&r, Request()), c.rc) << c.what;
        EXPECT_TRUE(r.data.empty()) << c.what << ": nothing of the batch goes out";
        EXPECT_TRUE(r.announced.empty()) << c.what;
    }
    SmBulkRequest noSink = Request();
    noSink.sink = nullptr;
    Recorder r;
    EXPECT_EQ(Run(&r, noSink), CS_FAILED);
}

TEST_F(BulkRetrieve, CancelStopsBeforeTheNextDelivery) {
    ASSERT_NO_FATAL_FAILURE(Build(8));
    Recorder r;
    Feed(&r, hits_, {0, 1, 2, 3, 4, 5, 6, 7});
    r.interruptAfter = Handle();
    EXPECT_EQ(Run(&r, Request()), CS_CANCELLED);
    EXPECT_EQ(r.announced.size(), 1u);
    CsClearBusy(Handle());
}

TEST_F(BulkRetrieve, MissingObjectFailsTheRun) {
    ASSERT_NO_FATAL_FAILURE(Build(4));
    CsXdrObjectRef ref = *hits_[0].row->object;
    char missing[] = "9FAA";
    ref.name = missing;
    CsXdrHitRow row = *hits_[0].row;
    row.object = &ref;
    for (bool inMemory : {true, false}) {
        if (inMemory) {
            Handle()->def.flags1 |= CS_F1_EXTERNAL;
        } else {
            Handle()->def.flags1 &= ~CS_F1_EXTERNAL;
        }
        Recorder r;
        r.items.push_back({const_cast<CsXdrApplGroup*>(hits_[0].group), &row, 9});
        r.items.push_back({nullptr, hits_[0].row, 0});
        EXPECT_EQ(Run(&r, Request()), CS_FAILED) << inMemory;
    }
}

// A multi-part document goes out whole, announced without a length; a print sink gets
// one more call with no data after it.
TEST_F(BulkRetrieve, MultiPartDocumentGoesOutWhole) {
    ASSERT_NO_FATAL_FAILURE(Build(2, true));
    const std::vector<std::string> alone = Alone();
    const std::string& paged = alone[2];
    ASSERT_NE(paged.find("1PAGE 2"), std::string::npos);
    for (bool print : {false, true}) {
        for (bool inMemory : {true, false}) {
            if (inMemory) {
                Handle()->def.flags1 |= CS_F1_EXTERNAL;
            } else {
                Handle()->def.flags1 &= ~CS_F1_EXTERNAL;
            }
            Recorder r;
            Feed(&r, hits_, {2, 0});
            SmBulkRequest request = Request();
            request.printSink = print;
            ASSERT_EQ(Run(&r, request), CS_OK);
            ASSERT_EQ(r.announced.size(), 2u);
            EXPECT_EQ(r.announced[0].word, 0u);
            EXPECT_EQ(r.announced[1].word, 2u);
            EXPECT_EQ(r.announced[1].length, 0u);
            EXPECT_EQ(r.data, alone[0] + paged) << print << inMemory;
            EXPECT_EQ(r.emptyCalls, print ? 1 : 0) << inMemory;
        }
    }
}

// A row as decoding makes it (calloc'd records, malloc'd texts), a copy of a hit's
// object reference, for a run that frees what it is given.
CsXdrHitRow* DecodedRow(const CsXdrHitRow& hit) {
    auto* row = static_cast<CsXdrHitRow*>(std::calloc(1, sizeof(CsXdrHitRow)));
    row->object = static_cast<CsXdrObjectRef*>(std::calloc(1, sizeof(CsXdrObjectRef)));
    *row->object = *hit.object;
    row->object->name = strdup(hit.object->name);
    return row;
}
// A group record as a folder reply hands it out on its own, without fields.
CsXdrApplGroup* DecodedGroup(const CsXdrApplGroup& group) {
    auto* copy = static_cast<CsXdrApplGroup*>(std::calloc(1, sizeof(CsXdrApplGroup)));
    copy->number = group.number;
    std::memcpy(copy->name, group.name, sizeof copy->name);
    copy->storageSet = group.storageSet;
    copy->logging = group.logging;
    return copy;
}

// With freeRecords the run releases every row once (a row given twice, too) and every
// group record (one of a number already listed at once); the sanitizer build's leak
// checker and double-free checks see any row or group released twice or never.
TEST_F(BulkRetrieve, FreeRecordsReleasesEachRowAndGroupOnce) {
    ASSERT_NO_FATAL_FAILURE(Build(6));
    const std::vector<std::string> alone = Alone();
    for (bool inMemory : {true, false}) {
        if (inMemory) {
            Handle()->def.flags1 |= CS_F1_EXTERNAL;
        } else {
            Handle()->def.flags1 &= ~CS_F1_EXTERNAL;
        }
        Recorder r;
        CsXdrHitRow* first = DecodedRow(*hits_[0].row);
        r.items = {{DecodedGroup(*hits_[0].group), first, 0},
                   {nullptr, first, 0},
                   {DecodedGroup(*hits_[4].group), DecodedRow(*hits_[4].row), 4},
                   {DecodedGroup(*hits_[1].group), DecodedRow(*hits_[1].row), 1}};
        SmBulkRequest request = Request();
        request.freeRecords = true;
        ASSERT_EQ(Run(&r, request), CS_OK);
        EXPECT_EQ(r.data, alone[0] + alone[0] + alone[4] + alone[1]);
    }
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Report lines that carry a document's object handle (the column line names the column
// "Flds->Handle").
size_t DocumentLines(const std::string& report) {
    size_t n = 0;
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);)
        if (line.find("->") != std::string::npos && line.find("Flds->Handle") == std::string::npos) ++n;
    return n;
}

// The run's own report lists the documents of groups that log bulk retrievals (LETTERS)
// and a logging-disabled line for each other group, per batch; it is handed over only
// after a run that succeeded with at least one document line.
TEST_F(BulkRetrieve, OwnReportOfLoggedGroups) {
    ASSERT_NO_FATAL_FAILURE(Build(8));
    struct Case {
        const char* what;
        std::vector<int> order;
        size_t batchLimit;
        bool print;
        size_t disabledLines, documentLines;
    } cases[] = {
        {"both groups in one batch", {0, 1, 2, 3, 4}, 0, false, 1, 3},
        {"both groups in two batches", {0, 1, 2, 3, 4}, 3, false, 2, 3},
        {"only the group without logging", {1, 3}, 0, false, 0, 0},
        {"a print run keeps no report of its own", {0, 1, 2}, 0, true, 0, 0},
    };
    // Message 72 goes to the System Log with the report as its data.
    std::vector<std::optional<std::string>> logged;
    CsLayerHooks hooks;
    hooks.storeSystemLog = [&logged](CsHandle*, CsStorageSet&, const CsSystemLogDef&,
                                     const CsSystemLogRecord& record) {
        if (record.text.find("BulkProcess: Time(") != std::string::npos)
            logged.push_back(record.data ? std::optional(CsReadMessageData(*record.data)) : std::nullopt);
        return CS_OK;
    };
    CsSetIssueHooks(hooks);
    std::vector<CsSystemLogField> fields = {{'T', 0}};
    CsLoadSystemLogDef(std::make_shared<CsStorageSet>(), nullptr, &fields);
    // Whatever the archive's System Log category mask says.
    const CsSystemParmsPtr parms = std::move(Handle()->systemParms);
    Handle()->def.flags1 |= CS_F1_MESSAGES | CS_F1_CALLER_SYSLOG;  // the System Log is the test's
    struct Restore {
        ~Restore() {
            CsSetIssueHooks({});
            CsFreeSystemLogDef();
        }
    } restore;
    for (const Case& c : cases) {
        Recorder r;
        logged.clear();
        Feed(&r, hits_, c.order);
        SmBulkRequest request = Request(true);
        request.batchLimit = c.batchLimit;
        request.printSink = c.print;
        ASSERT_EQ(Run(&r, request), CS_OK) << c.what;
        EXPECT_EQ(Count(r.report, "--LOGGING DISABLED--"), c.disabledLines) << c.what;
        EXPECT_EQ(DocumentLines(r.report), c.documentLines) << c.what << "\n" << r.report;
        if (c.documentLines == 0) {
            EXPECT_TRUE(r.report.empty()) << c.what;
            EXPECT_TRUE(logged.empty()) << c.what;
            continue;
        }
        ASSERT_EQ(logged.size(), 1u) << c.what;
        EXPECT_EQ(logged[0], std::optional(r.report)) << c.what;
        EXPECT_EQ(r.report.rfind("BULK DOCUMENT RETRIEVAL\n", 0), 0u) << c.what;
        // Each logged document's object handle: name, offset, length, stored offset and length.
        for (int n : c.order) {
            if (n % 2 != 0) continue;
            const CsXdrObjectRef& ref = *hits_[n].row->object;
            const std::string handle = "->" + std::string(ref.name) + "," + std::to_string(ref.offset) + "," +
                                       std::to_string(ref.length) + "," +
                                       std::to_string(ref.compressedOffset) + "," +
                                       std::to_string(ref.compressedLength) + ",";
            EXPECT_EQ(Count(r.report, handle), 1u) << c.what << ": " << handle;
        }
    }
    // A failed run hands no report over.
    Recorder failed;
    Feed(&failed, hits_, {0, 2});
    failed.refuseAt = 2;
    EXPECT_EQ(Run(&failed, Request(true)), CS_CANCELLED);
    EXPECT_TRUE(failed.report.empty());
}

// The letter callback hears of every delivery; kept compression delivers the stored form.
TEST_F(BulkRetrieve, LettersOfTheDeliveries) {
    ASSERT_NO_FATAL_FAILURE(Build(4));
    const std::vector<std::string> alone = Alone();
    Handle()->def.flags1 |= CS_F1_NO_COMPRESS_DATA;  // expanded data goes out as it is
    Recorder r;
    Feed(&r, hits_, {0, 2});  // LETTERS: 1FAA plain, 2FAA zlib
    SmBulkRequest request = Request();
    request.letter = Recorder::Letter;
    ASSERT_EQ(Run(&r, request), CS_OK);
    EXPECT_EQ(r.letters, (std::vector<char>{'N', 'N'}));
    ExpectDocuments(r, alone, "expanded");

    Recorder kept;
    Feed(&kept, hits_, {0, 2});
    request.keepCompression = true;
    ASSERT_EQ(Run(&kept, request), CS_OK);
    // The plain object is told as plain; the zlib one as 'D': the data as it is delivered.
    EXPECT_EQ(kept.letters, (std::vector<char>{'N', 'D'}));
    ASSERT_EQ(kept.announced.size(), 2u);
    EXPECT_EQ(kept.data.substr(0, alone[0].size()), alone[0]);
    EXPECT_NE(kept.data.substr(alone[0].size()), alone[2]) << "the zlib document stays compressed";
}

}  // namespace
