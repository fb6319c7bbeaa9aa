// Opening folders: orders, kinds, operators, choices, widths and columns of the
// criteria on definitions made in memory; then folders of the sample archive (the
// user's settings, segment rows, close and reopen) and one of the loopback peer.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "arc_datetime.h"
#include "archive_fixture.h"
#include "client_test_support.h"
#include "folder_fixture.h"
#include "peer_process.h"
#include "qel_client.h"

namespace {

using clienttest::FolderFieldSpec;
using clienttest::FolderSpec;
using clienttest::GatewayOptions;
using clienttest::GroupSpec;
using clienttest::SharedIconv;

constexpr uint32_t kBetween = 0x400;

using Started = clienttest::GatewayStarted;

// Definitions made in memory, opened without a server.
class MemoryFolder : public Started {
protected:
    OpenFolder* Open(const FolderSpec& spec, ClientStatus* status = nullptr) {
        clienttest::AddTestFolder(&session_, spec);
        ClientStatus local;
        if (status == nullptr) status = &local;
        OpenFolder* folder = nullptr;
        Folder_Open(status, &session_, spec.name.c_str(), &folder);
        EXPECT_EQ(status->severity, 0) << status->code;
        return folder;
    }

    ClientSession session_;
};

GroupSpec OneGroup(size_t fields, const std::string& name = "GROUP") {
    GroupSpec group;
    group.number = 7;
    group.name = name;
    for (size_t i = 0; i < fields; ++i) {
        group.fields.push_back({"F" + std::to_string(i)});
        group.map.push_back(static_cast<uint16_t>(i));
    }
    group.applications.push_back({"APP", 1});
    return group;
}

FolderFieldSpec Field(const std::string& name, char type, uint16_t criteria, uint16_t display,
                      uint16_t sort) {
    FolderFieldSpec f;
    f.name = name;
    f.type = type;
    f.criteriaOrder = criteria;
    f.displayOrder = display;
    f.sortOrder = sort;
    f.minimum = 0;
    f.maximum = 9;
    return f;
}

TEST_F(MemoryFolder, OrdersByNumberEqualNumbersInFieldOrder) {
    FolderSpec spec;
    spec.fields = {Field("a", 'I', 2, 0, 3), Field("b", 'I', 1, 2, 0), Field("c", 'I', 2, 2, 1),
                   Field("d", 'I', 0, 1, 3), Field("e", 'I', 2, 5, 0)};
    spec.fields[3].ascending = 'D';
    spec.groups = {OneGroup(5)};
    OpenFolder* folder = Open(spec);
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->criteriaOrder, (std::vector<int>{1, 0, 2, 4}));
    EXPECT_EQ(folder->displayOrder, (std::vector<int>{3, 1, 2, 4}));
    ASSERT_EQ(folder->sortList.size(), 3u);
    EXPECT_EQ(folder->sortList[0].field, 2);
    EXPECT_EQ(folder->sortList[1].field, 0);
    EXPECT_EQ(folder->sortList[2].field, 3);
    EXPECT_TRUE(folder->sortList[1].ascending);
    EXPECT_FALSE(folder->sortList[2].ascending);
    EXPECT_EQ(folder->entry->open.get(), folder);
    EXPECT_TRUE(folder->entry->openedInSession);
    EXPECT_EQ(session_.openedFolders, (std::vector<ClientFolderEntry*>{folder->entry}));
}

TEST_F(MemoryFolder, KindsAndOperators) {
    struct Case {
        const char* name;
        char type;
        uint32_t mask, defaultOperator;
        char kind;
        int count;
        uint32_t wantMask, wantDefault;
    };
    const Case cases[] = {
        {"free text keeps its operators", 'A', 0xFFF, 0x100, 'A', 12, 0xFFF, 0x100},
        {"'C' text is one letter: only =", 'C', 0xFFF, 0x100, 'Z', 1, 0x001, 0x001},
        {"'T' text", 'T', 0x101, 0x100, 'T', 2, 0x101, 0x100},
        {"group names: only =", 'G', 0xFFF, 0x002, 'C', 1, 0x001, 0x001},
        {"numbers", 'I', 0x43F, kBetween, 'N', 7, 0x43F, kBetween},
        {"text without fixed values", 'S', 0x300, 0x100, 'N', 2, 0x300, 0x100},
        {"bits outside the table count nothing", 'B', 0xF000, 0, 'N', 0, 0xF000, 0},
    };
    FolderSpec spec;
    for (const Case& c : cases) {
        FolderFieldSpec f = Field(c.name, c.type, 1, 1, 0);
        f.operators = c.mask;
        f.defaultOperator = c.defaultOperator;
        spec.fields.push_back(f);
    }
    spec.groups = {OneGroup(spec.fields.size(), "INVOICES"), OneGroup(spec.fields.size(), "CREDITS")};
    spec.groups[1].number = 8;
    OpenFolder* folder = Open(spec);
    ASSERT_NE(folder, nullptr);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        const FolderCriterion& criterion = folder->criteria[i];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(criterion.kind, c.kind);
        EXPECT_EQ(criterion.operatorCount, c.count);
        EXPECT_EQ(criterion.operatorMask, c.wantMask);
        EXPECT_EQ(criterion.defaultOperator, c.wantDefault);
        EXPECT_EQ(criterion.op, c.wantDefault);
    }
    EXPECT_EQ(folder->criteria[3].choices, (std::vector<std::string>{"INVOICES", "CREDITS"}));
}

