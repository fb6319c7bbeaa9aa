// The outside converters' calls against the tests' own stand-ins (www/tests/converters):
// AFP to HTML page by page and whole, AFP to PDF by library and by program, the e-mail
// program, their failures, the temporary files they leave (none), and retrieve through them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "converters.h"
#include "document_parts.h"
#include "document_test_support.h"
#include "qel_client.h"
#include "www_test_support.h"

namespace {

namespace fs = std::filesystem;
using qelwww::detail::Afp2Html;
using qelwww::detail::Afp2Pdf;
using qelwww::detail::RunEmailProgram;

const std::string kStandins = QEL_CONVERTER_STANDINS;
std::string Variant(const std::string& variant) { return kStandins + "/" + variant + "/"; }

// zlib data expanded by zlib itself; nullopt when it is no zlib stream.
std::optional<std::string> Inflate(const std::string& packed) {
    std::string out(1 << 16, '\0');
    uLongf size = out.size();
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(packed.data()),
                   packed.size()) != Z_OK)
        return std::nullopt;
    out.resize(size);
    return out;
}

// One "<name>=<length>\n<bytes>\n" part of a page-by-page reply.
struct Part {
    std::string name;
    std::string bytes;
};
std::vector<Part> SplitParts(const std::string& body) {
    std::vector<Part> parts;
    size_t at = 0;
    while (at < body.size()) {
        const size_t eol = body.find('\n', at);
        const size_t eq = body.find('=', at);
        if (eol == std::string::npos || eq == std::string::npos || eq > eol) {
            ADD_FAILURE() << "no part header at " << at;
            return parts;
        }
        const size_t length = std::stoul(body.substr(eq + 1, eol - eq - 1));
        if (eol + 1 + length + 1 > body.size() || body[eol + 1 + length] != '\n') {
            ADD_FAILURE() << "part " << body.substr(at, eq - at) << " is not followed by a line feed";
            return parts;
        }
        parts.push_back({body.substr(at, eq - at), body.substr(eol + 1, length)});
        at = eol + 1 + length + 1;
    }
    return parts;
}

// Our standard output, sent to a file while the object lives: a CGI program's reply.
class CapturedStdout {
public:
    explicit CapturedStdout(const std::string& path) : path_(path) {
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (file >= 0) {
            dup2(file, STDOUT_FILENO);
            close(file);
        }
    }
    ~CapturedStdout() { Restore(); }
    // What was written, our output restored first.
    std::string Text() {
        Restore();
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    void Restore() {
        if (saved_ < 0) return;
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
        saved_ = -1;
    }
    std::string path_;
    int saved_ = -1;
};

class Converters : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.Path().empty());
        cache_ = dir_.MakeDir("cache");
        std::strcpy(group_.name, "INVOICES");
        Configure("");
    }

    void Configure(const std::string& ini, const std::string& cacheDir = "") {
        config_ = wwwtest::ConfigFromIni(ini);
        config_.iniDir = dir_.Path() + "/";
        config_.installDir = dir_.MakeDir("install") + "/";  // holds no converter
        config_.cacheDir = cacheDir.empty() ? cache_ : cacheDir;
        config_.traceOn = 1;
        config_.traceFile = dir_.Path() + "/trace.log";
        std::error_code ignored;
        fs::remove(config_.traceFile, ignored);
        session_ = wwwtest::NewSession(&config_);
        session_->folder = "Invoices";
        session_->noHtml = 1;
    }

    std::string Trace() const {
        std::ifstream in(config_.traceFile, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static std::vector<std::string> FilesIn(const std::string& dir) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir))
            names.push_back(entry.path().filename().string());
        return names;
    }
    std::string Body() const { return session_->response->GetBody(); }

    wwwtest::ScratchDir dir_;
    std::string cache_;
    QelWWWConfig config_;
    std::unique_ptr<QelWWWSession> session_;
    CsXdrApplGroup group_{};
    OpenDocument document_;
};

