// The builder's refusals: each fault of a description gives its numbered message naming
// the member, and a refused or failed build leaves no archive and no building folder.
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>

#include "arc_platform.h"
#include "builder_fixture.h"

namespace {

using buildertest::BuilderScratch;
using buildertest::Json;

struct RefusalCase {
    const char* name;
    const char* pointer;  // the member changed (JSON pointer)
    const char* value;    // its new value as JSON; null removes it
    int number;
    const char* where;  // the path the message names
};

const RefusalCase kRefusals[] = {
    {"required member missing", "/users/0/uid", nullptr, 2, "users[0].uid"},
    {"number given as text", "/users/1/uid", "\"2\"", 3, "users[1].uid"},
    {"array given as object", "/folders", "{}", 3, "description.folders"},
    {"misspelt member", "/users/0/passwrd", "\"x\"", 4, "users[0].passwrd"},
    {"unknown system key", "/system/CODEPAGE", "850", 4, "system.CODEPAGE"},
    {"user info column unknown", "/users/0/info/SHOE_SIZE", "\"9\"", 4, "users[0].info.SHOE_SIZE"},
    {"folder user number not whole", "/folders/0/fields/0/users/*/OPS", "3.5", 3, "fields[0].users.*.OPS"},
    {"folder user number too large", "/folders/0/fields/0/users/BOB/OPS", "4294967296", 5, "users.BOB.OPS"},
    {"folder user key not in capitals", "/folders/0/fields/0/users/*/ops", "3", 4, "fields[0].users.*.ops"},
    {"uid zero", "/users/0/uid", "0", 5, "users[0].uid"},
    {"segment rows zero", "/application_groups/0/segment_rows", "0", 5, "segment_rows"},
    {"text field without length", "/application_groups/0/fields/0/length", nullptr, 2, "fields[0].length"},
    {"text field too long", "/application_groups/0/fields/0/length", "32768", 5, "fields[0].length"},
    {"text field too long to index", "/application_groups/0/fields/0/length", "255", 5, "documents[0].group"},
    {"segment date on a text field", "/application_groups/0/fields/1/mask", "4", 5, "fields[1].mask"},
    {"type that is no letter", "/application_groups/0/fields/1/type", "\"s\"", 5, "fields[1].type"},
    {"value of a field that stores none", "/application_groups/0/fields/1/type", "\"T\"", 9,
     "documents[0].values.CUSTOMER"},
    {"compression letter unknown", "/application_groups/0/objects/0/compression", "\"Z\"", 5,
     "objects[0].compression"},
    {"user name with comma", "/users/1/name", "\"BOB,EVE\"", 6, "users[1].name"},
    {"user name a number", "/users/1/name", "\"12\"", 6, "users[1].name"},
    {"user name too long", "/users/1/name", "\"ABCDEFGHIJKLMNOPQRSTU\"", 6, "users[1].name"},
    {"description with a line end", "/folders/0/description", "\"two\\nlines\"", 6, "folders[0].description"},
    {"text outside code page 819", "/folders/0/name", "\"Euro \\u20ac\"", 6, "folders[0].name"},
    {"object name ending in a digit", "/application_groups/0/objects/1/name", "\"2FAA2\"", 6,
     "objects[1].name"},
    {"storage id with a slash", "/application_groups/0/storage_id", "\"ST/MT\"", 6, "storage_id"},
    {"uid equal to a gid", "/users/2/uid", "11", 7, "users[2].uid"},
    {"user named like a group", "/users/2/name", "\"STAFF\"", 7, "users[2].name"},
    {"field name twice", "/application_groups/0/fields/4/name", "\"AMOUNT\"", 7, "fields[4].name"},
    {"folder number twice", "/folders/1/fid", "1", 7, "folders[1].fid"},
    {"permission row twice", "/folders/0/permissions/1/who", "\"STAFF\"", 7, "permissions[1].who"},
    {"user in an unknown group", "/users/1/groups/0", "\"CLERKS\"", 8, "users[1].groups[0]"},
    {"group owner unknown", "/groups/1/owner", "\"ZED\"", 8, "groups[1].owner"},
    {"folder on an unknown group", "/folders/1/application_groups/0", "\"LEDGER\"", 8,
     "application_groups[0]"},
    {"map to an unknown field", "/folders/0/fields/0/maps/STATEMENTS", "\"NUMBER\"", 8, "maps.STATEMENTS"},
    {"user row of an unknown user", "/folders/0/fields/0/users/ZED", "{}", 8, "users.ZED"},
    {"document of an unknown object", "/documents/2/object", "\"9FAA\"", 8, "documents[2].object"},
    {"document value of no field", "/documents/0/values/TOTAL", "1", 8, "documents[0].values.TOTAL"},
    {"document value missing", "/documents/0/values/PAGES", nullptr, 2, "documents[0].values.PAGES"},
    {"text longer than its field", "/documents/1/values/INVNO", "\"A0002-LONGER\"", 9,
     "documents[1].values.INVNO"},
    {"16-bit field overflow", "/documents/1/values/PAGES", "32768", 9, "documents[1].values.PAGES"},
    {"32-bit date overflow", "/documents/1/values/STMTDATE", "2147483648", 9, "documents[1].values.STMTDATE"},
    {"date that does not exist", "/documents/1/values/STMTDATE", "\"2024-02-30\"", 9, "values.STMTDATE"},
    {"decimal given as text", "/documents/1/values/AMOUNT", "\"7.25\"", 3, "values.AMOUNT"},
    {"data file missing", "/documents/3/file", "\"nowhere.txt\"", 10, "documents[3].file"},
    {"range past the file's end", "/documents/5/length", "100000", 10, "documents[5].length"},
    {"empty document", "/documents/5/length", "0", 10, "documents[5].length"},
    {"password too long", "/users/1/password", "\"123456789012345678901\"", 11, "users[1].password"},
    {"password outside code page 819", "/users/1/password", "\"pass\\u0142\"", 11, "users[1].password"},
};

const std::string kLongPageName = "\"" + std::string(128, 'x') + "\"";

// Faults of notes, resources, paged documents and data types, on the description that
// has them (documents[6] is the paged statement in object 3FAA).
const RefusalCase kPartRefusals[] = {
    {"note by an unknown user", "/documents/0/notes/0/user", "\"ZED\"", 8, "documents[0].notes[0].user"},
    {"note without text", "/documents/0/notes/1/text", nullptr, 2, "documents[0].notes[1].text"},
    {"note public as a number", "/documents/0/notes/0/public", "1", 3, "notes[0].public"},
    {"note time in another form", "/documents/0/notes/0/created", "\"2024-01-02T03:04:05\"", 5,
     "notes[0].created"},
    {"note time of an hour 24", "/documents/0/notes/0/created", "\"2024-01-02 24:00:00\"", 5,
     "notes[0].created"},
    {"note time before 1970", "/documents/0/notes/2/created", "-1", 5, "notes[2].created"},
    {"note colour past a byte", "/documents/0/notes/0/colour", "256", 5, "notes[0].colour"},
    {"note text with a line end", "/documents/0/notes/1/text", "\"two\\nlines\"", 6, "notes[1].text"},
    {"note member misspelt", "/documents/0/notes/0/color", "1", 4, "notes[0].color"},
    {"notes not a list", "/documents/0/notes", "{}", 3, "documents[0].notes"},
    {"resource the group lacks", "/documents/3/resource", "8", 8, "documents[3].resource"},
    {"resource id zero", "/application_groups/0/resources/0/id", "0", 5, "resources[0].id"},
    {"resource id past 16 bits", "/application_groups/0/resources/0/id", "65536", 5, "resources[0].id"},
    {"resource file missing", "/application_groups/0/resources/0/file", "\"nowhere.bin\"", 10,
     "resources[0].file"},
    {"resource id twice", "/application_groups/0/resources/1", "{\"id\": 7, \"file\": \"resource.txt\"}", 7,
     "resources[1].id"},
    {"resource compression unknown", "/application_groups/0/resources/0/compression", "\"L\"", 5,
     "resources[0].compression"},
    {"data type letter unknown", "/application_groups/0/applications/0/data_type", "\"Q\"", 5,
     "applications[0].data_type"},
    {"data type and doc type together", "/application_groups/0/applications/0/doc_type", "3", 7,
     "applications[0].data_type"},
    {"parameter text given as one text", "/application_groups/0/applications/0/parameters", "\"CC=ANSI\"", 3,
     "applications[0].parameters"},
    {"parameter line with a line end", "/application_groups/0/applications/0/parameters",
     "[\"[@_FIXED_@]\", \"CC=ANSI\\nRECFM=D\"]", 6, "applications[0].parameters[1]"},
    {"page count without segments", "/documents/0/pages", "3", 2, "documents[0].segments"},
    {"pages that make more segments", "/documents/6/pages", "7", 5, "documents[6].segment_pages"},
    {"pages that make fewer segments", "/documents/6/segment_pages", "5", 5, "documents[6].segment_pages"},
    {"no further segment", "/documents/6/segments", "[]", 5, "documents[6].segments"},
    {"segment file missing", "/documents/6/segments/1/file", "\"nowhere.txt\"", 10, "segments[1].file"},
    {"segment range past the file", "/documents/6/segments/0/length", "1000", 10, "segments[0].length"},
    {"segment member misspelt", "/documents/6/segments/0/pages", "2", 4, "segments[0].pages"},
    {"more page names than pages", "/documents/6/page_names", "[\"1\", \"2\", \"3\", \"4\", \"5\", \"6\"]", 5,
     "documents[6].page_names"},
    {"page name too long", "/documents/6/page_names/0", kLongPageName.c_str(), 6, "page_names[0]"},
    {"paged object shared", "/documents/5/object", "\"3FAA\"", 7, "documents[6].object"},
    {"segment object described as another", "/application_groups/0/objects/3", "{\"name\": \"3FAAB\"}", 7,
     "documents[6].segments"},
};

void ExpectRefusals(const Json& base, std::span<const RefusalCase> cases) {
    BuilderScratch scratch;
    for (const RefusalCase& c : cases) {
        Json description = base;
        const Json::json_pointer at(c.pointer);
        if (c.value == nullptr)
            description.at(at.parent_pointer()).erase(at.back());
        else
            description[at] = Json::parse(c.value);
        const std::vector<arcbuild::BuildError> errors =
            scratch.Build(description, scratch.Dir() + "archive");
        ASSERT_FALSE(errors.empty()) << c.name;
        EXPECT_EQ(errors[0].number, c.number) << c.name << ": " << FormatError(errors[0]);
        EXPECT_NE(errors[0].where.find(c.where), std::string::npos)
            << c.name << ": " << FormatError(errors[0]);
        EXPECT_TRUE(scratch.Leftovers().empty()) << c.name;
    }
}

TEST(BuilderRefusals, EachFaultGivesItsNumberAndMember) {
    ExpectRefusals(buildertest::SmallDescription("statements.txt"), kRefusals);
}

TEST(BuilderRefusals, FaultsOfNotesResourcesAndSegments) {
    BuilderScratch scratch;
    ASSERT_TRUE(scratch.Build(buildertest::DocumentsDescription(), scratch.Dir() + "good").empty())
        << "the base description builds";
    ExpectRefusals(buildertest::DocumentsDescription(), kPartRefusals);
}

TEST(BuilderRefusals, TextThatIsNoJson) {
    BuilderScratch scratch;
    arcbuild::Errors errors;
    arcbuild::Description d;
    EXPECT_FALSE(arcbuild::ParseDescription("{\"users\": [", scratch.Dir(), &d, &errors));
    ASSERT_EQ(errors.Count(), 1u);
    EXPECT_EQ(errors.List()[0].number, arcbuild::kErrUnreadable);
    errors = {};
    EXPECT_FALSE(arcbuild::ReadDescription(scratch.Dir() + "missing.json", &d, &errors));
    ASSERT_EQ(errors.Count(), 1u);
    EXPECT_EQ(errors.List()[0].number, arcbuild::kErrUnreadable);
}

// Every fault of a description is reported, not just the first.
TEST(BuilderRefusals, FaultsAreReportedTogether) {
    BuilderScratch scratch;
    Json description = buildertest::SmallDescription("statements.txt");
    description["users"][0]["admin"] = -1;
    description["folders"][0]["name"] = "";
    description["documents"][4]["values"]["PAGES"] = 70000;
    const std::vector<arcbuild::BuildError> errors = scratch.Build(description, scratch.Dir() + "archive");
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(FormatError(errors[0]), "error 5: users[0].admin: is outside 0..65535");
    EXPECT_EQ(errors[1].number, 6);
    EXPECT_EQ(errors[2].number, 9);
}

TEST(BuilderRefusals, ExistingTargetIsLeftAlone) {
    BuilderScratch scratch;
    const std::string target = scratch.Dir() + "archive";
    std::filesystem::create_directory(target);
    reqtest::WriteText(target + "/keep.txt", "mine");
    const auto errors = scratch.Build(buildertest::SmallDescription("statements.txt"), target);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, arcbuild::kErrTarget);
    EXPECT_EQ(reqtest::ReadText(target + "/keep.txt"), "mine");
    EXPECT_EQ(scratch.Leftovers(), std::vector<std::string>{"archive"});
}

