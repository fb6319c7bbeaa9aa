// Who reads which notes of one invoice through getnotes: the writer of a private note,
// a plain user of the same group who must not see it, and an administrator who does.
// STAFF may add notes and update invoices but has neither group permission that reads
// every note (0x02 store, 0x04).
#include <algorithm>

#include "gateway_fixture.h"
#include "invoice_rows.h"

namespace {

using wwwtest::GatewayFixture;

[[maybe_unused]] ::testing::Environment* const kClientLayer =
    ::testing::AddGlobalTestEnvironment(new wwwtest::ClientLayer);

std::string Logon(const std::string& user, const std::string& password) {
    return "_s=DEMO&_u=" + user + "&_p=" + password + "&_f=Invoices&";
}
const std::string kAlice = Logon("ALICE", wwwtest::kAlicePassword);  // type 0x04
const std::string kBob = Logon("BOB", wwwtest::kBobPassword);
const std::string kCarol = Logon("CAROL", wwwtest::kBobPassword);  // BOB's password

class NoteReaders : public GatewayFixture {
protected:
    void SetUp() override {
        GatewayFixture::SetUp();
        ASSERT_EQ(wwwtest::LoadInvoices(archive_, wwwtest::SampleInvoices()), CS_OK);
        // STAFF: retrieve, update and print (0x19), every note permission.
        Replace("agperms", "[11|100]\nID_PERMS=1\nDOC_PERMS=11\n", "[11|100]\nID_PERMS=1\nDOC_PERMS=25\n");
        // CAROL: a second member of STAFF, with BOB's password hash.
        const std::string users = ReadTable("user");
        const size_t hash = users.find("PASSWD=", users.find("[BOB]"));
        ASSERT_NE(hash, std::string::npos);
        const std::string bobHash = users.substr(hash, users.find('\n', hash) - hash);
        Replace("user", "USERS=ALICE,BOB\n\n[10]", "USERS=ALICE,BOB,CAROL\n\n[10]");
        Replace("user", "[11]\nUSERS=ALICE,BOB\n", "[11]\nUSERS=ALICE,BOB,CAROL\n");
        WriteTable("user", ReadTable("user") + "\n[CAROL]\nUID=3\n" + bobHash + "\nADMIN=0\nPID=0\n");
        WriteTable("group", ReadTable("group") + "\n[3]\nGROUPS=11\n");
    }

    void Replace(const std::string& table, const std::string& from, const std::string& to) {
        std::string text = ReadTable(table);
        const size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << table << ": " << from;
        text.replace(at, from.size(), to);
        WriteTable(table, text);
    }

    void Add(const std::string& user, const std::string& docId, const std::string& perm,
             const std::string& text) {
        const std::string reply =
            Body(user + "_a=a&_nohtml=1&_perm=" + perm + "&_d=" + docId + "&_text=" + text);
        ASSERT_EQ(result_, 0) << reply;
    }

    // The texts of the notes the user reads, newest first (none for message 504).
    std::vector<std::string> Read(const std::string& user, const std::string& docId) {
        const std::string body = Body(user + "_a=n&_nohtml=1&_applet=1&_d=" + docId);
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t end; (end = body.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(body.substr(start, end - start));
        std::vector<std::string> texts;
        if (result_ != 0) {
            EXPECT_EQ(body.rfind("[ERROR]\nID=", 0), 0u) << body;
            return texts;
        }
        EXPECT_EQ(lines.size() % 4, 0u) << body;
        for (size_t at = 2; at < lines.size(); at += 4) texts.push_back(lines[at]);
        return texts;
    }
};

TEST_F(NoteReaders, PrivateNotesAreTheirWritersAndTheAdministrators) {
    const std::string docId = InvoiceDocId(kBob, "A0002");
    ASSERT_FALSE(docId.empty());
    ASSERT_NO_FATAL_FAILURE(Add(kBob, docId, "0", "public+of+BOB"));
    ASSERT_NO_FATAL_FAILURE(Add(kBob, docId, "1", "private+of+BOB"));
    ASSERT_NO_FATAL_FAILURE(Add(kAlice, docId, "1", "private+of+ALICE"));
    struct Case {
        const char* name;
        const std::string& user;
        std::vector<std::string> notes;
    };
    const Case cases[] = {
        {"the writer reads the public notes and his own", kBob, {"public of BOB", "private of BOB"}},
        {"a plain user of his group reads the public ones only", kCarol, {"public of BOB"}},
        {"an administrator reads every note",
         kAlice,
         {"private of ALICE", "private of BOB", "public of BOB"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> read = Read(c.user, docId);
        std::sort(read.begin(), read.end());
        std::vector<std::string> wanted = c.notes;
        std::sort(wanted.begin(), wanted.end());
        EXPECT_EQ(read, wanted);
    }
    // A document with BOB's private note alone has no note for CAROL.
    const std::string other = InvoiceDocId(kBob, "A0003");
    ASSERT_NO_FATAL_FAILURE(Add(kBob, other, "1", "only+BOB"));
    EXPECT_EQ(Read(kCarol, other), std::vector<std::string>{});
    EXPECT_EQ(Read(kAlice, other), std::vector<std::string>{"only BOB"});
}

}  // namespace
