// The document cache steps on a document of the sample archive: saved open documents
// read back (with and without page tables), damaged files refused, document and resource
// files by their names, and nothing written or found while CacheDocs is off.
#include <filesystem>

#include "documents.h"
#include "gateway_fixture.h"
#include "invoice_rows.h"

namespace {

using namespace qelwww::detail;
using wwwtest::GatewayFixture;

[[maybe_unused]] ::testing::Environment* const kClientLayer =
    ::testing::AddGlobalTestEnvironment(new wwwtest::ClientLayer);

const std::string kBob = "_s=DEMO&_u=BOB&_p=builder2&_f=Invoices&";

int Discard(OpenFolder*, const unsigned char*, size_t) { return 1; }

class DocumentCache : public GatewayFixture {
protected:
    void SetUp() override {
        GatewayFixture::SetUp();
        ASSERT_EQ(wwwtest::LoadInvoices(archive_, wwwtest::SampleInvoices()), CS_OK);
        config_.cacheDocs = 1;
        // The docid of A0002 as the hit list links it, decoded once as a request would.
        const std::string body = Body(kBob + "_a=d&_nohtml=1&Invoice+number=A0002");
        const size_t at = body.find("_d=");
        ASSERT_NE(at, std::string::npos) << body;
        docId_ = body.substr(at + 3, body.find('^', at) - at - 3);
        QelWWW_PercentDecode(&docId_);
        key_ = docId_.substr(0, docId_.find('\x01'));

        session_ = wwwtest::NewSession(&config_);
        ASSERT_EQ(QelWWW_InitSession(&config_, session_.get(), (kBob + "_a=s").c_str(), "/cgi-bin/qelwww",
                                     "Mozilla/5.0", nullptr),
                  0)
            << session_->response->GetBody();
        ASSERT_EQ(QelWWW_Logon(&config_, session_.get()), 0);
        ASSERT_EQ(QelWWW_OpenFolder(&config_, session_.get(), &folder_), 0);
        hit_ = Hit_ParseDocId(session_->client, folder_, docId_, true);
        ASSERT_NE(hit_, nullptr);
    }
    void TearDown() override {
        if (session_ && session_->client != nullptr) {
            Folder_Close(session_->client, folder_, 1);
            Session_Logoff(session_->client, 0);
            session_->client = nullptr;
        }
        session_.reset();
        GatewayFixture::TearDown();
    }

    OpenDocument* Open() {
        ClientStatus status;
        OpenDocument* document = nullptr;
        // The record alone: the sample rows point into a stored object the tests never fetch.
        Doc_Retrieve(&status, session_->client, folder_, hit_, &document, 1, 0, Discard, 0);
        EXPECT_EQ(status.severity, CLIENT_SEV_OK) << status.code;
        return document;
    }
    std::string Blob(const OpenDocument* document) {
        std::vector<unsigned char> blob;
        State_SaveDocument(session_->client, &blob, document);
        return std::string(blob.begin(), blob.end());
    }
    std::string File(const char* extension) const {
        const std::string path = QelWWW_DocumentFilePath(&config_, session_.get(), key_, extension);
        return std::filesystem::path(path).filename().string();
    }
    size_t CacheFiles(const std::string& extension) const {
        size_t count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(cache_))
            if (entry.path().extension() == extension) ++count;
        return count;
    }

    std::unique_ptr<QelWWWSession> session_;
    OpenFolder* folder_ = nullptr;
    SearchHit* hit_ = nullptr;
    std::string docId_;
    std::string key_;
};

TEST_F(DocumentCache, SavedDocumentsComeBackWithAndWithoutTables) {
    for (bool withData : {false, true}) {
        SCOPED_TRACE(withData ? "with page tables" : "without");
        OpenDocument* document = Open();
        ASSERT_NE(document, nullptr);
        const std::string blob = Blob(document);
        ASSERT_FALSE(blob.empty());
        ASSERT_TRUE(SaveOpenDocument(&config_, session_.get(), withData, key_, document));
        EXPECT_EQ(ReadCache(File("idoc")).compare(0, blob.size(), blob), 0);
        Doc_Close(document);
        OpenDocument* restored = RestoreOpenDocument(&config_, session_.get(), withData, key_, folder_, hit_);
        // A document without tables has none to give back: the caller retrieves it again.
        if (withData && ReadCache(File("idoc")).size() == blob.size()) {
            EXPECT_EQ(restored, nullptr);
            continue;
        }
        ASSERT_NE(restored, nullptr);
        EXPECT_EQ(Blob(restored), blob);
        Doc_Close(restored);
    }
}

TEST_F(DocumentCache, DamagedSavedDocumentsCountAsMissing) {
    OpenDocument* document = Open();
    ASSERT_NE(document, nullptr);
    ASSERT_TRUE(SaveOpenDocument(&config_, session_.get(), false, key_, document));
    Doc_Close(document);
    const std::string good = ReadCache(File("idoc"));
    struct Case {
        const char* name;
        std::string bytes;
    };
    std::string flipped = good;
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x5A);
    const Case cases[] = {
        {"cut in half", good.substr(0, good.size() / 2)},
        {"one byte changed", flipped},
        {"planted text", "not a saved document"},
        {"empty", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteCache(File("idoc"), c.bytes);
        EXPECT_EQ(RestoreOpenDocument(&config_, session_.get(), false, key_, folder_, hit_), nullptr);
        EXPECT_EQ(RestoreOpenDocument(&config_, session_.get(), true, key_, folder_, hit_), nullptr);
    }
    std::filesystem::remove(CachePath(File("idoc")));
    EXPECT_EQ(RestoreOpenDocument(&config_, session_.get(), false, key_, folder_, hit_), nullptr);
}

