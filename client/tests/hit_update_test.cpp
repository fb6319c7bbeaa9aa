// New index values for a hit on a copy of the sample archive: the values checked by
// their fields, the row rewritten by the local server, and the updated hit put where
// the old one was; refused values send nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "archive_fixture.h"
#include "client_test_support.h"
#include "folder_fixture.h"
#include "hit_links.h"
#include "qel_client.h"

namespace {

using clienttest::FolderSpec;
using clienttest::GatewayOptions;
using clienttest::GroupSpec;
using clienttest::MakeRow;
using clienttest::SharedIconv;

constexpr int32_t kJan2024 = 19724;  // 1 January 1970 is day 1
constexpr int32_t kDec2024 = 20089;

// Folder 1 of the sample: group 100 (INVOICES) as the archive defines it, and a group
// with number fields that only the checks reach.
FolderSpec InvoiceFolder() {
    FolderSpec spec;
    spec.fields = {{.name = "Invoice", .type = 'S'},
                   {.name = "Customer", .type = 'S'},
                   {.name = "Date",
                    .type = 'I',
                    .dateType = 'D',
                    .minimum = kJan2024,
                    .maximum = kDec2024,
                    .dateFormat = "%Y-%m-%d"},
                   {.name = "Count", .type = 'N', .minimum = -5, .maximum = 500},
                   {.name = "Amount", .type = 'D', .precision = 2}};
    GroupSpec invoices;
    invoices.number = 100;
    invoices.name = "INVOICES";
    invoices.fields = {{.name = "INVNO", .type = 'S', .flags = 0x20, .textLength = 10, .textCase = 'U'},
                       {.name = "CUSTOMER", .type = 'S', .textLength = 40},
                       {.name = "INVDATE", .type = 'I', .flags = 0x04, .dateType = 'D'}};
    invoices.applications = {{.name = "INVAPP", .number = 200}};
    invoices.map = {0, 1, 2};
    GroupSpec numbers;
    numbers.number = 555;
    numbers.name = "NUMBERS";
    numbers.fields = {
        {.name = "COUNT", .type = 'N'}, {.name = "AMOUNT", .type = 'D'}, {.name = "BIG", .type = 'B'}};
    numbers.applications = {{.name = "NUMAPP", .number = 1}};
    numbers.map = {FOLDER_FIELD_UNMAPPED, FOLDER_FIELD_UNMAPPED, FOLDER_FIELD_UNMAPPED, 0, 1};
    spec.groups = {invoices, numbers};
    return spec;
}

class HitUpdate : public clienttest::GatewayStarted {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(Start());
        ClientStatus status;
        Session_Logon(&status, "DEMO", "DEMO", "ALICE", "wonder1", 'L', 0, archive_.Dir().c_str(), &session_);
        ASSERT_NE(session_, nullptr) << status.code;
        folder_ = clienttest::OpenTestFolder(session_, InvoiceFolder());
        invoices_ = &folder_->definition->groups[0];
        // Three invoices in INV1, each a hit of the folder in that order.
        std::vector<CsXdrHitRow*> rows;
        for (int i = 0; i < 3; ++i)
            rows.push_back(Row({"N" + std::to_string(i + 1), "Customer", std::to_string(19730 + 10 * i)},
                               static_cast<uint32_t>(100 * i)));
        std::vector<CsXdrHitRow> plain;
        for (CsXdrHitRow* row : rows) plain.push_back(*row);
        ASSERT_EQ(CsAddIndexRow(&session_->handle, invoices_, plain, nullptr, nullptr, nullptr), CS_OK);
        for (CsXdrHitRow* row : rows) {
            std::snprintf(row->segment, sizeof row->segment, "INV1");
            qelclient::LinkHit(List(), MakeHit(0, row), -1);
        }
    }
    void TearDown() override {
        if (session_ != nullptr) Session_Logoff(session_, 0);
        Client_Term();
    }

    CsXdrHitRow* Row(const std::vector<std::string>& values, uint32_t offset) const {
        return MakeRow(*invoices_, values, "1FAA", offset, 100);
    }
    SearchHitPtr MakeHit(int group, CsXdrHitRow* row) const {
        auto hit = std::make_unique<SearchHit>();
        hit->row = row;
        hit->groupIndex = group;
        hit->group = &folder_->definition->groups[group];
        hit->application = &hit->group->appls[0];
        return hit;
    }
    FolderSessionEntry& List() const { return folder_->entry->hits; }
    SearchHit* At(int i) const { return List().hits[static_cast<size_t>(i)].get(); }

    // Updates the hit; the failing index.
    int Update(SearchHit** hit, const std::vector<int>& fields, const std::vector<const char*>& values,
               ClientStatus* status) {
        int failing = -7;
        Hit_UpdateIndexValues(status, session_, folder_, hit, static_cast<int>(fields.size()), fields.data(),
                              values.data(), &failing);
        return failing;
    }

