// Retrieval of whole documents, segments and resource groups from a copy of the sample
// archive through a local session: the consumer gets the stored bytes, a '$' document's
// page tables are read and its later segments come from the objects they name.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "archive_fixture.h"
#include "client_test_support.h"
#include "doc_test_tables.h"
#include "folder_fixture.h"
#include "peer_session.h"
#include "qel_client.h"

namespace {

using clienttest::FolderSpec;
using clienttest::GroupSpec;

std::string received;
int Consume(OpenFolder*, const unsigned char* data, size_t length) {
    received.append(reinterpret_cast<const char*>(data), length);
    return 1;
}

FolderSpec InvoiceFolder(char dataType) {
    FolderSpec spec;
    spec.fields = {{.name = "Invoice", .type = 'S', .displayOrder = 1},
                   {.name = "Customer", .type = 'S', .displayOrder = 2}};
    GroupSpec invoices;
    invoices.number = 100;
    invoices.name = "INVOICES";
    invoices.fields = {{.name = "INVNO", .type = 'S', .flags = 0x20, .textLength = 10, .textCase = 'U'},
                       {.name = "CUSTOMER", .type = 'S', .textLength = 40},
                       {.name = "INVDATE", .type = 'I', .flags = 0x04, .dateType = 'D'}};
    invoices.applications = {{.name = "INVAPP",
                              .number = 200,
                              .dataType = dataType,
                              .parameters = "[@_PageIdentifier_@]\nPageId=1\n"}};
    invoices.map = {0, 1};
    invoices.storageSet = 1;
    spec.groups = {invoices};
    return spec;
}

class DocRetrieve : public clienttest::GatewayStarted {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(Start());
        received.clear();
        ClientStatus status;
        Session_Logon(&status, "DEMO", "DEMO", "ALICE", "wonder1", 'L', 0, archive_.Dir().c_str(), &session_);
        ASSERT_NE(session_, nullptr) << status.code;
    }
    void TearDown() override {
        if (session_ != nullptr) Session_Logoff(session_, 0);
        Client_Term();
    }
    void OpenFolder(char dataType) {
        folder_ = clienttest::OpenTestFolder(session_, InvoiceFolder(dataType));
    }
    SearchHit* AddHit(const char* object, uint32_t offset, uint32_t length) {
        auto hit = std::make_unique<SearchHit>();
        hit->groupIndex = 0;
        hit->group = &folder_->definition->groups[0];
        hit->application = &hit->group->appls[0];
        hit->row = clienttest::MakeRow(*hit->group, {"N1", "ACME", "19730"}, object, offset, length);
        hit->row->object->primaryNode = 1;  // the sample's only storage node
        hits_.push_back(std::move(hit));
        return hits_.back().get();
    }
    OpenDocument* Retrieve(SearchHit* hit, ClientStatus* status) {
        OpenDocument* document = nullptr;
        received.clear();
        // The row as the test made it, so that the retrieval finds it.
        EXPECT_EQ(clienttest::IndexRow(session_, *hit->group, hit->row), CS_OK);
        Doc_Retrieve(status, session_, folder_, hit, &document, 0, 0, Consume, 0);
        return document;
    }
    std::string DocPath(const std::string& name) const { return archive_.Dir() + "data/INVAG/DOC/" + name; }
    std::string ResPath(const std::string& name) const { return archive_.Dir() + "data/INVAG/RES/" + name; }

    localtest::ArchiveCopy archive_;
    ClientSession* session_ = nullptr;
    ::OpenFolder* folder_ = nullptr;
    std::vector<SearchHitPtr> hits_;
};

