// The document-information block, read back by an independent Python reader
// (doc_info_reader.py) that checks every count and offset against the block.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "arc_platform.h"
#include "client_test_support.h"
#include "doc_internal.h"
#include "doc_test_tables.h"
#include "folder_fixture.h"

namespace {

using clienttest::SampleTables;
using clienttest::SharedIconv;

std::string Hex(const std::string& text) {
    std::string out;
    char two[3];
    for (unsigned char c : text) {
        std::snprintf(two, sizeof two, "%02x", c);
        out += two;
    }
    return out;
}

// What the reader makes of the block (its last line "bad block: ..." when it refuses).
std::string ReadBack(const std::vector<unsigned char>& block, size_t length) {
    const std::string path = ::testing::TempDir() + "doc_info_block.bin";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(length));
    }
    ArcOSPipe pipe;
    if (ArcOS_PipeOpen({QEL_PYTHON, DOC_INFO_READER, path}, "r", &pipe) != 0) return "no reader";
    std::string out;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe.stream) != nullptr) out += buffer;
    ArcOS_PipeClose(&pipe);
    return out;
}

class DocInfoBlockTest : public clienttest::ClientTest {
protected:
    void SetUp() override {
        ClientTest::SetUp();
        session.handle.iconv = SharedIconv();
        session.codePage = 819;
        clienttest::FolderSpec spec;
        spec.fields = {{.name = "Account", .type = 'S', .displayOrder = 1}};
        clienttest::GroupSpec group;
        group.number = 40;
        group.fields = {{.name = "ACCT", .type = 'S'}};
        group.applications = {
            {.name = "STMT", .number = 3, .dataType = 'A', .parameters = "[@_PageIdentifier_@]\nPageId=1\n"}};
        group.map = {0};
        spec.groups = {group};
        folder = clienttest::OpenTestFolder(&session, spec);
        hit.group = &folder->definition->groups[0];
        hit.groupIndex = 0;
        hit.application = &hit.group->appls[0];
        hit.row = clienttest::MakeRow(*hit.group, {"A-1"}, "7FAA");
        ClientStatus status;
        Doc_Retrieve(&status, &session, folder, &hit, &document, 1, 0, nullptr, 0);
        ASSERT_NE(document, nullptr);
    }
    void TearDown() override {
        session.documents.clear();
        ClientTest::TearDown();
    }
    // Gives the document the tables with the counts they imply.
    void UseTables(clienttest::TablesPtr tables) {
        document->segmentCount = static_cast<int32_t>(tables->objectCount);
        document->pagesPerSegment = static_cast<int32_t>(tables->perObject);
        document->pagesInLastSegment =
            static_cast<int32_t>(tables->total - (tables->objectCount - 1) * tables->perObject);
        document->pageTables = qelclient::ShareTables(tables.release());
    }
    ClientSession session;
    OpenFolder* folder = nullptr;
    SearchHit hit;
    OpenDocument* document = nullptr;
};

TEST_F(DocInfoBlockTest, NamesGroupsAndTextsReadBack) {
    UseTables(SampleTables());
    const std::string url = "/cgi-bin/qelwww?_f=Statements&_seg=";
    size_t length = 0;
    const std::vector<unsigned char> block = Doc_BuildAppletInfo(document, url.c_str(), "", &length);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(block.size() % 4096, 0u) << "the buffer grows in steps of 4096";
    const std::string expected =
        "total 5 names 1 groups 2 segments 3 2 1\n"
        "url " +
        Hex(url) +
        "\n"
        "form ''\n"
        "page 1 " +
        Hex("Cover") +
        "\n"
        "page 2 " +
        Hex("R\xe9sum\xe9") +
        "\n"
        "page 3 ''\n"
        "page 4 ''\n"
        "page 5 " +
        Hex("Last") +
        "\n"
        "group " +
        Hex("Account") +
        " 2\n"
        "value 1 1 " +
        Hex("A-1") +
        "\n"
        "value 2 5 " +
        Hex("A-2") +
        "\n"
        "group " +
        Hex("Date") +
        " 1\n"
        "value 1 4 " +
        Hex("2024") + "\n";
    EXPECT_EQ(ReadBack(block, length), expected) << "kind 30 is written as 1";
}

TEST_F(DocInfoBlockTest, WithoutANameOnPageOneNoNamesAreWritten) {
    auto tables = SampleTables();
    tables->blocks[0][0].name.clear();
    UseTables(std::move(tables));
    size_t length = 0;
    const std::vector<unsigned char> block = Doc_BuildAppletInfo(document, nullptr, nullptr, &length);
    const std::string out = ReadBack(block, length);
    EXPECT_EQ(out.substr(0, out.find('\n')), "total 5 names 0 groups 2 segments 3 2 1");
    EXPECT_EQ(out.find("page "), std::string::npos);
    EXPECT_NE(out.find("url -\nform -\n"), std::string::npos);
}

TEST_F(DocInfoBlockTest, ALargeBlockGrowsInSteps) {
    auto tables = SampleTables();
    tables->total = 3000;
    tables->perObject = 1000;
    tables->objectCount = 3;
    for (uint32_t page = 6; page <= 3000; ++page)
        tables->AddPageEntry() = CsDocPageEntry{page, "P" + std::to_string(page), {}};
    UseTables(std::move(tables));
    const std::string url(5000, 'u');
    size_t length = 0;
    const std::vector<unsigned char> block = Doc_BuildAppletInfo(document, url.c_str(), "a=b", &length);
    EXPECT_GT(length, 8192u);
    EXPECT_EQ(block.size() % 4096, 0u);
    EXPECT_GT(block.size(), length);
    const std::string out = ReadBack(block, length);
    EXPECT_EQ(out.substr(0, out.find('\n')), "total 3000 names 1 groups 2 segments 3 1000 1000");
    EXPECT_NE(out.find("page 3000 " + Hex("P3000") + "\n"), std::string::npos);
    EXPECT_NE(out.find("form " + Hex("a=b") + "\n"), std::string::npos);
    EXPECT_EQ(out.find("bad block"), std::string::npos) << out.substr(out.rfind('\n', out.size() - 2));
}

TEST_F(DocInfoBlockTest, TheReaderRefusesABlockThatLies) {
    UseTables(SampleTables());
    size_t length = 0;
    std::vector<unsigned char> block = Doc_BuildAppletInfo(document, "u", nullptr, &length);
    ASSERT_EQ(ReadBack(block, length).find("bad block"), std::string::npos);
    block[24] = 9;  // the URL's length now runs past its zero byte
    EXPECT_NE(ReadBack(block, length).find("bad block"), std::string::npos);
}

}  // namespace