TEST_F(DocumentCache, DocumentFilesByOutputKind) {
    struct Case {
        const char* name;
        uint8_t ascii;
        const char* extension;
        const char* other;
    };
    const Case cases[] = {{"stored data", 0, "doc", "asc"}, {"text output", 1, "asc", "doc"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        session_->asciiOutput = c.ascii;
        const std::string data = std::string("data of ") + c.name;
        ASSERT_TRUE(CacheDocument(&config_, session_.get(), key_, hit_, data, {}));
        EXPECT_EQ(ReadCache(File(c.extension)), data);
        std::string found;
        bool dataFound = false;
        bool resourcesFound = true;
        std::string resources;
        EXPECT_TRUE(LookupCachedDocument(&config_, session_.get(), key_, hit_, &found, &dataFound, &resources,
                                         &resourcesFound));
        EXPECT_TRUE(dataFound);
        EXPECT_FALSE(resourcesFound);
        EXPECT_EQ(found, data);
    }
    // Each kind finds its own file only.
    std::filesystem::remove(CachePath(File("asc")));
    session_->asciiOutput = 1;
    std::string found;
    bool dataFound = true;
    EXPECT_FALSE(
        LookupCachedDocument(&config_, session_.get(), key_, hit_, &found, &dataFound, nullptr, nullptr));
    EXPECT_FALSE(dataFound);

    ASSERT_TRUE(CacheIndexData(&config_, session_.get(), key_, "index rows"));
    std::string index;
    EXPECT_TRUE(LookupCachedIndexData(&config_, session_.get(), key_, &index));
    EXPECT_EQ(index, "index rows");
}

TEST_F(DocumentCache, ResourceGroupsByGroupAndResourceId) {
    // The sample's hits name no resource: no .res file is written or read for them.
    ASSERT_TRUE(CacheDocument(&config_, session_.get(), key_, hit_, "doc", "res"));
    EXPECT_EQ(CacheFiles(".res"), 0u);

    // The same document naming resource 7 of its group (id 100).
    std::string withResource = docId_;
    const size_t at = withResource.find("-78-0-");
    ASSERT_NE(at, std::string::npos) << docId_;
    withResource.replace(at, 6, "-78-7-");
    SearchHit* hit = Hit_ParseDocId(session_->client, folder_, withResource, true);
    ASSERT_NE(hit, nullptr);
    ASSERT_TRUE(CacheDocument(&config_, session_.get(), key_, hit, "document bytes", "resource bytes"));
    const std::string res = QelWWW_ResourceFilePath(&config_, session_.get(), 100, 7);
    EXPECT_EQ(ReadCache(std::filesystem::path(res).filename().string()), "resource bytes");
    EXPECT_EQ(CacheFiles(".res"), 1u);

    std::string data;
    std::string resources;
    bool dataFound = false;
    bool resourcesFound = false;
    EXPECT_TRUE(LookupCachedDocument(&config_, session_.get(), key_, hit, &data, &dataFound, &resources,
                                     &resourcesFound));
    EXPECT_TRUE(resourcesFound);
    EXPECT_EQ(resources, "resource bytes");
    EXPECT_EQ(data, "document bytes");
    // Text output never reads resources.
    session_->asciiOutput = 1;
    resources.clear();
    LookupCachedDocument(&config_, session_.get(), key_, hit, &data, &dataFound, &resources, &resourcesFound);
    EXPECT_FALSE(resourcesFound);
    EXPECT_TRUE(resources.empty());
}

TEST_F(DocumentCache, NothingWrittenOrFoundWhileCacheDocsIsOff) {
    OpenDocument* document = Open();
    ASSERT_NE(document, nullptr);
    // Files made while the cache was on stay unread while it is off.
    ASSERT_TRUE(SaveOpenDocument(&config_, session_.get(), false, key_, document));
    ASSERT_TRUE(CacheDocument(&config_, session_.get(), key_, hit_, "doc", {}));
    ASSERT_TRUE(CacheIndexData(&config_, session_.get(), key_, "idx"));
    const std::string saved = ReadCache(File("idoc"));
    config_.cacheDocs = 0;
    EXPECT_FALSE(SaveOpenDocument(&config_, session_.get(), true, key_, document));
    EXPECT_EQ(ReadCache(File("idoc")), saved);
    Doc_Close(document);
    EXPECT_FALSE(CacheDocument(&config_, session_.get(), key_, hit_, "new", {}));
    EXPECT_EQ(ReadCache(File("doc")), "doc");
    EXPECT_FALSE(CacheIndexData(&config_, session_.get(), key_, "new"));
    EXPECT_EQ(ReadCache(File("idx")), "idx");
    std::string data;
    bool dataFound = true;
    EXPECT_FALSE(
        LookupCachedDocument(&config_, session_.get(), key_, hit_, &data, &dataFound, nullptr, nullptr));
    EXPECT_FALSE(dataFound);
    EXPECT_FALSE(LookupCachedIndexData(&config_, session_.get(), key_, &data));
    EXPECT_EQ(RestoreOpenDocument(&config_, session_.get(), false, key_, folder_, hit_), nullptr);
}

}  // namespace
