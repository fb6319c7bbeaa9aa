// Display presets: name rules, value parsing, the "Settings" list, loading from
// and storing to the registry files, and the edits the presets dialog makes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "arc_install.h"
#include "arc_platform.h"
#include "presets.h"
#include "registry_dir.h"

namespace {

using zyp::NameCheck;
using zyp::PresetTable;
using zyp::ViewValues;

const char* const kKey = zyp::kPresetKey;

std::string ReadValue(int hive, const char* name, int expectRc = ARCREG_OK) {
    std::string data;
    EXPECT_EQ(ArcReg_ReadString(hive, kKey, name, &data), expectRc) << name;
    return data;
}

void Put(int hive, const std::string& name, const std::string& data) {
    ASSERT_EQ(ArcReg_SetString(hive, kKey, name.c_str(), data.c_str()), ARCREG_OK) << name;
}

std::string FileText(const std::string& path) {
    std::string text;
    ArcOS_ReadFile(path.c_str(), &text);
    return text;
}

TEST(PresetNameTest, NamesTheRegistryCanHold) {
    struct Case {
        std::string name;
        NameCheck expected;
    } cases[] = {
        {"reset", NameCheck::Ok},
        {"scan, dark", NameCheck::Ok},
        {std::string(51, 'n'), NameCheck::Ok},
        {std::string(52, 'n'), NameCheck::TooLong},
        {"", NameCheck::Empty},
        {"Settings", NameCheck::Reserved},
        {"sETTINGS", NameCheck::Reserved},
        {" lead", NameCheck::NotStorable},
        {"trail\t", NameCheck::NotStorable},
        {";comment", NameCheck::NotStorable},
        {"[section", NameCheck::NotStorable},
        {"a=b", NameCheck::NotStorable},
        {"line\nbreak", NameCheck::NotStorable},
        {"escape\xFFhere", NameCheck::NotStorable},
    };
    for (const Case& c : cases) EXPECT_EQ(zyp::CheckPresetName(c.name), c.expected) << c.name;
}

TEST(PresetValueTest, ParsesAndBringsIntoRange) {
    struct Case {
        const char* text;
        ViewValues expected;
    } cases[] = {
        {"150,2,100,90,1", {150, 2, 100, 90, 1}},
        {"200", {200, 1, 0, 0, 0}},
        {"", {10, 1, 0, 0, 0}},
        {"5000,9,-4,300,7", {1000, 1, 0, 255, 1}},
        {"abc,3,12x,,1", {10, 3, 12, 0, 1}},
        {"99999999999999999999999,4,1,2,0", {1000, 4, 1, 2, 0}},
        {" 75, 2 ,128,128,0,extra", {75, 2, 128, 128, 0}},
    };
    for (const Case& c : cases) EXPECT_EQ(zyp::ParsePresetValue(c.text), c.expected) << c.text;
    EXPECT_EQ(zyp::FormatPresetValue({150, 2, 100, 90, 1}), "150,2,100,90,1");
}

TEST(PresetListTest, CommaInNamesTravelsAsEscape) {
    std::vector<std::string> names = {"plain", "a,b", ",lead", "trail,"};
    std::string list = zyp::JoinPresetList(names);
    EXPECT_EQ(list,
              "plain,a\xFF"
              "b,\xFFlead,trail\xFF,");
    EXPECT_EQ(zyp::SplitPresetList(list), names);
    // A hand-written list without the last ',' still gives its last name.
    EXPECT_EQ(zyp::SplitPresetList("one,two"), (std::vector<std::string>{"one", "two"}));
}

class PresetRegistryTest : public ::testing::Test {
protected:
    RegistryDir dir_;
    PresetTable table_;
};

TEST_F(PresetRegistryTest, NoPresetInEitherHiveGivesReset) {
    EXPECT_EQ(table_.Load(), PresetTable::LoadSource::Default);
    ASSERT_EQ(table_.Size(), 1u);
    EXPECT_EQ(table_.Entries()[0].name, "reset");
    EXPECT_EQ(table_.Entries()[0].values, (ViewValues{100, 1, 128, 128, 0}));
}

TEST_F(PresetRegistryTest, UserListWinsOverMachineList) {
    Put(ARCREG_HKCU, "Settings", "mine,");
    Put(ARCREG_HKCU, "mine", "300,2,140,120,1");
    Put(ARCREG_HKLM, "Settings", "site,");
    Put(ARCREG_HKLM, "site", "50,1,128,128,0");
    EXPECT_EQ(table_.Load(), PresetTable::LoadSource::User);
    EXPECT_EQ(table_.ActiveNames(), (std::vector<std::string>{"mine"}));
    EXPECT_EQ(table_.Entries()[0].values, (ViewValues{300, 2, 140, 120, 1}));
}

TEST_F(PresetRegistryTest, MachineListWhenUserHasNoneOrAnEmptyOne) {
    Put(ARCREG_HKLM, "Settings", "site,");
    Put(ARCREG_HKLM, "site", "50,3,128,128,0");
    for (bool emptyUserList : {false, true}) {
        if (emptyUserList) Put(ARCREG_HKCU, "Settings", "");
        EXPECT_EQ(table_.Load(), PresetTable::LoadSource::Machine) << emptyUserList;
        EXPECT_EQ(table_.ActiveNames(), (std::vector<std::string>{"site"}));
        EXPECT_EQ(table_.Entries()[0].values.rotation, 3);
        EXPECT_TRUE(table_.Storable());
    }
}

TEST_F(PresetRegistryTest, LongListIsReadInFullAndCutAtOneHundred) {
    // 120 names of 40 characters: the list is far beyond 2000 bytes.
    std::vector<std::string> names;
    for (int i = 0; i < 120; ++i) {
        names.push_back("preset " + std::to_string(1000 + i) + std::string(29, 'x'));
        Put(ARCREG_HKCU, names.back(), std::to_string(10 + i) + ",1,128,128,0");
    }
    Put(ARCREG_HKCU, "Settings", zyp::JoinPresetList(names));
    table_.Load();
    ASSERT_EQ(table_.Size(), 100u);
    EXPECT_EQ(table_.Entries()[99].name, names[99]);
    EXPECT_EQ(table_.Entries()[99].values.zoom, 109);
}

TEST_F(PresetRegistryTest, BadAndRepeatedNamesInTheListAreSkipped) {
    Put(ARCREG_HKCU, "Settings", "good,,GOOD,Settings," + std::string(60, 'n') + ",other,");
    Put(ARCREG_HKCU, "good", "120,1,128,128,0");
    table_.Load();
    EXPECT_EQ(table_.ActiveNames(), (std::vector<std::string>{"good", "other"}));
    // "other" has no value of its own: it shows the image as it is.
    EXPECT_EQ(table_.Entries()[1].values, ViewValues{});
}

TEST_F(PresetRegistryTest, StoreWritesValuesAndListAndDropsDeleted) {
    table_.Load();
    ASSERT_EQ(table_.Save("dark, scanned", {250, 2, 180, 90, 1}), PresetTable::SaveResult::Added);
    ASSERT_EQ(table_.Save("gone", {100, 1, 128, 128, 0}), PresetTable::SaveResult::Added);
    ASSERT_TRUE(table_.Store());
    EXPECT_EQ(ReadValue(ARCREG_HKCU, "gone"), "100,1,128,128,0");

    ASSERT_TRUE(table_.Remove("GONE"));
    ASSERT_TRUE(table_.Store());
    EXPECT_EQ(ReadValue(ARCREG_HKCU, "Settings"), "reset,dark\xFF scanned,");
    EXPECT_EQ(ReadValue(ARCREG_HKCU, "dark, scanned"), "250,2,180,90,1");
    ReadValue(ARCREG_HKCU, "gone", ARCREG_NOT_FOUND);

    PresetTable again;
    EXPECT_EQ(again.Load(), PresetTable::LoadSource::User);
    EXPECT_EQ(again.ActiveNames(), (std::vector<std::string>{"reset", "dark, scanned"}));
    EXPECT_EQ(again.Entries()[1].values, (ViewValues{250, 2, 180, 90, 1}));
}

TEST_F(PresetRegistryTest, UnreadableUserListIsNeverOverwritten) {
    Put(ARCREG_HKLM, "Settings", "site,");
    // The user's hive cannot be read at start-up ...
    std::filesystem::create_directories(dir_.Hive("HKCU.ini"));
    EXPECT_EQ(table_.Load(), PresetTable::LoadSource::Machine);
    EXPECT_FALSE(table_.Storable());
    // ... and is readable again by shut-down: it must come through unchanged.
    std::filesystem::remove(dir_.Hive("HKCU.ini"));
    Put(ARCREG_HKCU, "Settings", "precious,");
    Put(ARCREG_HKCU, "precious", "400,1,128,128,0");
    std::string before = FileText(dir_.Hive("HKCU.ini"));
    table_.Save("new", {100, 1, 128, 128, 0});
    EXPECT_FALSE(table_.Store());
    EXPECT_EQ(FileText(dir_.Hive("HKCU.ini")), before);
}

TEST(PresetEditTest, SavingUpdatesRevivesAppendsOrRefuses) {
    PresetTable table;
    ASSERT_TRUE(table.Append({false, "Scan", {}}));
    ASSERT_TRUE(table.Append({true, "old", {}}));

    EXPECT_EQ(table.Save("SCAN", {200, 2, 1, 2, 1}), PresetTable::SaveResult::Updated);
    EXPECT_EQ(table.Entries()[0].name, "Scan");
    EXPECT_EQ(table.Entries()[0].values, (ViewValues{200, 2, 1, 2, 1}));

    EXPECT_EQ(table.Save("old", {300, 1, 128, 128, 0}), PresetTable::SaveResult::Revived);
    EXPECT_FALSE(table.Entries()[1].deleted);
    EXPECT_EQ(table.Entries()[1].values.zoom, 300);

    for (const std::string& bad : {std::string(), std::string("Settings"), std::string(52, 'x')}) {
        EXPECT_EQ(table.Save(bad, {}), PresetTable::SaveResult::BadName) << bad;
    }
    EXPECT_EQ(table.Size(), 2u);

    while (table.Size() < zyp::kMaxPresets) {
        ASSERT_EQ(table.Save("p" + std::to_string(table.Size()), {}), PresetTable::SaveResult::Added);
    }
    EXPECT_EQ(table.Save("one too many", {}), PresetTable::SaveResult::Full);
    EXPECT_EQ(table.Size(), zyp::kMaxPresets);
    EXPECT_EQ(table.Find("one too many"), -1);
}

TEST(PresetEditTest, MakeDefaultSwapsWithTheFirst) {
    PresetTable table;
    for (const char* name : {"first", "second", "third"}) table.Append({false, name, {}});
    ASSERT_TRUE(table.MakeDefault("first"));
    EXPECT_EQ(table.ActiveNames(), (std::vector<std::string>{"first", "second", "third"}));
    ASSERT_TRUE(table.MakeDefault("Third"));
    EXPECT_EQ(table.ActiveNames(), (std::vector<std::string>{"third", "second", "first"}));
    EXPECT_FALSE(table.MakeDefault("fourth"));
    table.Remove("second");
    EXPECT_FALSE(table.MakeDefault("second"));
}

TEST(PresetEditTest, RemovalAndTheNameSelectedAfterIt) {
    PresetTable table;
    for (const char* name : {"a", "b", "c", "d"}) table.Append({false, name, {}});
    EXPECT_FALSE(table.Remove("zzz"));
    ASSERT_TRUE(table.Remove("b"));
    EXPECT_FALSE(table.Remove("b"));
    EXPECT_EQ(table.NameAfterRemoval(1), "a");
    ASSERT_TRUE(table.Remove("a"));
    EXPECT_EQ(table.NameAfterRemoval(0), "c");  // nothing before it is left
    EXPECT_EQ(table.NameAfterRemoval(3), "c");  // nearest before d
    table.Remove("c");
    table.Remove("d");
    EXPECT_EQ(table.NameAfterRemoval(3), "");
    EXPECT_EQ(table.FirstActive(), nullptr);
    EXPECT_TRUE(table.ActiveNames().empty());
}

}  // namespace
