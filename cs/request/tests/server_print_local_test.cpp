// Server print on a local handle: the sample archive's documents printed through the
// printers of the server configuration into job files that a print script copies into a
// spool directory.
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "arc_install.h"
#include "logon_test_support.h"
#include "qel_cswire.h"

namespace {

namespace fs = std::filesystem;
using logontest::FolderPtr;
using logontest::HandleGuard;
using logontest::TestArchive;

struct InvoiceHit {
    InvoiceHit(uint32_t blockOffset, uint32_t blockLength, uint32_t offset, uint32_t length) {
        values[0].type = 'S';
        values[0].v.text = invoice;
        values[1].type = 'S';
        values[1].v.text = customer;
        values[2].type = 'I';
        values[2].v.integer = 19725;
        object.name = name;
        object.compression = 'N';
        object.compressedOffset = blockOffset;
        object.compressedLength = blockLength;
        object.offset = offset;
        object.length = length;
        object.primaryNode = 1;  // NODE1.ARCHIVE01, the archive's data/
        hit.object = &object;
        hit.valueCount = 3;
        hit.values = values;
    }
    char name[8] = "1FAA";
    char invoice[8] = "4711";
    char customer[8] = "ACME";
    CsXdrValue values[3] = {};
    CsXdrObjectRef object{};
    CsXdrHitRow hit{};
};

struct Items {
    CsXdrApplGroup* group = nullptr;
    CsXdrApplEntry* appl = nullptr;
    std::vector<CsXdrHitRow*> hits;
    size_t next = 0;
    static int Next(void* context, CsXdrApplGroup** group, CsXdrApplEntry** appl, CsXdrHitRow** hit,
                    uint32_t*) {
        auto* items = static_cast<Items*>(context);
        if (items->next >= items->hits.size()) {
            *hit = nullptr;
            return 0;
        }
        *group = items->group;
        *appl = items->appl;
        *hit = items->hits[items->next++];
        return 0;
    }
};

class LocalServerPrint : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::path(::testing::TempDir()) / "qel_print_XXXXXX").string();
        dir_ = mkdtemp(pattern.data());
        for (const char* d : {"/install/locale", "/p1", "/spool"}) fs::create_directories(dir_ + d);
        // A flat install (its module directory holds "locale"): the print script beside it.
        const std::string script = dir_ + "/install/qelprt";
        localtest::WriteFile(script, "#!/bin/sh\ncp \"$7\" '" + dir_ + "/spool/'\nprintf '%s\\n' \"$@\" > '" +
                                         dir_ + "/spool/'\"$(basename \"$7\")\".args\n");
        fs::permissions(script, fs::perms::owner_all);
        QelInst_SetModuleDirForTest((dir_ + "/install").c_str());
        ArcOS_PutEnv(("QEL_PRINT_PATH=" + dir_ + "/p1").c_str());
    }
    void TearDown() override {
        QelInst_SetModuleDirForTest(nullptr);
        ArcOS_PutEnv("QEL_PRINT_PATH=");
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // Logs on with the given document rights on group 100 and opens its folder.
    void LogOn(int docPerms) {
        std::string perms = archive_.Table("agperms");
        const size_t at = perms.find("DOC_PERMS=11");
        ASSERT_NE(at, std::string::npos);
        perms.replace(at, 12, "DOC_PERMS=" + std::to_string(docPerms));
        archive_.WriteTable("agperms", perms);
        guard_.Renew(archive_);
        CsUserRecord record{};
        ASSERT_EQ(CsLogon(&handle_, "ALICE", "Secret-1", &record), CS_OK);
        CsXdrFolder* raw = nullptr;
        ASSERT_EQ(CsOpenFolderGroups(&handle_, 1, nullptr, &raw), CS_OK);
        folder_.reset(raw);
        ASSERT_EQ(folder_->groupCount, 1u);
        ASSERT_GE(folder_->groups[0].applCount, 1u);
        items_.group = &folder_->groups[0];
        items_.appl = &folder_->groups[0].appls[0];
        handle_.def.profile += "\n[PRINTERS]\nLPT1=P,Spool printer\n";
    }

    int Print(uint32_t printer) {
        items_.next = 0;
        CsXdrPrintRequest request{};
        request.printer = printer;
        request.copies = 2;
        handle_.callbackContext = &items_;
        const int rc = CsServerPrint(&handle_, &request, "", {}, &Items::Next, 0);
        handle_.callbackContext = nullptr;
        return rc;
    }

    // The spooled job files (waited for: the script runs on its own), by name.
    std::vector<std::pair<std::string, std::string>> Spooled(size_t count) {
        std::vector<std::pair<std::string, std::string>> jobs;
        for (int wait = 0; wait < 100; ++wait) {
            jobs.clear();
            for (const auto& e : fs::directory_iterator(dir_ + "/spool")) {
                if (e.path().extension() == ".args") {
                    const std::string job = e.path().string().substr(0, e.path().string().size() - 5);
                    jobs.emplace_back(localtest::ReadFile(job), localtest::ReadFile(e.path().string()));
                }
            }
            if (jobs.size() >= count) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        std::sort(jobs.begin(), jobs.end());
        return jobs;
    }

    std::string dir_;
    TestArchive archive_;
    CsHandle handle_{};
    HandleGuard guard_{&handle_};
    FolderPtr folder_;
    Items items_;
};

TEST_F(LocalServerPrint, DocumentsReachThePrintScript) {
    LogOn(0x1B);  // retrieve, store, update index and print
    InvoiceHit number(0, 53, 8, 4), amount(34, 19, 0, 6);
    ASSERT_EQ(logontest::IndexHit(&handle_, items_.group, &number.hit), CS_OK);
    ASSERT_EQ(logontest::IndexHit(&handle_, items_.group, &amount.hit), CS_OK);
    items_.hits = {&number.hit, &amount.hit};
    ASSERT_EQ(Print(1), CS_OK);
    auto jobs = Spooled(2);
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].first, "4711");
    EXPECT_EQ(jobs[1].first, "Amount");
    const std::string& args = jobs[0].second;
    EXPECT_EQ(args.rfind("LPT1\n2\nALICE\n" + std::string(items_.group->name) + "\n", 0), 0u) << args;
}

