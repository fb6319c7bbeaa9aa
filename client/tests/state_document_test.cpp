// The open-document blob and the blob of its page tables: round trips with and without
// tables, blobs of another logon or document, blobs that are cut or flipped, and the
// converter's failures handed back to the caller.
#include <gtest/gtest.h>
#include <zlib.h>

#include <bit>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "blob_frame.h"
#include "client_test_support.h"
#include "document_fixture.h"
#include "folder_fixture.h"
#include "session_list.h"
#include "state_format.h"

namespace {

using clienttest::AddTestDocument;
using clienttest::AddTestHit;
using clienttest::Blob;
using clienttest::ClientTest;
using clienttest::DocumentSpec;
using clienttest::MakeRow;

const std::vector<std::string> kValues = {"-9000000000", "2.5", "17", "-3", "Smith", "AB", "APP1", ""};

// A table stream with a code page, two stored objects, group names and named pages with
// values (hex, spaces for reading).
constexpr const char* kTablesHex =
    "0000000c 00000025 00000003 00000001 00000000 00000064 03 58595a 00000064 00000032 00"
    "02 08 437573746f6d6572 07 496e766f696365"
    "00000001 05 436f766572 01 01 00000001 04 34373131"
    "00000002 05 5465726d73 00"
    "00000003 00 02 00 0000001a 04 41434d45 01 00000002 04 34373132"
    "00000000";

Blob FromHex(const std::string& text) {
    std::string hex;
    for (char c : text)
        if (c != ' ') hex += c;
    Blob out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

using clienttest::Frame;
using clienttest::PayloadOf;
using clienttest::PutLe32;

struct TablesDeleter {
    void operator()(CsDocTables* t) const { CsFreeDocTables(t, 1); }
};

std::shared_ptr<CsDocTables> ReadTables(const Blob& stream) {
    CsDocTables* t = nullptr;
    if (CsConvertDocument(clienttest::SharedIconv(), stream.data(), stream.size(), 1, &t) != CS_OK)
        return nullptr;
    if (CsEndDocTables(&t) != CS_OK) return nullptr;
    return std::shared_ptr<CsDocTables>(t, TablesDeleter{});
}

int Collect(void* context, const unsigned char* data, size_t length) {
    static_cast<Blob*>(context)->insert(static_cast<Blob*>(context)->end(), data, data + length);
    return 0;
}

Blob StreamOf(const CsDocTables& t) {
    Blob out;
    EXPECT_EQ(CsWriteDocTables(clienttest::SharedIconv(), &t, &out, Collect), CS_OK);
    return out;
}

DocNoteEntry Note(int number, char colour, const char* text) {
    DocNoteEntry n;
    n.positions[0] = number;
    n.positions[1] = -2;
    n.positions[2] = 70000;
    n.colour = colour;
    n.userName = "ALICE";
    n.created = 1700000000 + number;
    n.createdText = "11/14/2023 10:13:20 PM";
    n.text = text;
    n.flags = 0x02;
    n.isPublic = true;
    n.number = number;
    return n;
}

// Every member of the document set away from its default.
void FillDocument(OpenDocument* d) {
    d->attributeText = "attr=1";
    d->resources = 1;
    d->dataType = 'L';
    d->viewer = 'A';
    d->segmentCount = 3;
    d->pagesPerSegment = 40;
    d->pagesInLastSegment = 7;
    d->orientation = '9';
    d->shiftKind = '2';
    d->printOptions = "COPIES=2 DUPLEX";
    d->pageWidth = 8.5f;
    d->pageLength = -11.25f;
    d->recordFormat = 'V';
    d->recordLength = 133;
    d->recordDelimiter = "0D0A";
    d->carriageControl = 'A';
    d->trc = 1;
    d->dataCodePage = 37;
    d->linesPerPage = 66;
    d->converterColumns = 132;
    d->converterLines = 60;
    d->pageRange = 'S';
    d->pageHeaderRows = 2;
    d->fieldHeaderRows = 1;
    d->valueRow = 5;
    d->valueColumn = 12;
    d->valueText = "ACCT";
    d->layoutFields[0].matched = true;
    d->layoutFields[0].numbers[0] = 3;
    d->layoutFields[0].numbers[1] = 20;
    d->layoutFields[1].folderField = -1;
    d->layoutMatch = 1;
    d->pageNames = 1;
    d->view.name = "Wide";
    d->view.fromApplication = true;
    d->view.zoom = 150;
    d->view.copyGroup = 2;
    d->view.contrast = 10;
    d->view.brightness = 250;
    d->view.greyScale = 'S';
    d->view.background = '0';
    d->view.header = 'G';
    d->view.selection = 'R';
    d->view.imageColour = 'C';
    d->view.imageIntensity = 'L';
    d->view.textFidelity = '2';
    d->view.overstrike = 'F';
    d->view.lockHeader = 1;
    d->view.lockedFields = 2;
    d->view.orderCount = 2;
    d->view.fieldOrder = {2, 1};
    d->layoutText = "ACCOUNT   NAME\n";
    d->groupCursor = 1;
    d->pageEntryCursor = 2;
    d->valueCursor = 0;
    d->tablesConverted = 1;
    d->lineDataForced = 1;
    d->resourceDescriptor[0] = 7;
    d->resourceDescriptor[1] = 0xFFFFFFFFu;
    d->resourceDescriptor[2] = 3;
    d->resourceDescriptor[3] = 400;
    d->notes->loaded = true;
    DocNoteEntry first = Note(2, 'Y', "second note");
    first.groupName = "Tellers";
    first.data = {0x00, 0xFF, 0x10};
    first.flags = 0x0A;
    first.isNew = true;
    DocNoteEntry second = Note(1, 'D', "");
    second.noAuthor = true;
    second.isPublic = false;
    second.flags = 0;
    d->notes->notes = {first, second};
}

void ExpectSameNote(const DocNoteEntry& x, const DocNoteEntry& y) {
    EXPECT_EQ(x.noAuthor, y.noAuthor);
    EXPECT_EQ(x.isPublic, y.isPublic);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(x.positions[k], y.positions[k]);
    EXPECT_EQ(x.colour, y.colour);
    EXPECT_EQ(x.userName, y.userName);
    EXPECT_EQ(x.groupName, y.groupName);
    EXPECT_EQ(x.created, y.created);
    EXPECT_EQ(x.createdText, y.createdText);
    EXPECT_EQ(x.text, y.text);
    EXPECT_EQ(x.data, y.data);
    EXPECT_EQ(x.flags, y.flags);
    EXPECT_EQ(x.number, y.number);
    EXPECT_EQ(x.isNew, y.isNew);
}

// Every member of two documents, walked independently of the blob's order; the links
// are checked by the callers.
void ExpectSameDocument(const OpenDocument& x, const OpenDocument& y) {
    EXPECT_EQ(x.attributeText, y.attributeText);
    EXPECT_EQ(x.resources, y.resources);
    EXPECT_EQ(x.dataType, y.dataType);
    EXPECT_EQ(x.viewer, y.viewer);
    EXPECT_EQ(x.segmentCount, y.segmentCount);
    EXPECT_EQ(x.pagesPerSegment, y.pagesPerSegment);
    EXPECT_EQ(x.pagesInLastSegment, y.pagesInLastSegment);
    EXPECT_EQ(x.orientation, y.orientation);
    EXPECT_EQ(x.shiftKind, y.shiftKind);
    EXPECT_EQ(x.printOptions, y.printOptions);
    EXPECT_EQ(std::bit_cast<uint32_t>(x.pageWidth), std::bit_cast<uint32_t>(y.pageWidth));
    EXPECT_EQ(std::bit_cast<uint32_t>(x.pageLength), std::bit_cast<uint32_t>(y.pageLength));
    EXPECT_EQ(x.recordFormat, y.recordFormat);
    EXPECT_EQ(x.recordLength, y.recordLength);
    EXPECT_EQ(x.recordDelimiter, y.recordDelimiter);
    EXPECT_EQ(x.carriageControl, y.carriageControl);
    EXPECT_EQ(x.trc, y.trc);
    EXPECT_EQ(x.dataCodePage, y.dataCodePage);
    EXPECT_EQ(x.linesPerPage, y.linesPerPage);
    EXPECT_EQ(x.converterColumns, y.converterColumns);
    EXPECT_EQ(x.converterLines, y.converterLines);
    EXPECT_EQ(x.pageRange, y.pageRange);
    EXPECT_EQ(x.pageHeaderRows, y.pageHeaderRows);
    EXPECT_EQ(x.fieldHeaderRows, y.fieldHeaderRows);
    EXPECT_EQ(x.valueRow, y.valueRow);
    EXPECT_EQ(x.valueColumn, y.valueColumn);
    EXPECT_EQ(x.valueText, y.valueText);
    ASSERT_EQ(x.layoutFields.size(), y.layoutFields.size());
    for (size_t i = 0; i < x.layoutFields.size(); ++i) {
        EXPECT_EQ(x.layoutFields[i].matched, y.layoutFields[i].matched) << i;
        EXPECT_EQ(x.layoutFields[i].folderField, y.layoutFields[i].folderField) << i;
        EXPECT_EQ(x.layoutFields[i].numbers[0], y.layoutFields[i].numbers[0]) << i;
        EXPECT_EQ(x.layoutFields[i].numbers[1], y.layoutFields[i].numbers[1]) << i;
        EXPECT_EQ(x.layoutFields[i].name, y.layoutFields[i].name) << i;
    }
    EXPECT_EQ(x.layoutMatch, y.layoutMatch);
    EXPECT_EQ(x.pageNames, y.pageNames);
    const DocView& a = x.view;
    const DocView& b = y.view;
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.fromApplication, b.fromApplication);
    EXPECT_EQ(a.zoom, b.zoom);
    EXPECT_EQ(a.copyGroup, b.copyGroup);
    EXPECT_EQ(a.contrast, b.contrast);
    EXPECT_EQ(a.brightness, b.brightness);
    EXPECT_EQ(std::string({a.greyScale, a.background, a.header, a.selection, a.imageColour, a.imageIntensity,
                           a.textFidelity, a.overstrike}),
              std::string({b.greyScale, b.background, b.header, b.selection, b.imageColour, b.imageIntensity,
                           b.textFidelity, b.overstrike}));
    EXPECT_EQ(a.lockHeader, b.lockHeader);
    EXPECT_EQ(a.lockedFields, b.lockedFields);
    EXPECT_EQ(a.orderCount, b.orderCount);
    EXPECT_EQ(a.fieldOrder, b.fieldOrder);
    EXPECT_EQ(x.layoutText, y.layoutText);
    EXPECT_EQ(x.groupCursor, y.groupCursor);
    EXPECT_EQ(x.pageEntryCursor, y.pageEntryCursor);
    EXPECT_EQ(x.valueCursor, y.valueCursor);
    EXPECT_EQ(x.tablesConverted, y.tablesConverted);
    EXPECT_EQ(x.lineDataForced, y.lineDataForced);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(x.resourceDescriptor[k], y.resourceDescriptor[k]) << k;
    ASSERT_EQ(x.notes == nullptr, y.notes == nullptr);
    if (x.notes) {
        EXPECT_EQ(x.notes->loaded, y.notes->loaded);
        ASSERT_EQ(x.notes->notes.size(), y.notes->notes.size());
        for (size_t i = 0; i < x.notes->notes.size(); ++i)
            ExpectSameNote(x.notes->notes[i], y.notes->notes[i]);
    }
    ASSERT_EQ(x.parmEntry == nullptr, y.parmEntry == nullptr);
    if (x.parmEntry) {
        EXPECT_EQ(x.parmEntry->groupId, y.parmEntry->groupId);
        EXPECT_EQ(x.parmEntry->applicationId, y.parmEntry->applicationId);
        EXPECT_EQ(x.parmEntry->madeEmpty, y.parmEntry->madeEmpty);
        EXPECT_EQ(x.parmEntry->text, y.parmEntry->text);
    }
    ASSERT_TRUE(x.row && y.row);
    EXPECT_EQ(x.row->noteFlag, y.row->noteFlag);
}

class StateDocumentTest : public ClientTest {
protected:
    // A session of the user with the folder open and one hit of the document's values.
    struct Place {
        ClientSession* session = nullptr;
        OpenFolder* folder = nullptr;
        SearchHit* hit = nullptr;
    };

