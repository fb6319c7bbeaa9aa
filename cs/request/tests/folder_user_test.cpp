// What the local tables add to a folder definition for the logged-on user: the user's
// settings of each folder field, date kinds, the fixed values and sets of group fields,
// application data types and the user's hit limit.
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "arc_datetime.h"
#include "logon_test_support.h"

namespace {

using logontest::FolderPtr;
using logontest::HandleGuard;
using logontest::TestArchive;

class FolderUser : public ::testing::Test {
protected:
    // BOB (user 2, group 11) opens folder 1; null when the open fails (rc kept).
    FolderPtr Open(int* rc = nullptr) {
        guard_.Renew(archive_);
        CsUserRecord record{};
        EXPECT_EQ(CsLogon(&handle_, "BOB", "Bob.Pass", &record), CS_OK);
        CsXdrFolder* raw = nullptr;
        const int result = CsOpenFolderGroups(&handle_, 1, nullptr, &raw);
        if (rc != nullptr) *rc = result;
        return FolderPtr(raw);
    }
    // Field 2 of folder 1 ("Invoice date") with another type and QUAL.
    void SetDateField(char type, int qual) {
        std::string text = archive_.Table("folfld");
        const size_t at = text.find("[1|2]");
        const size_t end = text.find("\n[", at + 1);
        text.replace(at, end - at,
                     "[1|2]\nNAME=\"Invoice date\"\nTYPE=" + std::string(1, type) +
                         "\nQUAL=" + std::to_string(qual) + "\nMAP_TYPE=1\n");
        archive_.WriteTable("folfld", text);
    }

    TestArchive archive_;
    CsHandle handle_{};
    HandleGuard guard_{&handle_};
};

TEST_F(FolderUser, SampleFolderCarriesTheUsersSettings) {
    FolderPtr folder = Open();
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->hitLimit, 500) << "folperms HITS of BOB's group";
    ASSERT_EQ(folder->fieldCount, 3u);

    const CsXdrFolderField& number = folder->fields[0];
    EXPECT_EQ(number.attributes[0], 1);
    EXPECT_EQ(number.attributes[1], 1);
    EXPECT_EQ(number.attributes[2], 2);
    EXPECT_EQ(number.display[0], 0xFFF);
    EXPECT_EQ(number.display[1], 0x001);
    EXPECT_EQ(number.user.wildcard, 'P');
    EXPECT_EQ(number.user.ascending, 'A');
    EXPECT_EQ(number.type[1], 0);

    EXPECT_EQ(folder->fields[1].flags, 0x10) << "the second value list";

    const CsXdrFolderField& date = folder->fields[2];
    EXPECT_EQ(date.type[1], 'D');
    EXPECT_EQ(date.attributes[2], 1);
    EXPECT_EQ(date.user.ascending, 'D');
    EXPECT_EQ(date.flags, 0x02) << "has a default text";
    EXPECT_EQ(date.display[0], 0xC3F);
    EXPECT_EQ(date.display[1], 0x400);
    EXPECT_EQ(date.user.minimum, 0);
    EXPECT_EQ(date.user.maximum, 99999);
    EXPECT_EQ(date.user.limitsSet, 1);
    EXPECT_STREQ(date.user.dateFormat, "%Y-%m-%d");
    EXPECT_STREQ(date.user.displayFormat, "%d.%m.%Y");
    EXPECT_EQ(date.user.defaultUnit, 'D');
    // Relative defaults of 0 days: today.
    EXPECT_EQ(date.defaults[0].type, 'I');
    EXPECT_EQ(date.defaults[0].v.integer, ArcDT_Now('D'));
    EXPECT_EQ(date.defaults[1].v.integer, ArcDT_Now('D'));

    ASSERT_EQ(folder->groupCount, 1u);
    const CsXdrApplGroup& group = folder->groups[0];
    ASSERT_EQ(group.fieldCount, 3u);
    EXPECT_EQ(group.fields[2].dateType, 'D');
    EXPECT_EQ(group.fields[0].dateType, 0);
    EXPECT_STREQ(group.fields[1].formats[0], " ");
    ASSERT_EQ(group.fields[1].mapCount, 2u);
    ASSERT_EQ(group.fields[1].displayCount, 2u);
    EXPECT_STREQ(group.fields[1].mapValues[0].text, "ACME CORPORATION");
    EXPECT_STREQ(group.fields[1].displayValues[0].text, "ACME");
    EXPECT_STREQ(group.fields[1].mapValues[1].text, "GLOBEX INC");
    EXPECT_STREQ(group.fields[1].displayValues[1].text, "GLOBEX");
    EXPECT_EQ(group.fields[0].mapCount, 0u);
    ASSERT_EQ(group.applCount, 1u);
    EXPECT_EQ(group.appls[0].flags[0], 'L') << "DOC_TYPE 1";
}