// The options the library receives: the settings file by folder and group, then "default",
// then the built-in values; the shade letter and the orientation of the document.
TEST_F(Converters, Afp2HtmlWholeDocumentOptions) {
    struct Case {
        const char* name;
        std::string settings;
        const char* group;
        char shade;
        char orientation;
        std::string options;
    };
    const std::string layered =
        "[default]\nUseApplet=FALSE\nShadeFlag=TRUE\nScaleFactor=2.0\nImageMapFile=x.map\n"
        "[Invoices-INVOICES]\nScaleFactor=0.5\nImageMapFile=\n";
    const Case cases[] = {
        {"only UseApplet set: the built-in values", "[default]\nUseApplet=FALSE\n", "INVOICES", 'B', '0',
         "gif=1 shade=0 colour='' fonts=0 fontmap='' rotation=0 scale='1.0' imagemap=''"},
        {"every key from default",
         "[default]\nUseApplet=false\nScaleFactor=1.5\nCreateGIF=false\nShadeFlag=true\nSuppressFonts=TRUE\n"
         "FontMapFile=fonts.map\nImageMapFile=img.map\n",
         "INVOICES", 'C', '2',
         "gif=0 shade=1 colour='cyan' fonts=1 fontmap='fonts.map' rotation=90 scale='1.5' "
         "imagemap='img.map'"},
        {"the folder's section first, an empty value kept; shade letter N turns shading off", layered,
         "INVOICES", 'N', '9',
         "gif=1 shade=0 colour='' fonts=0 fontmap='' rotation=270 scale='0.5' imagemap=''"},
        {"another group: default", layered, "OTHER", 'Y', '1',
         "gif=1 shade=1 colour='yellow' fonts=0 fontmap='' rotation=180 scale='2.0' imagemap='x.map'"},
        {"a font map only with fonts suppressed; unknown codes",
         "[default]\nUseApplet=FALSE\nFontMapFile=fonts.map\n", "INVOICES", 'D', 'X',
         "gif=1 shade=0 colour='' fonts=0 fontmap='' rotation=0 scale='1.0' imagemap=''"},
        {"colour letters", "[default]\nUseApplet=FALSE\n", "INVOICES", 'L', '0',
         "gif=1 shade=0 colour='blue' fonts=0 fontmap='' rotation=0 scale='1.0' imagemap=''"},
        {"colour letters", "[default]\nUseApplet=FALSE\n", "INVOICES", 'M', '0',
         "gif=1 shade=0 colour='maroon' fonts=0 fontmap='' rotation=0 scale='1.0' imagemap=''"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dir_.Write("a2w.ini", c.settings);
        Configure("[afp2html]\nConfigFile=a2w.ini\nInstallDir=" + Variant("good") + "\n");
        std::strcpy(group_.name, c.group);
        document_.group = &group_;
        document_.view.imageColour = c.shade;
        document_.orientation = c.orientation;
        ASSERT_EQ(Afp2Html(&config_, session_.get(), &document_, "RES", "AFPDATA", 0), 0) << Body();
        EXPECT_EQ(session_->response->ContentType(), "text/html");
        // Resources first: "RES" then "AFPDATA".
        EXPECT_EQ(session_->response->Binary(),
                  "<html><body>\n<p>document bytes=10 hex=52455341465044415441"
                  " pages=1 dir=" +
                      Variant("good") + "</p>\n<p>options: " + c.options + "</p>\n</body></html>\n");
        const std::string trace = Trace();
        EXPECT_NE(trace.find("afp2html: iRotation = "), std::string::npos) << trace;
        EXPECT_NE(trace.find("afp2html: szScale = '"), std::string::npos) << trace;
    }
}

// UseApplet on: every page compressed with zlib as "QKA2HP_<page>=<length>", numbered within
// the whole document, each image under the name its page's HTML gives it.
TEST_F(Converters, Afp2HtmlPageByPageForTheApplet) {
    struct Case {
        const char* name;
        std::string settings;
        int segment;
        int perSegment;
        std::vector<int> pages;
        bool images;
    };
    const Case cases[] = {
        {"no settings file: applet and GIFs", "", 0, 0, {1, 2, 3}, true},
        {"segment 2 of 10 pages each", "", 2, 10, {21, 22, 23}, true},
        {"no GIFs: no images", "[default]\nCreateGIF=FALSE\n", 0, 0, {1, 2, 3}, false},
    };
    // Resources first: the first page holds them.
    const std::vector<std::string> hex = {"52524141414141", "4242", "43"};
    const std::vector<size_t> sizes = {7, 2, 1};
    std::set<std::string> imageNames;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dir_.Write("a2w.ini", c.settings);
        Configure("[afp2html]\nConfigFile=a2w.ini\nInstallDir=" + Variant("good") + "\n");
        document_.pagesPerSegment = c.perSegment;
        ASSERT_EQ(Afp2Html(&config_, session_.get(), &document_, "RR", "AAAAA\fBB\fC", c.segment), 0)
            << Body();
        const std::vector<Part> parts = SplitParts(session_->response->Binary());
        size_t at = 0;
        for (size_t i = 0; i < c.pages.size(); ++i) {
            const int page = c.pages[i];
            ASSERT_LT(at, parts.size());
            EXPECT_EQ(parts[at].name, "QKA2HP_" + std::to_string(page));
            const std::optional<std::string> html = Inflate(parts[at].bytes);
            ASSERT_TRUE(html.has_value()) << "page " << page << " is no zlib stream";
            std::smatch m;
            const std::regex shape("<p>page " + std::to_string(page) + " image (QKA2HI[0-9]+_" +
                                   std::to_string(page) + ") bytes=" + std::to_string(sizes[i]) +
                                   " hex=" + hex[i] + "</p>");
            ASSERT_TRUE(std::regex_match(*html, m, shape)) << *html;
            const std::string imageName = m[1];
            EXPECT_TRUE(imageNames.insert(imageName).second) << "image names are never reused: " << imageName;
            ++at;
            if (c.images && i % 2 == 0) {  // the stand-in draws every other page
                ASSERT_LT(at, parts.size());
                EXPECT_EQ(parts[at].name, imageName);
                EXPECT_EQ(parts[at].bytes, "GIF89a:" + imageName);
                ++at;
            }
        }
        EXPECT_EQ(at, parts.size()) << "nothing after the last page";
    }
}

