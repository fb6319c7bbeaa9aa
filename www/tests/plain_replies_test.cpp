// Plain-text replies whose stored texts (note texts, index values, display texts, a
// folder's description) hold line ends, the framing characters and '%': every reply keeps
// exactly the lines and fields its format defines, and each field reads back, with the
// %XX escapes undone, as the text that was stored.
#include <algorithm>
#include <cctype>
#include <optional>
#include <string_view>

#include "gateway_fixture.h"
#include "invoice_rows.h"

namespace {

using wwwtest::GatewayFixture;

[[maybe_unused]] ::testing::Environment* const kClientLayer =
    ::testing::AddGlobalTestEnvironment(new wwwtest::ClientLayer);

const std::string kBob = "_s=DEMO&_u=BOB&_p=builder2&_f=Invoices&";

// Texts that would forge lines or fields if a reply wrote them raw (each fits the
// 40 bytes of the customer field).
struct Hostile {
    const char* name;
    std::string text;
};
const Hostile kHostile[] = {
    {"forged lines", "QXF1\n[END]\n[BEGIN]\nDOC=[forged^QXF1^A]"},
    {"framing characters", "a^b]c[d^"},
    {"percent signs and escapes", "100% of %41%2"},
    {"carriage returns", "cr\rcr lf\r\n"},
    {"forged fields of another framing", "<x|y>"},
};

// Framing characters of a configuration.
struct Framing {
    char begin = '[';
    char end = ']';
    char separator = '^';
};

std::string UrlEncoded(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        out += '%';
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    }
    return out;
}

// The reader's side of the escape: every %XX back to its byte.
std::string Unescaped(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The lines of a reply; a reply that does not end its last line, or holds a CR, fails.
std::vector<std::string> Lines(const std::string& body) {
    EXPECT_EQ(body.find('\r'), std::string::npos) << body;
    EXPECT_TRUE(!body.empty() && body.back() == '\n') << body;
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = body.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(body.substr(start, end - start));
    return lines;
}

// The fields of a line's value "<begin>a<sep>b<sep>c<end>" after `key`; none when the
// value is not one bracket holding no further bracket.
std::optional<std::vector<std::string>> Fields(const std::string& line, const std::string& key,
                                               const Framing& f) {
    if (line.rfind(key, 0) != 0) return std::nullopt;
    const std::string value = line.substr(key.size());
    if (value.size() < 2 || value.front() != f.begin || value.back() != f.end) return std::nullopt;
    const std::string inner = value.substr(1, value.size() - 2);
    if (inner.find(f.begin) != std::string::npos || inner.find(f.end) != std::string::npos)
        return std::nullopt;
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t at; (at = inner.find(f.separator, start)) != std::string::npos; start = at + 1)
        fields.push_back(inner.substr(start, at - start));
    fields.push_back(inner.substr(start));
    return fields;
}

std::string Framed(const Framing& f, const char* word) { return std::string(1, f.begin) + word + f.end; }

class PlainReplies : public GatewayFixture {
protected:
    void SetUp() override {
        GatewayFixture::SetUp();
        ASSERT_EQ(wwwtest::LoadInvoices(archive_, wwwtest::SampleInvoices()), CS_OK);
    }

    virtual Framing Frame() const { return Framing{}; }

    // The docid of an invoice as its hit-list link carries it (percent-encoded once).
    std::string DocIdOf(const std::string& number) { return InvoiceDocId(kBob, number, Frame().separator); }

    // Every hostile text as a note of one document: the applet's addnote reply is its six
    // lines, getnotes lists each note in its four lines, framed and in applet mode.
    void NotesKeepTheirLines() {
        const Framing f = Frame();
        const std::string docId = DocIdOf("A0001");
        ASSERT_FALSE(docId.empty());
        for (const Hostile& h : kHostile) {
            SCOPED_TRACE(h.name);
            const std::vector<std::string> lines = Lines(
                Body(kBob + "_a=a&_nohtml=1&_applet=1&_perm=0&_d=" + docId + "&_text=" + UrlEncoded(h.text)));
            ASSERT_EQ(result_, 0);
            ASSERT_EQ(lines.size(), 6u);
            EXPECT_EQ(lines[0], Framed(f, "BEGIN"));
            EXPECT_EQ(lines[1].rfind("NOTE=", 0), 0u) << lines[1];
            EXPECT_EQ(lines[2].rfind("NOTE ", 0), 0u) << lines[2];
            EXPECT_EQ(Unescaped(lines[4]), h.text);
            EXPECT_EQ(lines[5], Framed(f, "END"));
        }
        for (const bool applet : {false, true}) {
            SCOPED_TRACE(applet ? "applet mode" : "framed");
            const std::vector<std::string> lines =
                Lines(Body(kBob + "_a=n&_nohtml=1&_d=" + docId + (applet ? "&_applet=1" : "")));
            ASSERT_EQ(result_, 0);
            const size_t frame = applet ? 0 : 1;
            const size_t count = std::size(kHostile);
            ASSERT_EQ(lines.size(), 4 * count + 2 * frame);
            if (!applet) {
                EXPECT_EQ(lines.front(), Framed(f, "BEGIN"));
                EXPECT_EQ(lines.back(), Framed(f, "END"));
            }
            // Notes of the same second come in no set order: the texts are compared as a set.
            std::vector<std::string> texts, wanted;
            for (size_t i = 0; i < count; ++i) {
                const size_t at = frame + 4 * i;
                EXPECT_EQ(lines[at].rfind("NOTE ", 0), 0u) << lines[at];
                texts.push_back(Unescaped(lines[at + 2]));
                EXPECT_EQ(lines[at + 3], "");
                wanted.push_back(kHostile[i].text);
            }
            std::sort(texts.begin(), texts.end());
            std::sort(wanted.begin(), wanted.end());
            EXPECT_EQ(texts, wanted);
        }
    }
};

