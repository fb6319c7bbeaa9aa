// Printers: the options text of a print request (user texts kept to their keys, the
// text kept within its room), the session's printer list and print requests as the
// loopback peer receives them.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "client_test_support.h"
#include "document_fixture.h"
#include "peer_session.h"
#include "print_options.h"
#include "qel_client.h"
#include "qel_parm.h"

namespace {

using qelclient::BuildPrintOptions;
using qelclient::PrintOptionsInput;

// Every line of the text as key and value: the section line must be the only line
// that is not "key=value", and every key must be one the builder writes.
std::map<std::string, std::string> Keys(const std::string& text) {
    static const std::set<std::string> known = {"Copies",   "RAttn",  "RCompany",   "RFax",     "SFrom",
                                                "SCompany", "SPhone", "SCoverPage", "SSubject", "SFax"};
    std::map<std::string, std::string> keys;
    size_t start = 0;
    int sections = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        EXPECT_NE(end, std::string::npos) << "every line ends with LF";
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line == "[" + ParmPrintOptionsSection() + "]") {
            ++sections;
            continue;
        }
        const size_t equals = line.find('=');
        EXPECT_NE(equals, std::string::npos) << "line without key: " << line;
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals);
        const bool numbered = key.rfind("TO_", 0) == 0 || key.rfind("FROM_", 0) == 0;
        EXPECT_TRUE(known.count(key) == 1 || numbered) << "unexpected key " << key;
        EXPECT_EQ(keys.count(key), 0u) << "key twice: " << key;
        keys[key] = line.substr(equals + 1);
    }
    EXPECT_EQ(sections, 1) << text;
    return keys;
}

TEST(PrintOptions, AddressLinesAndHostileTexts) {
    ClientFaxTexts hostile;
    hostile.subject = "Offer]\r\n[@_FIXED_@]\nDEFVIEW=x";
    hostile.senderName = "Eve=Copies=99";
    struct Case {
        const char* name;
        char kind;
        const char* receiver;
        const char* sender;
        const ClientFaxTexts* fax;
        std::map<std::string, std::string> expected;  // without Copies
    };
    const Case cases[] = {
        {"eight receiver lines keep lines 0 to 5",
         'P',
         "r0\nr1\nr2\nr3\nr4\nr5\nr6\nr7\n",
         nullptr,
         nullptr,
         {{"TO_0", "r0"}, {"TO_1", "r1"}, {"TO_2", "r2"}, {"TO_3", "r3"}, {"TO_4", "r4"}, {"TO_5", "r5"}}},
        {"lines ended by CR LF lose the CR",
         'P',
         "Ann Smith\r\nMain Street 1\r\n",
         nullptr,
         nullptr,
         {{"TO_0", "Ann Smith"}, {"TO_1", "Main Street 1"}}},
        {"a last line without LF counts, an empty one is kept",
         'I',
         "a\n\nc",
         "me\r\nus",
         nullptr,
         {{"TO_0", "a"}, {"TO_1", ""}, {"TO_2", "c"}, {"FROM_0", "me"}, {"FROM_1", "us"}}},
        {"a lone CR becomes a blank and brackets stay in the value",
         'P',
         "x\r[EVIL]\r\nCopies=99\n",
         nullptr,
         nullptr,
         {{"TO_0", "x [EVIL]"}, {"TO_1", "Copies=99"}}},
        {"a fax printer takes each text whole",
         'F',
         "Bob\r\n[@_PRINT_OPTIONS_@]\nCopies=9",
         "ACME\nLtd",
         &hostile,
         {{"RAttn", "Bob  [@_PRINT_OPTIONS_@] Copies=9"},
          {"RCompany", "ACME Ltd"},
          {"SSubject", "Offer]  [@_FIXED_@] DEFVIEW=x"},
          {"SFrom", "Eve=Copies=99"}}},
    };
    for (const Case& c : cases) {
        PrintOptionsInput input;
        input.copies = 3;
        input.receiver = c.receiver;
        input.sender = c.sender;
        input.fax = c.fax;
        std::string text;
        ASSERT_FALSE(BuildPrintOptions(c.kind, input, &text).has_value()) << c.name;
        std::map<std::string, std::string> keys = Keys(text);
        EXPECT_EQ(keys["Copies"], "3") << c.name;
        keys.erase("Copies");
        EXPECT_EQ(keys, c.expected) << c.name << "\n" << text;
        EXPECT_EQ(ParmGetCopies(text.c_str()), 3) << c.name;
        EXPECT_EQ(ParmFindSection(text.c_str(), ParmFixedSection().c_str()), nullptr) << c.name;
        EXPECT_EQ(ParmFindSection(text.c_str(), "EVIL"), nullptr) << c.name;
    }
}