// A missing library is message 407 with the path it was looked for at.
TEST_F(Converters, MissingLibraryNamesItsPath) {
    struct Case {
        const char* name;
        std::string installDir;  // "" no key
        std::string directory;   // where the library was looked for
    };
    dir_.MakeDir("conv");
    const Case cases[] = {
        {"absolute InstallDir", dir_.Path() + "/conv", dir_.Path() + "/conv/"},
        {"relative InstallDir: from the INI directory", "conv", dir_.Path() + "/conv/"},
        {"no InstallDir: the gateway's install directory", "", dir_.Path() + "/install/"},
    };
    for (const Case& c : cases) {
        for (const std::string section : {"afp2html", "afp2pdf"}) {
            SCOPED_TRACE(std::string(c.name) + " " + section);
            Configure(c.installDir.empty() ? "" : "[" + section + "]\nInstallDir=" + c.installDir + "\n");
            const bool html = section == "afp2html";
            const int rc = html ? Afp2Html(&config_, session_.get(), &document_, "", "AFP", 0)
                                : Afp2Pdf(&config_, session_.get(), &document_, "", "AFP");
            EXPECT_EQ(rc, 1);
            const std::string body = Body();
            EXPECT_EQ(wwwtest::ErrorId(body), wwwtest::MessageNumber(qelwww::detail::kMsgNoLibrary)) << body;
            const std::string path = c.directory + (html ? "libafp2web.so" : "libafp2pdf.so");
            EXPECT_NE(body.find(path), std::string::npos) << body;
        }
    }
}