    localtest::ArchiveCopy archive_;
    ClientSession* session_ = nullptr;
    OpenFolder* folder_ = nullptr;
    const CsXdrApplGroup* invoices_ = nullptr;
};

TEST_F(HitUpdate, TheRowTakesTheNewValuesAndTheHitKeepsItsPlace) {
    SearchHit* hit = At(1);
    SearchHit* const before = hit;
    ClientStatus status;
    EXPECT_EQ(Update(&hit, {0, 1, 2}, {"n2b", "Renamed", "2024-01-24"}, &status), -1);
    ASSERT_EQ(status.severity, 0) << status.code;
    ASSERT_EQ(List().hits.size(), 3u);
    EXPECT_NE(hit, before);
    EXPECT_EQ(At(1), hit);
    EXPECT_EQ(At(0)->next, hit);
    EXPECT_EQ(hit->next, At(2));
    EXPECT_EQ(hit->prev, At(0));
    EXPECT_STREQ(hit->row->values[0].v.text, "N2B");  // the field's case rule
    EXPECT_STREQ(hit->row->values[1].v.text, "Renamed");
    EXPECT_EQ(hit->row->values[2].v.integer, 19747);
    EXPECT_STREQ(hit->row->object->name, "1FAA");
    EXPECT_EQ(hit->row->object->offset, 100u);

    // The archive now holds the new row: the old values find nothing, the new ones do.
    CsXdrHitRow* stale = Row({"N2", "Customer", "19740"}, 100);
    std::snprintf(stale->segment, sizeof stale->segment, "INV1");
    // A row that is not there is refused as a forged document id is.
    EXPECT_EQ(CsUpdateDocIndex(&session_->handle, invoices_, stale, stale), CS_NOT_AUTHORISED);
    CsFreePackedHit(stale, -1);
    EXPECT_EQ(Update(&hit, {1}, {"Again"}, &status), -1);
    EXPECT_EQ(status.severity, 0) << status.code;
    EXPECT_STREQ(At(1)->row->values[1].v.text, "Again");
    EXPECT_STREQ(At(1)->row->values[0].v.text, "N2B");
}

// Hits before the old one that name the same document do not count for its place.
TEST_F(HitUpdate, TheNewPlaceSkipsCopiesOfTheSameDocument) {
    CsXdrHitRow* copy = Row({"N2", "Customer", "19740"}, 100);
    std::snprintf(copy->segment, sizeof copy->segment, "INV1");
    qelclient::LinkHit(List(), MakeHit(0, copy), 1);
    SearchHit* const duplicate = At(1);
    SearchHit* hit = At(2);
    ClientStatus status;
    EXPECT_EQ(Update(&hit, {1}, {"Renamed"}, &status), -1);
    ASSERT_EQ(status.severity, 0) << status.code;
    ASSERT_EQ(List().hits.size(), 4u);
    EXPECT_EQ(At(1), hit);
    EXPECT_EQ(At(2), duplicate);
    EXPECT_STREQ(At(3)->row->values[0].v.text, "N3");
}

TEST_F(HitUpdate, AHitReadFromItsDocumentIdIsUpdated) {
    std::string id;
    ASSERT_GT(Hit_FormatDocId(session_, At(2), nullptr, nullptr, true, &id), 0u);
    SearchHit* hit = Hit_ParseDocId(session_, folder_, id, true);
    ASSERT_NE(hit, nullptr);
    ClientStatus status;
    EXPECT_EQ(Update(&hit, {2}, {"2024-01-25"}, &status), -1);
    EXPECT_EQ(status.severity, 0) << status.code;
    EXPECT_EQ(Folder_GetFirstHit(session_, folder_), hit);
    EXPECT_EQ(hit->row->values[2].v.integer, 19748);
    EXPECT_STREQ(hit->row->segment, "INV1");
}