TEST_F(MemoryFolder, FixedValuesOfAllGroupsDistinctInTheOrderMet) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> first, second;
        uint8_t flags;
        std::vector<std::string> choices;
        bool fixedLength;
        int width;
    };
    const Case cases[] = {
        {"x, y and y, x", {{"x", "X1"}, {"y", "Y1"}}, {{"y", "Y1"}, {"x", "X1"}}, 0, {"x", "y"}, true, 1},
        {"the second list",
         {{"x", "Ex"}, {"y", "Why"}},
         {{"z", "Ex"}},
         FOLDER_FIELD_SECOND_LIST,
         {"Ex", "Why"},
         false,
         3},
        {"exact comparison", {{"a", ""}, {"A", ""}}, {{"a ", ""}}, 0, {"a", "A", "a "}, false, 2},
        {"one group without values", {{"long value", ""}}, {}, 0, {"long value"}, true, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FolderSpec spec;
        spec.name = c.name;
        FolderFieldSpec f = Field("Pick", 'S', 1, 1, 0);
        f.flags = c.flags;
        spec.fields = {f};
        spec.groups = {OneGroup(1), OneGroup(1)};
        spec.groups[0].fields[0].values = c.first;
        spec.groups[1].fields[0].values = c.second;
        OpenFolder* folder = Open(spec);
        ASSERT_NE(folder, nullptr);
        const FolderCriterion& criterion = folder->criteria[0];
        EXPECT_EQ(criterion.kind, 'C');
        EXPECT_EQ(criterion.choices, c.choices);
        EXPECT_EQ(criterion.fixedLength, c.fixedLength);
        EXPECT_EQ(criterion.inputWidth, c.width);
        EXPECT_EQ(criterion.operatorMask, 0x001u);
    }
}

TEST_F(MemoryFolder, UnmappedGroupsOfferNoValues) {
    FolderSpec spec;
    spec.fields = {Field("Pick", 'S', 1, 1, 0)};
    spec.groups = {OneGroup(1), OneGroup(1)};
    spec.groups[0].map = {FOLDER_FIELD_UNMAPPED};
    spec.groups[0].fields[0].values = {{"x", "x"}};
    spec.groups[1].map = {5};  // beyond the group's fields
    spec.groups[1].fields[0].values = {{"y", "y"}};
    OpenFolder* folder = Open(spec);
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->criteria[0].kind, 'N');
    EXPECT_TRUE(folder->criteria[0].choices.empty());
}