TEST_F(PlainReplies, NotesKeepTheirLines) { NotesKeepTheirLines(); }

TEST_F(PlainReplies, IndexValuesKeepTheHitListFields) {
    const Framing f;
    for (size_t i = 0; i < std::size(kHostile); ++i) {
        const Hostile& h = kHostile[i];
        SCOPED_TRACE(h.name);
        const std::string number = "A000" + std::to_string(i + 1);
        const std::string docId = DocIdOf(number);
        ASSERT_FALSE(docId.empty());
        const std::vector<std::string> updated =
            Lines(Body(kBob + "_a=u&_nohtml=1&_d=" + docId + "&Customer=" + UrlEncoded(h.text)));
        ASSERT_EQ(result_, 0);
        ASSERT_EQ(updated.size(), 3u);
        EXPECT_EQ(updated[0], "[BEGIN]");
        EXPECT_EQ(updated[2], "[END]");

        const std::vector<std::string> lines =
            Lines(Body(kBob + "_a=d&_nohtml=1&_df=Invoice+number,Customer&Invoice+number=" + number));
        ASSERT_EQ(result_, 0);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0], "[BEGIN]");
        const auto fields = Fields(lines[1], "DOC=", f);
        ASSERT_TRUE(fields.has_value()) << lines[1];
        ASSERT_EQ(fields->size(), 4u) << lines[1];
        EXPECT_EQ((*fields)[0], number);
        EXPECT_EQ(Unescaped((*fields)[1]), h.text);
        EXPECT_EQ((*fields)[2].rfind("/cgi-bin/qelwww?_a=r&", 0), 0u) << (*fields)[2];
        EXPECT_EQ(lines[2], "[END]");
    }
}

// A display text of the customer field and the folder's description, written into the
// archive's tables, in the folder list and the search form.
TEST_F(PlainReplies, TableTextsKeepTheirFields) {
    const std::string display = "GLO^BEX]%[ \"x";
    const std::string description = "Customer ^invoices] [100%";
    std::string aliases = ReadTable("agfldal");
    aliases.replace(aliases.find("EXTERNAL_2=GLOBEX"), 17, "EXTERNAL_2=\"" + display + "\"");
    WriteTable("agfldal", aliases);
    std::string folders = ReadTable("fol");
    const std::string old = "DESCRIPTION=\"Customer invoices\"";
    folders.replace(folders.find(old), old.size(), "DESCRIPTION=\"" + description + "\"");
    WriteTable("fol", folders);
    const Framing f;

    const std::vector<std::string> logon = Lines(Body("_a=logon&_s=DEMO&_u=BOB&_p=builder2&_nohtml=1"));
    ASSERT_EQ(result_, 0);
    ASSERT_EQ(logon.size(), 4u);
    const auto folder = Fields(logon[2], "FOLDER=", f);
    ASSERT_TRUE(folder.has_value()) << logon[2];
    ASSERT_EQ(folder->size(), 2u) << logon[2];
    EXPECT_EQ((*folder)[0], "Invoices");
    EXPECT_EQ(Unescaped((*folder)[1]), description);

    const std::vector<std::string> form = Lines(Body(kBob + "_a=s&_nohtml=1"));
    ASSERT_EQ(result_, 0);
    ASSERT_EQ(form.size(), 8u);
    EXPECT_EQ(form[6], "ROW=[Customer^[[1]^1]^[C^[[ACME^GLO%5EBEX%5D%25%5B \"x]^\"\"]]]");
}

// An error whose message names a text of the request (message 493 with the sort field)
// stays on its three lines.
TEST_F(PlainReplies, MessagesStayOnTheirLine) {
    for (const Hostile& h : kHostile) {
        SCOPED_TRACE(h.name);
        const std::vector<std::string> lines =
            Lines(Body(kBob + "_a=d&_nohtml=1&Invoice+number=A0001&_sf=" + UrlEncoded(h.text)));
        EXPECT_EQ(result_, 1);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0], "[ERROR]");
        EXPECT_EQ(lines[1].rfind("ID=", 0), 0u) << lines[1];
        EXPECT_NE(Unescaped(lines[2]).find(h.text), std::string::npos) << lines[2];
    }
}

// The same notes under framing characters of the configuration: '^' is then text, and
// the configured characters are escaped.
class PlainRepliesOwnFraming : public PlainReplies {
protected:
    std::string ExtraIni() const override { return "[no html]\nBegin=<\nEnd=>\nSeparator=|\n"; }
    Framing Frame() const override { return Framing{'<', '>', '|'}; }
};

TEST_F(PlainRepliesOwnFraming, NotesKeepTheirLines) { NotesKeepTheirLines(); }

}  // namespace
