// The list library through its C entry points.
#include <gtest/gtest.h>

#include <string>

#include "knvw_engine.h"

TEST(StringLists, AddGetSearchIterate) {
    const int32_t list = GetSList(8, 0);
    ASSERT_NE(list, 0);
    const char* names[] = {"Invoice 1", "Invoice 2", "Summary"};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(LISTAddEntry(list, names[i], KnvwListData{i, i * 10}, 8), i);
    char buffer[6];
    KnvwListData data;
    EXPECT_EQ(LISTGet(list, 1, buffer, sizeof buffer, &data), 9);  // full length, cut copy
    EXPECT_STREQ(buffer, "Invoi");
    EXPECT_EQ(data.word2, 10);
    EXPECT_EQ(LISTGet(list, 3, buffer, sizeof buffer, &data), -1);
    EXPECT_EQ(LISTGetIndex(list, "Summary"), 2);
    EXPECT_EQ(LISTGetIndex(list, "summary"), -1);
    EXPECT_EQ(LISTGetIndex2(list, "Invoice 2", KnvwListData{1, 10}), 1);
    EXPECT_EQ(LISTGetIndex2(list, "Invoice 2", KnvwListData{1, 11}), -1);
    EXPECT_EQ(LISTSearch(list, "invoice", 0), 0);
    EXPECT_EQ(LISTSearch(list, "invoice", 1), 1);
    EXPECT_EQ(LISTSearch(list, "invoice", 2), -1);
    const char* pointer = LISTGetNameFromP(list, 2);
    ASSERT_NE(pointer, nullptr);
    EXPECT_EQ(LISTGetIndexFromP(list, pointer), 2);
    EXPECT_EQ(LISTUpdateName(list, 0, "First"), 1);
    EXPECT_EQ(LISTUpdateEntry(list, 0, KnvwListData{7, 70}), 1);
    std::string seen;
    char name[32];
    int32_t cursor = 0;
    while (LISTGetNext(list, &cursor, name, sizeof name, &data)) seen += std::string(name) + ";";
    EXPECT_EQ(seen, "First;Invoice 2;Summary;");
    EXPECT_EQ(cursor, 3);
    EXPECT_EQ(LISTClear(list), 1);
    EXPECT_EQ(LISTGetName(list, 0, name, sizeof name), -1);
    EXPECT_EQ(DeleteSList(list), 1);
    EXPECT_EQ(DeleteSList(list), 0);
    EXPECT_EQ(LISTAddEntry(list, "x", KnvwListData{}, 0), -1);  // gone
}

TEST(PageIndexes, GroupsValuesAndSearch) {
    const int32_t index = GetIndex(0);
    ASSERT_NE(index, 0);
    // (group, value, kind, page) as the plug-in passes them.
    struct Entry {
        const char* group;
        const char* value;
        int kind, page;
    };
    const Entry entries[] = {{"Account", "1001", 1, 3},
                             {"Account", "1002", 1, 7},
                             {"Name", "Miller", 2, 7},
                             {"Account", "1001", 1, 12}};
    for (const auto& e : entries)
        EXPECT_EQ(INDEXSetDocPgTLE(index, e.group, e.value, e.kind, 0, e.page, e.value), 1);
    const int32_t groups = INDEXGetSLists(index);
    char name[32];
    EXPECT_EQ(LISTGetName(groups, 1, name, sizeof name), 4);
    EXPECT_STREQ(name, "Name");
    EXPECT_EQ(INDEXGetPageIndex(index, "Account", "1001", 0), 3);
    EXPECT_EQ(INDEXGetPageIndex(index, "Account", "1001", 1), 12);
    EXPECT_EQ(INDEXGetPageIndex(index, "Account", "1001", 2), 0);
    EXPECT_EQ(INDEXSearchAttr(index, "Account", "100", 4), 7);
    EXPECT_EQ(INDEXSearchAttr(index, "Account", "1001", 4), 12);
    EXPECT_EQ(INDEXSearchAttr(index, "Account", "9", 0), 0);
    EXPECT_EQ(INDEXGetPageValue(index, 7, "Name", name, sizeof name), 6);
    EXPECT_STREQ(name, "Miller");
    EXPECT_EQ(INDEXGrpSelect(index, "Name"), 1);
    EXPECT_EQ(INDEXSearchAttr(index, "", "mil", 0), 7);  // the selected group
    EXPECT_EQ(INDEXGrpSelect(index, "Nope"), -1);
    const int32_t values = INDEXGetAttrListPtr(index, 0);
    EXPECT_EQ(LISTGetIndex(values, "1002"), 1);
    EXPECT_EQ(INDEXClear(index), 1);
    EXPECT_EQ(LISTGetIndex(values, "1002"), -1);  // the group's list went with the clear
    EXPECT_EQ(INDEXGetPageIndex(index, "Account", "1001", 0), 0);
    EXPECT_EQ(DeleteIndex(index), 1);
    EXPECT_EQ(INDEXAddGroup(index, "x"), -1);
}

TEST(StringMapper, KeepsAHandlePerMapper) {
    EXPECT_EQ(SMapperGetDllHandle(5), 0);
    EXPECT_EQ(SMapperSetDllHandle(5, 42), 0);
    EXPECT_EQ(SMapperSetDllHandle(5, 43), 42);
    EXPECT_EQ(SMapperGetDllHandle(5), 43);
    EXPECT_EQ(SMapperGetDllHandle(6), 0);
}