// A library without one of its entries gives the trace and no output; so does input the
// library refuses.
TEST_F(Converters, LibraryWithoutAnEntryOrAHandleGivesNoOutput) {
    struct Case {
        const char* name;
        bool html;
        std::string variant;
        std::string data;
        std::string trace;
    };
    const Case cases[] = {
        {"afp2html without A2WXFormPage", true, "noentry", "AFP", "afp2html: failed to get function pointer"},
        {"afp2pdf without A2PXFormDoc", false, "noentry", "AFP", "afp2pdf: failed to get function pointer"},
        {"afp2html refusing its input", true, "good", "NOTAFP data", "afp2html: A2WDocStart gave no handle"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Configure("[afp2html]\nInstallDir=" + Variant(c.variant) +
                  "\n[afp2pdf]\nInstallDir=" + Variant(c.variant) + "\n");
        const int rc = c.html ? Afp2Html(&config_, session_.get(), &document_, "", c.data, 0)
                              : Afp2Pdf(&config_, session_.get(), &document_, "", c.data);
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(Body(), "");
        const std::string trace = Trace();
        EXPECT_NE(trace.find(c.trace), std::string::npos) << trace;
    }
}

TEST_F(Converters, Afp2PdfByLibrary) {
    dir_.Write(
        "a2p.ini",
        "[default]\nImageMapFile=img.map\nOptionsFile=pdf.opt\n[Invoices-INVOICES]\nOptionsFile=inv.opt\n");
    Configure("[afp2pdf]\nConfigFile=a2p.ini\nInstallDir=" + Variant("good") + "\n");
    document_.group = &group_;
    document_.orientation = '2';
    ASSERT_EQ(Afp2Pdf(&config_, session_.get(), &document_, "R", "AFP"), 0) << Body();
    EXPECT_EQ(session_->response->ContentType(), "application/pdf");
    EXPECT_EQ(session_->response->Binary(),
              "%PDF-1.4\n% library bytes=4 hex=52414650 dir=" + Variant("good") +
                  "\n% rotation=90 imagemap='img.map' options='inv.opt'\n%%EOF\n");
    EXPECT_TRUE(FilesIn(cache_).empty()) << "the library needs no files";
}

// The program gets each file name as one argument, whatever the cache directory is called;
// its files are made 0600 and are gone afterwards.
TEST_F(Converters, Afp2PdfByProgramWithAnyCacheDirectoryName) {
    const char* names[] = {"cache two", "it's \"quoted\"", "$(touch pwned)", "`touch pwned`;x", "a\\b*"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const std::string cache = dir_.MakeDir(name);
        Configure("[afp2pdf]\nUseExecutable=1\nInstallDir=" + Variant("good") + "\n", cache);
        CapturedStdout reply(dir_.Path() + "/reply");
        const int rc = Afp2Pdf(&config_, session_.get(), &document_, "RR", "AFPX");
        EXPECT_EQ(reply.Text(), "") << "the program wrote into the reply";
        ASSERT_EQ(rc, 0) << Body();
        EXPECT_EQ(session_->response->ContentType(), "application/pdf");
        const std::string pdf = session_->response->Binary();
        std::smatch m;
        ASSERT_TRUE(std::regex_match(pdf, m,
                                     std::regex("%PDF-1\\.4\n% program resources bytes=2 hex=5252\n"
                                                "% input bytes=4 hex=41465058\n% modes=600,600,600\n"
                                                "% args=([^\n]*)\n%%EOF\n")))
            << pdf;
        std::vector<std::string> args;
        std::stringstream list(m[1].str());
        for (std::string arg; std::getline(list, arg, '|');) args.push_back(arg);
        ASSERT_EQ(args.size(), 5u) << m[1];
        EXPECT_EQ(args[0], "-o");
        EXPECT_EQ(args[2], "-r");
        for (size_t i : {1u, 3u, 4u}) {
            EXPECT_EQ(args[i].rfind(cache + "/a2p", 0), 0u) << args[i];
            EXPECT_EQ(args[i].find('/', cache.size() + 1), std::string::npos) << args[i];
        }
        EXPECT_TRUE(FilesIn(cache).empty()) << FilesIn(cache).front();
        const std::string trace = Trace();
        EXPECT_NE(trace.find("afp2pdf: invoking command '" + Variant("good") + "afp2pdf -o "),
                  std::string::npos)
            << trace;
    }
    EXPECT_FALSE(fs::exists("pwned"));
    EXPECT_FALSE(fs::exists(dir_.Path() + "/pwned"));
}

// A program that fails, is killed or is missing: its result traced, the error reply written,
// and nothing left in the cache directory (its partial output neither).
TEST_F(Converters, Afp2PdfProgramFailures) {
    struct Case {
        const char* variant;
        std::string trace;
        int message;
    };
    const Case cases[] = {
        {"fails", "afp2pdf: unable to invoke exe, rc = 3, errno = 0", qelwww::detail::kMsgConvertFailed},
        {"killed", "afp2pdf: unable to invoke exe, rc = 137, errno = 0", qelwww::detail::kMsgConvertFailed},
        {"noentry", "afp2pdf: unable to invoke exe, rc = -1, errno = 2", qelwww::detail::kMsgNoProgram},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.variant);
        Configure("[afp2pdf]\nUseExecutable=yes\nInstallDir=" + Variant(c.variant) + "\n");
        EXPECT_EQ(Afp2Pdf(&config_, session_.get(), &document_, "RR", "AFP"), 1);
        const std::string body = Body();
        EXPECT_EQ(wwwtest::ErrorId(body), wwwtest::MessageNumber(c.message)) << body;
        EXPECT_EQ(body.find("%PDF"), std::string::npos) << "no partial output: " << body;
        if (c.message == qelwww::detail::kMsgNoProgram) {
            EXPECT_NE(body.find(Variant(c.variant) + "afp2pdf"), std::string::npos) << body;
        }
        const std::string trace = Trace();
        EXPECT_NE(trace.find(c.trace), std::string::npos) << trace;
        EXPECT_TRUE(FilesIn(cache_).empty()) << FilesIn(cache_).front();
    }
}