TEST_F(FolderUser, MissingRowsGiveTheDefaults) {
    archive_.WriteTable("folfldus", "");
    archive_.WriteTable("folperms", "[1]\nIDS=11\n\n[11|1]\nPERMS=1\n");
    FolderPtr folder = Open();
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->hitLimit, -1);
    for (uint16_t i = 0; i < folder->fieldCount; ++i) {
        const CsXdrFolderField& f = folder->fields[i];
        SCOPED_TRACE(f.name);
        EXPECT_EQ(f.attributes[0] | f.attributes[1] | f.attributes[2], 0) << "not offered";
        EXPECT_EQ(f.display[0], 0);
        EXPECT_EQ(f.user.ascending, 'A');
        EXPECT_EQ(f.user.defaultUnit, 'D');
        EXPECT_EQ(f.user.limitsSet, 0);
    }
    EXPECT_EQ(folder->fields[2].user.minimum, std::numeric_limits<int32_t>::min());
    EXPECT_EQ(folder->fields[2].user.maximum, std::numeric_limits<int32_t>::max());
}

// One row of field 2 in many shapes: how each key lands, and what a table value that the
// field's type cannot hold gives.
TEST_F(FolderUser, RowValuesByTheFieldsType) {
    struct Case {
        const char* name;
        char type;
        int qual;
        std::string row;
        int rc;
        char dateKind;
        int64_t minimum, maximum;
        double minimumReal, maximumReal;
        uint16_t defaultOperator;
        char wildcard, unit;
        int64_t default1;  // integer types: the value; relative ones: days from today
        bool relative;
    };
    const int64_t n16 = std::numeric_limits<int16_t>::min(), x16 = std::numeric_limits<int16_t>::max();
    const int64_t n64 = std::numeric_limits<int64_t>::min(), x64 = std::numeric_limits<int64_t>::max();
    const Case cases[] = {
        {"16-bit limits", 'N', 0, "MIN=-5\nMAX=300\nDEF_VALUE1=7\n", CS_OK, 0, -5, 300, 0, 0, 0, 0, 'D', 7,
         false},
        {"only a maximum", 'N', 0, "MAX=300\n", CS_OK, 0, n16, 300, 0, 0, 0, 0, 'D', 0, false},
        {"64-bit range when empty", 'B', 0, "", CS_OK, 0, n64, x64, 0, 0, 0, 0, 'D', 0, false},
        {"a maximum beyond 16 bits", 'N', 0, "MAX=40000\n", CS_FAILED, 0, 0, 0, 0, 0, 0, 0, 0, 0, false},
        {"a minimum above the maximum", 'N', 0, "MIN=9\nMAX=3\n", CS_FAILED, 0, 0, 0, 0, 0, 0, 0, 0, 0,
         false},
        {"a limit that is no number", 'I', 0, "MIN=ten\n", CS_FAILED, 0, 0, 0, 0, 0, 0, 0, 0, 0, false},
        {"a default that is no number", 'I', 0, "DEF_VALUE2=x\n", CS_FAILED, 0, 0, 0, 0, 0, 0, 0, 0, 0,
         false},
        {"decimal limits", 'D', 0, "MIN=-2.5\nMAX=99.75\nDECIMAL_PT_POS=2\n", CS_OK, 0, 0, 0, -2.5, 99.75, 0,
         0, 'D', 0, false},
        {"decimal places beyond 15", 'D', 0, "DECIMAL_PT_POS=16\n", CS_FAILED, 0, 0, 0, 0, 0, 0, 0, 0, 0,
         false},
        {"a default operator outside the mask takes its lowest bit", 'I', 0, "OPS=1072\nDEF_OP=1\n", CS_OK, 0,
         INT32_MIN, INT32_MAX, 0, 0, 0x010, 0, 'D', 0, false},
        {"two bits are no default operator", 'I', 0, "OPS=3\nDEF_OP=3\n", CS_OK, 0, INT32_MIN, INT32_MAX, 0,
         0, 0x001, 0, 'D', 0, false},
        {"wildcard append", 'S', 0, "STRING_WILD=2\n", CS_OK, 0, 0, 0, 0, 0, 0, 'A', 'D', 0, false},
        {"wildcard both", 'S', 0, "STRING_WILD=3\n", CS_OK, 0, 0, 0, 0, 0, 0, 'B', 'D', 0, false},
        {"unknown wildcard", 'S', 0, "STRING_WILD=7\n", CS_OK, 0, 0, 0, 0, 0, 0, 0, 'D', 0, false},
        {"QUAL on a text field is no date", 'S', 1, "", CS_OK, 0, 0, 0, 0, 0, 0, 0, 'D', 0, false},
        {"a date default by the input format", 'I', 1, "DATEFMT=\"%Y-%m-%d\"\nDEF_VALUE1=1970-01-31\n", CS_OK,
         'D', INT32_MIN, INT32_MAX, 0, 0, 0, 0, 'D', 31, false},
        {"relative days", 'I', 1, "DATEDEF_TYPE=1\nDEF_VALUE1=-7\n", CS_OK, 'D', INT32_MIN, INT32_MAX, 0, 0,
         0, 0, 'D', -7, true},
        {"months as the unit", 'N', 1, "DATEDEF_ARG=1\n", CS_OK, 'D', n16, x16, 0, 0, 0, 0, 'M', 0, false},
        {"years as the unit", 'B', 4, "DATEDEF_ARG=2\n", CS_OK, 'Z', n64, x64, 0, 0, 0, 0, 'Y', 0, false},
        {"time kind", 'I', 2, "", CS_OK, 'T', INT32_MIN, INT32_MAX, 0, 0, 0, 0, 'D', 0, false},
        {"local date and time kind", 'B', 3, "", CS_OK, 'C', n64, x64, 0, 0, 0, 0, 'D', 0, false},
        {"unknown QUAL", 'I', 9, "", CS_OK, 0, INT32_MIN, INT32_MAX, 0, 0, 0, 0, 'D', 0, false},
        {"a relative default that is no count", 'I', 1, "DATEDEF_TYPE=1\nDEF_VALUE1=soon\n", CS_FAILED, 0, 0,
         0, 0, 0, 0, 0, 0, 0, false},
    };
    const std::string others = "[1|2|0]\nQUERY_ORDER=1\n\n[1|2|1]\nQUERY_ORDER=2\n\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetDateField(c.type, c.qual);
        archive_.WriteTable("folfldus", others + "[1|2|2]\nQUERY_ORDER=3\n" + c.row);
        int rc = 0;
        FolderPtr folder = Open(&rc);
        ASSERT_EQ(rc, c.rc);
        if (c.rc != CS_OK) {
            EXPECT_EQ(folder, nullptr);
            continue;
        }
        const CsXdrFolderField& f = folder->fields[2];
        EXPECT_EQ(f.type[1], c.dateKind);
        EXPECT_EQ(f.attributes[0], 3);
        if (c.type == 'D') {
            EXPECT_EQ(f.user.minimumReal, c.minimumReal);
            EXPECT_EQ(f.user.maximumReal, c.maximumReal);
            EXPECT_EQ(f.user.precision, 2);
        } else {
            EXPECT_EQ(f.user.minimum, c.minimum);
            EXPECT_EQ(f.user.maximum, c.maximum);
        }
        EXPECT_EQ(f.display[1], c.defaultOperator);
        EXPECT_EQ(f.user.wildcard, c.wildcard);
        EXPECT_EQ(f.user.defaultUnit, c.unit);
        const CsXdrValue& d = f.defaults[0];
        EXPECT_EQ(d.type, c.type);
        int64_t value = 0;
        if (c.type == 'N') value = d.v.small;
        if (c.type == 'I') value = d.v.integer;
        if (c.type == 'B') value = d.v.big;
        if (c.type == 'S') {
            EXPECT_STREQ(d.v.text, "0") << "the table's default text";
            continue;
        }
        if (c.type == 'D') continue;
        const int64_t expected =
            c.relative ? ArcDT_AddInterval(ArcDT_Now('D'), static_cast<int>(c.default1), 0, 0, 0, 0, 0, 'D')
                       : c.default1;
        EXPECT_EQ(value, expected);
    }
}

