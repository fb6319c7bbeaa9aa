// The handle record's owning parts: system parameters that are owned or borrowed, the
// connection freed through its own routine, and what a copied handle starts without.
#include <gtest/gtest.h>

#include <memory>

#include "qel_cshandle.h"

namespace {

struct CountedSide : CsHandleSide {
    explicit CountedSide(int* destroyed) : destroyed_(destroyed) {}
    ~CountedSide() override { ++*destroyed_; }
    int* destroyed_;
};

int g_freed = 0;
void CountFree(CsConnection*) { ++g_freed; }
CsConnection* FakeConnection() {
    static int stand_in = 0;  // never touched through the pointer
    return reinterpret_cast<CsConnection*>(&stand_in);
}

TEST(SystemParmsPtr, OwnershipIsStatedNotGuessed) {
    CsSystemParms outside;
    struct Case {
        const char* name;
        CsSystemParmsPtr (*make)(CsSystemParms* outside);
        bool set;
        bool owns;
    } cases[] = {
        {"empty", [](CsSystemParms*) { return CsSystemParmsPtr(); }, false, false},
        {"owned", [](CsSystemParms*) { return CsSystemParmsPtr::Own(std::make_unique<CsSystemParms>()); },
         true, true},
        {"owned nothing", [](CsSystemParms*) { return CsSystemParmsPtr::Own(nullptr); }, false, false},
        {"borrowed", [](CsSystemParms* p) { return CsSystemParmsPtr::Borrow(p); }, true, false},
        {"borrowed nothing", [](CsSystemParms*) { return CsSystemParmsPtr::Borrow(nullptr); }, false, false},
    };
    for (const auto& c : cases) {
        CsSystemParmsPtr ptr = c.make(&outside);
        EXPECT_EQ(bool(ptr), c.set) << c.name;
        EXPECT_EQ(ptr == nullptr, !c.set) << c.name;
        EXPECT_EQ(ptr.owns(), c.owns) << c.name;

        // A copy borrows what its source holds; a move takes ownership along.
        CsSystemParmsPtr copy(ptr);
        EXPECT_EQ(copy.get(), ptr.get()) << c.name;
        EXPECT_FALSE(copy.owns()) << c.name;
        CsSystemParms* held = ptr.get();
        CsSystemParmsPtr moved(std::move(ptr));
        EXPECT_EQ(moved.get(), held) << c.name;
        EXPECT_EQ(moved.owns(), c.owns) << c.name;
        EXPECT_EQ(ptr.get(), nullptr) << c.name;
        EXPECT_FALSE(ptr.owns()) << c.name;

        moved.reset();
        EXPECT_EQ(moved.get(), nullptr) << c.name;
        EXPECT_FALSE(moved.owns()) << c.name;
    }
}

TEST(SystemParmsPtr, ResetLetsGoOfBorrowedParameters) {
    CsSystemParms outside;
    outside.timeOut = 1800;
    CsSystemParmsPtr ptr = CsSystemParmsPtr::Borrow(&outside);
    ptr->timeOut = 900;
    ptr.reset();
    EXPECT_EQ(outside.timeOut, 900);  // still there to read (the sanitizer build checks it)
}

TEST(SystemParmsPtr, AssignmentFreesWhatWasOwned) {
    CsSystemParms outside;
    CsSystemParmsPtr ptr = CsSystemParmsPtr::Own(std::make_unique<CsSystemParms>());
    ptr = CsSystemParmsPtr::Borrow(&outside);  // the owned ones go (the leak checker sees it)
    EXPECT_EQ(ptr.get(), &outside);
    EXPECT_FALSE(ptr.owns());
}

TEST(HandleRecord, ZeroFilledAtCreation) {
    CsHandle handle{};
    EXPECT_EQ(handle.systemParms, nullptr);
    EXPECT_EQ(handle.side.get(), nullptr);
    EXPECT_EQ(handle.volume.request, nullptr);
    EXPECT_TRUE(handle.volume.label.empty());
    EXPECT_FALSE(CsIsConnected(&handle));
    EXPECT_FALSE(CsIsConnected(nullptr));
}

TEST(HandleRecord, CopyStartsWithoutConnectionSideOrVolume) {
    int destroyed = 0;
    {
        CsHandle source{};
        source.systemParms = CsSystemParmsPtr::Own(std::make_unique<CsSystemParms>());
        source.side.exchange(std::make_unique<CountedSide>(&destroyed));
        source.volume.request = [](int, const char*, const char*, const char*, int) { return 0; };
        source.volume.label = "VOL1";
        source.def.request.connection = FakeConnection();
        source.def.request.freeConnection = CountFree;
        g_freed = 0;
        {
            CsHandle copy(source);
            EXPECT_FALSE(CsIsConnected(&copy));
            EXPECT_EQ(copy.def.request.freeConnection, nullptr);
            EXPECT_EQ(copy.side.get(), nullptr);
            EXPECT_EQ(copy.volume.request, nullptr);
            EXPECT_TRUE(copy.volume.label.empty());
            EXPECT_EQ(copy.systemParms.get(), source.systemParms.get());
            EXPECT_FALSE(copy.systemParms.owns());
        }
        EXPECT_EQ(g_freed, 0) << "a copy frees nothing of the handle it was copied from";
        EXPECT_EQ(destroyed, 0);
        EXPECT_TRUE(CsIsConnected(&source));
        EXPECT_EQ(source.volume.label, "VOL1");
        EXPECT_TRUE(source.systemParms.owns());
    }
    EXPECT_EQ(g_freed, 1) << "destroying the handle frees its connection once";
    EXPECT_EQ(destroyed, 1) << "and its side";
}

TEST(HandleRecord, ResetDropsTheConnectionAndTheRunningWord) {
    CsRequestState state;
    state.connection = FakeConnection();
    state.freeConnection = CountFree;
    state.running = 1;
    g_freed = 0;
    state.Reset();
    EXPECT_EQ(g_freed, 1);
    EXPECT_EQ(state.connection, nullptr);
    EXPECT_EQ(state.running.load(), 0u);
    state.Reset();
    EXPECT_EQ(g_freed, 1) << "nothing left to free";
}

TEST(HandleRecord, SideSlotHandsBackWhatItHeld) {
    int destroyed = 0;
    CsHandleSideSlot slot;
    auto* first = new CountedSide(&destroyed);
    EXPECT_EQ(slot.exchange(std::unique_ptr<CsHandleSide>(first)), nullptr);
    EXPECT_EQ(slot.get(), first);
    std::unique_ptr<CsHandleSide> back = slot.exchange(nullptr);
    EXPECT_EQ(back.get(), first);
    EXPECT_EQ(slot.get(), nullptr);
    EXPECT_EQ(destroyed, 0);
    back.reset();
    EXPECT_EQ(destroyed, 1);
}

}  // namespace