    Place Target(const char* user = "ALICE", const char* password = "SECRET",
                 const std::vector<std::string>& values = kValues, const char* object = "1$AB") {
        Place p;
        p.session = LogOn("ARCHIVE", user, password);
        if (p.session == nullptr) return p;
        p.folder = clienttest::OpenTestFolder(p.session, clienttest::DocIdFolder());
        p.hit = AddTestHit(p.folder, 0, MakeRow(p.folder->definition->groups[0], values, object, 4096, 900));
        return p;
    }

    // A document with every member set, in a session of its own.
    OpenDocument* RichDocument(Place* p) {
        *p = Target();
        if (p->session == nullptr) return nullptr;
        DocumentSpec spec;
        spec.parmText = "[@_FIXED_@]\nVIEWS=Wide\nFLD1=3,20\n";
        spec.layoutFields = 2;
        spec.noteFlag = 'Y';
        OpenDocument* d = AddTestDocument(p->session, p->folder, p->hit, spec);
        FillDocument(d);
        return d;
    }

    Blob Save(ClientSession* s, const OpenDocument* d) {
        Blob blob;
        EXPECT_GT(State_SaveDocument(s, &blob, d), 0u);
        return blob;
    }
    // The blob of a rich document made in a place of its own (the place is filled first).
    Blob SaveRich(Place* p) {
        const OpenDocument* d = RichDocument(p);
        return Save(p->session, d);
    }