TEST_F(MemoryFolder, Widths) {
    struct Case {
        const char* name;
        FolderFieldSpec field;
        int input, display;
    };
    auto number = [](char type, int64_t low, int64_t high) {
        FolderFieldSpec f = Field("n", type, 1, 1, 0);
        f.minimum = low;
        f.maximum = high;
        return f;
    };
    auto decimal = [](int16_t precision, double low, double high) {
        FolderFieldSpec f = Field("d", 'D', 1, 1, 0);
        f.precision = precision;
        f.minimumReal = low;
        f.maximumReal = high;
        return f;
    };
    auto date = [](char type, char kind, const char* format, const char* display) {
        FolderFieldSpec f = Field("t", type, 1, 1, 0);
        f.dateType = kind;
        f.dateFormat = format;
        f.displayFormat = display;
        return f;
    };
    const Case cases[] = {
        {"the longer limit", number('I', -5, 300), 3, 3},
        {"the minus sign counts", number('N', -32768, 32767), 6, 6},
        {"64-bit range", number('B', INT64_MIN, INT64_MAX), 20, 20},
        {"decimals with their places", decimal(2, -2.5, 99.75), 5, 5},
        {"no places", decimal(0, -1e15, 1e15), 17, 17},
        {"numeric dates", date('I', 'D', "%Y-%m-%d", "%d.%m.%y"), 10, 8},
        {"longest month and day names", date('N', 'D', "%A, %B %d, %Y", "%a %b"), 29, 7},
        {"times", date('I', 'T', "%I:%M:%S %p", "%H:%M"), 11, 5},
        {"date and time", date('B', 'Z', "%d %B %Y %H:%M:%S", "%Y"), 26, 4},
        {"free text", Field("a", 'A', 1, 1, 0), CLIENT_WIDTH_OPEN, CLIENT_WIDTH_OPEN},
        {"text", Field("s", 'S', 1, 1, 0), CLIENT_WIDTH_OPEN, CLIENT_WIDTH_OPEN},
        {"one-letter text", Field("c", 'C', 1, 1, 0), CLIENT_WIDTH_OPEN, CLIENT_WIDTH_OPEN},
        {"an integer with a kind that is no date", date('I', 'Q', "", ""), 1, 1},
    };
    FolderSpec spec;
    for (const Case& c : cases) spec.fields.push_back(c.field);
    spec.groups = {OneGroup(spec.fields.size())};
    OpenFolder* folder = Open(spec);
    ASSERT_NE(folder, nullptr);
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(folder->criteria[i].inputWidth, cases[i].input);
        EXPECT_EQ(folder->criteria[i].displayWidth, cases[i].display);
    }
    EXPECT_TRUE(folder->criteria[5].isDate);
    EXPECT_FALSE(folder->criteria[12].isDate);
    EXPECT_TRUE(folder->criteria[3].isDecimal);
}

TEST_F(MemoryFolder, ColumnsInDisplayOrder) {
    struct Column {
        const char* name;
        FolderFieldSpec field;
        int start, value;
    };
    FolderFieldSpec number = Field("No", 'I', 1, 1, 0);  // width 5 under a name of 2
    number.maximum = 99999;
    FolderFieldSpec amount = Field("Amt", 'D', 1, 3, 0);  // width 5 under a name of 3
    amount.precision = 2;
    amount.minimumReal = -2.5;
    amount.maximumReal = 99.75;
    FolderFieldSpec count = Field("Long name", 'N', 1, 4, 0);  // width 2 centred in 9
    count.maximum = 10;
    FolderFieldSpec code = Field("Abcdef", 'S', 1, 5, 0);  // choices of 3 centred in 6
    const Column columns[] = {
        {"number wider than its name: right-aligned", number, 0, 4},
        {"free text at the column start", Field("Customer name", 'S', 1, 2, 0), 8, 8},
        {"decimal", amount, 24, 28},
        {"number under a longer name: centred, then its last place", count, 32, 36},
        {"odd difference: the extra place after", code, 44, 45},
    };
    FolderSpec spec;
    for (const Column& c : columns) spec.fields.push_back(c.field);
    spec.groups = {OneGroup(spec.fields.size())};
    spec.groups[0].fields[4].values = {{"abc", "abc"}, {"xyz", "xyz"}};
    OpenFolder* folder = Open(spec);
    ASSERT_NE(folder, nullptr);
    ASSERT_EQ(folder->displayOrder, (std::vector<int>{0, 1, 2, 3, 4}));
    for (size_t i = 0; i < std::size(columns); ++i) {
        SCOPED_TRACE(columns[i].name);
        EXPECT_EQ(folder->criteria[i].columnStart, columns[i].start);
        EXPECT_EQ(folder->criteria[i].valuePosition, columns[i].value);
    }
}

TEST_F(MemoryFolder, FieldsWithoutWidthAreNeitherOfferedNorShown) {
    FolderSpec spec;
    spec.fields = {Field("empty values", 'S', 1, 1, 1), Field("kept", 'I', 2, 2, 2)};
    spec.groups = {OneGroup(2)};
    spec.groups[0].fields[0].values = {{"", ""}};
    OpenFolder* folder = Open(spec);
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->criteria[0].displayWidth, 0);
    EXPECT_EQ(folder->criteriaOrder, (std::vector<int>{1}));
    EXPECT_EQ(folder->displayOrder, (std::vector<int>{1}));
    EXPECT_EQ(folder->criteria[1].columnStart, 0);
    EXPECT_EQ(folder->sortList.size(), 2u) << "sorting does not depend on a width";
}

