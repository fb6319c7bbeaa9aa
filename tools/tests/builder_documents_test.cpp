// What a document carries besides its data, built and read back through the request
// layer on a local handle: notes as each user may see them, the resource a document
// names, the paged statement's tables and segments, and the application's data type.
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "builder_fixture.h"
#include "local_session.h"

namespace {

using buildertest::BuilderScratch;
using buildertest::FoundHit;
using buildertest::Note;
using buildertest::PartText;

struct TablesFree {
    void operator()(CsDocTables* tables) const { CsFreeDocTables(tables, 1); }
};

class BuiltDocuments : public ::testing::Test {
protected:
    void SetUp() override {
        target_ = scratch_.Dir() + "archive";
        const auto errors = scratch_.Build(buildertest::DocumentsDescription(), target_);
        for (const auto& e : errors) ADD_FAILURE() << FormatError(e);
        ASSERT_TRUE(errors.empty());
    }
    void Open(const char* user, const char* password) { session_.Open(target_, user, password, 1); }

    BuilderScratch scratch_;
    std::string target_;
    buildertest::LocalSession session_;
};

// Public notes for everybody, private ones for their author and those who may add notes;
// time, page and colour as described, the build time when none is given.
TEST_F(BuiltDocuments, NotesAsEachUserMaySeeThem) {
    struct Case {
        const char* user;
        const char* password;
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {"ALICE", "Secret-1", {"Alice public", "Alice private", "Bob private"}},
        {"BOB", "Bob.Pass", {"Alice public", "Bob private"}},
        {"CAROL", "", {"Alice public"}},
    };
    for (const Case& c : cases) {
        Open(c.user, c.password);
        std::vector<std::string> texts;
        for (const Note& n : session_.Notes(session_.Hit("A0001"))) texts.push_back(n.text);
        EXPECT_EQ(texts, c.texts) << c.user;
    }
    Open("ALICE", "Secret-1");
    const std::vector<Note> notes = session_.Notes(session_.Hit("A0001"));
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[0].user, "ALICE");
    EXPECT_EQ(notes[0].flags, 2u | 4u) << "public text";
    EXPECT_EQ(notes[0].created, buildertest::kNoteTime);
    EXPECT_EQ(notes[0].page, 2u);
    EXPECT_EQ(notes[0].colour, 3u);
    EXPECT_EQ(notes[1].flags, 1u | 4u) << "private text";
    EXPECT_EQ(notes[1].page, 1u);
    EXPECT_GT(notes[1].created, buildertest::kNoteTime) << "the build time";
    EXPECT_EQ(notes[2].user, "BOB");
    EXPECT_EQ(notes[2].created, 1700000000);
    EXPECT_TRUE(session_.Notes(session_.Hit("A0002")).empty());
    EXPECT_EQ(session_.Notes(session_.Hit("A0007")).size(), 0u);
}

// The resource a document names comes back expanded; other documents name none.
TEST_F(BuiltDocuments, ResourceOfTheDocument) {
    Open("BOB", "Bob.Pass");
    const FoundHit withResource = session_.Hit("A0004");
    ASSERT_NE(withResource.row, nullptr);
    EXPECT_EQ(withResource.row->object->resourceId, 7u);
    EXPECT_EQ(session_.Hit("A0003").row->object->resourceId, 0u);
    CsXdrNodeInfo* info = nullptr;
    ASSERT_EQ(CsGetStorageNodes(session_.Handle(), withResource.group->number, 7, &info), CS_OK);
    EXPECT_EQ(info->primaryNode, 1);
    EXPECT_EQ(info->compression, 'O');
    CsFreeStorageNodes(info);
    withResource.row->object->compression = 'O';  // the letter the node row gives
    EXPECT_EQ(session_.Resources(withResource), buildertest::kResourceText);
}

// The paged statement: its data starts with page tables as long as the stored offset
// says; the tables count the pages and name the further segments, which the object
// references they make retrieve.
TEST_F(BuiltDocuments, PagedDocumentTablesAndSegments) {
    Open("BOB", "Bob.Pass");
    const FoundHit found = session_.Hit("A0007");
    CsXdrHitRow* hit = found.row;
    ASSERT_NE(hit, nullptr);
    EXPECT_STREQ(hit->object->name, "3FAA$");
    const std::string data = session_.Retrieve(found);
    const uint32_t tablesLength = hit->object->compressedOffset;
    ASSERT_LT(tablesLength, data.size());
    EXPECT_EQ(data.substr(tablesLength), PartText(0));

    CsDocTables* raw = nullptr;
    ASSERT_EQ(CsConvertDocument(session_.Pages(), data.data(), tablesLength, 1, &raw), CS_OK);
    ASSERT_EQ(CsEndDocTables(&raw), CS_OK) << "the end word ends the tables";
    std::unique_ptr<CsDocTables, TablesFree> tables(raw);
    EXPECT_EQ(tables->total, 5u);
    EXPECT_EQ(tables->perObject, 2u);
    EXPECT_EQ(tables->objectCount, 3u);
    EXPECT_EQ(tables->codePage, 819u);
    EXPECT_TRUE(tables->flags & CS_DOCTAB_PAGE_NAMES);
    ASSERT_EQ(tables->pageEntryCount, 3u) << "the empty name is no entry";
    const uint32_t pagesNamed[] = {1, 2, 4};
    const char* names[] = {"One", "Two", "Four"};
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(tables->PageEntry(i)->page, pagesNamed[i]);
        EXPECT_EQ(tables->PageEntry(i)->name, names[i]);
    }

    const CsObjectPages view = tables->objects.View();
    CsXdrObjectRef* own = hit->object;
    for (int n = 1; n <= 2; ++n) {
        CsXdrObjectRef segment{};
        ASSERT_EQ(CsMakeObjectRef(&view, n, own, &segment), CS_OK);
        EXPECT_EQ(std::string(segment.name), n == 1 ? "3FAAB" : "3FAAC");
        hit->object = &segment;
        EXPECT_EQ(session_.Retrieve(found, own), PartText(n)) << "segment " << n + 1;
        hit->object = own;
        std::free(segment.name);
    }
}

TEST_F(BuiltDocuments, ApplicationDataTypeLetter) {
    Open("BOB", "Bob.Pass");
    ASSERT_EQ(session_.Folder()->groups[0].applCount, 1u);
    EXPECT_EQ(session_.Folder()->groups[0].appls[0].flags[0], 'R');
}

}  // namespace