    static OpenDocument* Restore(const Place& p, const Blob& blob) {
        return State_RestoreDocument(p.session, blob.data(), blob.size(), p.folder, p.hit);
    }
};

TEST_F(StateDocumentTest, RoundTripKeepsEveryMemberAndBindsToTheGivenHit) {
    Place a;
    const OpenDocument* saved = RichDocument(&a);
    ASSERT_NE(saved, nullptr);
    const Blob blob = Save(a.session, saved);
    Place b = Target();
    ASSERT_NE(b.session, nullptr);

    OpenDocument* restored = Restore(b, blob);
    ASSERT_NE(restored, nullptr);
    ExpectSameDocument(*saved, *restored);
    EXPECT_EQ(restored->session, b.session);
    EXPECT_EQ(restored->folder, b.folder);
    EXPECT_EQ(restored->hit, b.hit);
    EXPECT_EQ(restored->group, b.hit->group);
    EXPECT_EQ(restored->application, b.hit->application);
    EXPECT_EQ(restored->resourceRecord, nullptr) << "a process-wide record is looked up again";
    ASSERT_NE(restored->row, b.hit->row) << "the document owns a copy of the row";
    EXPECT_EQ(CsMatchDocId(b.hit->group, restored->row, b.hit->row), 0);
    EXPECT_EQ(restored->row->noteFlag, 'Y');
    ASSERT_EQ(b.session->parmEntries.size(), 1u);
    EXPECT_EQ(restored->parmEntry, b.session->parmEntries[0].get());
    EXPECT_EQ(restored->parmEntry->application, b.hit->application);
    EXPECT_EQ(restored->pageTables, nullptr);

    EXPECT_EQ(Save(b.session, restored), blob) << "saved again, the bytes are the same";
}

TEST_F(StateDocumentTest, RoundTripOfADocumentAsRetrievalLeavesIt) {
    Place a = Target();
    ASSERT_NE(a.session, nullptr);
    OpenDocument* plain = AddTestDocument(a.session, a.folder, a.hit);
    plain->notes.reset();  // no holder at all
    a.session->parmEntries.clear();
    plain->parmEntry = nullptr;
    const Blob blob = Save(a.session, plain);
    Place b = Target();
    ASSERT_NE(b.session, nullptr);
    OpenDocument* restored = Restore(b, blob);
    ASSERT_NE(restored, nullptr);
    ExpectSameDocument(*plain, *restored);
    EXPECT_TRUE(b.session->parmEntries.empty());
    EXPECT_EQ(Save(b.session, restored), blob);
}

TEST_F(StateDocumentTest, RestoringLeavesExactlyOneOpenDocument) {
    Place a;
    const Blob blob = SaveRich(&a);
    Place b = Target();
    ASSERT_NE(b.session, nullptr);
    AddTestDocument(b.session, b.folder, b.hit);
    AddTestDocument(b.session, b.folder, b.hit);
    ASSERT_EQ(b.session->documents.size(), 2u);
    const size_t entries = b.session->parmEntries.size();

    OpenDocument* restored = Restore(b, blob);
    ASSERT_NE(restored, nullptr);
    ASSERT_EQ(b.session->documents.size(), 1u);
    EXPECT_EQ(b.session->documents[0].get(), restored);
    // The session's entry of the application stays as it is and the document uses it.
    EXPECT_EQ(b.session->parmEntries.size(), entries);
    EXPECT_EQ(restored->parmEntry, b.session->parmEntries[0].get());

    // Restoring again replaces it.
    OpenDocument* again = Restore(b, blob);
    ASSERT_NE(again, nullptr);
    ASSERT_EQ(b.session->documents.size(), 1u);
    EXPECT_EQ(b.session->documents[0].get(), again);
}

TEST_F(StateDocumentTest, PageTablesFollowTheDocumentAndReadBackTheSame) {
    const Blob stream = FromHex(kTablesHex);
    Place a;
    OpenDocument* saved = RichDocument(&a);
    ASSERT_NE(saved, nullptr);
    saved->pageTables = ReadTables(stream);
    ASSERT_NE(saved->pageTables, nullptr);
    Blob file = Save(a.session, saved);
    const size_t documentPart = file.size();
    ASSERT_GT(State_SaveDocumentData(saved, &file), documentPart);
    ASSERT_EQ(State_DocumentPartLength(file.data(), file.size()), documentPart);
    EXPECT_EQ(std::memcmp(&file[documentPart], "QDTA", 4), 0);
    EXPECT_EQ(Blob(file.begin() + documentPart + 20, file.end()), stream)
        << "the tables as the stream holds them";

    Place b = Target();
    ASSERT_NE(b.session, nullptr);
    OpenDocument* restored = State_RestoreDocument(b.session, file.data(), documentPart, b.folder, b.hit);
    ASSERT_NE(restored, nullptr);
    ASSERT_EQ(State_RestoreDocumentData(restored, file.data() + documentPart, file.size() - documentPart),
              CS_OK);
    ASSERT_NE(restored->pageTables, nullptr);
    EXPECT_EQ(restored->pageTables->total, 3u);
    EXPECT_EQ(restored->pageTables->codePage, 37u);
    EXPECT_EQ(restored->pageTables->pageEntryCount, 3u);
    EXPECT_EQ(StreamOf(*restored->pageTables), stream);

    Blob again = Save(b.session, restored);
    ASSERT_GT(State_SaveDocumentData(restored, &again), 0u);
    EXPECT_EQ(again, file);
}

TEST_F(StateDocumentTest, ADocumentWithoutPageTablesEndsAfterTheDocumentPart) {
    Place a;
    OpenDocument* saved = RichDocument(&a);
    ASSERT_NE(saved, nullptr);
    Blob file = Save(a.session, saved);
    const Blob documentPart = file;
    EXPECT_EQ(State_SaveDocumentData(saved, &file), 0u);
    EXPECT_EQ(file, documentPart);
    EXPECT_EQ(State_DocumentPartLength(file.data(), file.size()), file.size());
    // A table record the writer refuses leaves the document part alone too.
    auto bad = std::make_shared<CsDocTables>();
    bad->perObject = 0;
    saved->pageTables = bad;
    EXPECT_EQ(State_SaveDocumentData(saved, &file), 0u);
    EXPECT_EQ(file, documentPart);
}

TEST_F(StateDocumentTest, TheDocumentPartLengthNeedsAWholeDocumentHeader) {
    Place a;
    const Blob blob = SaveRich(&a);
    EXPECT_EQ(State_DocumentPartLength(blob.data(), blob.size() - 1), 0u) << "payload cut";
    EXPECT_EQ(State_DocumentPartLength(blob.data(), 19), 0u) << "header cut";
    EXPECT_EQ(State_DocumentPartLength(nullptr, 100), 0u);
    const Blob other = Frame("QFLD", PayloadOf(blob));
    EXPECT_EQ(State_DocumentPartLength(other.data(), other.size()), 0u) << "another kind of blob";
}

TEST_F(StateDocumentTest, TheConvertersFailureIsHandedBack) {
    struct Case {
        const char* what;
        const char* stream;  // hex
        bool noCodePages;
        int result;
    };
    const Case cases[] = {
        {"pages per object 0", "00000000 00000003 00000000 00 00000000", false, CS_FAILED},
        {"a stream that ends before its end word", "00000000 00000003 00000003 00 00000001", false,
         CS_FAILED},
        {"a group index past the names",
         "00000000 00000003 00000003 00 00000001 01 05 00000001 01 41 00000000", false, CS_FAILED},
        {"an object name without code pages",
         "00000000 00000004 00000002 00000000 00000010 02 4142 00 00000000", true, CS_DOCTAB_NO_CONVERTER},
    };
    Place a;
    const Blob blob = SaveRich(&a);
    Place b = Target();
    ASSERT_NE(b.session, nullptr);
    OpenDocument* restored = Restore(b, blob);
    ASSERT_NE(restored, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        restored->pageTables = ReadTables(FromHex(kTablesHex));
        ArcIconvContext* pages = b.session->handle.iconv;
        if (c.noCodePages) b.session->handle.iconv = nullptr;
        const Blob data = Frame("QDTA", FromHex(c.stream));
        EXPECT_EQ(State_RestoreDocumentData(restored, data.data(), data.size()), c.result);
        b.session->handle.iconv = pages;
        EXPECT_EQ(restored->pageTables, nullptr) << "no tables are kept";
    }
}

TEST_F(StateDocumentTest, EveryCutAndEveryFlippedByteOfTheDataIsRefused) {
    const Blob stream = FromHex(kTablesHex);
    Place a;
    OpenDocument* saved = RichDocument(&a);
    ASSERT_NE(saved, nullptr);
    saved->pageTables = ReadTables(stream);
    Blob data;
    ASSERT_GT(State_SaveDocumentData(saved, &data), 0u);
    Place b = Target();
    ASSERT_NE(b.session, nullptr);
    OpenDocument* restored = AddTestDocument(b.session, b.folder, b.hit);
    for (size_t n = 0; n < data.size(); ++n) {
        ASSERT_NE(State_RestoreDocumentData(restored, data.data(), n), CS_OK) << "cut at " << n;
        ASSERT_EQ(restored->pageTables, nullptr);
    }
    for (size_t i = 0; i < data.size(); ++i) {
        for (unsigned char mask : {0x01, 0x80, 0xFF}) {
            Blob bad = data;
            bad[i] ^= mask;
            ASSERT_NE(State_RestoreDocumentData(restored, bad.data(), bad.size()), CS_OK)
                << "byte " << i << " mask " << int(mask);
            ASSERT_EQ(restored->pageTables, nullptr);
        }
    }
    // The stream cut inside a valid frame: the converter sees the end word missing.
    for (size_t n = 0; n + 4 < stream.size(); ++n) {
        const Blob framed = Frame("QDTA", Blob(stream.begin(), stream.begin() + n));
        ASSERT_NE(State_RestoreDocumentData(restored, framed.data(), framed.size()), CS_OK) << n;
    }
    EXPECT_EQ(State_RestoreDocumentData(restored, data.data(), data.size()), CS_OK);
}

TEST_F(StateDocumentTest, EveryCutAndEveryFlippedByteIsMissing) {
    Place a;
    const Blob blob = SaveRich(&a);
    Place b = Target();
    ASSERT_NE(b.session, nullptr);
    OpenDocument* kept = AddTestDocument(b.session, b.folder, b.hit);
    const size_t entries = b.session->parmEntries.size();
    auto untouched = [&] {
        return b.session->documents.size() == 1 && b.session->documents[0].get() == kept &&
               b.session->parmEntries.size() == entries;
    };
    for (size_t n = 0; n < blob.size(); ++n) {
        ASSERT_EQ(State_RestoreDocument(b.session, blob.data(), n, b.folder, b.hit), nullptr)
            << "cut at " << n;
        ASSERT_TRUE(untouched());
    }
    Blob longer = blob;
    longer.push_back(0);
    EXPECT_EQ(Restore(b, longer), nullptr);
    for (size_t i = 0; i < blob.size(); ++i) {
        for (unsigned char mask : {0x01, 0x80, 0xFF}) {
            Blob bad = blob;
            bad[i] ^= mask;
            ASSERT_EQ(Restore(b, bad), nullptr) << "byte " << i << " mask " << int(mask);
            ASSERT_TRUE(untouched());
        }
    }
}

TEST_F(StateDocumentTest, CutPayloadsInAValidFrameAreMissing) {
    Place a;
    const Blob payload = PayloadOf(SaveRich(&a));
    Place b = Target();
    ASSERT_NE(b.session, nullptr);
    for (size_t n = 0; n < payload.size(); ++n) {
        ASSERT_EQ(Restore(b, Frame("QDOC", Blob(payload.begin(), payload.begin() + n))), nullptr) << n;
        ASSERT_TRUE(b.session->documents.empty());
    }
    Blob longer = payload;
    longer.push_back(0);
    EXPECT_EQ(Restore(b, Frame("QDOC", longer)), nullptr);
    EXPECT_TRUE(b.session->parmEntries.empty());
    EXPECT_NE(Restore(b, Frame("QDOC", payload)), nullptr) << "the frame itself is right";
}

// A changed byte inside a valid frame either is refused, leaving the session as it was,
// or reads as a document of its own whose every letter and index is in its set.
TEST_F(StateDocumentTest, FlippedPayloadsInAValidFrameNeverHalfRestore) {
    Place a;
    const Blob payload = PayloadOf(SaveRich(&a));
    Place b = Target();
    ASSERT_NE(b.session, nullptr);
    int restored = 0;
    for (size_t i = 0; i < payload.size(); ++i) {
        for (unsigned char mask : {0x01, 0x80, 0xFF}) {
            Blob bad = payload;
            bad[i] ^= mask;
            const size_t before = b.session->documents.size();
            OpenDocument* d = Restore(b, Frame("QDOC", bad));
            if (d == nullptr) {
                ASSERT_EQ(b.session->documents.size(), before);
                continue;
            }
            ++restored;
            ASSERT_EQ(b.session->documents.size(), 1u);
            ASSERT_EQ(b.session->documents[0].get(), d);
            ASSERT_NE(std::string_view("0912").find(d->orientation), std::string_view::npos);
            ASSERT_NE(std::string_view("ACS").find(d->pageRange), std::string_view::npos);
            ASSERT_TRUE(d->dataType >= 'A' && d->dataType <= 'Z');
            for (const DocLayoutField& f : d->layoutFields)
                ASSERT_TRUE(f.folderField >= -1 && f.folderField < b.folder->definition->fieldCount);
            ASSERT_GE(d->view.orderCount, -1);
            for (const DocNoteEntry& n : d->notes->notes)
                ASSERT_NE(std::string_view("DWBRLGYMC0").find(n.colour), std::string_view::npos);
        }
    }
    EXPECT_GT(restored, 0);
}

TEST_F(StateDocumentTest, ValuesNoWriterOfOursMakesAreRefused) {
    Place a;
    OpenDocument* d = RichDocument(&a);
    ASSERT_NE(d, nullptr);
    struct Case {
        const char* what;
        void (*spoil)(OpenDocument*);
    };
    const Case cases[] = {
        {"data type not a capital", [](OpenDocument* x) { x->dataType = 'l'; }},
        {"viewer not a capital", [](OpenDocument* x) { x->viewer = 0; }},
        {"orientation", [](OpenDocument* x) { x->orientation = '3'; }},
        {"shift kind", [](OpenDocument* x) { x->shiftKind = '3'; }},
        {"record format", [](OpenDocument* x) { x->recordFormat = 'X'; }},
        {"carriage control", [](OpenDocument* x) { x->carriageControl = 'B'; }},
        {"page range", [](OpenDocument* x) { x->pageRange = 'X'; }},
        {"negative segment count", [](OpenDocument* x) { x->segmentCount = -1; }},
        {"print options over 100", [](OpenDocument* x) { x->printOptions.assign(101, 'x'); }},
        {"value mark over 8", [](OpenDocument* x) { x->valueText = "123456789"; }},
        {"a zero byte in a text", [](OpenDocument* x) { x->recordDelimiter = std::string("0D\0", 3); }},
        {"layout field past the folder", [](OpenDocument* x) { x->layoutFields[0].folderField = 2; }},
        {"layout field below none", [](OpenDocument* x) { x->layoutFields[0].folderField = -2; }},
        {"view name over 30", [](OpenDocument* x) { x->view.name.assign(31, 'v'); }},
        {"view letter blank", [](OpenDocument* x) { x->view.header = ' '; }},
        {"order count below none", [](OpenDocument* x) { x->view.orderCount = -2; }},
        {"value cursor below none", [](OpenDocument* x) { x->valueCursor = -2; }},
        {"note colour", [](OpenDocument* x) { x->notes->notes[0].colour = 'Q'; }},
        {"note number", [](OpenDocument* x) { x->notes->notes[1].number = -1; }},
        {"note user over 60", [](OpenDocument* x) { x->notes->notes[1].userName.assign(61, 'u'); }},
    };
    Place b = Target();
    ASSERT_NE(b.session, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Place source;
        OpenDocument* spoilt = RichDocument(&source);
        ASSERT_NE(spoilt, nullptr);
        c.spoil(spoilt);
        const Blob blob = Save(source.session, spoilt);
        EXPECT_EQ(Restore(b, blob), nullptr);
        EXPECT_TRUE(b.session->documents.empty());
        ASSERT_EQ(Session_Logoff(source.session, 0), 0);
    }
    EXPECT_NE(Restore(b, Save(a.session, d)), nullptr) << "unspoilt, it restores";
}

TEST_F(StateDocumentTest, AnotherLogonDocumentOrPlaceIsMissing) {
    Place a;
    const Blob blob = SaveRich(&a);
    Place bob = Target("BOB", "HUNTER2");
    Place other = Target("ALICE", "SECRET", {"-9000000000", "2.5", "18", "-3", "Smith", "AB", "APP1", ""});
    Place moved = Target("ALICE", "SECRET", kValues, "2$AB");
    Place b = Target();
    ASSERT_TRUE(bob.session && other.session && moved.session && b.session);
    // A hit of another session, and a hit the folder does not hold.
    SearchHit stray;
    stray.row = MakeRow(b.folder->definition->groups[0], kValues, "1$AB", 4096, 900);
    stray.group = b.hit->group;
    stray.application = b.hit->application;
    OpenFolder* second = clienttest::OpenTestFolder(b.session, clienttest::DocIdFolder());
    ClientSession unlisted;

    struct Case {
        const char* what;
        ClientSession* session;
        OpenFolder* folder;
        SearchHit* hit;
    };
    const Case cases[] = {
        {"another user", bob.session, bob.folder, bob.hit},
        {"another value", other.session, other.folder, other.hit},
        {"another object", moved.session, moved.folder, moved.hit},
        {"a hit of another session", b.session, b.folder, a.hit},
        {"a folder of another session", b.session, a.folder, a.hit},
        {"a hit the folder does not hold", b.session, b.folder, &stray},
        {"a folder that is not the hit's", b.session, second, b.hit},
        {"no hit", b.session, b.folder, nullptr},
        {"no folder", b.session, nullptr, b.hit},
        {"a session not listed", &unlisted, b.folder, b.hit},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(State_RestoreDocument(c.session, blob.data(), blob.size(), c.folder, c.hit), nullptr);
    }
    for (ClientSession* s : {bob.session, other.session, moved.session, b.session}) {
        EXPECT_TRUE(s->documents.empty());
        EXPECT_TRUE(s->parmEntries.empty());
    }
    EXPECT_NE(Restore(b, blob), nullptr) << "the right place restores it";
}

TEST_F(StateDocumentTest, OnlyDocumentsOfListedSessionsAreSaved) {
    Place a;
    OpenDocument* d = RichDocument(&a);
    ASSERT_NE(d, nullptr);
    Place b = Target();
    ASSERT_NE(b.session, nullptr);
    Blob blob = {1, 2, 3};
    EXPECT_EQ(State_SaveDocument(b.session, &blob, d), 0u) << "not the session's document";
    EXPECT_EQ(State_SaveDocument(a.session, &blob, nullptr), 0u);
    EXPECT_EQ(State_SaveDocument(a.session, nullptr, d), 0u);
    EXPECT_EQ(blob, (Blob{1, 2, 3})) << "nothing written";
    d->pageTables = ReadTables(FromHex(kTablesHex));
    std::unique_ptr<ClientSession> out = qelclient::ListRemove(a.session);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(State_SaveDocument(a.session, &blob, d), 0u);
    EXPECT_EQ(State_SaveDocumentData(d, &blob), 0u);
    EXPECT_EQ(blob, (Blob{1, 2, 3}));
    qelclient::ListAppend(std::move(out));
}

TEST_F(StateDocumentTest, ADocumentTooLargeForABlobIsNotSaved) {
    Place a;
    OpenDocument* d = RichDocument(&a);
    ASSERT_NE(d, nullptr);
    d->notes->notes[0].data.assign(qelclient::kBlobPayloadMax, 0x5A);
    Blob blob = {1, 2, 3};
    EXPECT_EQ(State_SaveDocument(a.session, &blob, d), 0u);
    EXPECT_EQ(blob, (Blob{1, 2, 3})) << "nothing written";
    d->notes->notes[0].data.resize(qelclient::kBlobPayloadMax / 2);
    EXPECT_GT(State_SaveDocument(a.session, &blob, d), qelclient::kBlobPayloadMax / 2);
}

TEST_F(StateDocumentTest, TheFolderSizeIsWhatTheFolderBlobTakes) {
    Place a = Target();
    ASSERT_NE(a.session, nullptr);
    Blob blob;
    const size_t written = State_SaveFolder(&blob, a.folder);
    ASSERT_GT(written, 0u);
    EXPECT_EQ(State_GetSize(a.folder), written);
    a.folder->criteria[1].value1 = std::string(5000, 'z');
    EXPECT_EQ(State_GetSize(a.folder), written + 5000);
    EXPECT_EQ(State_GetSize(nullptr), 0u);
}

}  // namespace