TEST_F(DocRetrieve, AWholeDocumentAndItsOnlySegment) {
    OpenFolder('T');
    const std::string stored = localtest::ReadFile(DocPath("1FAA"));
    ASSERT_EQ(stored.size(), 53u);
    SearchHit* hit = AddHit("1FAA", 8, 20);
    hit->row->object->compressedLength = 53;  // the whole object is the stored block
    ClientStatus status;
    OpenDocument* document = Retrieve(hit, &status);
    ASSERT_EQ(status.severity, 0) << status.code << " " << (status.serverMessage ? status.serverMessage : "");
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(received, stored.substr(8, 20));
    EXPECT_EQ(document->segmentCount, 1);
    EXPECT_EQ(document->pagesPerSegment, 0);
    EXPECT_EQ(document->resources, 0);
    EXPECT_EQ(Hit_GetLocationCode(hit), 2) << "read from the node";

    received.clear();
    Doc_GetSegment(&status, document, 0, Consume, 0);
    EXPECT_EQ(status.severity, 0) << status.code;
    EXPECT_EQ(received, stored.substr(8, 20));
    received.clear();
    Doc_GetSegment(&status, document, 1, Consume, 0);
    EXPECT_EQ(status.severity, 9);
    EXPECT_EQ(status.code, 80);
    EXPECT_TRUE(received.empty());
}

TEST_F(DocRetrieve, AMissingObjectMakesNoDocument) {
    OpenFolder('T');
    ClientStatus status;
    EXPECT_EQ(Retrieve(AddHit("9ZZZ", 0, 10), &status), nullptr);
    EXPECT_EQ(status.severity, 9);
    EXPECT_TRUE(session_->documents.empty());
    EXPECT_EQ(session_->requestRunning, 0);
}

// A '$' document: its data starts with its page tables, its later segments are the
// objects the tables name.
TEST_F(DocRetrieve, PageTablesOfADollarDocumentAndItsSegments) {
    OpenFolder('A');
    const auto tables = clienttest::SampleTables();
    const std::string stream = clienttest::TableStream(*tables, clienttest::SharedIconv());
    const std::string pages = "page 1\fpage 2\f";
    localtest::WriteFile(DocPath("3FAA"), stream + pages);
    localtest::WriteFile(DocPath("3FAAB"), "segment 2.");
    localtest::WriteFile(DocPath("3FAAC"), "segment 3.");
    SearchHit* hit = AddHit("3FAA$", 0, 0);
    hit->row->object->compressedOffset = static_cast<uint32_t>(stream.size());
    ClientStatus status;
    OpenDocument* document = Retrieve(hit, &status);
    ASSERT_EQ(status.severity, 0) << status.code << " " << (status.serverMessage ? status.serverMessage : "");
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(received, pages);
    EXPECT_EQ(document->segmentCount, 3);
    EXPECT_EQ(document->pagesPerSegment, 2);
    EXPECT_EQ(document->pagesInLastSegment, 1);
    EXPECT_EQ(document->pageNames, 1);
    EXPECT_STREQ(Doc_GetPageName(document, 2), "R\xc3\xa9sum\xc3\xa9") << "in the session's UTF-8";
    EXPECT_STREQ(Doc_GetPageName(document, 5), "Last");

    const std::pair<int, std::string> segments[] = {{0, pages}, {1, "segment 2."}, {2, "segment 3."}};
    for (const auto& [segment, expected] : segments) {
        received.clear();
        Doc_GetSegment(&status, document, segment, Consume, 0);
        EXPECT_EQ(status.severity, 0) << "segment " << segment << " code " << status.code;
        EXPECT_EQ(received, expected) << "segment " << segment;
    }
    received.clear();
    Doc_GetSegment(&status, document, 3, Consume, 0);
    EXPECT_EQ(status.code, 80);
    EXPECT_TRUE(received.empty());

    // Tables that end before their end word fail the retrieval.
    localtest::WriteFile(DocPath("3FAA"), stream.substr(0, stream.size() - 4));
    hit->row->object->compressedOffset = static_cast<uint32_t>(stream.size() - 4);
    EXPECT_EQ(Retrieve(hit, &status), nullptr);
    EXPECT_EQ(status.severity, 9);
}

