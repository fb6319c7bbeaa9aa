// Stores, index rows and index updates sent to a server (the loopback peer), and a store
// that the server hands on to the secondary server (a second peer).
#include <memory>
#include <string>
#include <vector>

#include "logon_test_support.h"

namespace {

using logontest::FolderPtr;
using logontest::HandleGuard;

// The data a store reads, in pieces.
struct Source {
    std::vector<std::string> pieces;
    size_t next = 0;
    std::string All() const {
        std::string all;
        for (const std::string& p : pieces) all += p;
        return all;
    }
    static int Read(void* context, const char** data, uint32_t* length) {
        auto* source = static_cast<Source*>(context);
        if (source->next >= source->pieces.size()) return 6;  // read past the end
        const std::string& piece = source->pieces[source->next];
        *data = piece.data();
        *length = static_cast<uint32_t>(piece.size());
        return ++source->next < source->pieces.size() ? 1 : 0;
    }
};

// Pieces of bytes that do not compress, so that they travel as they are.
std::vector<std::string> Noise(size_t count, size_t size) {
    std::vector<std::string> pieces;
    uint32_t x = 2463534242u;
    for (size_t i = 0; i < count; ++i) {
        std::string piece(size, '\0');
        for (char& c : piece) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            c = static_cast<char>(x);
        }
        pieces.push_back(piece);
    }
    return pieces;
}

// A row of group INV (customer 'S', billed 'I'), its object compressed ('O').
struct Row : logontest::PeerRow {
    Row(const char* customer, int32_t billed, const char* object) : PeerRow(customer, billed, object, 'O') {}
};

class RemoteStore : public ::testing::Test {
protected:
    explicit RemoteStore(const char* script = "store.json") : first_(qel_peer::Script(script)) {}
    void LogOn(CsHandle* handle, const qel_peer::PeerProcess& peer) {
        ASSERT_NE(peer.port(), 0);
        logontest::MakePeerHandle(handle, peer);
        CsUserRecord record{};
        ASSERT_EQ(CsLogon(handle, "ALICE", "SECRET1", &record), CS_OK);
    }
    void SetUp() override {
        LogOn(&handle_, first_);
        CsXdrFolder* raw = nullptr;
        ASSERT_EQ(CsOpenFolderGroups(&handle_, 1, nullptr, &raw), CS_OK);
        folder_.reset(raw);
        ASSERT_EQ(folder_->groupCount, 1u);
        group_ = &folder_->groups[0];
        handle_.callbackContext = &source_;
    }
    void TearDown() override { EXPECT_EQ(CsLogoff(&handle_), CS_OK); }

    // The logged events of a kind, as their JSON lines.
    static std::vector<std::string> Events(const qel_peer::PeerProcess& peer, const char* kind) {
        return peer.Events(kind);
    }
    static std::string Value(const std::string& line, const char* key) {
        return qel_peer::JsonValue(line, key);
    }

    qel_peer::PeerProcess first_;
    CsHandle handle_{};
    HandleGuard guard_{&handle_};
    FolderPtr folder_;
    const CsXdrApplGroup* group_ = nullptr;
    Source source_;
};

TEST_F(RemoteStore, StoreSendsTheDataInMessagesAndTakesTheServersReference) {
    source_.pieces = Noise(5, 50000);
    Row row("ACME", 19800, "2FAA");
    CsStorageNode primary;
    primary.number = 3;
    std::snprintf(primary.name, sizeof primary.name, "home");
    ASSERT_EQ(CsStoreDocument(&handle_, group_, &primary, nullptr, row.hit(), row.object(), 41, 42, 1, 2,
                              &Source::Read),
              CS_OK)
        << handle_.serverMessage;
    EXPECT_EQ(source_.next, source_.pieces.size());
    EXPECT_EQ(row.object()->compressedLength, source_.All().size()) << "the server's answer";
    EXPECT_EQ(row.object()->location, 2);
    EXPECT_STREQ(row.object()->name, "2FAA") << "the caller's own name stays";
    const std::vector<std::string> stores = Events(first_, "store");
    ASSERT_EQ(stores.size(), 1u);
    EXPECT_EQ(Value(stores[0], "code"), "96");
    EXPECT_EQ(Value(stores[0], "stored"), "\"2FAA\"");
    EXPECT_EQ(Value(stores[0], "bytes"), std::to_string(source_.All().size()));
    EXPECT_EQ(Value(stores[0], "value"), "41");
    EXPECT_EQ(Value(stores[0], "word"), "42");
    EXPECT_EQ(Value(stores[0], "flag1"), "1");
    EXPECT_EQ(Value(stores[0], "flag2"), "2");
    EXPECT_GT(std::stoi(Value(stores[0], "messages")), 2) << "the data went in several messages";
    EXPECT_TRUE(Events(first_, "add_index_row").empty()) << "the server indexes the block itself";
    // The peer indexed the block: an update finds the row.
    Row changed("ACME LTD", 19801, "2FAA");
    EXPECT_EQ(CsUpdateDocIndex(&handle_, group_, row.hit(), changed.hit()), CS_OK);
}

