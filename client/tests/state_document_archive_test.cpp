// An open document retrieved from a copy of the sample archive, carried to another
// session through its blob: the '$' document's page tables come back with it, and the
// restored document reads its later segments through the new session.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive_fixture.h"
#include "client_test_support.h"
#include "doc_test_tables.h"
#include "document_fixture.h"
#include "folder_fixture.h"
#include "qel_client.h"

namespace {

using Blob = std::vector<unsigned char>;

std::string received;
int Consume(OpenFolder*, const unsigned char* data, size_t length) {
    received.append(reinterpret_cast<const char*>(data), length);
    return 1;
}

clienttest::FolderSpec InvoiceFolder() {
    clienttest::FolderSpec spec;
    spec.fields = {{.name = "Invoice", .type = 'S', .displayOrder = 1},
                   {.name = "Customer", .type = 'S', .displayOrder = 2}};
    clienttest::GroupSpec invoices;
    invoices.number = 100;
    invoices.name = "INVOICES";
    invoices.fields = {{.name = "INVNO", .type = 'S', .flags = 0x20, .textLength = 10, .textCase = 'U'},
                       {.name = "CUSTOMER", .type = 'S', .textLength = 40},
                       {.name = "INVDATE", .type = 'I', .flags = 0x04, .dateType = 'D'}};
    invoices.applications = {
        {.name = "INVAPP", .number = 200, .dataType = 'A', .parameters = "[@_PageIdentifier_@]\nPageId=1\n"}};
    invoices.map = {0, 1};
    invoices.storageSet = 1;
    spec.groups = {invoices};
    return spec;
}

class StateDocumentArchive : public clienttest::GatewayStarted {
protected:
    struct Place {
        ClientSession* session = nullptr;
        OpenFolder* folder = nullptr;
        SearchHit* hit = nullptr;
    };

    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(Start());
        received.clear();
        const auto tables = clienttest::SampleTables();
        stream_ = clienttest::TableStream(*tables, clienttest::SharedIconv());
        const std::string dir = archive_.Dir() + "data/INVAG/DOC/";
        localtest::WriteFile(dir + "3FAA", stream_ + kPages);
        localtest::WriteFile(dir + "3FAAB", "segment 2.");
        localtest::WriteFile(dir + "3FAAC", "segment 3.");
    }
    void TearDown() override {
        for (ClientSession* s : sessions_) Session_Logoff(s, 0);
        Client_Term();
    }

    // A local session of the archive with the invoice folder open and the '$' hit.
    Place Open() {
        Place p;
        ClientStatus status;
        Session_Logon(&status, "DEMO", "DEMO", "ALICE", "wonder1", 'L', 0, archive_.Dir().c_str(),
                      &p.session);
        EXPECT_NE(p.session, nullptr) << status.code;
        if (p.session == nullptr) return p;
        sessions_.push_back(p.session);
        p.folder = clienttest::OpenTestFolder(p.session, InvoiceFolder());
        CsXdrHitRow* row =
            clienttest::MakeRow(p.folder->definition->groups[0], {"N1", "ACME", "19730"}, "3FAA$", 0, 0);
        row->object->primaryNode = 1;  // the sample's only storage node
        row->object->compressedOffset = static_cast<uint32_t>(stream_.size());
        EXPECT_EQ(clienttest::IndexRow(p.session, p.folder->definition->groups[0], row), CS_OK);
        p.hit = clienttest::AddTestHit(p.folder, 0, row);
        return p;
    }

    static constexpr const char* kPages = "page 1\fpage 2\f";
    localtest::ArchiveCopy archive_;
    std::vector<ClientSession*> sessions_;
    std::string stream_;
};

// Saved before and after the tables were converted to the session's code page: either
// way the restored document names its pages in the session's code page.
TEST_F(StateDocumentArchive, ARetrievedDocumentComesBackWithItsTablesAndReadsItsSegments) {
    for (bool convertedFirst : {false, true}) {
        SCOPED_TRACE(convertedFirst ? "tables converted before saving" : "tables as retrieved");
        Place a = Open();
        ASSERT_NE(a.session, nullptr);
        ClientStatus status;
        OpenDocument* retrieved = nullptr;
        Doc_Retrieve(&status, a.session, a.folder, a.hit, &retrieved, 0, 0, Consume, 0);
        ASSERT_EQ(status.severity, 0) << status.code;
        ASSERT_NE(retrieved, nullptr);
        ASSERT_NE(retrieved->pageTables, nullptr);
        if (convertedFirst) {
            ASSERT_STREQ(Doc_GetPageName(retrieved, 2), "R\xc3\xa9sum\xc3\xa9");
            ASSERT_EQ(retrieved->tablesConverted, 1);
        }
        Blob file;
        const size_t documentPart = State_SaveDocument(a.session, &file, retrieved);
        ASSERT_GT(documentPart, 0u);
        ASSERT_GT(State_SaveDocumentData(retrieved, &file), documentPart);

        Place b = Open();
        ASSERT_NE(b.session, nullptr);
        ASSERT_EQ(State_DocumentPartLength(file.data(), file.size()), documentPart);
        OpenDocument* restored = State_RestoreDocument(b.session, file.data(), documentPart, b.folder, b.hit);
        ASSERT_NE(restored, nullptr);
        ASSERT_EQ(State_RestoreDocumentData(restored, file.data() + documentPart, file.size() - documentPart),
                  CS_OK);
        Blob again;
        ASSERT_EQ(State_SaveDocument(b.session, &again, restored), documentPart);
        ASSERT_GT(State_SaveDocumentData(restored, &again), documentPart);
        EXPECT_EQ(again, file) << "saved again, the bytes are the same";

        EXPECT_EQ(restored->segmentCount, 3);
        EXPECT_EQ(restored->pagesPerSegment, 2);
        EXPECT_STREQ(Doc_GetPageName(restored, 2), "R\xc3\xa9sum\xc3\xa9") << "in the session's UTF-8";
        EXPECT_STREQ(Doc_GetPageName(restored, 5), "Last");
        const std::pair<int, std::string> segments[] = {{0, kPages}, {1, "segment 2."}, {2, "segment 3."}};
        for (const auto& [segment, expected] : segments) {
            received.clear();
            Doc_GetSegment(&status, restored, segment, Consume, 0);
            EXPECT_EQ(status.severity, 0) << "segment " << segment << " code " << status.code;
            EXPECT_EQ(received, expected) << "segment " << segment;
        }
    }
}

}  // namespace
