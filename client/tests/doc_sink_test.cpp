// The data sink of a retrieval driven directly: page tables at the start of the data are
// read whatever the split of the blocks, the rest reaches the consumer untouched, and a
// converter failure or a consumer that says stop interrupts the session.
#include <gtest/gtest.h>

#include <string>

#include "client_test_support.h"
#include "doc_internal.h"
#include "doc_test_tables.h"

namespace {

using clienttest::SampleTables;
using clienttest::SharedIconv;
using clienttest::TableStream;

std::string received;
int answer = 1;
int Consume(OpenFolder*, const unsigned char* data, size_t length) {
    received.append(reinterpret_cast<const char*>(data), length);
    return answer;
}

class DocSinkTest : public clienttest::ClientTest {
protected:
    void SetUp() override {
        ClientTest::SetUp();
        received.clear();
        answer = 1;
        session.handle.iconv = SharedIconv();
        session.requestRunning = 1;
    }
    // A sink over the session whose first limit bytes are page tables.
    void Prepare(qelclient::DocSink* sink, uint64_t limit) {
        sink->session = &session;
        sink->consumer = Consume;
        sink->limit = limit;
        sink->convert = limit > 0;
    }
    // Feeds data in the pieces that the cut positions give.
    static void Feed(qelclient::DocSink* sink, const std::string& data, const std::vector<size_t>& cuts) {
        size_t at = 0;
        for (size_t cut : cuts) {
            EXPECT_EQ(qelclient::DocSinkData(sink, reinterpret_cast<const unsigned char*>(data.data()) + at,
                                             cut - at),
                      1);
            at = cut;
        }
        EXPECT_EQ(qelclient::DocSinkData(sink, reinterpret_cast<const unsigned char*>(data.data()) + at,
                                         data.size() - at),
                  1);
    }
    ClientSession session;
};

TEST_F(DocSinkTest, TablesSplitAtEveryByteAreReadAndThePagesPassOn) {
    const auto tables = SampleTables();
    const std::string stream = TableStream(*tables, SharedIconv());
    ASSERT_FALSE(stream.empty());
    const std::string pages = "page one\fpage two\f";
    const std::string data = stream + pages;
    for (size_t cut = 0; cut <= data.size(); ++cut) {
        received.clear();
        qelclient::DocSink sink;
        Prepare(&sink, stream.size());
        Feed(&sink, data, {cut});
        ASSERT_EQ(sink.converterResult, 0) << "cut at " << cut;
        ASSERT_EQ(CsEndDocTables(&sink.tables), CS_OK) << "cut at " << cut;
        EXPECT_EQ(received, pages) << "cut at " << cut;
        EXPECT_EQ(sink.tables->total, 5u);
        EXPECT_EQ(sink.tables->objectCount, 3u);
        EXPECT_EQ(sink.tables->pageEntryCount, 4u);
        EXPECT_EQ(sink.tables->groupNames, tables->groupNames);
    }
    // One byte at a time.
    received.clear();
    qelclient::DocSink sink;
    Prepare(&sink, stream.size());
    std::vector<size_t> cuts;
    for (size_t i = 1; i < data.size(); ++i) cuts.push_back(i);
    Feed(&sink, data, cuts);
    ASSERT_EQ(CsEndDocTables(&sink.tables), CS_OK);
    EXPECT_EQ(received, pages);
    EXPECT_EQ(server.interrupts, 0);
}

TEST_F(DocSinkTest, WithoutTablesEveryByteGoesToTheConsumer) {
    qelclient::DocSink sink;
    Prepare(&sink, 0);
    Feed(&sink, "plain data", {3, 5});
    EXPECT_EQ(received, "plain data");
    EXPECT_EQ(sink.tables, nullptr);
}

TEST_F(DocSinkTest, SkippedTablesAreDroppedUnread) {
    const std::string stream = TableStream(*SampleTables(), SharedIconv());
    qelclient::DocSink sink;
    Prepare(&sink, stream.size());
    sink.skipTables = true;
    Feed(&sink, stream + "pages", {7});
    EXPECT_EQ(received, "pages");
    EXPECT_EQ(sink.tables, nullptr);
}

TEST_F(DocSinkTest, ABadTableStreamInterruptsAndKeepsThePagesBack) {
    // Pages per object 0 is refused by the reader.
    auto tables = SampleTables();
    std::string stream = TableStream(*tables, SharedIconv());
    const size_t perObject = 12;  // flags, code page, total, then pages per object
    ASSERT_EQ(stream.substr(perObject, 4), std::string("\0\0\0\2", 4));
    stream.replace(perObject, 4, std::string(4, '\0'));
    qelclient::DocSink sink;
    Prepare(&sink, stream.size());
    Feed(&sink, stream + "pages", {5});
    EXPECT_NE(sink.converterResult, 0);
    EXPECT_EQ(received, "");
    EXPECT_EQ(server.interrupts, 1);
}

TEST_F(DocSinkTest, AConsumerThatSaysStopInterrupts) {
    answer = 0;
    qelclient::DocSink sink;
    Prepare(&sink, 0);
    Feed(&sink, "abc", {1, 2});
    EXPECT_EQ(server.interrupts, 1);
    EXPECT_EQ(received, "a") << "nothing after the stop";
}

TEST_F(DocSinkTest, PageCountsMustFitAndAddUp) {
    struct Case {
        const char* name;
        uint32_t total, perObject, objectCount;
        bool usable;
    };
    const Case cases[] = {
        {"five pages in three objects", 5, 2, 3, true},
        {"one object", 3, 3, 1, true},
        {"no objects", 3, 3, 0, false},
        {"total beyond 31 bits", 0x80000000u, 1, 1, false},
        {"objects beyond 31 bits", 100, 1, 0x80000000u, false},
        {"pages per object beyond 31 bits", 10, 0x80000000u, 1, false},
        {"more pages before the last object than in all", 5, 2, 4, false},
        {"a product that overflows 32 bits", 0x7FFFFFFF, 0x10000, 0x10000, false},
    };
    for (const Case& c : cases) {
        CsDocTables t;
        t.total = c.total;
        t.perObject = c.perObject;
        t.objectCount = c.objectCount;
        EXPECT_EQ(qelclient::TablesUsable(t), c.usable) << c.name;
    }
}

TEST_F(DocSinkTest, ExitDataReachesOnlyTheRetrievalOfItsId) {
    const ClientExitData block{reinterpret_cast<const unsigned char*>("exit"), 4};
    EXPECT_EQ(ExitDataCallback(5, &block), 0) << "nothing runs";
    ClientSession* listed = LogOn();
    ASSERT_NE(listed, nullptr);
    qelclient::DocSink sink;
    sink.session = listed;
    sink.consumer = Consume;
    sink.callbackId = 5;
    qelclient::SinkEnter(&sink);
    EXPECT_EQ(Client_GetCallbackWord(), 5u);
    EXPECT_EQ(ExitDataCallback(6, &block), 0) << "another id";
    EXPECT_EQ(ExitDataCallback(5, &block), 1);
    listed->cancel = 1;
    EXPECT_EQ(ExitDataCallback(5, &block), 0) << "cancelled";
    qelclient::SinkLeave(&sink);
    EXPECT_EQ(ExitDataCallback(5, &block), 0) << "ended";
    EXPECT_EQ(received, "exit");
    EXPECT_EQ(Client_GetCallbackWord(), 0u);
}

}  // namespace