TEST_F(DocRetrieve, ResourcesOnceperDocumentAndARecordPerGroup) {
    OpenFolder('A');
    const std::string plain = "RESOURCE GROUP 1\n";
    uLongf size = compressBound(plain.size());
    std::string packed(size, '\0');
    ASSERT_EQ(compress(reinterpret_cast<Bytef*>(packed.data()), &size,
                       reinterpret_cast<const Bytef*>(plain.data()), plain.size()),
              Z_OK);
    packed.resize(size);
    SearchHit* hit = AddHit("1FAA", 0, 53);
    hit->row->object->resourceId = 1;  // the sample's storage-node row says 'O'
    ClientStatus status;
    OpenDocument* document = Retrieve(hit, &status);
    ASSERT_NE(document, nullptr) << status.code;
    EXPECT_EQ(document->resources, 1);
    EXPECT_EQ(document->resourceDescriptor[0], 100u);
    char resourceLetter = 0;
    char documentLetter = 0;
    Doc_GetConvertFlags(document, &resourceLetter, &documentLetter);
    EXPECT_EQ(resourceLetter, 'O');
    EXPECT_EQ(documentLetter, 'N');
    Hit_GetCompressionLetters(session_, hit, &resourceLetter, &documentLetter);
    EXPECT_EQ(resourceLetter, 'O');

    // Not stored yet: the request fails and leaves no record behind.
    received.clear();
    Doc_GetResources(&status, document, Consume, 0);
    EXPECT_EQ(status.severity, 9);
    EXPECT_EQ(document->resourceRecord, nullptr);
    localtest::WriteFile(ResPath("1"), packed);
    received.clear();
    Doc_GetResources(&status, document, Consume, 0);
    EXPECT_EQ(status.severity, 0) << status.code;
    EXPECT_EQ(received, plain);
    ASSERT_NE(document->resourceRecord, nullptr);
    received.clear();
    Doc_GetResources(&status, document, Consume, 0);
    EXPECT_EQ(status.severity, 0);
    EXPECT_TRUE(received.empty()) << "once per document";

    // Another document of the group finds the record.
    OpenDocument* second = Retrieve(AddHit("1FAA", 0, 53), &status);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->resources, 0) << "its hit names no resource";
    SearchHit* third = AddHit("1FAA", 0, 53);
    third->row->object->resourceId = 1;
    OpenDocument* linked = Retrieve(third, &status);
    ASSERT_NE(linked, nullptr);
    EXPECT_EQ(linked->resourceRecord, document->resourceRecord);
    received.clear();
    Doc_GetResources(&status, linked, Consume, 0);
    EXPECT_EQ(status.severity, 0) << status.code;
    EXPECT_EQ(received, plain) << "a document that finds the record still receives the bytes";

    // A resource without a storage-node row stops the retrieval before any data.
    SearchHit* unknown = AddHit("1FAA", 0, 53);
    unknown->row->object->resourceId = 2;
    received.clear();
    EXPECT_EQ(Retrieve(unknown, &status), nullptr);
    EXPECT_NE(status.severity, 0);
    EXPECT_TRUE(received.empty());
    resourceLetter = 0;
    Hit_GetCompressionLetters(session_, unknown, &resourceLetter, nullptr);
    EXPECT_EQ(resourceLetter, static_cast<char>(0xFF));
}

// ---------------------------------------------------------------- the loopback peer

int stopAfter = 0;  // pieces the stopping consumer takes before it says stop
int ConsumeThenStop(OpenFolder* folder, const unsigned char* data, size_t length) {
    Consume(folder, data, length);
    return --stopAfter > 0 ? 1 : 0;
}