TEST_F(LocalServerPrint, RefusedWithoutPrintRightOrPrinter) {
    LogOn(0x0B);
    InvoiceHit number(0, 53, 8, 4);
    ASSERT_EQ(logontest::IndexHit(&handle_, items_.group, &number.hit), CS_OK);
    items_.hits = {&number.hit};
    EXPECT_EQ(Print(1), CS_NOT_AUTHORISED);
    EXPECT_EQ(Print(7), CS_NOT_FOUND);
    EXPECT_TRUE(Spooled(0).empty());
    EXPECT_TRUE(fs::is_empty(dir_ + "/p1"));
}

// Only documents of rows the user could find are printed: a row outside the restriction of
// ALICE's group, or a hit no row has, stops the run before anything is spooled.
TEST_F(LocalServerPrint, RowsTheUserCouldNotFindAreNotPrinted) {
    std::string perms = archive_.Table("agperms");
    perms.replace(perms.find("ANN_PERMS=7"), 11, "ANN_PERMS=7\nQ_RESTRICT=\"CUSTOMER <> 'HIDDEN'\"");
    archive_.WriteTable("agperms", perms);
    LogOn(0x1B);
    InvoiceHit shown(0, 53, 8, 4), hidden(34, 19, 0, 6), missing(0, 53, 0, 4);
    ASSERT_EQ(logontest::IndexHit(&handle_, items_.group, &shown.hit), CS_OK);
    hidden.hit.values[1].v.text = const_cast<char*>("HIDDEN");
    ASSERT_EQ(logontest::IndexHit(&handle_, items_.group, &hidden.hit), CS_OK);
    std::memcpy(missing.hit.segment, shown.hit.segment, sizeof missing.hit.segment);
    for (CsXdrHitRow* refused : {&hidden.hit, &missing.hit}) {
        items_.hits = {&shown.hit, refused};
        EXPECT_EQ(Print(1), CS_NOT_AUTHORISED);
    }
    EXPECT_TRUE(Spooled(0).empty());
    EXPECT_TRUE(fs::is_empty(dir_ + "/p1"));
}

}  // namespace