TEST_F(MemoryFolder, FortyFieldsGiveThirtyTwoCriteria) {
    FolderSpec spec;
    for (int i = 0; i < 40; ++i)
        spec.fields.push_back(Field("f" + std::to_string(i), 'I', static_cast<uint16_t>(40 - i), 1, 1));
    spec.groups = {OneGroup(40)};
    OpenFolder* folder = Open(spec);
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->fieldCount, CLIENT_MAX_FIELDS);
    EXPECT_EQ(folder->criteria.size(), static_cast<size_t>(CLIENT_MAX_FIELDS));
    ASSERT_EQ(folder->criteriaOrder.size(), 32u);
    EXPECT_EQ(folder->criteriaOrder.front(), 31);
    EXPECT_EQ(folder->criteriaOrder.back(), 0);
    EXPECT_EQ(folder->displayOrder.size(), 32u);
    EXPECT_EQ(folder->sortList.size(), 32u);
    EXPECT_EQ(Folder_GetField(folder, 31)->name, std::string("f31"));
    EXPECT_EQ(Folder_GetField(folder, 32), nullptr);
    EXPECT_EQ(Folder_GetField(folder, -1), nullptr);
}

TEST_F(MemoryFolder, RefusedOpensLeaveNoOpenFolder) {
    FolderSpec spec;
    spec.name = "Invoices";
    spec.fields = {Field("a", 'I', 1, 1, 0)};
    spec.groups = {OneGroup(1)};
    ClientFolderEntry* entry = clienttest::AddTestFolder(&session_, spec);
    FolderSpec bare;
    bare.name = "No groups";
    bare.fields = spec.fields;
    ClientFolderEntry* bareEntry = clienttest::AddTestFolder(&session_, bare);
    struct Case {
        const char* name;
        const char* folder;
        int code;
    };
    const Case cases[] = {
        {"unknown name", "Credits", 77},
        {"a name differing in case", "invoices", 77},
        {"a name with a trailing blank", "Invoices ", 77},
        {"no name", nullptr, 77},
        {"a definition without groups", "No groups", 37},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClientStatus status;
        OpenFolder* folder = reinterpret_cast<OpenFolder*>(&status);
        Folder_Open(&status, &session_, c.folder, &folder);
        EXPECT_EQ(status.severity, CLIENT_SEV_ERROR);
        EXPECT_EQ(status.code, c.code);
        EXPECT_EQ(folder, nullptr);
    }
    EXPECT_EQ(entry->open, nullptr);
    EXPECT_EQ(bareEntry->open, nullptr);
    EXPECT_TRUE(session_.openedFolders.empty());
}

TEST_F(MemoryFolder, CriterionDefaultTexts) {
    auto withDefaults = [](FolderFieldSpec f, const char* first, const char* second, uint32_t op) {
        f.flags = FOLDER_FIELD_HAS_DEFAULT;
        f.default1 = first;
        f.default2 = second;
        f.operators = 0xFFF;
        f.defaultOperator = op;
        return f;
    };
    FolderFieldSpec date = Field("date", 'I', 1, 1, 0);
    date.dateType = 'D';
    date.dateFormat = "%Y-%m-%d";
    FolderFieldSpec decimal = Field("decimal", 'D', 1, 1, 0);
    decimal.precision = 2;
    FolderFieldSpec unflagged = Field("no flag", 'I', 1, 1, 0);
    unflagged.default1 = "5";
    const std::vector<FolderFieldSpec> fields = {
        withDefaults(Field("number", 'I', 1, 1, 0), "-12", "40", kBetween),
        withDefaults(Field("text", 'S', 1, 1, 0), "ACME", "ZED", 0x800),
        withDefaults(date, "19723", "19753", kBetween),
        withDefaults(decimal, "2.5", "7", 0x001),
        unflagged,
        withDefaults(Field("not offered", 'I', 0, 1, 0), "3", "4", kBetween),
    };
    struct Case {
        int field;
        const char* first;
        const char* second;
    };
    const Case cases[] = {
        {0, "-12", "40"}, {1, "ACME", "ZED"}, {2, "2023-12-31", "2024-01-30"},
        {3, "2.50", ""},  // the second value only for BETWEEN and NOT BETWEEN
        {4, "", ""},      {5, "", ""},
    };
    FolderSpec spec;
    spec.fields = fields;
    spec.groups = {OneGroup(fields.size())};
    OpenFolder* folder = Open(spec);
    ASSERT_NE(folder, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(fields[static_cast<size_t>(c.field)].name);
        EXPECT_STREQ(Folder_GetCriterionText(&session_, folder, c.field, 0), c.first);
        EXPECT_STREQ(Folder_GetCriterionText(&session_, folder, c.field, 1), c.second);
    }
    EXPECT_STREQ(Folder_GetCriterionText(&session_, folder, 0, 2), "");
    EXPECT_STREQ(Folder_GetCriterionText(&session_, folder, 9, 0), "");
}

