// Folder_Search on the sample archive: a local session, the Invoices folder as the
// request layer opens it, and invoices loaded into segment INV1.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "archive_fixture.h"
#include "client_test_support.h"
#include "qel_client.h"
#include "qel_local.h"

namespace {

using clienttest::GatewayOptions;
using clienttest::SharedIconv;

constexpr int32_t kInvoices = 100;

// A0001-A0010 in segment INV1: odd ones of customer ACME, even ones of OTHER.
void LoadInvoices(const std::string& directory) {
    CsHandle handle{};
    localtest::MakeHandle(&handle, directory);
    ASSERT_EQ(QelLocal_Open(&handle), CS_OK);
    QelLocalAppGroup group;
    ASSERT_EQ(QelLocal_ReadAppGroup(&handle, kInvoices, &group), CS_OK);
    std::vector<QelLocalIdxRow> rows;
    for (int n = 1; n <= 10; ++n) {
        QelLocalIdxRow row;
        row.header.objName = "1FAA";
        row.header.off = 100u * n;
        row.header.len = 10;
        row.header.compType = 'N';
        row.values.resize(3);
        char invno[8];
        std::snprintf(invno, sizeof invno, "A%04d", n);
        row.values[0].text = invno;
        row.values[1].text = n % 2 ? "ACME" : "OTHER";
        row.values[2].integer = 19730;
        rows.push_back(row);
    }
    QelLocalSegment inv1;
    std::strcpy(inv1.name, "INV1");
    int64_t added = 0;
    ASSERT_EQ(QelLocal_AddIndexRows(&handle, group, inv1, rows, &added), CS_OK);
    QelLocal_Close(&handle);
}

class FolderSearch : public clienttest::GatewayStarted {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(LoadInvoices(archive_.Dir()));
        ASSERT_NO_FATAL_FAILURE(Start());
        ClientStatus status;
        Session_Logon(&status, "DEMO", "DEMO", "ALICE", "wonder1", 'L', 0, archive_.Dir().c_str(), &session_);
        ASSERT_NE(session_, nullptr);
        OpenInvoices();
    }
    void TearDown() override {
        if (session_) Session_Logoff(session_, 1);
        Client_Term();
    }

    // The Invoices folder as the request layer gives it, opened by hand: every field a
    // free-text criterion with every operator.
    void OpenInvoices() {
        CsXdrFolder* raw = nullptr;
        ASSERT_EQ(CsOpenFolderGroups(&session_->handle, 1, nullptr, &raw), CS_OK);
        auto entry = std::make_unique<ClientFolderEntry>();
        entry->row.number = 1;
        entry->row.name = raw->name;
        entry->session = session_;
        entry->definition.reset(raw);
        auto open = std::make_unique<OpenFolder>();
        open->entry = entry.get();
        open->definition = raw;
        open->fieldCount = raw->fieldCount;
        open->criteria.resize(raw->fieldCount);
        for (int i = 0; i < raw->fieldCount; ++i) {
            open->criteriaOrder.push_back(i);
            FolderCriterion& c = open->criteria[i];
            c.operatorMask = 0xFFF;
            c.op = 0x001;
            c.inputWidth = CLIENT_WIDTH_OPEN;
        }
        folder_ = open.get();
        entry->open = std::move(open);
        session_->folders.push_back(std::move(entry));
    }

    FolderCriterion& Criterion(const char* name) {
        for (int i = 0; i < folder_->fieldCount; ++i)
            if (std::strcmp(folder_->definition->fields[i].name, name) == 0) return folder_->criteria[i];
        throw std::runtime_error(name);
    }

    std::vector<std::string> HitNumbers() const {
        std::vector<std::string> numbers;
        for (const SearchHitPtr& hit : folder_->entry->hits.hits)
            numbers.emplace_back(hit->row->values[0].v.text ? hit->row->values[0].v.text : "");
        return numbers;
    }

    localtest::ArchiveCopy archive_;
    ClientSession* session_ = nullptr;
    OpenFolder* folder_ = nullptr;
};

TEST_F(FolderSearch, FindsTheInvoicesTheCriteriaName) {
    struct Case {
        const char* label;
        const char* field;
        uint32_t op;
        const char* value;
        int matchAny;
        std::vector<std::string> hits;
    };
    const Case cases[] = {
        {"customer", "Customer", 0x001, "ACME", 0, {"A0001", "A0003", "A0005", "A0007", "A0009"}},
        {"invoice numbers", "Invoice number", 0x040, "a0002  a0004", 0, {"A0002", "A0004"}},
        {"quote in the value", "Customer", 0x001, "O'Brien", 0, {}},
        {"like", "Invoice number", 0x100, "A001%", 0, {"A0010"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        for (FolderCriterion& criterion : folder_->criteria) criterion.value1.clear();
        FolderCriterion& criterion = Criterion(c.field);
        criterion.op = c.op;
        criterion.value1 = c.value;
        ClientStatus status;
        int position[2] = {-1, -1};
        Folder_Search(&status, session_, folder_, c.matchAny, 0, nullptr, nullptr, nullptr, position);
        EXPECT_EQ(status.severity, 0);
        EXPECT_EQ(HitNumbers(), c.hits);
    }
}

TEST_F(FolderSearch, NoCriteriaSearchesNothing) {
    ClientStatus status;
    int position[2] = {-1, -1};
    Folder_Search(&status, session_, folder_, 0, 0, nullptr, nullptr, nullptr, position);
    EXPECT_EQ(status.severity, CLIENT_SEV_INPUT);
    EXPECT_EQ(status.code, 38);
    EXPECT_TRUE(HitNumbers().empty());
}

TEST_F(FolderSearch, RefusedValueReportsItsCriterion) {
    Criterion("Customer").value1 = std::string(255, 'x');
    ClientStatus status;
    int position[2] = {-1, -1};
    Folder_Search(&status, session_, folder_, 0, 0, nullptr, nullptr, nullptr, position);
    EXPECT_EQ(status.severity, CLIENT_SEV_INPUT);
    EXPECT_EQ(status.code, 40);
    EXPECT_EQ(position[0], 1);
    EXPECT_EQ(position[1], 0);
    EXPECT_EQ(status.inserts[2].number, 254);
}

TEST_F(FolderSearch, DirectSearchRunsTheCallersClause) {
    ClientStatus status;
    Folder_SearchDirect(&status, session_, folder_, "WHERE INVNO = 'A0006' OR INVNO = 'A0008'", nullptr,
                        nullptr, nullptr, 0, nullptr, nullptr);
    EXPECT_EQ(status.severity, 0);
    EXPECT_EQ(HitNumbers(), (std::vector<std::string>{"A0006", "A0008"}));
}

}  // namespace
