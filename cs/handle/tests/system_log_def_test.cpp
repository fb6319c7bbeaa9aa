// The System Log definition: loading, freeing while in use, private copies.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "qel_cshandle.h"

namespace {

class SystemLogDefTest : public ::testing::Test {
protected:
    void TearDown() override {
        CsFreeSystemLogDef();
        CsSetIssueHooks({});
    }
};

TEST_F(SystemLogDefTest, LoadNeedsAUserIdField) {
    std::vector<CsSystemLogField> none = {{'S', 'U'}, {'I', 0}};
    std::vector<CsSystemLogField> withT = {{'S', 0}, {'T', 'L'}, {'T', 'U'}};
    EXPECT_EQ(CsLoadSystemLogDef(nullptr, nullptr, nullptr), 6);  // nothing loaded yet
    EXPECT_EQ(CsLoadSystemLogDef(std::make_shared<CsStorageSet>(), nullptr, &none), 6);
    EXPECT_EQ(CsGetSystemLogDef(), nullptr);
    EXPECT_EQ(CsLoadSystemLogDef(std::make_shared<CsStorageSet>(), nullptr, &withT), 0);
    ASSERT_NE(CsGetSystemLogDef(), nullptr);
    EXPECT_EQ(CsGetSystemLogDef()->caseLetter, 'L');              // the first 'T' field
    EXPECT_EQ(CsLoadSystemLogDef(nullptr, nullptr, nullptr), 0);  // no-op once loaded
    EXPECT_EQ(CsGetSystemLogDef()->caseLetter, 'L');
}

TEST_F(SystemLogDefTest, FreeLeavesUsersTheirDefinition) {
    auto set = std::make_shared<CsStorageSet>();
    set->type = 'L';
    std::vector<CsSystemLogField> fields = {{'T', 'U'}};
    ASSERT_EQ(CsLoadSystemLogDef(set, nullptr, &fields), 0);
    set.reset();
    auto inUse = CsGetSystemLogDef();
    EXPECT_EQ(CsFreeSystemLogDef(), 0);
    EXPECT_EQ(CsGetSystemLogDef(), nullptr);
    ASSERT_TRUE(inUse->folder);
    EXPECT_EQ(inUse->folder->type, 'L');  // still whole (the sanitizer build checks it)
    ASSERT_EQ(CsLoadSystemLogDef(std::make_shared<CsStorageSet>(), nullptr, &fields), 0);
    EXPECT_EQ(inUse->folder->type, 'L');
}

TEST_F(SystemLogDefTest, LoadThroughTheFolderLayer) {
    struct Case {
        const char* name;
        int lookupResult;
        int rc;
        bool loaded;
    } cases[] = {
        {"no System Log group", 11, 0, false},
        {"lookup fails", 9, 9, false},
        {"found", 0, 0, true},
    };
    for (const auto& c : cases) {
        CsFreeSystemLogDef();
        int calls = 0;
        CsLayerHooks hooks;
        hooks.getSystemLogFolder = [&](CsHandle*, std::shared_ptr<CsStorageSet>* folder,
                                       std::shared_ptr<const void>*, std::vector<CsSystemLogField>* fields) {
            ++calls;
            *folder = std::make_shared<CsStorageSet>();
            *fields = {{'T', 'U'}};
            return c.lookupResult;
        };
        CsSetIssueHooks(hooks);
        CsHandle handle;
        EXPECT_EQ(CsLoadSystemLogDef(&handle), c.rc) << c.name;
        EXPECT_EQ(CsGetSystemLogDef() != nullptr, c.loaded) << c.name;
        EXPECT_EQ(CsLoadSystemLogDef(&handle), c.rc) << c.name;
        EXPECT_EQ(calls, c.loaded ? 1 : 2) << c.name;  // once loaded, never asked again
    }
    CsSetIssueHooks({});
    CsFreeSystemLogDef();
    CsHandle handle;
    EXPECT_EQ(CsLoadSystemLogDef(&handle), 0);  // no folder layer: no System Log
}

TEST_F(SystemLogDefTest, CopyDuplicatesEachDistinctHandleOnce) {
    EXPECT_EQ(CsCopySystemLogDef(), nullptr);

    auto set = std::make_shared<CsStorageSet>();
    set->type = 'F';
    auto shared = std::make_unique<CsHandle>();
    CsSetText(shared->serverName, sizeof shared->serverName, "NODESRV");
    shared->def.request.running = 1;
    CsHandle caller;  // the caller's own handle, serving the folder, not owned by the set
    caller.def.flags1 = CS_F1_SERVES_FOLDER | CS_F1_MESSAGES;
    set->nodes.resize(4);
    set->nodes[0].handle = shared.get();
    set->nodes[1].handle = shared.get();
    set->nodes[2].handle = &caller;
    set->nodes[3].number = 7;  // local: no handle
    set->handles.push_back(std::move(shared));
    std::vector<CsSystemLogField> fields = {{'T', 0}};
    ASSERT_EQ(CsLoadSystemLogDef(set, nullptr, &fields), 0);

    auto copy = CsCopySystemLogDef();
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->type, 'F');
    ASSERT_EQ(copy->nodes.size(), 4u);
    EXPECT_EQ(copy->handles.size(), 2u);
    EXPECT_EQ(copy->nodes[0].handle, copy->nodes[1].handle);
    EXPECT_NE(copy->nodes[0].handle, set->nodes[0].handle);
    EXPECT_STREQ(copy->nodes[0].handle->serverName, "NODESRV");
    EXPECT_EQ(copy->nodes[0].handle->def.request.running, 0u);  // a copy starts unconnected
    EXPECT_NE(copy->nodes[2].handle, &caller);
    EXPECT_EQ(copy->nodes[2].handle->def.flags1, CS_F1_MESSAGES);
    EXPECT_EQ(caller.def.flags1, CS_F1_SERVES_FOLDER | CS_F1_MESSAGES);
    EXPECT_EQ(copy->nodes[3].handle, nullptr);
    EXPECT_EQ(copy->nodes[3].number, 7);
}

}  // namespace