TEST_F(MemoryFolder, DateFormatsAndFlagBits) {
    FolderFieldSpec date = Field("date", 'N', 1, 1, 0);
    date.dateType = 'Z';
    date.dateFormat = "%Y";
    date.displayFormat = "%d.%m.%Y";
    FolderFieldSpec text = Field("text", 'S', 1, 1, 0);
    text.dateType = 'D';  // a text field is no date field whatever its kind
    FolderSpec spec;
    spec.flags = CLIENT_FOLDER_SPECIAL | 0x10;
    spec.fields = {date, text, Field("plain", 'I', 1, 1, 0)};
    spec.groups = {OneGroup(3)};
    OpenFolder* folder = Open(spec);
    ASSERT_NE(folder, nullptr);
    std::string format, display;
    char kind = 0, displayKind = 0;
    ASSERT_EQ(Folder_GetDateFormats(folder, 0, &format, &kind, &display, &displayKind), 0);
    EXPECT_EQ(format, "%Y");
    EXPECT_EQ(display, "%d.%m.%Y");
    EXPECT_EQ(kind, 'Z');
    EXPECT_EQ(displayKind, 'Z');
    for (int field : {1, 2, 3, -1})
        EXPECT_EQ(Folder_GetDateFormats(folder, field, &format, &kind, &display, &displayKind), -1) << field;
    EXPECT_TRUE(Folder_HasFlag16(folder));
    EXPECT_FALSE(Folder_HasFlag80(folder));
    EXPECT_FALSE(Folder_HasFlag16(nullptr));
}

TEST_F(MemoryFolder, SegmentEntryTexts) {
    ClientSegmentRow row;
    row.segment.startDate = 19723;
    row.segment.stopDate = 19753;
    row.dateLetter = 'D';
    ArcDTValue stop;
    stop.value = ArcDT_ConvertValue(19753, 'D', 'C');
    stop.type = 'C';
    char text[ARC_DT_TEXT_MAX];
    ASSERT_NE(ArcDT_FormatValue(text, &stop), nullptr);
    const std::string second = text;
    EXPECT_STREQ(Folder_FormatSegmentEntry(&session_, &row, 1), "12/31/23");
    EXPECT_EQ(Folder_FormatSegmentEntry(&session_, &row, 2), second);
    EXPECT_EQ(Folder_FormatSegmentEntry(&session_, &row, 0), "12/31/23\t" + second);
    EXPECT_STREQ(Folder_FormatSegmentEntry(&session_, nullptr, 1), "");
}

TEST_F(MemoryFolder, CloseKeepsOrFreesTheOpenFolder) {
    FolderSpec spec;
    spec.fields = {Field("a", 'I', 1, 1, 0)};
    spec.groups = {OneGroup(1)};
    OpenFolder* folder = Open(spec);
    ASSERT_NE(folder, nullptr);
    ClientFolderEntry* entry = folder->entry;
    session_.search.folder = folder;

    Folder_Close(&session_, folder, 0);
    EXPECT_FALSE(entry->openedInSession);
    EXPECT_TRUE(session_.openedFolders.empty());
    EXPECT_EQ(entry->open.get(), folder) << "kept without freeAll";

    Folder_Close(&session_, folder, 1);
    EXPECT_EQ(entry->open, nullptr);
    EXPECT_EQ(entry->definition, nullptr);
    EXPECT_EQ(session_.search.folder, nullptr);
}

// Segment rows belong to the session; a group that another open folder still has keeps
// its rows.
TEST_F(MemoryFolder, SegmentRowsStayWhileAnotherOpenFolderHasTheGroup) {
    for (uint32_t group : {7u, 9u}) {
        auto row = std::make_unique<ClientSegmentRow>();
        row->groupNumber = group;
        session_.segmentRows.push_back(std::move(row));
    }
    FolderSpec first;
    first.name = "First";
    first.fields = {Field("a", 'I', 1, 1, 0)};
    first.groups = {OneGroup(1)};
    FolderSpec second = first;
    second.name = "Second";
    OpenFolder* one = Open(first);
    OpenFolder* two = Open(second);
    ASSERT_NE(one, nullptr);
    ASSERT_NE(two, nullptr);
    Folder_Close(&session_, one, 1);
    EXPECT_EQ(session_.segmentRows.size(), 2u);
    Folder_Close(&session_, two, 1);
    ASSERT_EQ(session_.segmentRows.size(), 1u);
    EXPECT_EQ(session_.segmentRows[0]->groupNumber, 9u) << "another group's rows stay";
}

// ---------------------------------------------------------------- the sample archive

