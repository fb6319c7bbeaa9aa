// Open documents made in memory (no request: reuse-only retrievals over folders built by
// the fixture): letters, conversion parameters, segment counts, page names and the
// index walk, shared records and closing.
#include <gtest/gtest.h>

#include <string>

#include "client_test_support.h"
#include "doc_internal.h"
#include "doc_test_tables.h"
#include "folder_fixture.h"

namespace {

using clienttest::FolderSpec;
using clienttest::GroupSpec;
using clienttest::SampleTables;
using clienttest::SharedIconv;

int consumed = 0;
int Consume(OpenFolder*, const unsigned char*, size_t length) {
    consumed += static_cast<int>(length) + 1;
    return 1;
}

const char kPageIds[] = "[@_PageIdentifier_@]\nPageId=1\n";

FolderSpec DocFolder(char dataType, const std::string& parameters) {
    FolderSpec spec;
    spec.fields = {{.name = "Account", .type = 'S', .flags = 0x08, .displayOrder = 1},
                   {.name = "Name", .type = 'S', .displayOrder = 2},
                   {.name = "Other", .type = 'S'}};
    GroupSpec group;
    group.number = 40;
    group.name = "STATEMENTS";
    group.fields = {{.name = "ACCT", .type = 'S'},
                    {.name = "NAME", .type = 'S'},
                    {.name = "HIDDEN", .type = 'S', .flags = 0x10}};
    group.applications = {{.name = "STMT", .number = 3, .dataType = dataType, .parameters = parameters},
                          {.name = "BARE", .number = 4, .dataType = 'L'}};
    group.map = {0, 1, 2};
    GroupSpec other;
    other.number = 41;
    other.name = "OTHER";
    other.fields = {{.name = "X", .type = 'S'}};
    other.applications = {{.name = "O", .number = 1}};
    other.map = {FOLDER_FIELD_UNMAPPED, 0};
    spec.groups = {group, other};
    return spec;
}

class DocOpenTest : public clienttest::ClientTest {
protected:
    void SetUp() override {
        ClientTest::SetUp();
        session.handle.iconv = SharedIconv();
        session.codePage = 819;
        consumed = 0;
    }
    void TearDown() override {
        session.documents.clear();
        ClientTest::TearDown();
    }
    // A hit of application `appl` of the folder's first group.
    SearchHit* AddHit(OpenFolder* folder, int appl = 0) {
        auto hit = std::make_unique<SearchHit>();
        hit->groupIndex = 0;
        hit->group = &folder->definition->groups[0];
        hit->application = &hit->group->appls[appl];
        hit->row = clienttest::MakeRow(*hit->group, {"A-1", "Smith", ""}, "7FAA");
        SearchHit* raw = hit.get();
        hits.push_back(std::move(hit));
        return raw;
    }
    OpenDocument* Open(OpenFolder* folder, SearchHit* hit, int lineData = 0) {
        ClientStatus status;
        OpenDocument* document = nullptr;
        Doc_Retrieve(&status, &session, folder, hit, &document, 1, lineData, Consume, 0);
        EXPECT_EQ(status.severity, 0) << status.code;
        return document;
    }
    // A document of a fresh folder whose application has the parameter text.
    OpenDocument* OpenWith(const std::string& parameters, char dataType = 'A') {
        OpenFolder* folder = clienttest::OpenTestFolder(&session, DocFolder(dataType, parameters));
        return Open(folder, AddHit(folder));
    }
    ClientSession session;
    std::vector<SearchHitPtr> hits;
};

TEST_F(DocOpenTest, LettersFollowTheStoredType) {
    const char* const rows[] = {"AAA", "BBT", "EEL", "GGT", "JFT", "LLL", "MMN", "OOO",
                                "PXT", "RPP", "SSL", "TTT", "UUN", "XCA", "QNN", "\0NN"};
    for (const char* row : rows) {
        EXPECT_EQ(Doc_DataTypeLetter(row[0]), row[1]) << "stored " << row[0];
        EXPECT_EQ(Doc_ViewerLetter(row[0]), row[2]) << "stored " << row[0];
    }
    OpenFolder* folder = clienttest::OpenTestFolder(&session, DocFolder('J', ""));
    SearchHit* hit = AddHit(folder);
    EXPECT_EQ(Hit_GetDataType(hit), 'F');
    OpenDocument* document = Open(folder, hit);
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->dataType, 'F');
    EXPECT_EQ(document->viewer, 'T');
    EXPECT_EQ(Hit_GetDataType(nullptr), 'N');
}