TEST(PrintOptions, TextsWithoutRoomAreRefused) {
    const std::string longLine(400, 'x');
    std::string sixLong;
    for (int i = 0; i < 6; ++i) sixLong += longLine + "\n";
    const std::string fitsFax(qelclient::kFaxTextMax, 's');
    const std::string overFax(qelclient::kFaxTextMax + 1, 's');
    ClientFaxTexts over;
    over.subject = overFax.c_str();
    ClientFaxTexts fits;
    fits.subject = fitsFax.c_str();
    ClientFaxTexts both = fits;
    both.coverPage = fitsFax.c_str();
    struct Case {
        const char* name;
        char kind;
        const char* receiver;
        const ClientFaxTexts* fax;
        const char* refused;  // null: made
    };
    const Case cases[] = {
        {"a fax text of 1024 characters", 'P', nullptr, &fits, nullptr},
        {"a fax text of 1025 characters", 'P', nullptr, &over, "SSubject"},
        {"two long fax texts pass 2000 bytes", 'P', nullptr, &both, "SSubject"},
        {"six long receiver lines", 'P', sixLong.c_str(), nullptr, "TO_4"},
        {"a fax receiver over 1024 characters", 'F', sixLong.c_str(), nullptr, "RAttn"},
    };
    for (const Case& c : cases) {
        PrintOptionsInput input;
        input.receiver = c.receiver;
        input.fax = c.fax;
        std::string text = "unchanged";
        const auto failed = BuildPrintOptions(c.kind, input, &text);
        if (c.refused == nullptr) {
            EXPECT_FALSE(failed.has_value()) << c.name;
            EXPECT_LE(text.size(), CLIENT_PRINT_OPTIONS_MAX) << c.name;
        } else {
            ASSERT_TRUE(failed.has_value()) << c.name;
            EXPECT_EQ(*failed, c.refused) << c.name;
            EXPECT_EQ(text, "unchanged") << c.name;
        }
    }
}

TEST(PrintOptions, PageRangesAreNumberedFromOne) {
    const std::pair<long, long> ranges[] = {{1, 3}, {7, 2147483647L}};
    PrintOptionsInput input;
    input.pageRanges = ranges;
    std::string text;
    ASSERT_FALSE(BuildPrintOptions('P', input, &text).has_value());
    EXPECT_EQ(ParmGetPageRangeBgn(text.c_str(), 1), 1);
    EXPECT_EQ(ParmGetPageRangeEnd(text.c_str(), 1), 3);
    EXPECT_EQ(ParmGetPageRangeBgn(text.c_str(), 2), 7);
    EXPECT_EQ(ParmGetPageRangeEnd(text.c_str(), 2), 2147483647L);
    EXPECT_EQ(ParmGetPageRangeBgn(text.c_str(), 0), 0);
}

// ---------------------------------------------------------------- the loopback peer

// A JSON string value as the peer's log writes it, without its quotes and escapes.
std::string JsonText(const std::string& quoted) {
    std::string out;
    if (quoted.size() < 2 || quoted.front() != '"') return out;
    for (size_t i = 1; i + 1 < quoted.size(); ++i) {
        char c = quoted[i];
        if (c == '\\' && i + 2 < quoted.size()) {
            c = quoted[++i];
            if (c == 'n') c = '\n';
            if (c == 'r') c = '\r';
            if (c == 't') c = '\t';
            if (c == 'u') {
                c = static_cast<char>(std::stoi(quoted.substr(i + 1, 4), nullptr, 16));
                i += 4;
            }
        }
        out += c;
    }
    return out;
}

class PeerPrinters : public clienttest::PeerSessionTest {
protected:
    PeerPrinters() : PeerSessionTest(qel_peer::Script("notes_printers.json")) {}
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (ClientPrinter* p = Printer_GetFirst(session_); p != nullptr; p = Printer_GetNext(session_, p))
            names.push_back(Printer_GetName(p));
        return names;
    }
};