// A data file that goes away after the check fails the build half way: the building
// folder, with the tables written already, is removed.
TEST(BuilderRefusals, FailureWhileBuildingLeavesNothing) {
    BuilderScratch scratch;
    arcbuild::Errors errors;
    arcbuild::Description d;
    ASSERT_TRUE(
        ParseDescription(buildertest::SmallDescription("statements.txt").dump(), scratch.Dir(), &d, &errors));
    std::filesystem::resize_file(scratch.DataFile(), 10);
    EXPECT_FALSE(arcbuild::BuildArchive(d, scratch.Dir() + "archive", &errors));
    ASSERT_FALSE(errors.Empty());
    EXPECT_EQ(errors.List()[0].number, arcbuild::kErrDataFile);
    EXPECT_TRUE(scratch.Leftovers().empty());
}

// The program: numbered messages on stderr, exit status 1, no archive.
TEST(BuilderProgram, RefusesWithMessagesAndExitStatus) {
    BuilderScratch scratch;
    Json description = buildertest::SmallDescription("statements.txt");
    description["users"][1]["groups"][0] = "CLERKS";
    reqtest::WriteText(scratch.Dir() + "d.json", description.dump());
    const std::string command = std::string(QEL_STAGE_DIR "/bin/qelarcbuild ") + scratch.Dir() + "d.json " +
                                scratch.Dir() + "archive 2>" + scratch.Dir() + "err.txt";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(reqtest::ReadText(scratch.Dir() + "err.txt"),
              "error 8: users[1].groups[0]: no group CLERKS is described\n");
    EXPECT_FALSE(std::filesystem::exists(scratch.Dir() + "archive"));

    description["users"][1]["groups"][0] = "STAFF";
    reqtest::WriteText(scratch.Dir() + "d.json", description.dump());
    ASSERT_EQ(std::system(command.c_str()), 0) << reqtest::ReadText(scratch.Dir() + "err.txt");
    EXPECT_TRUE(std::filesystem::exists(scratch.Dir() + "archive/table/user.tbl"));
}

}  // namespace