TEST_F(DocOpenTest, ConversionParametersComeFromTheFixedSection) {
    struct Case {
        const char* name;
        std::string text;
        void (*check)(const OpenDocument&);
    };
    const Case cases[] = {
        {"nothing given", "",
         [](const OpenDocument& d) {
             EXPECT_EQ(d.orientation, '0');
             EXPECT_EQ(d.shiftKind, 'N');
             EXPECT_EQ(d.recordFormat, 'S');
             EXPECT_EQ(d.recordLength, 1);
             EXPECT_EQ(d.recordDelimiter, "0A");
             EXPECT_EQ(d.carriageControl, 'N');
             EXPECT_EQ(d.dataCodePage, 850);
             EXPECT_EQ(d.pageRange, 'A');
             EXPECT_EQ(d.converterColumns, 0);
             EXPECT_EQ(d.converterLines, 0);
             EXPECT_EQ(d.printOptions, "");
             EXPECT_EQ(d.valueText, "");
             EXPECT_TRUE(d.layoutFields.empty());
         }},
        {"line converter with both numbers", "[@_FIXED_@]\nAFP2LINE_CMD=afp2line -c 132 -l 60 -x\n",
         [](const OpenDocument& d) {
             EXPECT_EQ(d.converterColumns, 132);
             EXPECT_EQ(d.converterLines, 60);
         }},
        {"line converter without lines", "[@_FIXED_@]\nAFP2LINE_CMD=-c 80\n",
         [](const OpenDocument& d) {
             EXPECT_EQ(d.converterColumns, 80);
             EXPECT_EQ(d.converterLines, 0);
         }},
        {"SOSI3 is none", "[@_FIXED_@]\nPR=SOSI3\n",
         [](const OpenDocument& d) { EXPECT_EQ(d.shiftKind, 'N'); }},
        {"SOSI1", "[@_FIXED_@]\nPR=SOSI1\n", [](const OpenDocument& d) { EXPECT_EQ(d.shiftKind, '1'); }},
        {"SOSI2", "[@_FIXED_@]\nPR=SOSI2\n", [](const OpenDocument& d) { EXPECT_EQ(d.shiftKind, '2'); }},
        {"orientations", "[@_FIXED_@]\nORIENT=270\n",
         [](const OpenDocument& d) { EXPECT_EQ(d.orientation, '2'); }},
        {"ninety", "[@_FIXED_@]\nORIENT=90\n", [](const OpenDocument& d) { EXPECT_EQ(d.orientation, '9'); }},
        {"records and control",
         "[@_FIXED_@]\nRECFM=V\nLRECL=133\nCC=ANSI\nTRC=1\nCDPG=500\nLNCT=66\nRECDELIM=0D0A\nPAGES=SEL\n",
         [](const OpenDocument& d) {
             EXPECT_EQ(d.recordFormat, 'V');
             EXPECT_EQ(d.recordLength, 133);
             EXPECT_EQ(d.carriageControl, 'A');
             EXPECT_EQ(d.trc, 1);
             EXPECT_EQ(d.dataCodePage, 500);
             EXPECT_EQ(d.linesPerPage, 66);
             EXPECT_EQ(d.recordDelimiter, "0D0A");
             EXPECT_EQ(d.pageRange, 'S');
         }},
        {"page size and value cells",
         "[@_FIXED_@]\nPWIDTH=8.5\nPLENGTH=11\nPAGEHDRROWS=2\nFLDHDRROWS=3\nVALROW=4\nVALCOL=5\nVALVALUE="
         "TOTALDUE99\n",
         [](const OpenDocument& d) {
             EXPECT_FLOAT_EQ(d.pageWidth, 8.5f);
             EXPECT_FLOAT_EQ(d.pageLength, 11.0f);
             EXPECT_EQ(d.pageHeaderRows, 2);
             EXPECT_EQ(d.fieldHeaderRows, 3);
             EXPECT_EQ(d.valueRow, 4);
             EXPECT_EQ(d.valueColumn, 5);
             EXPECT_EQ(d.valueText, "TOTALDUE");
         }},
        {"print options cut to 100", "[@_FIXED_@]\nPRTOPT=" + std::string(150, 'p') + "\n",
         [](const OpenDocument& d) { EXPECT_EQ(d.printOptions, std::string(100, 'p')); }},
        {"layout fields",
         "[@_FIXED_@]\nFLD01=1,5,NAME,Name\nFLD02=2,6,NOSUCH,x\nFLD03=3,7,1,first\nFLD04=4,8,,none\n",
         [](const OpenDocument& d) {
             ASSERT_EQ(d.layoutFields.size(), 4u);
             EXPECT_TRUE(d.layoutFields[0].matched);
             EXPECT_EQ(d.layoutFields[0].folderField, 1);
             EXPECT_EQ(d.layoutFields[0].numbers[0], 1);
             EXPECT_EQ(d.layoutFields[0].numbers[1], 5);
             EXPECT_FALSE(d.layoutFields[1].matched);
             EXPECT_TRUE(d.layoutFields[2].matched);
             EXPECT_EQ(d.layoutFields[2].folderField, 0) << "\"1\" names the first displayed field";
             EXPECT_FALSE(d.layoutFields[3].matched);
             EXPECT_EQ(d.layoutMatch, 1);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OpenDocument* document = OpenWith(c.text);
        ASSERT_NE(document, nullptr);
        c.check(*document);
    }
}

TEST_F(DocOpenTest, ADocumentWithoutPageTablesHasOneSegmentAndNoPages) {
    OpenDocument* document = OpenWith(kPageIds);
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->segmentCount, 1);
    EXPECT_EQ(document->pagesPerSegment, 0);
    EXPECT_EQ(document->pagesInLastSegment, 0);
    EXPECT_EQ(document->pageNames, 1) << "no tables and a page identifier";
    EXPECT_EQ(Doc_GetPageName(document, 1), nullptr);
    EXPECT_EQ(Doc_FirstIndexGroup(document), nullptr);
    size_t length = 99;
    const std::vector<unsigned char> block = Doc_BuildAppletInfo(document, nullptr, nullptr, &length);
    ASSERT_EQ(length, 29u);
    EXPECT_EQ(std::vector<unsigned char>(block.begin(), block.begin() + 29),
              std::vector<unsigned char>(
                  {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(DocOpenTest, SegmentNumbersOutsideTheDocumentAskForNothing) {
    OpenDocument* document = OpenWith("");
    ASSERT_NE(document, nullptr);
    for (int segment : {1, 2, -1}) {
        ClientStatus status;
        Doc_GetSegment(&status, document, segment, Consume, 0);
        EXPECT_EQ(status.severity, 9) << segment;
        EXPECT_EQ(status.code, 80) << segment;
    }
    EXPECT_EQ(consumed, 0);
}

TEST_F(DocOpenTest, DocumentsOfOneHitShareTheirTables) {
    OpenFolder* folder = clienttest::OpenTestFolder(&session, DocFolder('A', kPageIds));
    SearchHit* hit = AddHit(folder);
    OpenDocument* first = Open(folder, hit);
    ASSERT_NE(first, nullptr);
    first->pageTables = qelclient::ShareTables(SampleTables().release());
    first->notes = std::make_shared<DocNotesHolder>();
    OpenDocument* second = Open(folder, hit);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->pageTables, first->pageTables);
    EXPECT_EQ(second->notes, first->notes);
    EXPECT_EQ(second->segmentCount, 3);
    EXPECT_EQ(second->pagesPerSegment, 2);
    EXPECT_EQ(second->pagesInLastSegment, 1);
    EXPECT_EQ(second->pageNames, 1);
    EXPECT_EQ(second->parmEntry, first->parmEntry);
    EXPECT_FALSE(second->parmEntry->madeEmpty);
    EXPECT_EQ(second->parmEntry->text, kPageIds);
    EXPECT_EQ(consumed, 0) << "a reuse asks for no data";

    // A document of another hit of the same application has no tables of its own.
    OpenDocument* other = Open(folder, AddHit(folder));
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->pageTables, nullptr);
    EXPECT_EQ(other->notes, nullptr);
    // An application without a parameter text gets an empty entry of its own.
    OpenDocument* bare = Open(folder, AddHit(folder, 1));
    ASSERT_NE(bare, nullptr);
    EXPECT_NE(bare->parmEntry, first->parmEntry);
    EXPECT_TRUE(bare->parmEntry->madeEmpty);
    EXPECT_EQ(session.parmEntries.size(), 2u);

    std::weak_ptr<CsDocTables> tables = first->pageTables;
    Doc_Close(first);
    EXPECT_FALSE(tables.expired()) << "the second document still uses them";
    EXPECT_EQ(session.documents.size(), 3u);
    Doc_Close(second);
    EXPECT_TRUE(tables.expired());
    EXPECT_EQ(session.documents.size(), 2u);
}

TEST_F(DocOpenTest, PageNamesOfADocumentInSeveralParts) {
    OpenFolder* folder = clienttest::OpenTestFolder(&session, DocFolder('A', kPageIds));
    OpenDocument* document = Open(folder, AddHit(folder));
    ASSERT_NE(document, nullptr);
    document->pageTables = qelclient::ShareTables(SampleTables().release());
    struct Case {
        int64_t page;
        const char* name;  // null: none
    };
    const Case cases[] = {{1, "Cover"}, {2, "R\xe9sum\xe9"}, {3, nullptr},
                          {4, ""},      {5, "Last"},         {6, nullptr},
                          {0, nullptr}, {-1, nullptr},       {int64_t{1} << 40, nullptr}};
    for (const Case& c : cases) {
        const char* name = Doc_GetPageName(document, c.page);
        if (c.name == nullptr) {
            EXPECT_EQ(name, nullptr) << "page " << c.page;
        } else {
            ASSERT_NE(name, nullptr) << "page " << c.page;
            EXPECT_STREQ(name, c.name) << "page " << c.page;
        }
    }
    EXPECT_EQ(document->pageTables->codePage, 819u) << "converted once to the session's code page";
    // Without the page-names flag no name is given.
    document->pageNames = 0;
    EXPECT_EQ(Doc_GetPageName(document, 1), nullptr);
    // Tables without entries, or without pages, give none either.
    document->pageNames = 1;
    document->pageTables->blocks.clear();
    document->pageTables->pageEntryCount = 0;
    EXPECT_EQ(Doc_GetPageName(document, 1), nullptr);
    document->pageTables->total = 0;
    EXPECT_EQ(Doc_GetPageName(document, 1), nullptr);
}

TEST_F(DocOpenTest, IndexGroupsAndTheirValuesInPageOrder) {
    OpenFolder* folder = clienttest::OpenTestFolder(&session, DocFolder('A', ""));
    OpenDocument* document = Open(folder, AddHit(folder));
    ASSERT_NE(document, nullptr);
    document->pageTables = qelclient::ShareTables(SampleTables().release());
    std::string walk;
    for (const char* group = Doc_FirstIndexGroup(document); group != nullptr;
         group = Doc_NextIndexGroup(document)) {
        walk += std::string("[") + group + "]";
        const std::string name = group;
        DocGroupValue value;
        for (bool more = Doc_FirstGroupValue(document, name.c_str(), &value); more;
             more = Doc_NextGroupValue(document, &value))
            walk += std::string(" ") + value.text + "/" + std::to_string(value.page) + "/" +
                    std::to_string(value.kind);
    }
    EXPECT_EQ(walk, "[Account] A-1/1/1 A-2/5/2[Date] 2024/4/30");
    DocGroupValue value;
    EXPECT_FALSE(Doc_FirstGroupValue(document, "Nothing", &value));
    EXPECT_EQ(Doc_NextIndexGroup(document), nullptr) << "the walk stays at its end";
}

TEST_F(DocOpenTest, TablesInACodePageWithoutConverterGiveNothing) {
    OpenFolder* folder = clienttest::OpenTestFolder(&session, DocFolder('A', kPageIds));
    OpenDocument* document = Open(folder, AddHit(folder));
    ASSERT_NE(document, nullptr);
    auto tables = SampleTables();
    tables->codePage = 99999;
    document->pageTables = qelclient::ShareTables(tables.release());
    EXPECT_EQ(Doc_FirstIndexGroup(document), nullptr);
    EXPECT_EQ(Doc_GetPageName(document, 1), nullptr);
    EXPECT_EQ(document->pageTables->groupNames[0], "Account") << "left as it was";
}

TEST_F(DocOpenTest, MappedFields) {
    OpenFolder* folder = clienttest::OpenTestFolder(&session, DocFolder('A', ""));
    struct Case {
        const char* name;
        uint32_t group;
        int field;
        int expected;  // -1: not found
    };
    const Case cases[] = {
        {"mapped", 40, 1, 1},           {"first", 40, 0, 0},
        {"flag bit 4", 40, 2, -1},      {"unmapped", 41, 0, -1},
        {"other group", 41, 1, 0},      {"not in the folder", 99, 0, -1},
        {"negative index", 40, -1, -1}, {"beyond the fields", 40, 3, -1},
    };
    for (const Case& c : cases) {
        int number = -7;
        const CsXdrFieldDef* def = nullptr;
        const bool found = Doc_FindMappedField(folder, c.group, c.field, &number, &def);
        EXPECT_EQ(found, c.expected >= 0) << c.name;
        if (found) {
            EXPECT_EQ(number, c.expected) << c.name;
            ASSERT_NE(def, nullptr);
        }
    }
}

TEST_F(DocOpenTest, RetrieveModeAndConvertLetters) {
    Doc_SetRetrieveMode(&session, 0x1 | 0x2, 1);
    EXPECT_EQ(session.retrieveMode, 0x8003u);
    Doc_SetRetrieveMode(&session, 0x1, 0);
    EXPECT_EQ(session.retrieveMode, 0x8002u);
    Doc_SetRetrieveMode(&session, 0x8000, 0);
    EXPECT_EQ(session.retrieveMode, 0x8002u) << "the given bit stays";

    OpenDocument* document = OpenWith("", 'U');
    ASSERT_NE(document, nullptr);
    document->row->object->compression = 'O';
    char resource = 1;
    char stored = 1;
    Doc_GetConvertFlags(document, &resource, &stored);
    EXPECT_EQ(resource, 0) << "no descriptor";
    EXPECT_EQ(stored, 'O');
    const uint32_t desc[4] = {40, 1, 0, 'L'};
    std::copy_n(desc, 4, document->resourceDescriptor);
    Doc_GetConvertFlags(document, &resource, &stored);
    EXPECT_EQ(resource, 'L');
    EXPECT_FALSE(Doc_GetUserTypeExtension(document).has_value());
    const char* applicationText = "x";
    const char* entryText = "x";
    EXPECT_TRUE(Doc_GetParmTexts(document, &applicationText, &entryText));
    EXPECT_EQ(applicationText, nullptr);
    EXPECT_STREQ(entryText, "");
}

TEST_F(DocOpenTest, ClosingAFolderClosesItsDocumentsOnly) {
    OpenFolder* first = clienttest::OpenTestFolder(&session, DocFolder('A', ""));
    FolderSpec otherSpec = DocFolder('A', "");
    otherSpec.name = "Second";
    otherSpec.number = 2;
    OpenFolder* second = clienttest::OpenTestFolder(&session, otherSpec);
    ASSERT_NE(Open(first, AddHit(first)), nullptr);
    ASSERT_NE(Open(first, AddHit(first)), nullptr);
    OpenDocument* kept = Open(second, AddHit(second));
    ASSERT_NE(kept, nullptr);
    Doc_CloseFolderDocuments(&session, first);
    ASSERT_EQ(session.documents.size(), 1u);
    EXPECT_EQ(session.documents[0].get(), kept);
    Folder_Close(&session, second, 0);
    EXPECT_TRUE(session.documents.empty());
}

TEST_F(DocOpenTest, MissingArgumentsMakeNoDocument) {
    OpenFolder* folder = clienttest::OpenTestFolder(&session, DocFolder('A', ""));
    SearchHit* hit = AddHit(folder);
    ClientStatus status;
    OpenDocument* document = reinterpret_cast<OpenDocument*>(&status);
    Doc_Retrieve(&status, &session, folder, nullptr, &document, 1, 0, Consume, 0);
    EXPECT_EQ(document, nullptr);
    EXPECT_EQ(status.severity, 9);
    Doc_Retrieve(&status, nullptr, folder, hit, &document, 1, 0, Consume, 0);
    EXPECT_EQ(status.severity, 9);
    EXPECT_TRUE(session.documents.empty());
}

}  // namespace