class ArchiveFolders : public Started {
protected:
    ClientSession* LogOn(const char* user, const char* password) {
        ClientStatus status;
        ClientSession* s = nullptr;
        Session_Logon(&status, "DEMO", "DEMO", user, password, 'L', 0, archive_.Dir().c_str(), &s);
        EXPECT_EQ(status.severity, 0) << status.code;
        return s;
    }
    static OpenFolder* Open(ClientSession* s, const char* name, ClientStatus* status) {
        OpenFolder* folder = nullptr;
        Folder_Open(status, s, name, &folder);
        return folder;
    }

    localtest::ArchiveCopy archive_;
};

std::string Today(const char* format) {
    ArcDTValue value;
    value.value = ArcDT_Now('D');
    value.type = 'D';
    value.format = format;
    char text[ARC_DT_TEXT_MAX];
    return ArcDT_FormatValue(text, &value) != nullptr ? text : "";
}

TEST_F(ArchiveFolders, TheUsersInvoiceSearchForm) {
    ClientSession* s = LogOn("BOB", "builder2");
    ASSERT_NE(s, nullptr);
    ClientStatus status;
    OpenFolder* folder = Open(s, "Invoices", &status);
    ASSERT_EQ(status.severity, 0) << status.code;
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->fieldCount, 3);
    EXPECT_EQ(folder->hitLimit, 500);
    EXPECT_EQ(folder->criteriaOrder, (std::vector<int>{0, 2, 1}));
    EXPECT_EQ(folder->displayOrder, (std::vector<int>{0, 2, 1}));
    ASSERT_EQ(folder->sortList.size(), 2u);
    EXPECT_EQ(folder->sortList[0].field, 2);
    EXPECT_FALSE(folder->sortList[0].ascending);
    EXPECT_EQ(folder->sortList[1].field, 0);
    EXPECT_TRUE(folder->sortList[1].ascending);

    const FolderCriterion& number = folder->criteria[0];
    EXPECT_EQ(number.kind, 'N');
    EXPECT_EQ(number.operatorCount, 12);
    EXPECT_EQ(number.inputWidth, CLIENT_WIDTH_OPEN);
    const FolderCriterion& customer = folder->criteria[1];
    EXPECT_EQ(customer.kind, 'C');
    EXPECT_EQ(customer.choices, (std::vector<std::string>{"ACME", "GLOBEX"}));
    EXPECT_FALSE(customer.fixedLength);
    EXPECT_EQ(customer.inputWidth, 6);
    const FolderCriterion& date = folder->criteria[2];
    EXPECT_TRUE(date.isDate);
    EXPECT_EQ(date.operatorCount, 8);
    EXPECT_EQ(date.defaultOperator, kBetween);
    EXPECT_EQ(date.inputWidth, 10);
    EXPECT_EQ(date.displayWidth, 10);
    // "Invoice number" (14, free text) | "Invoice date" (12, value 10) | "Customer"
    EXPECT_EQ(number.columnStart, 0);
    EXPECT_EQ(date.columnStart, 17);
    EXPECT_EQ(date.valuePosition, 18);
    EXPECT_EQ(customer.columnStart, 32);
    EXPECT_EQ(customer.valuePosition, 33);

    EXPECT_STREQ(Folder_GetCriterionText(s, folder, 2, 0), Today("%Y-%m-%d").c_str());
    EXPECT_STREQ(Folder_GetCriterionText(s, folder, 2, 1), Today("%Y-%m-%d").c_str());
    EXPECT_STREQ(Folder_GetCriterionText(s, folder, 0, 0), "") << "no default flag";
    std::string format, display;
    char kind = 0, displayKind = 0;
    EXPECT_EQ(Folder_GetDateFormats(folder, 2, &format, &kind, &display, &displayKind), 0);
    EXPECT_EQ(display, "%d.%m.%Y");
    EXPECT_EQ(kind, 'D');
    EXPECT_EQ(Session_Logoff(s, 0), 0);
}

TEST_F(ArchiveFolders, WithoutUserRowsNothingIsOffered) {
    ClientSession* s = LogOn("ALICE", "wonder1");
    ASSERT_NE(s, nullptr);
    ClientStatus status;
    OpenFolder* folder = Open(s, "Invoices", &status);
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->fieldCount, 3);
    EXPECT_TRUE(folder->criteriaOrder.empty());
    EXPECT_TRUE(folder->displayOrder.empty());
    EXPECT_TRUE(folder->sortList.empty());
    OpenFolder* payroll = Open(s, "Payroll", &status);
    ASSERT_NE(payroll, nullptr);
    EXPECT_EQ(payroll->criteriaOrder, (std::vector<int>{0, 1}));
    EXPECT_EQ(payroll->displayOrder, (std::vector<int>{1, 0}));
    EXPECT_EQ(payroll->criteria[1].inputWidth, 6) << "190001 to 209912";
    EXPECT_STREQ(Folder_GetCriterionText(s, payroll, 1, 0), "202401");
    EXPECT_EQ(s->openedFolders.size(), 2u);
    EXPECT_EQ(Session_Logoff(s, 0), 0);
}

