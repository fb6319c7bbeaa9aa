// Line-data documents written by Python (EBCDIC through its codecs and glibc iconv for
// mixed Japanese EBCDIC) read back page by page and line by line against the texts they
// were made from: fixed, variable and delimited records with ANSI, machine and no
// carriage control, converted to UTF-8 through the code-page service.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ldr_test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace ldrtest;

ArcIconvContext* Iconv() {
    static ArcIconvContext* context = [] {
        ArcIconvContext* c = nullptr;
        return ArcICONV_Startup(&c, QEL_STAGE_DIR "/locale") == ARC_ICONV_OK ? c : nullptr;
    }();
    return context;
}

// One Python run writes every case into a private directory.
class PythonCases : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = fs::temp_directory_path() / ("ldr_cases_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        const std::string command = std::string(QEL_PYTHON) + " " + LDR_CASES + " " + dir_.string();
        generated_ = std::system(command.c_str()) == 0;
    }
    static void TearDownTestSuite() { fs::remove_all(dir_); }

    static std::string Read(const std::string& name) {
        std::ifstream in(dir_ / name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    static inline fs::path dir_;
    static inline bool generated_ = false;
};

ArcLdrOptions ReadOptions(const std::string& text) {
    ArcLdrOptions o;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "recordFormat") o.recordFormat = value[0];
        if (key == "recordLength") o.recordLength = std::stoi(value);
        if (key == "recordDelimiter") o.recordDelimiter = value;
        if (key == "carriageControl") o.carriageControl = value[0];
        if (key == "trc") o.trc = value == "1";
        if (key == "dataCodePage") o.dataCodePage = std::stoi(value);
        if (key == "linesPerPage") o.linesPerPage = std::stoi(value);
        if (key == "shiftKind") o.shiftKind = value[0];
        if (key == "overstrike") o.overstrike = value[0];
    }
    return o;
}

std::vector<std::vector<std::string>> ReadExpected(const std::string& text) {
    std::vector<std::vector<std::string>> pages;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line == "=== page")
            pages.emplace_back();
        else if (!pages.empty() && !line.empty() && line[0] == '|')
            pages.back().push_back(line.substr(1));
    }
    return pages;
}

TEST_F(PythonCases, EveryCaseReadsAsItsText) {
    ASSERT_TRUE(generated_) << "the case generator failed";
    ASSERT_NE(Iconv(), nullptr);
    std::istringstream names(Read("cases"));
    std::string name;
    int cases = 0;
    while (std::getline(names, name)) {
        if (name.empty()) continue;
        SCOPED_TRACE(name);
        ++cases;
        MemoryStream stream;
        const std::string data = Read(name + ".dat");
        stream.bytes.assign(data.begin(), data.end());
        ArcLdrOptions options = ReadOptions(Read(name + ".opt"));
        options.user = &stream;
        const auto expected = ReadExpected(Read(name + ".txt"));

        Harness h;
        ASSERT_TRUE(h.Make(1208, true, Iconv()));
        ArcLdrDocument* document = ArcLDR_OpenDocument(h.reader.get(), options, 0);
        ASSERT_NE(document, nullptr);
        EXPECT_TRUE(ArcLDR_GetInfo(document).converted);
        EXPECT_TRUE(h.errors.empty());
        EXPECT_EQ(ArcLDR_GetInfo(document).pageCount, static_cast<int32_t>(expected.size()));
        const auto pages = AllPages(document);
        ASSERT_EQ(pages.size(), expected.size());
        for (size_t p = 0; p < pages.size(); ++p) {
            ASSERT_EQ(pages[p].size(), expected[p].size()) << "page " << p;
            for (size_t l = 0; l < pages[p].size(); ++l)
                EXPECT_EQ(pages[p][l], expected[p][l]) << "page " << p << " line " << l;
        }
        // Pages read the same out of order: the last, then the first again.
        if (pages.size() > 1) {
            ASSERT_TRUE(ArcLDR_GotoPage(document, static_cast<int32_t>(pages.size()) - 1));
            EXPECT_EQ(PageLines(document), expected.back());
            ASSERT_TRUE(ArcLDR_GotoPage(document, 0));
            EXPECT_EQ(PageLines(document), expected.front());
        }
        // The read blocks never exceed a record's bytes.
        EXPECT_LE(stream.largestRead, ARC_LDR_MAX_RECORD + 16);
    }
    EXPECT_GE(cases, 10);
}

}  // namespace