class PeerDocRetrieve : public clienttest::PeerSessionTest {
protected:
    PeerDocRetrieve() : PeerSessionTest(Script()) {}
    // The basic script with a document whose segment is unavailable.
    static std::string Script() {
        std::string text = localtest::ReadFile(qel_peer::Script("basic.json"));
        const std::string at = "\"documents\": {";
        const size_t place = text.find(at);
        EXPECT_NE(place, std::string::npos);
        if (place != std::string::npos)
            text.insert(place + at.size(),
                        "\"OFFLINE\": {\"text\": \"x\", \"reply\": 10, \"message\": \"offline\"},");
        const std::string path = ::testing::TempDir() + "doc_peer_script.json";
        localtest::WriteFile(path, text);
        return path;
    }
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(PeerSessionTest::SetUp());
        FolderSpec spec;
        spec.fields = {{.name = "Customer", .type = 'S', .displayOrder = 1},
                       {.name = "Invoice", .type = 'S', .flags = 0x08, .displayOrder = 2},
                       {.name = "Note", .type = 'S', .flags = 0x08, .displayOrder = 3}};
        GroupSpec group;
        group.number = 5;
        group.name = "INV";
        group.fields = {{.name = "customer", .type = 'S', .textLength = 40},
                        {.name = "invno", .type = 'S', .textLength = 10},
                        {.name = "note", .type = 'S', .textLength = 10}};
        group.applications = {{.name = "INVAPP", .number = 1, .dataType = 'L'}};
        group.map = {0, 1, 2};
        spec.groups = {group};
        folder_ = clienttest::OpenTestFolder(session_, spec);
    }
    SearchHit* AddHit(const char* object) {
        auto hit = std::make_unique<SearchHit>();
        hit->groupIndex = 0;
        hit->group = &folder_->definition->groups[0];
        hit->application = &hit->group->appls[0];
        hit->row = clienttest::MakeRow(*hit->group, {"ACME", "N1   ", "due"}, object, 0, 0);
        hits_.push_back(std::move(hit));
        return hits_.back().get();
    }

    ::OpenFolder* folder_ = nullptr;
    std::vector<SearchHitPtr> hits_;
};

// The peer's generated document: numbered lines cut at its size.
std::string PeerDocument(size_t size) {
    std::string out;
    char line[80];
    for (int n = 0; out.size() < size; ++n) {
        std::snprintf(line, sizeof line, "%08d the archive peer sends this line of a long document\n", n);
        out += line;
    }
    return out.substr(0, size);
}

TEST_F(PeerDocRetrieve, DocumentsArriveWholeAndAStopEndsTheTransfer) {
    struct Case {
        const char* object;
        std::string expected;
    };
    const Case cases[] = {{"PLAIN", "a plain document\n"}, {"DOC00001", PeerDocument(100000)}};
    for (const Case& c : cases) {
        received.clear();
        ClientStatus status;
        OpenDocument* document = nullptr;
        Doc_Retrieve(&status, session_, folder_, AddHit(c.object), &document, 0, 0, Consume, 7);
        ASSERT_EQ(status.severity, 0) << c.object << " " << status.code;
        ASSERT_NE(document, nullptr) << c.object;
        EXPECT_TRUE(received == c.expected) << c.object << ": " << received.size() << " bytes";
        EXPECT_EQ(document->dataType, 'L');
        EXPECT_EQ(document->viewer, 'L');
        EXPECT_EQ(Client_GetCallbackWord(), 0u) << "cleared after the request";
        EXPECT_EQ(session_->requestRunning, 0);
    }
    // A consumer that says stop after the first piece: the transfer ends, no document.
    received.clear();
    stopAfter = 1;
    ClientStatus status;
    OpenDocument* document = nullptr;
    Doc_Retrieve(&status, session_, folder_, AddHit("DOC00001"), &document, 0, 0, ConsumeThenStop, 0);
    EXPECT_EQ(document, nullptr);
    EXPECT_NE(status.severity, 0);
    EXPECT_LT(received.size(), 100000u);
    EXPECT_EQ(session_->documents.size(), 2u);
}

TEST_F(PeerDocRetrieve, AnUnavailableDocumentCarriesItsTitle) {
    ClientStatus status;
    OpenDocument* document = nullptr;
    Doc_Retrieve(&status, session_, folder_, AddHit("OFFLINE"), &document, 0, 0, Consume, 0);
    EXPECT_EQ(document, nullptr);
    EXPECT_EQ(status.severity, CLIENT_SEV_WARNING);
    ASSERT_NE(status.serverMessage, nullptr);
    EXPECT_STREQ(status.serverMessage, "N1 due") << "the title fields only, trailing blanks removed";
    EXPECT_TRUE(session_->documents.empty());
}

}  // namespace