TEST_F(PeerPrinters, TheListIsLoadedOnceInReplyOrder) {
    EXPECT_EQ(Printer_GetFirst(session_), nullptr);
    ClientStatus status;
    Printer_LoadList(&status, session_);
    ASSERT_EQ(status.severity, 0) << status.code;
    EXPECT_EQ(Names(), (std::vector<std::string>{"LASER", "FAX", "OLD"}));
    std::vector<char> kinds;
    for (ClientPrinter* p = Printer_GetFirst(session_); p != nullptr; p = Printer_GetNext(session_, p))
        kinds.push_back(p->kind);
    EXPECT_EQ(kinds, (std::vector<char>{'P', 'F', 0}));
    EXPECT_STREQ(Printer_GetName(Printer_GetLast(session_)), "OLD");
    EXPECT_STREQ(Printer_GetDescription(Printer_GetFirst(session_)), "Second floor");
    ClientPrinter stranger;
    EXPECT_EQ(Printer_GetNext(session_, &stranger), nullptr);

    // Loaded: nothing more is asked, so a server that is gone changes nothing.
    peer_.Stop();
    Printer_LoadList(&status, session_);
    EXPECT_EQ(status.severity, 0);
    EXPECT_EQ(Names().size(), 3u);

    Printer_FreeAll(session_);
    EXPECT_EQ(Printer_GetFirst(session_), nullptr);
    EXPECT_EQ(Printer_GetLast(session_), nullptr);
    Printer_LoadList(&status, session_);
    EXPECT_NE(status.severity, 0) << "the server is gone";
    EXPECT_FALSE(session_->printersLoaded);
    EXPECT_EQ(Printer_GetFirst(session_), nullptr);
}

TEST_F(PeerPrinters, PrintingSendsTheOptionsAndOneItemPerHit) {
    ClientStatus status;
    Printer_LoadList(&status, session_);
    ASSERT_EQ(status.severity, 0) << status.code;
    OpenFolder* folder = nullptr;
    Folder_Open(&status, session_, "Invoices", &folder);
    ASSERT_EQ(status.severity, 0) << status.code;
    const CsXdrApplGroup& group = folder->definition->groups[0];
    std::vector<SearchHit*> hits;
    for (const char* customer : {"GAMMA", "ACME", "BETA"})
        hits.push_back(
            clienttest::AddTestHit(folder, 0, clienttest::MakeRow(group, {customer, "1.5"}, "OBJ1")));
    ClientFaxTexts fax;
    fax.subject = "Q3=[done]\r\nCopies=50";
    ClientPrinter* laser = Printer_GetFirst(session_);
    Printer_PrintHits(&status, session_, laser, hits.data(), 3, 2, "To A\r\nTo B\r\n", "From X", &fax, 77);
    ASSERT_EQ(status.severity, 0) << status.code;

    const std::vector<std::string> events = peer_.Events("server_print");
    ASSERT_EQ(events.size(), 1u);
    const std::string print = qel_peer::JsonValue(events[0], "print");
    EXPECT_EQ(qel_peer::JsonValue(print, "printer"), "4");
    EXPECT_EQ(qel_peer::JsonValue(print, "copies"), "2");
    EXPECT_EQ(qel_peer::JsonValue(print, "options"), "77");
    EXPECT_EQ(qel_peer::JsonValue(print, "name"), "\"LASER\"");
    const std::string text = JsonText(qel_peer::JsonValue(events[0], "text"));
    const std::map<std::string, std::string> expected = {{"Copies", "2"},
                                                         {"TO_0", "To A"},
                                                         {"TO_1", "To B"},
                                                         {"FROM_0", "From X"},
                                                         {"SSubject", "Q3=[done]  Copies=50"}};
    EXPECT_EQ(Keys(text), expected) << text;
    const std::string items = qel_peer::JsonValue(events[0], "items");
    const size_t gamma = items.find("\"GAMMA\""), acme = items.find("\"ACME\""),
                 beta = items.find("\"BETA\"");
    ASSERT_NE(gamma, std::string::npos) << items;
    ASSERT_NE(acme, std::string::npos) << items;
    ASSERT_NE(beta, std::string::npos) << items;
    EXPECT_LT(gamma, acme);
    EXPECT_LT(acme, beta);

    // No hits, an over-long text or a missing hit: nothing is sent.
    Printer_PrintHits(&status, session_, laser, hits.data(), 0, 1, nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(status.severity, 0);
    const std::string overlong(qelclient::kFaxTextMax + 1, 'x');
    fax.subject = overlong.c_str();
    Printer_PrintHits(&status, session_, laser, hits.data(), 3, 1, nullptr, nullptr, &fax, 0);
    EXPECT_EQ(status.severity, CLIENT_SEV_ERROR);
    EXPECT_EQ(status.code, 4);
    ASSERT_NE(status.inserts, nullptr);
    EXPECT_STREQ(static_cast<const char*>(status.inserts[0].value), "SSubject");
    SearchHit* withNull[] = {hits[0], nullptr};
    Printer_PrintHits(&status, session_, laser, withNull, 2, 1, nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(status.code, 4);
    Printer_PrintHits(&status, session_, nullptr, hits.data(), 3, 1, nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(status.code, 4);
    EXPECT_EQ(peer_.Events("server_print").size(), 1u);
}

}  // namespace