TEST_F(ArchiveFolders, UnknownNamesAndAFolderTheUserMayNotOpen) {
    ClientSession* s = LogOn("BOB", "builder2");
    ASSERT_NE(s, nullptr);
    for (const char* name : {"invoices", "INVOICES", "Payroll", "Nothing"}) {
        SCOPED_TRACE(name);
        ClientStatus status;
        EXPECT_EQ(Open(s, name, &status), nullptr);
        EXPECT_EQ(status.severity, CLIENT_SEV_ERROR);
        EXPECT_EQ(status.code, 77);
    }
    EXPECT_TRUE(s->openedFolders.empty());
    EXPECT_EQ(Session_Logoff(s, 0), 0);
}

TEST_F(ArchiveFolders, CloseAndReopen) {
    ClientSession* s = LogOn("BOB", "builder2");
    ASSERT_NE(s, nullptr);
    ClientStatus status;
    OpenFolder* folder = Open(s, "Invoices", &status);
    ASSERT_NE(folder, nullptr);
    ClientFolderEntry* entry = folder->entry;
    const CsXdrFolder* definition = folder->definition;
    EXPECT_EQ(Open(s, "Invoices", &status), folder) << "an open folder is handed out again";

    Folder_Close(s, folder, 0);
    EXPECT_TRUE(s->openedFolders.empty());
    EXPECT_EQ(entry->definition.get(), definition);

    Folder_Close(s, folder, 1);
    EXPECT_EQ(entry->open, nullptr);
    EXPECT_EQ(entry->definition, nullptr);
    OpenFolder* again = Open(s, "Invoices", &status);
    ASSERT_EQ(status.severity, 0) << status.code;
    ASSERT_NE(again, nullptr);
    EXPECT_NE(entry->definition, nullptr) << "fetched again";
    EXPECT_EQ(again->criteriaOrder, (std::vector<int>{0, 2, 1}));
    EXPECT_EQ(s->openedFolders, (std::vector<ClientFolderEntry*>{entry}));
    EXPECT_EQ(Session_Logoff(s, 0), 0);
}

// A segment field on folder 1 and three segments of its group: two with the same start.
TEST_F(ArchiveFolders, SegmentRowsNewestFirst) {
    using localtest::ReadFile;
    using localtest::WriteFile;
    std::string folders = ReadFile(archive_.Table("fol"));
    folders.replace(folders.find("FLDS_NUM=3"), 10, "FLDS_NUM=4");
    WriteFile(archive_.Table("fol"), folders);
    WriteFile(archive_.Table("folfld"),
              ReadFile(archive_.Table("folfld")) + "\n[1|3]\nNAME=Segment\nTYPE=R\nMAP_TYPE=1\n");
    WriteFile(archive_.Table("folfldus"), ReadFile(archive_.Table("folfldus")) +
                                              "\n[1|2|3]\nQUERY_ORDER=4\nDSPL_ORDER=4\nSORT_ORDER=3\n");
    WriteFile(archive_.Table("seg"), "[100]\nSEGMENTS=INV1,INV2,INV3\nAGID_NAME=INVAG\n");
    const std::string segments = archive_.Dir() + "index/INVOICES.seg";
    WriteFile(segments, ReadFile(segments) +
                            "\n[INV2]\nSEGMENT=2\nSTART_DATE=19754\nSTOP_DATE=19780\n"
                            "\n[INV3]\nSEGMENT=3\nSTART_DATE=19723\nSTOP_DATE=19730\n");
    ClientSession* s = LogOn("BOB", "builder2");
    ASSERT_NE(s, nullptr);
    ClientStatus status;
    OpenFolder* folder = Open(s, "Invoices", &status);
    ASSERT_EQ(status.severity, 0) << status.code;
    ASSERT_NE(folder, nullptr);
    const FolderCriterion& segment = folder->criteria[3];
    EXPECT_EQ(segment.kind, 'S');
    EXPECT_EQ(segment.operatorMask, 0x001u);
    std::vector<std::string> names;
    for (const ClientSegmentRow* row : segment.segments) {
        names.emplace_back(row->segment.name);
        EXPECT_EQ(row->groupNumber, 100u);
        EXPECT_EQ(row->dateLetter, 'D') << "INVDATE is the group's segment date field";
    }
    EXPECT_EQ(names, (std::vector<std::string>{"INV2", "INV1", "INV3"}));
    EXPECT_EQ(s->segmentRows.size(), 3u);
    EXPECT_EQ(segment.inputWidth, 8) << "mm/dd/yy";
    EXPECT_EQ(folder->criteriaOrder.back(), 3);
    for (const FolderSortKey& key : folder->sortList) EXPECT_NE(key.field, 3) << "segments are not sorted on";
    EXPECT_STREQ(Folder_FormatSegmentEntry(s, segment.segments[0], 1), "01/31/24");

    Folder_Close(s, folder, 1);
    EXPECT_TRUE(s->segmentRows.empty());
    EXPECT_EQ(Session_Logoff(s, 0), 0);
}

