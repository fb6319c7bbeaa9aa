// The line-data documents of folder Documents (the build's documents archive) as text,
// against an independent Python reading of the same data files with the application's
// parameter text: each data file through QelWWW_LineDataToText, and each document
// through retrieve in text mode, the paged ledger's further segments through getsegment.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "document_test_support.h"
#include "documents.h"

namespace {

namespace fs = std::filesystem;
using qelwww::detail::QelWWW_LineDataToText;

[[maybe_unused]] ::testing::Environment* const kClientLayer =
    ::testing::AddGlobalTestEnvironment(new wwwtest::ClientLayer);

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct LineDocument {
    std::string number;  // the oracle's file stem
    int segments = 0;
    std::string title;
};

// The oracle runs once for the test program, into a private directory.
class OracleTexts : public ::testing::Environment {
public:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("line_text_oracle_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        const std::string command = std::string(QEL_PYTHON) + " " + LINE_TEXT_ORACLE + " " +
                                    QEL_DOCUMENTS_SOURCE + " " + dir_.string();
        ran_ = std::system(command.c_str()) == 0;
        std::istringstream lines(ReadFile(dir_ / "cases"));
        std::string line;
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            LineDocument d;
            std::string segments;
            std::getline(fields, d.number, '\t');
            std::getline(fields, segments, '\t');
            std::getline(fields, d.title);
            d.segments = std::atoi(segments.c_str());
            documents_.push_back(d);
        }
    }
    void TearDown() override { fs::remove_all(dir_); }

    static bool Ran() { return ran_; }
    static const std::vector<LineDocument>& Documents() { return documents_; }
    static std::string File(const std::string& name) { return ReadFile(dir_ / name); }

private:
    static inline fs::path dir_;
    static inline bool ran_ = false;
    static inline std::vector<LineDocument> documents_;
};

[[maybe_unused]] ::testing::Environment* const kOracle = ::testing::AddGlobalTestEnvironment(new OracleTexts);

// The options as the oracle read them from the parameter text.
void SetOptions(const std::string& text, OpenDocument& document) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "recordFormat" && !value.empty()) document.recordFormat = value[0];
        if (key == "carriageControl" && !value.empty()) document.carriageControl = value[0];
        if (key == "dataCodePage") document.dataCodePage = std::atoi(value.c_str());
        if (key == "recordDelimiter") document.recordDelimiter = value;
    }
}

TEST(LineDocumentsText, TheOracleFindsEveryLineDocument) {
    ASSERT_TRUE(OracleTexts::Ran()) << "the Python reading failed";
    std::vector<std::string> titles;
    for (const LineDocument& d : OracleTexts::Documents())
        titles.push_back(d.title + "/" + std::to_string(d.segments));
    EXPECT_EQ(titles, (std::vector<std::string>{"Quarterly stock report/1", "Branch sales summary/1",
                                                "Annual ledger/3"}));
}

TEST(LineDocumentsText, EachDataFileReadsAsTheOracleReadsIt) {
    ASSERT_TRUE(OracleTexts::Ran());
    QelWWWConfig config = wwwtest::ConfigFromIni("", 1208);
    config.codePageContext = wwwtest::CodePages();
    for (const LineDocument& d : OracleTexts::Documents()) {
        SCOPED_TRACE(d.title);
        OpenDocument document;
        SetOptions(OracleTexts::File(d.number + ".opt"), document);
        EXPECT_EQ(document.carriageControl, 'A') << "the application's parameter text says CC=ANSI";
        for (int s = 0; s < d.segments; ++s) {
            SCOPED_TRACE("segment " + std::to_string(s));
            const std::string stem = d.number + "-" + std::to_string(s);
            const std::string expected = OracleTexts::File(stem + ".txt");
            ASSERT_FALSE(expected.empty());
            std::string text;
            ASSERT_TRUE(QelWWW_LineDataToText(&config, &document, OracleTexts::File(stem + ".dat"), &text));
            EXPECT_EQ(text, expected);
        }
    }
}

// The gateway on a copy of the documents archive; ALICE reads folder Documents.
class LineDocumentsRetrieve : public wwwtest::DocumentFixture {
protected:
    std::string ArchiveSource() const override { return QEL_DOCUMENTS_ARCHIVE; }
    void SetUp() override { GatewayFixture::SetUp(); }  // no invoices to load
};

// Retrieve in text mode gives the whole document's text, every segment's in turn;
// getsegment with text output (_ascii=1) gives a further segment's line data in UTF-8, as
// the viewer reads it, and the first segment's text with theirs is the whole text too.
TEST_F(LineDocumentsRetrieve, TextModeGivesTheWholeTextAndEachSegment) {
    ASSERT_TRUE(OracleTexts::Ran());
    ASSERT_FALSE(OracleTexts::Documents().empty());
    for (const LineDocument& d : OracleTexts::Documents()) {
        SCOPED_TRACE(d.title);
        std::string title = d.title;
        for (char& c : title)
            if (c == ' ') c = '+';
        const std::string request =
            "_s=DEMO&_u=ALICE&_p=wonder1&_f=Documents&_line=ascii&_nohtml=1&Title=" + title;
        auto session = Request(request + "&_a=r");
        std::string body = session->response->GetBody();
        ASSERT_EQ(result_, 0) << body.substr(0, 400);
        EXPECT_EQ(session->response->ContentType(), "text/plain");
        ASSERT_EQ(body.rfind("[BEGIN]\n", 0), 0u) << body.substr(0, 400);
        EXPECT_EQ(body.substr(8), OracleTexts::File(d.number + ".txt"));
        std::string whole = OracleTexts::File(d.number + "-0.txt");

        OpenDocument document;
        SetOptions(OracleTexts::File(d.number + ".opt"), document);
        for (int s = 1; s < d.segments; ++s) {
            SCOPED_TRACE("segment " + std::to_string(s));
            const std::string stem = d.number + "-" + std::to_string(s);
            session = Request(request + "&_a=g&_ascii=1&_seg=" + std::to_string(s));
            body = session->response->GetBody();
            ASSERT_EQ(result_, 0) << body.substr(0, 400);
            ASSERT_EQ(body.rfind("[BEGIN]\n", 0), 0u) << body.substr(0, 400);
            EXPECT_EQ(body.substr(8), OracleTexts::File(stem + ".dat"))
                << "ASCII line data reads the same in UTF-8";
            std::string text;
            ASSERT_TRUE(QelWWW_LineDataToText(&config_, &document, body.substr(8), &text));
            whole += text;
        }
        EXPECT_EQ(whole, OracleTexts::File(d.number + ".txt"));
    }
}

}  // namespace