TEST_F(Converters, EmailProgram) {
    struct Case {
        const char* variant;
        bool ok;
        int error;
    };
    const Case cases[] = {
        {"good", true, 0}, {"fails", false, 3}, {"killed", false, 137}, {"noentry", false, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.variant);
        Configure("[email]\nInstallDir=" + Variant(c.variant) + "\n");
        std::string data = "From: a\nTo: b\n\nHi";
        std::string index = "old";
        std::string program;
        int error = -1;
        CapturedStdout reply(dir_.Path() + "/reply");
        EXPECT_EQ(RunEmailProgram(&config_, session_.get(), &data, &index, &program, &error), c.ok);
        EXPECT_EQ(reply.Text(), "") << "the program wrote into the reply";
        EXPECT_EQ(program, Variant(c.variant) + "qelemail");
        EXPECT_EQ(error, c.error);
        EXPECT_TRUE(FilesIn(cache_).empty()) << FilesIn(cache_).front();
        const std::string trace = Trace();
        EXPECT_NE(trace.find("email: invoking command '" + program + " -m "), std::string::npos) << trace;
        if (!c.ok) {
            EXPECT_EQ(data, "From: a\nTo: b\n\nHi") << "the message stays";
            EXPECT_EQ(index, "old");
            EXPECT_NE(trace.find("email: unable to invoke qelemail, rc = "), std::string::npos) << trace;
            continue;
        }
        const std::string hex = "46726f6d3a20610a546f3a20620a0a4869";
        EXPECT_EQ(index, "MESSAGE bytes=17 hex=" + hex + "\nMODES 600,600,600\n");
        std::smatch m;
        ASSERT_TRUE(std::regex_match(data, m,
                                     std::regex("<html><body><p>e-mail bytes=17 hex=" + hex +
                                                "</p><p>args=-m\\|[^|]+/eml[^|/]+\\|-o\\|[^|]+/eml[^|/]+\\|"
                                                "-i\\|[^|]+/eml[^|/]+\\|</p></body></html>\n")))
            << data;
    }
}

// Retrieve hands an AFP document to the converters of the configuration.
class RetrieveConverted : public wwwtest::DocumentFixture {};

[[maybe_unused]] ::testing::Environment* const kClientLayer =
    ::testing::AddGlobalTestEnvironment(new wwwtest::ClientLayer);

TEST_F(RetrieveConverted, AfpAsHtmlAndPdf) {
    ASSERT_NO_FATAL_FAILURE(SetDocType(2));
    dir_.Write("a2w.ini", "[default]\nUseApplet=FALSE\n");
    std::string hex;
    char pair[3];
    for (unsigned char b : wwwtest::InvoiceBytes(5)) {
        std::snprintf(pair, sizeof pair, "%02x", b);
        hex += pair;
    }
    struct Case {
        const char* name;
        std::string ini;
        std::string view;
        std::string type;
        std::string starts;
    };
    const std::string good = Variant("good");
    const Case cases[] = {
        {"html", "[afp2html]\nConfigFile=a2w.ini\nInstallDir=" + good + "\n", "html", "text/html",
         "<html><body>\n<p>document bytes=10 hex=" + hex + " pages=1 dir=" + good + "</p>\n"},
        {"pdf by library", "[afp2pdf]\nInstallDir=" + good + "\n", "pdf", "application/pdf",
         "%PDF-1.4\n% library bytes=10 hex=" + hex + " dir=" + good + "\n"},
        {"pdf by program", "[afp2pdf]\nUseExecutable=1\nInstallDir=" + good + "\n", "pdf", "application/pdf",
         "%PDF-1.4\n% program resources bytes=0 hex=\n% input bytes=10 hex=" + hex + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Start(c.ini);
        auto session = Request(std::string(wwwtest::kBobLogon) + "_a=r&_afp=" + c.view);
        EXPECT_EQ(result_, 0);
        EXPECT_EQ(session->response->ContentType(), c.type);
        const std::string body = session->response->GetBody();
        EXPECT_EQ(body.rfind(c.starts, 0), 0u) << body;
        for (const auto& entry : fs::directory_iterator(cache_))
            EXPECT_NE(entry.path().filename().string().rfind("a2p", 0), 0u) << entry.path();
    }
}

}  // namespace
