// The named-views file.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "afp_fixture.h"
#include "arc_platform.h"
#include "views_file.h"

using namespace knvw;

TEST(ViewsFile, StoreReplaceAndFind) {
    const std::string path = knvw_test::WriteTempFile("views-dir/placeholder", "");
    const std::string file = std::filesystem::path(path).parent_path() / "sub" / "views.txt";
    std::filesystem::remove(file);
    EXPECT_TRUE(LoadViews(file).empty());
    ASSERT_TRUE(StoreView(file, SavedView{"Wide", "for wide pages", 150, 3, 0, 10, -20, -30}));
    ASSERT_TRUE(StoreView(file, SavedView{"Small", "", 50, 1, 2, 10, 0, 0}));
    ASSERT_TRUE(StoreView(file, SavedView{"Wide", "replaced", 175, 4, 3, 16, 0, -5}));
    const auto views = LoadViews(file);
    ASSERT_EQ(views.size(), 2u);
    const auto wide = FindView(file, "Wide");
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->description, "replaced");
    EXPECT_EQ(wide->zoom, 175);
    EXPECT_EQ(wide->rotation, 4);
    EXPECT_EQ(wide->imageMode, 3);
    EXPECT_EQ(wide->shadeColour, 16);
    EXPECT_EQ(wide->y, -5);
    EXPECT_FALSE(FindView(file, "wide"));  // names are exact
    // Tabs and line ends in a name cannot break the file; an empty name is refused.
    ASSERT_TRUE(StoreView(file, SavedView{"a\tb\nc", "x\ty", 100, 1, 0, 10, 0, 0}));
    EXPECT_TRUE(FindView(file, "a b c"));
    EXPECT_FALSE(StoreView(file, SavedView{"", "", 100, 1, 0, 10, 0, 0}));
    EXPECT_EQ(LoadViews(file).size(), 3u);
}

TEST(ViewsFile, AFailedWriteKeepsTheOldFileAndLeavesNothingBeside) {
    const std::string file =
        knvw_test::WriteTempFile("views-failing/views.txt", "Old\t\t100\t1\t0\t10\t0\t0\n");
    for (const char* step : {"write", "rename"}) {
        ArcOS_SetFaultHook([step](const char* at) { return std::string(at) == step ? EIO : 0; });
        EXPECT_FALSE(StoreView(file, SavedView{"New", "", 100, 1, 0, 10, 0, 0})) << step;
        ArcOS_SetFaultHook({});
        const auto views = LoadViews(file);
        ASSERT_EQ(views.size(), 1u) << step;
        EXPECT_EQ(views[0].name, "Old") << step;
        const auto dir = std::filesystem::path(file).parent_path();
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << step;
    }
}

TEST(ViewsFile, DamagedLinesAreSkipped) {
    const std::string file =
        knvw_test::WriteTempFile("views-damaged.txt",
                                 "Good\t\t100\t1\t0\t10\t0\t0\nshort\t1\t2\nBad\t\tx\t1\t0\t10\t0\t0\n\t\t100"
                                 "\t1\t0\t10\t0\t0\nAlso\td\t90\t2\t1\t10\t3\t4\n");
    const auto views = LoadViews(file);
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(views[0].name, "Good");
    EXPECT_EQ(views[1].name, "Also");
    EXPECT_EQ(views[1].x, 3);
}
