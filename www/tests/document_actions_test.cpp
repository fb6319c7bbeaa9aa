// updatedoc, printdocs, getnotes and addnote on the sample archive with invoices loaded:
// the replies in both forms, the refusals with their messages, hostile note texts and an
// index update that a later search sees.
#include <chrono>

#include "gateway_fixture.h"
#include "invoice_rows.h"

namespace {

using wwwtest::GatewayFixture;

[[maybe_unused]] ::testing::Environment* const kClientLayer =
    ::testing::AddGlobalTestEnvironment(new wwwtest::ClientLayer);

// BOB searches the invoices by number (ALICE's view of the folder has no such criterion).
const std::string kBob = "_s=DEMO&_u=BOB&_p=builder2&_f=Invoices&";

// The catalogue text of a message with its text inserts.
std::string Message(int index, std::vector<std::string> inserts = {}) {
    std::vector<QelWWWInsert> list;
    for (const std::string& text : inserts) list.push_back(QelWWWInsert{text.c_str(), QELWWW_INSERT_TEXT});
    std::string text;
    int number = 0;
    QelWWW_FormatMessage(index, static_cast<int>(list.size()), list.data(), &text, &number);
    return text;
}

// The plain-text error reply of a message.
std::string ErrorReply(int index, std::vector<std::string> inserts = {}) {
    std::vector<QelWWWInsert> list;
    for (const std::string& text : inserts) list.push_back(QelWWWInsert{text.c_str(), QELWWW_INSERT_TEXT});
    std::string text;
    int number = 0;
    QelWWW_FormatMessage(index, static_cast<int>(list.size()), list.data(), &text, &number);
    return "[ERROR]\nID=" + std::to_string(number) + "\nMSG=" + text + "\n";
}

class DocumentActions : public GatewayFixture {
protected:
    void SetUp() override {
        GatewayFixture::SetUp();
        ASSERT_EQ(wwwtest::LoadInvoices(archive_, wwwtest::SampleInvoices()), CS_OK);
    }

    // The docid of an invoice as its hit-list link carries it (percent-encoded once).
    std::string DocIdOf(const std::string& number) { return InvoiceDocId(kBob, number); }

    // The invoice numbers a plain-text search finds.
    std::vector<std::string> Found(const std::string& criteria) {
        const std::string body = Body(kBob + "_a=d&_nohtml=1&_df=Invoice+number&" + criteria);
        std::vector<std::string> numbers;
        size_t at = 0;
        while ((at = body.find("DOC=[", at)) != std::string::npos) {
            at += 5;
            numbers.push_back(body.substr(at, body.find('^', at) - at));
        }
        return numbers;
    }