TEST_F(FolderUser, GroupFieldsAndApplications) {
    struct Case {
        const char* name;
        int qual;
        const char* sets;  // added to group field 100|0
        int docType;
        char dataType;
        int rc;
    };
    const Case cases[] = {
        {"time kind, sets", 2, "LEADING=\"0\"\nTRAILING=\"-\"\n", 2, 'A', CS_OK},
        {"PDF-like type", 0, "", 3, 'R', CS_OK},
        {"last known type", 0, "", 14, 'X', CS_OK},
        {"unknown type", 0, "", 15, 'N', CS_OK},
        {"no type", 0, "", 0, 'N', CS_OK},
        {"a set longer than its field", 0, "LEADING=\"123456789\"\n", 1, 'L', CS_FAILED},
    };
    const std::string agfld = archive_.Table("agfld");
    const std::string app = archive_.Table("app");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string fields = agfld;
        fields.replace(fields.find("[100|0]\n"), 8,
                       "[100|0]\n" + std::string(c.sets) + "QUAL=" + std::to_string(c.qual) + "\n");
        const std::string dateField = "NAME=INVDATE\nTYPE=I\nQUAL=1\n";
        fields.replace(fields.find(dateField), dateField.size(),
                       "NAME=INVDATE\nTYPE=I\nQUAL=" + std::to_string(c.qual) + "\n");
        archive_.WriteTable("agfld", fields);
        std::string apps = app;
        apps.replace(apps.find("DOC_TYPE=1"), 10, "DOC_TYPE=" + std::to_string(c.docType));
        archive_.WriteTable("app", apps);
        int rc = 0;
        FolderPtr folder = Open(&rc);
        ASSERT_EQ(rc, c.rc);
        if (rc != CS_OK) continue;
        const CsXdrApplGroup& group = folder->groups[0];
        EXPECT_EQ(group.fields[0].dateType, 0) << "a text field has no date kind";
        EXPECT_EQ(group.fields[2].dateType, c.qual == 2 ? 'T' : 0);
        if (c.qual == 2) {
            EXPECT_STREQ(group.fields[0].formats[1], "0");
            EXPECT_STREQ(group.fields[0].formats[2], "-");
        }
        EXPECT_EQ(group.appls[0].flags[0], c.dataType);
    }
}

}  // namespace

