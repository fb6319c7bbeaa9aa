// The folder list (sorted without regard to case) and the group list of a session.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client_test_support.h"

namespace {

using clienttest::ClientTest;

ClientFolderRow Row(uint32_t number, const char* name, uint32_t flags = 0) {
    ClientFolderRow row;
    row.number = number;
    row.name = name;
    row.description = std::string("about ") + name;
    row.flags = flags;
    return row;
}

std::vector<uint32_t> Numbers(const ClientSession* s) {
    std::vector<uint32_t> numbers;
    for (const auto& entry : s->folders) numbers.push_back(entry->row.number);
    return numbers;
}

class ListsTest : public ClientTest {};

TEST_F(ListsTest, FoldersSortWithoutCaseAndKeepArrivalOrderOfEqualNames) {
    struct Case {
        const char* name;
        std::vector<const char*> arrival;  // folder n is arrival[n-1]
        std::vector<uint32_t> expected;
    };
    const Case cases[] = {
        {"mixed case", {"beta", "Alpha", "alpha2", "ALPHA"}, {2, 4, 3, 1}},
        {"already sorted", {"a", "b", "c"}, {1, 2, 3}},
        {"reversed", {"c", "b", "a"}, {3, 2, 1}},
        {"equal names", {"x", "X", "x", "a"}, {4, 1, 2, 3}},
        {"prefix first", {"Loans2", "loans", "LOANS1"}, {2, 3, 1}},
        {"none", {}, {}},
    };
    for (const Case& c : cases) {
        server.folders.clear();
        for (size_t i = 0; i < c.arrival.size(); ++i)
            server.folders.push_back(Row(uint32_t(i + 1), c.arrival[i]));
        ClientSession* s = LogOn();
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(Folder_GetCount(s), int(c.arrival.size())) << c.name;
        EXPECT_EQ(Numbers(s), c.expected) << c.name;
        for (const auto& entry : s->folders) EXPECT_EQ(entry->session, s) << c.name;
        Session_Logoff(s, 1);
    }
}

TEST_F(ListsTest, FolderListLoadsOnceWhenOpenAndSwitchedOn) {
    server.folders = {Row(1, "Loans"), Row(2, "Bills")};
    ClientSession* s = LogOn();
    ASSERT_NE(s, nullptr);
    ClientStatus st;
    Session_LoadFolderList(&st, s);
    EXPECT_EQ(st.severity, 0);
    EXPECT_EQ(Folder_GetCount(s), 2);
    EXPECT_EQ(server.folderLoads, 1);

    ClientSession* closed = LogOn();
    ASSERT_NE(closed, nullptr);
    closed->open = 0;
    Session_LoadFolderList(&st, closed);
    EXPECT_EQ(st.severity, 0);
    EXPECT_EQ(server.folderLoads, 1);
    EXPECT_EQ(Folder_GetCount(nullptr), 0);

    // Switched off at start-up: no list at all.
    Client_Term();
    ClientInitOptions options = clienttest::GatewayOptions();
    options.folderListSwitch = 0;
    ASSERT_TRUE(Client_Init(&options));
    ClientSession* off = LogOn();
    ASSERT_NE(off, nullptr);
    EXPECT_EQ(Folder_GetCount(off), 0);
    EXPECT_EQ(server.folderLoads, 1);
}

TEST_F(ListsTest, AFailedFolderListKeepsNothingAndIsTriedAgain) {
    server.folders = {Row(1, "Loans"), Row(2, "Bills")};
    server.folderResult = 6;
    ClientSession* s = LogOn();
    ASSERT_NE(s, nullptr);
    ClientStatus st;
    Session_LoadFolderList(&st, s);
    EXPECT_EQ(st.severity, 9);
    EXPECT_EQ(st.code, 10);
    EXPECT_TRUE(s->folders.empty());
    server.folderResult = 0;
    EXPECT_EQ(Folder_GetCount(s), 2);
    EXPECT_EQ(server.folderLoads, 2);
}

TEST_F(ListsTest, ListNamesInListOrder) {
    server.folders = {Row(1, "b", CLIENT_FOLDER_SPECIAL), Row(2, "a"), Row(3, "c", 0x1)};
    ClientSession* s = LogOn();
    ASSERT_NE(s, nullptr);
    ClientFolderName names[3];
    ASSERT_EQ(Folder_ListNames(s, names, 3), 0);  // nothing loaded yet
    ASSERT_EQ(Folder_GetCount(s), 3);
    ASSERT_EQ(Folder_ListNames(s, names, 3), 3);
    EXPECT_STREQ(names[0].name, "a");
    EXPECT_STREQ(names[0].description, "about a");
    EXPECT_EQ(names[0].special, 0);
    EXPECT_STREQ(names[1].name, "b");
    EXPECT_EQ(names[1].special, 1);
    EXPECT_EQ(names[2].special, 0);
    ClientFolderName two[2];
    EXPECT_EQ(Folder_ListNames(s, two, 2), 2);
    EXPECT_EQ(Folder_ListNames(s, nullptr, 3), 0);
}

TEST_F(ListsTest, GroupsLoadOnceByUserNumber) {
    server.groups = {
        {10, 1, "Admins", "Administrators"}, {11, 1, "Clerks", "Clerks"}, {12, 2, "admins", "Lower case"}};
    ClientSession* s = LogOn();
    ASSERT_NE(s, nullptr);
    ClientStatus st;
    int count = -1;
    Session_GetGroupCount(&st, s, &count);
    EXPECT_EQ(st.severity, 0);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(server.lastGroupKey, "7");
    Session_GetGroupCount(&st, s, &count);
    EXPECT_EQ(server.groupLoads, 1);
    EXPECT_EQ(s->groupsLoaded, 1);

    ClientGroupName pairs[3];
    ASSERT_EQ(Session_ListGroups(s, pairs, 3), 3);
    EXPECT_STREQ(pairs[0].id, "Admins");
    EXPECT_STREQ(pairs[0].description, "Administrators");
    EXPECT_STREQ(pairs[2].id, "admins");
    EXPECT_EQ(Session_ListGroups(s, pairs, 1), 1);
}

TEST_F(ListsTest, SelectGroupMatchesExactly) {
    server.groups = {{10, 1, "Admins", ""}, {11, 1, "Clerks", ""}, {12, 1, "Clerks", "second"}};
    ClientSession* s = LogOn();
    ASSERT_NE(s, nullptr);
    ClientStatus st;
    Session_LoadGroupList(&st, s);
    struct Case {
        const char* id;
        int current;
    };
    const Case cases[] = {{"Clerks", 1}, {"Admins", 0}, {"admins", -1},
                          {"Admin", -1}, {nullptr, -1}, {"", -1}};
    for (const Case& c : cases) {
        s->currentGroup = 2;
        Session_SelectGroup(s, c.id);
        EXPECT_EQ(s->currentGroup, c.current) << (c.id ? c.id : "(null)");
    }
}

TEST_F(ListsTest, AFailedGroupListIsTriedAgain) {
    server.groups = {{10, 1, "Admins", ""}};
    server.groupResult = 8;
    ClientSession* s = LogOn();
    ASSERT_NE(s, nullptr);
    ClientStatus st;
    int count = -1;
    Session_GetGroupCount(&st, s, &count);
    EXPECT_EQ(st.severity, 9);
    EXPECT_EQ(st.code, 85);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(s->groupsLoaded, 0);
    server.groupResult = 0;
    Session_GetGroupCount(&st, s, &count);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(server.groupLoads, 2);
}

}  // namespace