    std::string AddNote(const std::string& docId, const std::string& extra) {
        return Body(kBob + "_a=a&_nohtml=1&_d=" + docId + "&" + extra);
    }
};

TEST_F(DocumentActions, NotesAreAddedAndListedInEveryForm) {
    const std::string docId = DocIdOf("A0002");
    ASSERT_FALSE(docId.empty());
    EXPECT_EQ(Body(kBob + "_a=n&_nohtml=1&_d=" + docId), ErrorReply(QELWWW_MSG_NO_NOTES));
    EXPECT_EQ(result_, 1);

    EXPECT_EQ(AddNote(docId, "_perm=0&_text=Paid+in+full%0Aby+cheque"),
              "[BEGIN]\n" + Message(QELWWW_MSG_NOTE_ADDED) + "\n[END]\n");
    ASSERT_EQ(result_, 0);
    const std::string sharing =
        Message(QELWWW_MSG_NOTE_SHARING, {Message(QELWWW_MSG_NOTE_PUBLIC), Message(QELWWW_MSG_NOTE_NO_COPY)});
    struct Case {
        const char* name;
        std::string query;
        std::vector<std::string> wanted;    // in this order
        std::vector<std::string> unwanted;  // nowhere
        const char* contentType;
    };
    const Case cases[] = {
        {"plain text, framed",
         "_nohtml=1",
         {"[BEGIN]\nNOTE 1: ", " by BOB for page 0\n" + sharing + "\nPaid in full%0Aby cheque\n\n[END]\n"},
         {"<br>"},
         "text/plain"},
        {"applet mode without Begin and End",
         "_nohtml=1&_applet=1",
         {"NOTE 1: ", " by BOB for page 0\n" + sharing + "\nPaid in full%0Aby cheque\n\n"},
         {"[BEGIN]", "[END]"},
         "text/plain"},
        {"HTML in the page frame",
         "",
         {"<BODY>", "<font color=blue>\nNOTE 1: ",
          " by BOB for page 0\n<br>\n" + sharing + "\n<br></font>\nPaid in full<br>\nby cheque<br><br>\n",
          "</BODY>"},
         {"[BEGIN]"},
         "text/html"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto session = Request(kBob + "_a=getnotes&_d=" + docId + "&" + c.query);
        EXPECT_EQ(result_, 0);
        const std::string body = session->response->GetBody();
        size_t at = 0;
        for (const std::string& piece : c.wanted) {
            const size_t found = body.find(piece, at);
            EXPECT_NE(found, std::string::npos) << piece << "\n---\n" << body;
            if (found != std::string::npos) at = found + piece.size();
        }
        for (const std::string& piece : c.unwanted) EXPECT_EQ(body.find(piece), std::string::npos) << piece;
        EXPECT_EQ(session->response->ContentType().rfind(c.contentType, 0), 0u);
        EXPECT_EQ(session->client, nullptr);
    }
    // The note belongs to its document only.
    EXPECT_EQ(Body(kBob + "_a=n&_nohtml=1&_d=" + DocIdOf("A0003")), ErrorReply(QELWWW_MSG_NO_NOTES));
}

TEST_F(DocumentActions, AddNoteRepliesInAppletModeAndAsAPage) {
    const std::string docId = DocIdOf("A0001");
    ASSERT_FALSE(docId.empty());
    const std::string applet = AddNote(docId, "_applet=1&_perm=1&_text=first");
    ASSERT_EQ(result_, 0) << applet;
    const std::string privateLine = Message(
        QELWWW_MSG_NOTE_SHARING, {Message(QELWWW_MSG_NOTE_PRIVATE), Message(QELWWW_MSG_NOTE_NO_COPY)});
    EXPECT_EQ(applet.rfind("[BEGIN]\nNOTE=1\nNOTE 1: ", 0), 0u) << applet;
    EXPECT_NE(applet.find(" by BOB for page 0\n" + privateLine + "\nfirst\n[END]\n"), std::string::npos)
        << applet;
    // The second note is numbered after the first.
    const std::string second = AddNote(docId, "_applet=1&_perm=0&_text=second");
    EXPECT_EQ(second.rfind("[BEGIN]\nNOTE=2\nNOTE 2: ", 0), 0u) << second;

    const std::string page = Body(kBob + "_a=addnote&_d=" + docId + "&_perm=0&_text=third");
    EXPECT_EQ(result_, 0);
    EXPECT_NE(page.find(Message(QELWWW_MSG_NOTE_ADDED) + "<br>\n<form>\n<input type=button value=\"" +
                        Message(QELWWW_MSG_OK_BUTTON) + "\" onClick=\"self.close();\">\n</form>\n"),
              std::string::npos)
        << page;
    const std::string listed = Body(kBob + "_a=n&_nohtml=1&_applet=1&_d=" + docId);
    EXPECT_NE(listed.find("\nthird\n"), std::string::npos) << listed;
    EXPECT_NE(listed.find("\nsecond\n"), std::string::npos) << listed;
    EXPECT_NE(listed.find("\nfirst\n"), std::string::npos) << listed;
}

TEST_F(DocumentActions, HostileNoteTextsStayText) {
    const std::string docId = DocIdOf("A0003");
    ASSERT_FALSE(docId.empty());
    // </pre><script>x</script> "><img onerror=y> CR LF 0x01 0x03
    AddNote(docId,
            "_perm=0&_text=%3C%2Fpre%3E%3Cscript%3Ex%3C%2Fscript%3E%0D%0A%22%3E%3Cimg+onerror%3Dy%3E"
            "%01%03end");
    ASSERT_EQ(result_, 0);
    const std::string page = Body(kBob + "_a=n&_d=" + docId);
    ASSERT_EQ(result_, 0) << page;
    for (const char* raw : {"<script", "</pre>", "<img", "\"><", "\x01", "\x03", "\r"})
        EXPECT_EQ(page.find(raw), std::string::npos) << raw;
    EXPECT_NE(
        page.find("&lt;/pre&gt;&lt;script&gt;x&lt;/script&gt;<br>\n&quot;&gt;&lt;img onerror=y&gt;  end"),
        std::string::npos)
        << page;
    // Plain text keeps the text on its one line: the line ends escaped, the rest as written.
    const std::string text = Body(kBob + "_a=n&_nohtml=1&_d=" + docId);
    EXPECT_NE(text.find("\n</pre><script>x</script>%0D%0A\"><img onerror=y>\x01\x03"
                        "end\n\n[END]\n"),
              std::string::npos)
        << text;
}

TEST_F(DocumentActions, AddNoteRefusals) {
    const std::string docId = DocIdOf("A0001");
    ASSERT_FALSE(docId.empty());
    const std::string d = "_d=" + docId + "&";
    struct Case {
        const char* name;
        std::string query;
        std::string reply;
    };
    const Case cases[] = {
        {"no sharing", d + "_text=x", ErrorReply(QELWWW_MSG_MISSING_ARG, {"_perm"})},
        {"a sharing that is not a number never becomes public", d + "_perm=u&_text=x",
         ErrorReply(QELWWW_MSG_BAD_VALUE, {"_perm"})},
        {"empty sharing", d + "_perm=&_text=x", ErrorReply(QELWWW_MSG_BAD_VALUE, {"_perm"})},
        {"no text", d + "_perm=0", ErrorReply(QELWWW_MSG_MISSING_ARG, {"_text"})},
        {"empty text", d + "_perm=0&_text=", ErrorReply(QELWWW_MSG_MISSING_ARG, {"_text"})},
        {"no docid", "_perm=0&_text=x", ErrorReply(QELWWW_MSG_MISSING_ARG, {"_docid"})},
        {"a docid that does not read", "_d=100-200-x&_perm=0&_text=x", ErrorReply(QELWWW_MSG_NO_DOCUMENTS)},
        {"group note without a group", d + "_perm=2&_text=x", ErrorReply(QELWWW_MSG_MISSING_ARG, {"_group"})},
        {"a group that is not the user's", d + "_perm=2&_group=NOBODY&_text=x",
         ErrorReply(QELWWW_MSG_MISSING_ARG, {"_group"})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto session = Request(kBob + "_a=a&_nohtml=1&" + c.query);
        EXPECT_EQ(result_, 1);
        EXPECT_EQ(session->response->GetBody(), c.reply);
        EXPECT_EQ(session->client, nullptr);
    }
    // None of them stored a note.
    EXPECT_EQ(Body(kBob + "_a=n&_nohtml=1&_d=" + docId), ErrorReply(QELWWW_MSG_NO_NOTES));
}

TEST_F(DocumentActions, GroupNoteNeedsOneOfTheUsersGroups) {
    const std::string docId = DocIdOf("A0001");
    ASSERT_FALSE(docId.empty());
    const std::string reply = AddNote(docId, "_perm=2&_group=STAFF&_text=for+staff");
    EXPECT_EQ(result_, 0) << reply;
    EXPECT_NE(Body(kBob + "_a=n&_nohtml=1&_d=" + docId).find("\nfor staff\n"), std::string::npos);
}

TEST_F(DocumentActions, UpdateChangesWhatASearchFinds) {
    const std::string docId = DocIdOf("A0002");
    ASSERT_FALSE(docId.empty());
    auto session = Request(kBob + "_a=u&_nohtml=1&_d=" + docId + "&Invoice+number=B0002");
    EXPECT_EQ(result_, 0);
    EXPECT_EQ(session->response->GetBody(), "[BEGIN]\n" + Message(QELWWW_MSG_UPDATED) + "\n[END]\n");
    EXPECT_EQ(session->client, nullptr);
    EXPECT_EQ(Found("Invoice+number=B0002"), std::vector<std::string>{"B0002"});
    EXPECT_TRUE(Found("Invoice+number=A0002").empty());

    const std::string page = Body(kBob + "_a=updatedoc&_d=" + DocIdOf("B0002") + "&Invoice+number=C0002");
    EXPECT_EQ(result_, 0);
    EXPECT_NE(page.find("<BODY>"), std::string::npos) << page;
    EXPECT_NE(page.find(Message(QELWWW_MSG_UPDATED) + "\n"), std::string::npos) << page;
    EXPECT_EQ(Found("Invoice+number=C0002"), std::vector<std::string>{"C0002"});
}

// An update killed between writing the segment profile's temporary file and renaming it
// leaves the file in index/; the next update takes it away once no live writer can own it.
TEST_F(DocumentActions, AnUpdateRemovesWhatKilledUpdatesLeftOnceOld) {
    namespace fs = std::filesystem;
    const std::string old = archive_ + "/index/.INVOICES.seg.tmpK1lled";
    const std::string live = archive_ + "/index/.INVOICES.seg.tmpW0rk1n";
    for (const std::string& path : {old, live}) std::ofstream(path) << "[2026";
    fs::last_write_time(
        old, fs::file_time_type::clock::now() - std::chrono::seconds(ARCOS_WRITE_LEFTOVER_AGE + 60));
    const std::string docId = DocIdOf("A0003");
    ASSERT_FALSE(docId.empty());
    ASSERT_TRUE(fs::exists(old)) << "a search writes nothing";
    EXPECT_EQ(Body(kBob + "_a=u&_nohtml=1&_d=" + docId + "&Invoice+number=B0003"),
              "[BEGIN]\n" + Message(QELWWW_MSG_UPDATED) + "\n[END]\n");
    EXPECT_FALSE(fs::exists(old));
    EXPECT_TRUE(fs::exists(live)) << "it may be a live writer's";
}

TEST_F(DocumentActions, UpdateRefusals) {
    const std::string docId = DocIdOf("A0002");
    ASSERT_FALSE(docId.empty());
    struct Case {
        const char* name;
        std::string query;
        std::string reply;  // empty: an error reply of another message
    };
    const Case cases[] = {
        {"no docid", "Invoice+number=B0002", ErrorReply(QELWWW_MSG_MISSING_ARG, {"_docid"})},
        {"no field of the folder", "_d=" + docId + "&Amount=5", ErrorReply(QELWWW_MSG_NO_MAPPINGS)},
        {"a docid that does not read", "_d=garbage&Invoice+number=B0002",
         ErrorReply(QELWWW_MSG_NO_DOCUMENTS)},
        {"a value the field refuses", "_d=" + docId + "&Invoice+number=" + std::string(40, 'X'), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto session = Request(kBob + "_a=u&_nohtml=1&" + c.query);
        EXPECT_EQ(result_, 1);
        const std::string body = session->response->GetBody();
        if (c.reply.empty()) {
            EXPECT_EQ(body.rfind("[ERROR]\n", 0), 0u) << body;
        } else {
            EXPECT_EQ(body, c.reply);
        }
        EXPECT_EQ(session->client, nullptr);
    }
    EXPECT_EQ(Found("Invoice+number=A0002"), std::vector<std::string>{"A0002"});
}

TEST_F(DocumentActions, UpdateWithOnlyUnmappedFields) {
    // The customer field is no longer mapped to the invoices' group.
    std::string table = ReadTable("ag2fol");
    const size_t at = table.find("1=1,0\n");
    ASSERT_NE(at, std::string::npos);
    table.erase(at, 6);
    WriteTable("ag2fol", table);
    const std::string docId = DocIdOf("A0002");
    ASSERT_FALSE(docId.empty());
    EXPECT_EQ(Body(kBob + "_a=u&_nohtml=1&_d=" + docId + "&Customer=INITECH"),
              ErrorReply(QELWWW_MSG_NO_MAPPINGS));
    EXPECT_EQ(result_, 1);
}

TEST_F(DocumentActions, PrintRefusals) {
    const std::string docId = DocIdOf("A0002");
    ASSERT_FALSE(docId.empty());
    const std::string ids = "_ids=" + docId + "&";
    struct Case {
        const char* name;
        std::string query;
        std::string reply;
    };
    // The local archive offers no printer: every name is unknown to it.
    const Case cases[] = {
        {"no printer", ids, ErrorReply(QELWWW_MSG_MISSING_ARG, {"_printer"})},
        {"no docids", "_printer=LASER1", ErrorReply(QELWWW_MSG_MISSING_ARG, {"_docids"})},
        {"a count with a letter", ids + "_printer=LASER1&_nh=2x",
         ErrorReply(QELWWW_MSG_BAD_VALUE, {"_num_hits"})},
        {"a negative count", ids + "_printer=LASER1&_num_hits=-1",
         ErrorReply(QELWWW_MSG_BAD_VALUE, {"_num_hits"})},
        {"an empty count", ids + "_printer=LASER1&_nh=", ErrorReply(QELWWW_MSG_BAD_VALUE, {"_num_hits"})},
        {"an unknown printer", ids + "_printer=LASER1", ErrorReply(QELWWW_MSG_PRINT_FAILED)},
        {"a printer named in another case", ids + "_sp=laser1&_nh=1", ErrorReply(QELWWW_MSG_PRINT_FAILED)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto session = Request(kBob + "_a=p&_nohtml=1&" + c.query);
        EXPECT_EQ(result_, 1);
        EXPECT_EQ(session->response->GetBody(), c.reply);
        EXPECT_EQ(session->client, nullptr);
    }
}

}  // namespace
