// The documents archive the build makes for tests (QEL_DOCUMENTS_ARCHIVE), copied and used
// through the request layer as the gateway uses it: folder Documents opens with a group
// per kind, its index fields find documents by kind, title and date, and every document
// comes back with its notes, the AFP form with its resource.
#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "local_session.h"
#include "request_test_support.h"

namespace {

using buildertest::FoundHit;

constexpr uint32_t kDocumentsFolder = 4;

class DocumentsArchive : public ::testing::Test {
protected:
    void SetUp() override {
        // The local server writes its lock file into the archive: work on a copy.
        archive_ = dir_.Path() + "archive";
        std::error_code ec;
        std::filesystem::copy(QEL_DOCUMENTS_ARCHIVE, archive_, std::filesystem::copy_options::recursive, ec);
        ASSERT_FALSE(ec) << QEL_DOCUMENTS_ARCHIVE << ": " << ec.message();
    }
    std::vector<std::string> Titles() const {
        std::vector<std::string> titles;
        for (const FoundHit& hit : session_.Hits()) titles.emplace_back(hit.row->values[0].v.text);
        std::sort(titles.begin(), titles.end());
        return titles;
    }

    reqtest::TempDir dir_;
    std::string archive_;
    buildertest::LocalSession session_;
};

TEST_F(DocumentsArchive, AGroupOfEachKindWithItsDataType) {
    ASSERT_NO_FATAL_FAILURE(session_.Open(archive_, "BOB", "builder2", kDocumentsFolder));
    std::map<std::string, char> letters;
    const CsXdrFolder* folder = session_.Folder();
    for (uint16_t g = 0; g < folder->groupCount; ++g) {
        ASSERT_EQ(folder->groups[g].applCount, 1u);
        letters[folder->groups[g].name] = static_cast<char>(folder->groups[g].appls[0].flags[0]);
    }
    EXPECT_EQ(letters, (std::map<std::string, char>{
                           {"DOCAFP", 'A'}, {"DOCLINE", 'L'}, {"DOCPDF", 'R'}, {"DOCTIFF", 'T'}}));
}

TEST_F(DocumentsArchive, SearchesByKindTitleAndDate) {
    struct Case {
        const char* where;
        std::vector<std::string> titles;
    };
    const Case cases[] = {
        {"",
         {"Annual ledger", "Branch sales summary", "Invoice form with overlay", "Paged invoice run",
          "Product brochure", "Quarterly stock report", "Scanned delivery note", "Shipping letter"}},
        {"KIND = 'PDF'", {"Product brochure"}},
        {"KIND = 'LINE'", {"Annual ledger", "Branch sales summary", "Quarterly stock report"}},
        {"TITLE LIKE 'S%'", {"Scanned delivery note", "Shipping letter"}},
        // 2024-06-01 to 2024-07-31 as day numbers (1970-01-01 is day 1).
        {"DOCDATE BETWEEN 19876 AND 19936",
         {"Invoice form with overlay", "Scanned delivery note", "Shipping letter"}},
        {"KIND = 'AFP' AND DOCDATE < 19876", {}},
    };
    ASSERT_NO_FATAL_FAILURE(session_.Open(archive_, "BOB", "builder2", kDocumentsFolder));
    for (const Case& c : cases) {
        ASSERT_NO_FATAL_FAILURE(session_.Search(c.where));
        EXPECT_EQ(Titles(), c.titles) << c.where;
    }
}

// Each document's data starts as its kind does (the paged ledger after its page tables);
// ALICE may add notes and so reads every one.
TEST_F(DocumentsArchive, EveryDocumentWithItsNotes) {
    struct Case {
        const char* title;
        std::string start;
        size_t notes;
    };
    const Case cases[] = {
        {"Quarterly stock report", "1QUARTERLY", 2},
        {"Branch sales summary", "1BRANCH", 2},
        {"Annual ledger", "1ANNUAL", 2},
        {"Shipping letter", "\x5a", 1},
        {"Invoice form with overlay", "\x5a", 2},
        {"Paged invoice run", "\x5a", 1},
        {"Product brochure", "%PDF-1.4", 2},
        {"Scanned delivery note", std::string("II*\0", 4), 2},
    };
    ASSERT_NO_FATAL_FAILURE(session_.Open(archive_, "ALICE", "wonder1", kDocumentsFolder));
    for (const Case& c : cases) {
        const FoundHit hit = session_.Hit(c.title);
        ASSERT_NE(hit.row, nullptr) << c.title;
        const std::string name = hit.row->object->name;
        const size_t tables = name.find('$') != std::string::npos ? hit.row->object->compressedOffset : 0;
        const std::string data = session_.Retrieve(hit);
        ASSERT_GT(data.size(), tables + c.start.size()) << c.title;
        EXPECT_EQ(data.substr(tables, c.start.size()), c.start) << c.title;
        EXPECT_EQ(session_.Notes(hit).size(), c.notes) << c.title;
    }

    for (const char* title : {"Invoice form with overlay", "Paged invoice run"}) {
        const FoundHit form = session_.Hit(title);
        ASSERT_EQ(form.row->object->resourceId, 1u) << title;
        form.row->object->compression = 'O';  // the letter of the resource's storage-node row
        const std::string resource = session_.Resources(form);
        ASSERT_GT(resource.size(), 6u) << title;
        EXPECT_EQ(resource.substr(3, 3), "\xd3\xa8\xc6") << "a resource group begins: " << title;
    }
    EXPECT_EQ(session_.Hit("Shipping letter").row->object->resourceId, 0u);
}

}  // namespace