// The local tables give no flag byte: the fetched definition is flagged by hand.
TEST_F(ArchiveFolders, NamedQueriesOfAFlaggedFolder) {
    Client_Term();
    ClientInitOptions options = GatewayOptions(1208);
    options.namedQuerySwitch = 1;
    ASSERT_NO_FATAL_FAILURE(Start(options));
    ClientSession* s = LogOn("BOB", "builder2");
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(Folder_GetCount(s), 1);
    ClientFolderEntry* entry = s->folders[0].get();
    CsXdrFolder* raw = nullptr;
    ASSERT_EQ(CsOpenFolderGroups(&s->handle, entry->row.number, nullptr, &raw), CS_OK);
    entry->definition.reset(raw);
    ClientStatus status;
    OpenFolder* plain = Open(s, "Invoices", &status);
    ASSERT_NE(plain, nullptr);
    EXPECT_TRUE(plain->namedQueries.empty()) << "without bit 0x80 none are fetched";
    Folder_Close(s, plain, 1);

    ASSERT_EQ(CsOpenFolderGroups(&s->handle, entry->row.number, nullptr, &raw), CS_OK);
    raw->flags |= 0x80;
    entry->definition.reset(raw);
    OpenFolder* folder = Open(s, "Invoices", &status);
    ASSERT_EQ(status.severity, 0) << status.code;
    ASSERT_NE(folder, nullptr);
    EXPECT_TRUE(Folder_HasFlag80(folder));
    std::vector<std::string> names;
    for (const ClientNamedQuery& q : folder->namedQueries) names.push_back(q.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Open invoices", "Bob customers"}));
    EXPECT_EQ(folder->namedQueries[0].text, "WHERE INVNO LIKE 'A%'");
    EXPECT_EQ(folder->publicQueries + folder->privateQueries, 2);
    EXPECT_EQ(Session_Logoff(s, 0), 0);
}

// ---------------------------------------------------------------- the loopback peer

class PeerFolders : public Started {
protected:
    PeerFolders() : peer_(qel_peer::Script("basic.json")) {}

    qel_peer::PeerProcess peer_;
};

TEST_F(PeerFolders, ARemoteDefinitionGetsTheDefaults) {
    ASSERT_NE(peer_.port(), 0);
    ClientStatus status;
    ClientSession* s = nullptr;
    Session_Logon(&status, "PEER", "127.0.0.1", "ALICE", "SECRET1", 'T', peer_.port(), nullptr, &s);
    ASSERT_NE(s, nullptr);
    OpenFolder* folder = nullptr;
    Folder_Open(&status, s, "Invoices", &folder);
    ASSERT_EQ(status.severity, 0) << status.code;
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->hitLimit, -1);
    ASSERT_EQ(folder->fieldCount, 2);
    const CsXdrFolderField& amount = *Folder_GetField(folder, 1);
    EXPECT_EQ(amount.user.minimumReal, -1e15);
    EXPECT_EQ(amount.user.maximumReal, 1e15);
    EXPECT_EQ(amount.user.ascending, 'A');
    EXPECT_EQ(amount.user.defaultUnit, 'D');
    EXPECT_EQ(amount.user.limitsSet, 0);
    EXPECT_EQ(folder->criteria[1].inputWidth, 17) << "-1000000000000000";
    EXPECT_EQ(folder->criteria[0].inputWidth, CLIENT_WIDTH_OPEN);

    // The peer's Payroll has no application groups.
    OpenFolder* payroll = nullptr;
    Folder_Open(&status, s, "Payroll", &payroll);
    EXPECT_EQ(status.severity, CLIENT_SEV_ERROR);
    EXPECT_EQ(status.code, 37);
    EXPECT_EQ(payroll, nullptr);
    EXPECT_EQ(s->openedFolders.size(), 1u);
    EXPECT_EQ(Session_Logoff(s, 0), 0);
}

}  // namespace