TEST_F(HitUpdate, RefusedValuesSendNothing) {
    qelclient::LinkHit(List(), MakeHit(1, MakeRow(folder_->definition->groups[1], {"1", "1.5", "7"})), -1);
    SearchHit* const number = List().hits.back().get();
    const std::string longText(41, 'c');
    struct Case {
        const char* name;
        bool numbersGroup;
        std::vector<int> fields;
        std::vector<const char*> values;
        int failing;
        int code;
        std::vector<std::string> texts;  // text inserts first
        std::vector<int64_t> numbers;    // then number inserts
    };
    const Case cases[] = {
        {"a text longer than its field", false, {0, 1}, {"N9", longText.c_str()}, 1, 40, {}, {40}},
        {"a date before the field's minimum",
         false,
         {0, 2},
         {"N9", "2023-12-31"},
         1,
         44,
         {"2024-01-01", "2024-12-31"},
         {}},
        {"a date after the field's maximum",
         false,
         {2},
         {"2025-01-01"},
         0,
         44,
         {"2024-01-01", "2024-12-31"},
         {}},
        {"no date", false, {2}, {"soon"}, 0, 44, {"2024-01-01", "2024-12-31"}, {}},
        {"a number with a letter", true, {0}, {"12a"}, 0, 42, {}, {-5, 500}},
        {"a number above the field's maximum", true, {0}, {"501"}, 0, 42, {}, {-5, 500}},
        {"a number below the field's minimum", true, {2, 0}, {"3", "-6"}, 1, 42, {}, {-5, 500}},
        {"a 64-bit number out of range",
         true,
         {2},
         {"9223372036854775808"},
         0,
         42,
         {},
         {INT64_MIN, INT64_MAX}},
        {"a decimal with too many places", true, {1}, {"1.234"}, 0, 43, {}, {2}},
        {"a decimal with a letter", true, {1}, {"1.5x"}, 0, 43, {}, {2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<const char*>& values = c.values;
        SearchHit* hit = c.numbersGroup ? number : At(0);
        SearchHit* const before = hit;
        ClientStatus status;
        EXPECT_EQ(Update(&hit, c.fields, values, &status), c.failing);
        EXPECT_EQ(status.severity, 9);
        EXPECT_EQ(status.code, c.code);
        ASSERT_NE(status.serverMessage, nullptr);
        EXPECT_STREQ(status.serverMessage, values[static_cast<size_t>(c.failing)]);
        size_t n = 0;
        for (const std::string& text : c.texts) {
            EXPECT_EQ(status.inserts[n].kind, CLIENT_INSERT_TEXT);
            EXPECT_STREQ(static_cast<const char*>(status.inserts[n].value), text.c_str());
            ++n;
        }
        for (int64_t value : c.numbers) {
            EXPECT_EQ(status.inserts[n].kind, CLIENT_INSERT_NUMBER);
            EXPECT_EQ(status.inserts[n].number, value);
            ++n;
        }
        EXPECT_EQ(hit, before);
        EXPECT_EQ(List().hits.size(), 4u);
    }
    // The first invoice is still indexed by its old values: nothing was sent.
    SearchHit* first = At(0);
    ClientStatus status;
    EXPECT_EQ(Update(&first, {0}, {"N1"}, &status), -1);
    EXPECT_EQ(status.severity, 0) << status.code;
}

TEST_F(HitUpdate, NumbersWithBlanksPassTheChecksAndARefusedUpdateKeepsTheHit) {
    CsXdrHitRow* row = MakeRow(folder_->definition->groups[1], {"1", "1.5", "7"});
    qelclient::LinkHit(List(), MakeHit(1, row), -1);
    SearchHit* hit = List().hits.back().get();
    SearchHit* const before = hit;
    ClientStatus status;
    EXPECT_EQ(Update(&hit, {0, 1, 2}, {" 12 ", "2.25 ", " -9000000000"}, &status), -1);
    // Group 555 is no group of the archive: the checks pass, the server refuses.
    EXPECT_NE(status.severity, 0);
    EXPECT_EQ(hit, before);
    EXPECT_EQ(List().hits.back().get(), before);
    EXPECT_EQ(before->row->values[0].v.small, 1);
}

TEST_F(HitUpdate, AFailedUpdateKeepsTheHit) {
    SearchHit* hit = At(1);
    std::snprintf(hit->row->segment, sizeof hit->row->segment, "INV9");  // no such segment
    SearchHit* const before = hit;
    ClientStatus status;
    EXPECT_EQ(Update(&hit, {1}, {"Renamed"}, &status), -1);
    EXPECT_EQ(status.severity, CLIENT_SEV_REFUSED) << "a segment the user could not find";
    EXPECT_EQ(hit, before);
    EXPECT_EQ(At(1), before);
    EXPECT_STREQ(before->row->values[1].v.text, "Customer");
}

TEST_F(HitUpdate, RefusedHits) {
    SearchHit* hit = At(0);
    hit->exitHit = true;
    ClientStatus status;
    EXPECT_EQ(Update(&hit, {1}, {"Renamed"}, &status), -1);
    EXPECT_EQ(status.severity, 6);
    EXPECT_EQ(status.code, 35);
    hit->exitHit = false;

    struct Case {
        const char* name;
        int field;
    };
    for (const Case& c : {Case{"a field the group does not have", 3}, Case{"a negative field", -1}}) {
        EXPECT_EQ(Update(&hit, {c.field}, {"x"}, &status), 0) << c.name;
        EXPECT_EQ(status.severity, 9) << c.name;
        EXPECT_EQ(status.code, 75) << c.name;
    }
    // A hit the folder does not hold.
    SearchHitPtr stray = MakeHit(0, Row({"N1", "Customer", "19730"}, 0));
    SearchHit* strayHit = stray.get();
    EXPECT_EQ(Update(&strayHit, {1}, {"x"}, &status), -1);
    EXPECT_EQ(status.code, 75);
    EXPECT_EQ(strayHit, stray.get());
}

}  // namespace