TEST_F(RemoteStore, EachIndexRowIsOneRequestAndUpdatesFindTheirRow) {
    Row one("ONE", 19700, "3FAA");
    Row two("TWO", 19710, "3FAA");
    const CsXdrHitRow rows[] = {*one.hit(), *two.hit()};
    CsXdrSegment segment{};
    uint32_t word = 9;
    ASSERT_EQ(CsAddIndexRow(&handle_, group_, rows, nullptr, &segment, &word), CS_OK);
    const std::vector<std::string> added = Events(first_, "add_index_row");
    ASSERT_EQ(added.size(), 2u);
    EXPECT_EQ(Value(added[0], "word"), "9");
    EXPECT_STREQ(segment.name, "INVP1");
    EXPECT_EQ(segment.rows, 2);
    EXPECT_EQ(word, 9u);

    struct Case {
        const char* name;
        Row* old;
        int rc;
    };
    Row missing("NOBODY", 1, "3FAA");
    Row renamed("THREE", 19720, "3FAA");
    const Case cases[] = {
        {"a row of the group", &two, CS_OK},
        {"the row again, no longer there", &two, CS_NOT_FOUND},
        {"a row never added", &missing, CS_NOT_FOUND},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CsUpdateDocIndex(&handle_, group_, c.old->hit(), renamed.hit()), c.rc) << c.name;
    EXPECT_EQ(Events(first_, "update_index").size(), 3u);
}

// Both peers refuse stores (96) as objects of the secondary server.
class SecondaryStore : public RemoteStore {
protected:
    SecondaryStore() : RemoteStore("store_secondary.json") {}
    void SetUp() override {
        RemoteStore::SetUp();
        LogOn(&second_, secondPeer_);
        ownLogon_ = second_.logon;
        handle_.secondary = &second_;
    }
    void TearDown() override {
        second_.logon = ownLogon_;  // the store lent it the caller's
        EXPECT_EQ(CsLogoff(&second_), CS_OK);
        RemoteStore::TearDown();
    }

    qel_peer::PeerProcess secondPeer_{qel_peer::Script("store_secondary.json")};
    CsHandle second_{};
    HandleGuard secondGuard_{&second_};
    CsLogonRecord* ownLogon_ = nullptr;
};

TEST_F(SecondaryStore, TheObjectGoesToTheSecondaryServerAndTheRowToTheFirst) {
    source_.pieces = Noise(3, 30000);
    Row row("ACME", 19800, "4FAA");
    CsStorageNode primary, secondary;
    primary.number = 3;
    secondary.number = 5;
    std::snprintf(secondary.name, sizeof secondary.name, "far");
    ASSERT_EQ(CsStoreDocument(&handle_, group_, &primary, &secondary, row.hit(), row.object(), 0, 0, 0, 0,
                              &Source::Read),
              CS_OK)
        << handle_.serverMessage;
    EXPECT_EQ(source_.next, source_.pieces.size()) << "the data was read once";
    const std::vector<std::string> stores = Events(first_, "store");
    ASSERT_EQ(stores.size(), 1u);
    const std::vector<std::string> info = Events(secondPeer_, "load_info");
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(Value(info[0], "group"), "5");
    const std::vector<std::string> objects = Events(secondPeer_, "store_object");
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(Value(objects[0], "object"), "\"4FAA\"");
    EXPECT_EQ(Value(objects[0], "location"), "15");
    EXPECT_EQ(Value(objects[0], "secondary"), "\"far\"");
    EXPECT_EQ(Value(objects[0], "bytes"), std::to_string(source_.All().size())) << "every byte, again";
    EXPECT_EQ(row.object()->compressedLength, source_.All().size());
    EXPECT_EQ(row.object()->location, SM_LOC_SECONDARY);
    EXPECT_EQ(row.object()->primaryNode, 3);
    EXPECT_EQ(row.object()->secondaryNode, 5);
    // The first server took no object, so it gets the index row.
    const std::vector<std::string> added = Events(first_, "add_index_row");
    ASSERT_EQ(added.size(), 1u);
    EXPECT_NE(Value(added[0], "row").find("ACME"), std::string::npos) << added[0];
    EXPECT_TRUE(Events(secondPeer_, "add_index_row").empty());
}

}  // namespace