namespace {

// A field whose MAP_TYPE names two group fields finds the second in the second half of
// each group's map; folders without such a field keep maps of their field count.
TEST_F(FolderUser, FieldsMappedOntoTwoGroupFields) {
    std::string text = archive_.Table("folfld");
    const size_t at = text.find("[1|2]");
    const size_t end = text.find("\n[", at + 1);
    text.replace(at, end - at, "[1|2]\nNAME=\"Invoice date\"\nTYPE=I\nQUAL=1\nMAP_TYPE=2\n");
    archive_.WriteTable("folfld", text);
    std::string map = archive_.Table("ag2fol");
    const size_t key = map.find("2=2,0", map.find("[100|1]"));
    ASSERT_NE(key, std::string::npos);
    map.replace(key, 5, "2=2,1");
    archive_.WriteTable("ag2fol", map);

    FolderPtr folder = Open();
    ASSERT_NE(folder, nullptr);
    ASSERT_GE(folder->groupCount, 1);
    const CsXdrFieldMap& pairs = folder->maps[0];
    const uint16_t n = folder->fieldCount;
    ASSERT_EQ(pairs.count, 2 * n);
    EXPECT_EQ(pairs.numbers[2], 2);
    EXPECT_EQ(pairs.numbers[n + 2], 1);
    EXPECT_EQ(pairs.numbers[n + 0], 0xFFFF) << "a field of one group field has no second";
    EXPECT_EQ(folder->fields[2].user.mapCount, 2);
    EXPECT_EQ(folder->fields[0].user.mapCount, 1);
}

TEST_F(FolderUser, PlainFoldersKeepMapsOfTheirFieldCount) {
    FolderPtr folder = Open();
    ASSERT_NE(folder, nullptr);
    for (uint16_t g = 0; g < folder->groupCount; ++g) EXPECT_EQ(folder->maps[g].count, folder->fieldCount);
}

}  // namespace

namespace {

// The application's parameter text is its view file: the user's own, else the
// application's; none when neither names one or the file cannot be read.
TEST_F(FolderUser, ApplicationsCarryTheirViewFileAsParameterText) {
    // A view file may start with a byte 0x01, which is not part of the text.
    auto viewText = [this](const char* name) {
        std::string text = localtest::ReadFile(archive_.Dir() + "/view/" + name);
        if (!text.empty() && text[0] == '\x01') text.erase(0, 1);
        return text;
    };
    const std::string bobView = viewText("bob.vw");
    const std::string fixedView = viewText("invoice.vw");
    ASSERT_FALSE(bobView.empty());
    ASSERT_NE(bobView, fixedView);
    struct Case {
        const char* name;
        const char* appusr;       // appusr.tbl
        const char* fixedView;    // FIXED_VIEW of application 200
        const std::string* text;  // expected; null: none
    };
    const Case cases[] = {
        {"the user's view", "[100|200|2]\nUSER_VIEW=bob.vw\n", "invoice.vw", &bobView},
        {"another user's view is not BOB's", "[100|200|1]\nUSER_VIEW=bob.vw\n", "invoice.vw", &fixedView},
        {"the application's view", "", "invoice.vw", &fixedView},
        {"no view", "", "", nullptr},
        {"a view file that is not there", "", "missing.vw", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        archive_.WriteTable("appusr", c.appusr);
        archive_.SetTableKey("app", "200", "FIXED_VIEW", c.fixedView);
        FolderPtr folder = Open();
        ASSERT_NE(folder, nullptr);
        const char* text = folder->groups[0].appls[0].parameters.text;
        if (c.text == nullptr) {
            EXPECT_EQ(text, nullptr);
        } else {
            ASSERT_NE(text, nullptr);
            EXPECT_EQ(std::string(text), *c.text);
        }
    }
}

}  // namespace
