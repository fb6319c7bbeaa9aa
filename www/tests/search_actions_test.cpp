// The search form and hit list actions on the sample archive with invoices loaded: both
// reply forms, the refusals, the hit limit, the folder cookie of MSIE, hostile values from
// the archive and the open folder kept between requests.
#include <filesystem>

#include "arc_datetime.h"
#include "gateway_fixture.h"
#include "invoice_rows.h"

namespace {

using wwwtest::GatewayFixture;

[[maybe_unused]] ::testing::Environment* const kClientLayer =
    ::testing::AddGlobalTestEnvironment(new wwwtest::ClientLayer);

const char* const kBob = "_s=DEMO&_u=BOB&_p=builder2&";
const char* const kAlice = "_s=DEMO&_u=ALICE&_p=wonder1&";
const char* const kMsie = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)";

// Today in a date format: the invoice date's default range is today.
std::string Today(const char* format) {
    ArcDTValue value;
    value.value = ArcDT_Now('D');
    value.format = format;
    value.type = 'D';
    char text[ARC_DT_TEXT_MAX];
    return ArcDT_FormatValue(text, &value) != nullptr ? text : "";
}

// The document id of an invoice as the hit list writes it (percent-encoded), and its
// parts as the script string writes them.
std::string DocId(int n, const std::string& customer) {
    const std::string number = "A000" + std::to_string(n);
    return "100%2D200%2DINV1%2D1FAA%2D" + std::to_string(10 * (n - 1)) +
           "%2D10%2D0%2D0%2D85%2D78%2D0%2D0%2D0%01%0B%01" + number + "%01" + customer + "%01" +
           std::to_string(19729 + n);
}

class SearchActions : public GatewayFixture {
protected:
    void SetUp() override {
        GatewayFixture::SetUp();
        ASSERT_EQ(wwwtest::LoadInvoices(archive_, wwwtest::SampleInvoices()), CS_OK);
    }

    // A request with a browser of one's choice.
    std::unique_ptr<QelWWWSession> RequestAs(const std::string& query, const char* agent,
                                             const std::string& cookie = "") {
        auto session = wwwtest::NewSession(&config_);
        result_ = QelWWW_InitSession(&config_, session.get(), query.c_str(), "/cgi-bin/qelwww", agent,
                                     cookie.empty() ? nullptr : cookie.c_str()) == 0
                      ? QelWWW_Dispatch(&config_, session.get())
                      : -1;
        return session;
    }

    // The invoice numbers of a plain-text hit list shown with the invoice number first.
    static std::vector<std::string> Numbers(const std::string& body) {
        std::vector<std::string> numbers;
        size_t at = 0;
        while ((at = body.find("DOC=[", at)) != std::string::npos) {
            at += 5;
            numbers.push_back(body.substr(at, body.find('^', at) - at));
        }
        return numbers;
    }

    // The invoice number criterion without operators, with a default value.
    void NumberWithoutOperators() {
        std::string table = ReadTable("folfldus");
        const size_t row = table.find("[1|2|0]");
        ASSERT_NE(row, std::string::npos);
        const std::string ops = "OPS=4095\nDEF_OP=1\n";
        const size_t at = table.find(ops, row);
        ASSERT_NE(at, std::string::npos);
        table.replace(at, ops.size(), "OPS=0\nUSR_MASK=2\nDEF_VALUE1=\"<b>A0003\"\n");
        WriteTable("folfldus", table);
    }
};

TEST_F(SearchActions, SearchFormAsPlainText) {
    const std::string today = Today("%Y-%m-%d");
    const std::string head =
        "[BEGIN]\nACTION=/cgi-bin/qelwww?_a=d&_f=Invoices\nNUMROWS=3\n"
        "DISPLAY_ORDER=[Invoice number^Invoice date^Customer]\n"
        "ROW=[Invoice number^[[1^2^4^8^16^32^64^128^256^512^1024^2048]^1]^[N^[\"\"]]]\n";
    struct Case {
        const char* name;
        std::string query;
        std::string body;
    };
    const Case cases[] = {
        {"BETWEEN row with today twice, a choice list", std::string(kBob) + "_a=s&_f=Invoices&_nohtml=1",
         head + "ROW=[Invoice date^[[1^2^4^8^16^32^1024^2048]^1024]^[N^[" + today + "^" + today +
             "]]]\nROW=[Customer^[[1]^1]^[C^[[ACME^GLOBEX]^\"\"]]]\n[END]\n"},
        {"dates in the request's format, long keyword",
         std::string(kBob) + "_function=searchcrit&_folder=Invoices&_nohtml=1&_dateformat=%25d/%25m/%25Y",
         head + "ROW=[Invoice date^[[1^2^4^8^16^32^1024^2048]^1024]^[N^[" + Today("%d/%m/%Y") + "^" +
             Today("%d/%m/%Y") + "]]]\nROW=[Customer^[[1]^1]^[C^[[ACME^GLOBEX]^\"\"]]]\n[END]\n"},
        {"another user's folder: a default value, LIKE by default",
         std::string(kAlice) + "_a=s&_f=Payroll&_nohtml=1",
         "[BEGIN]\nACTION=/cgi-bin/qelwww?_a=d&_f=Payroll\nNUMROWS=2\nDISPLAY_ORDER=[Period^Employee]\n"
         "ROW=[Employee^[[1^2^4^8^16^32^64^128^256^512^1024^2048]^256]^[N^[\"\"]]]\n"
         "ROW=[Period^[[1^2^4^8^16^32^1024]^1]^[N^[202401]]]\n[END]\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto session = Request(c.query);
        EXPECT_EQ(result_, 0);
        EXPECT_EQ(session->response->GetBody(), c.body);
        EXPECT_EQ(session->response->ContentType(), "text/plain");
        EXPECT_EQ(session->client, nullptr);
    }
}

TEST_F(SearchActions, CriterionWithoutOperators) {
    ASSERT_NO_FATAL_FAILURE(NumberWithoutOperators());
    const std::string text = Body(std::string(kBob) + "_a=s&_f=Invoices&_nohtml=1");
    EXPECT_NE(text.find("\nROW=[Invoice number^[[]^0]^[N^[<b>A0003]]]\n"), std::string::npos) << text;
    // The form sends its value unseen and shows it as text.
    const std::string page = Body(std::string(kBob) + "_a=s&_f=Invoices");
    EXPECT_NE(
        page.find("<TD NOWRAP><FONT SIZE=3><b>Invoice number</b></FONT></td>\n"
                  "<TD NOWRAP><FONT SIZE=2><i></i></FONT></td>\n"
                  "<TD NOWRAP><input type=hidden name=\"Invoice number\" value=\"&lt;b&gt;A0003\"></td>\n"
                  "<TD NOWRAP>&lt;b&gt;A0003</td>\n</TR>\n"),
        std::string::npos)
        << page;
    // What the form sends back is no condition: the criterion has no operator to apply.
    const std::string list =
        Body(std::string(kBob) +
             "_a=d&_f=Invoices&_nohtml=1&_df=Invoice+number&Invoice+number=A0002&Customer=ACME");
    EXPECT_EQ(Numbers(list), (std::vector<std::string>{"A0003", "A0001"})) << list;
}

TEST_F(SearchActions, SearchFormAsHtml) {
    const std::string today = Today("%d/%m/%Y");
    auto session =
        Request(std::string(kBob) +
                "_a=s&_f=Invoices&_frame=main&_dfmt=%25d/%25m/%25Y&_afp=html&_email=x%22y&_ascii=1");
    EXPECT_EQ(result_, 0);
    EXPECT_EQ(session->response->ContentType(), "text/html");
    EXPECT_EQ(session->response->GetBody(),
              "<HTML>\n<CENTER>\n<TITLE>Tidewell Netvara</TITLE>\n</CENTER>\n<BODY>\n<br>\n"
              "<center><h3>Invoices</h3></center>\n"
              "<form METHOD=\"POST\" action=\"/cgi-bin/qelwww\" target=\"main\">\n"
              "<input type=hidden name=_dfmt value=\"%d/%m/%Y\">\n"
              "<input type=hidden name=_afp value=\"html\">\n"
              "<input type=hidden name=_email value=\"x&quot;y\">\n"
              "<input type=hidden name=_f value=\"Invoices\">\n"
              "<input type=hidden name=_ascii value=1>\n"
              "<input type=hidden name=_a value=d>\n"
              "<TABLE BORDER=0 CELLSPACING=3 CELLPADDING=3>\n"
              "<TR>\n<TD NOWRAP><FONT SIZE=3><b>Invoice number</b></FONT></td>\n"
              "<TD NOWRAP><FONT SIZE=2><i>Equal To</i></FONT></td>\n"
              "<TD NOWRAP><input type=text name=\"Invoice number\" value=\"\"></td>\n</TR>\n"
              "<TR>\n<TD NOWRAP><FONT SIZE=3><b>Invoice date</b></FONT></td>\n"
              "<TD NOWRAP><FONT SIZE=2><i>Between</i></FONT></td>\n"
              "<TD NOWRAP><input type=text name=\"Invoice date\" value=\"" +
                  today +
                  "\" maxlength=10></td>\n"
                  "<TD NOWRAP><b>and</b></td>\n"
                  "<TD NOWRAP><input type=text name=\"Invoice date2\" value=\"" +
                  today +
                  "\" maxlength=10></td>\n</TR>\n"
                  "<TR>\n<TD NOWRAP><FONT SIZE=3><b>Customer</b></FONT></td>\n"
                  "<TD NOWRAP><FONT SIZE=2><i>Equal To</i></FONT></td>\n"
                  "<TD NOWRAP><select name=\"Customer\" size=1>\n"
                  "<option value=\"ACME\">ACME\n<option value=\"GLOBEX\">GLOBEX\n</select></td>\n</TR>\n"
                  "</TABLE><br>\n<input type=submit value=\"Search\">\n<input type=reset value=\"Reset\">\n"
                  "</form>\n</BODY>\n</HTML>\n");
}

TEST_F(SearchActions, HitListAsPlainText) {
    auto session = Request(std::string(kBob) +
                           "_a=d&_f=Invoices&_nohtml=1&Invoice+number=A0002&_df=Invoice+number,%20Customer");
    EXPECT_EQ(result_, 0);
    EXPECT_EQ(session->response->ContentType(), "text/plain");
    EXPECT_EQ(session->response->GetBody(),
              "[BEGIN]\nDOC=[A0002^GLOBEX INC^/cgi-bin/qelwww?_a=r&_f=Invoices&_d=" +
                  DocId(2, "GLOBEX%20INC") + "^L]\n[END]\n");
    // Without _display_fields the folder's display order; ShowDocLocation adds nothing
    // for a hit without a storage location.
    Start("[default browser]\nShowDocLocation=1\nAddExtension=1\n");
    session = Request(std::string(kBob) + "_a=d&_f=Invoices&_nohtml=1&Invoice+number=A0002");
    EXPECT_EQ(session->response->GetBody(),
              "[BEGIN]\nDOC=[A0002^08.01.2024^GLOBEX INC^/cgi-bin/qelwww/.txt?_a=r&_f=Invoices&_d=" +
                  DocId(2, "GLOBEX%20INC") + "^L]\n[END]\n");
}

TEST_F(SearchActions, EveryOperatorSelectsItsInvoices) {
    struct Case {
        int op;
        const char* value;
        const char* second;
        std::vector<std::string> numbers;  // by date, newest first
    };
    const Case cases[] = {
        {1, "A0002", nullptr, {"A0002"}},
        {2, "A0002", nullptr, {"A0005", "A0004", "A0003", "A0001"}},
        {4, "A0003", nullptr, {"A0002", "A0001"}},
        {8, "A0003", nullptr, {"A0003", "A0002", "A0001"}},
        {16, "A0003", nullptr, {"A0005", "A0004"}},
        {32, "A0004", nullptr, {"A0005", "A0004"}},
        {64, "A0001 A0005", nullptr, {"A0005", "A0001"}},
        {128, "A0001 A0005", nullptr, {"A0004", "A0003", "A0002"}},
        {256, "A%3", nullptr, {"A0003"}},
        {512, "A%3", nullptr, {"A0005", "A0004", "A0002", "A0001"}},
        {1024, "A0002", "A0004", {"A0004", "A0003", "A0002"}},
        {2048, "A0002", "A0004", {"A0005", "A0001"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.op);
        std::string query =
            std::string(kBob) +
            "_a=d&_f=Invoices&_nohtml=1&_df=Invoice+number&Invoice+numberOP=" + std::to_string(c.op) +
            "&Invoice+number=" + QelWWW_UrlEncode(nullptr, c.value, true);
        if (c.second != nullptr) query += std::string("&Invoice+number2=") + c.second;
        const std::string body = Body(query);
        EXPECT_EQ(Numbers(body), c.numbers) << body;
    }
}

TEST_F(SearchActions, CriteriaFromTheForm) {
    struct Case {
        const char* name;
        std::string fields;
        std::vector<std::string> numbers;
    };
    const Case cases[] = {
        {"the choice of a list", "Customer=ACME", {"A0003", "A0001"}},
        {"a date range in the request's format",
         "Invoice+date=08/01/2024&Invoice+date2=09/01/2024&_dfmt=%25d/%25m/%25Y",
         {"A0003", "A0002"}},
        {"two criteria joined by AND", "Customer=ACME&Invoice+number=A0003", {"A0003"}},
        {"two criteria joined by OR", "Customer=GLOBEX&Invoice+number=A0003&_or=1", {"A0003", "A0002"}},
        {"sorted by a field of the request",
         "Invoice+numberOP=256&Invoice+number=A%25&_sf=Invoice+number&_so=A",
         {"A0001", "A0002", "A0003", "A0004", "A0005"}},
        {"a clause given whole",
         "_sql=WHERE+INVNO+%3D+%27A0004%27+OR+INVNO+%3D+%27A0001%27",
         {"A0001", "A0004"}},
        // The range picks the segments searched; INV1 holds January 2024.
        {"a clause with a date range in the segment",
         "_sql=WHERE+INVNO+LIKE+%27A%25%27&_date1=2024-01-09&_date2=2024-01-10",
         {"A0001", "A0002", "A0003", "A0004", "A0005"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string body =
            Body(std::string(kBob) + "_a=d&_f=Invoices&_nohtml=1&_df=Invoice+number&" + c.fields);
        EXPECT_EQ(result_, 0);
        EXPECT_EQ(Numbers(body), c.numbers) << body;
    }
}

TEST_F(SearchActions, SingleHitInPlainTextIsListed) {
    // Automatic retrieval is for pages: a program asking for text gets the list.
    Start("[default browser]\nAutoDocRetrieval=1\n");
    const std::string body = Body(std::string(kBob) + "_a=d&_f=Invoices&_nohtml=1&Invoice+number=A0002");
    EXPECT_EQ(result_, 0);
    EXPECT_EQ(Numbers(body), std::vector<std::string>{"A0002"}) << body;
}

TEST_F(SearchActions, Refusals) {
    struct Case {
        const char* name;
        std::string fields;
        std::string body;  // the reply starts with it
    };
    const Case cases[] = {
        {"unknown display field", "Invoice+number=A0001&_df=Invoice+number,Amount",
         "[ERROR]\nID=2180\nMSG=The field 'Amount' was not found in this folder\n"},
        {"unknown sort field", "Invoice+number=A0001&_sf=invoice+number",
         "[ERROR]\nID=2180\nMSG=The field 'invoice number' was not found in this folder\n"},
        {"no hits", "Invoice+number=B0001", "[ERROR]\nID=2148\nMSG=No documents meet the search criteria\n"},
        {"a date range outside every segment",
         "_sql=WHERE+INVNO+LIKE+%27A%25%27&_date1=2023-06-01&_date2=2023-06-30",
         "[ERROR]\nID=2148\nMSG=No documents meet the search criteria\n"},
        {"a date that does not read", "_sql=WHERE+INVNO+LIKE+%27A%25%27&_date1=June",
         "[ERROR]\nID=1875\nMSG=The date 'June' for the field 'Invoice date' is not valid"},
        {"an operator that is no number", "Invoice+number=A0001&Invoice+numberOP=EQ",
         "[ERROR]\nID=2159\nMSG=The argument 'Invoice numberOP' is not a valid decimal number\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto session = Request(std::string(kBob) + "_a=d&_f=Invoices&_nohtml=1&" + c.fields);
        EXPECT_EQ(result_, 1);
        // The client's texts are pinned as far as this action makes them.
        EXPECT_EQ(session->response->GetBody().substr(0, c.body.size()), c.body);
        EXPECT_EQ(session->client, nullptr);
    }
    // A search the client refuses says why.
    auto session = Request(std::string(kBob) + "_a=d&_f=Invoices&_nohtml=1");
    EXPECT_EQ(result_, 1);
    EXPECT_EQ(session->response->GetBody().rfind("[ERROR]\n", 0), 0u) << session->response->GetBody();
    // An unknown folder is the client's message, the logon ended.
    session = Request(std::string(kBob) + "_a=s&_f=Payroll&_nohtml=1");
    EXPECT_EQ(result_, 1);
    EXPECT_EQ(session->response->GetBody().rfind("[ERROR]\n", 0), 0u) << session->response->GetBody();
}

TEST_F(SearchActions, HitLimit) {
    const std::string all = std::string(kBob) +
                            "_a=d&_f=Invoices&_df=Invoice+number&Invoice+numberOP=256&"
                            "Invoice+number=A%25";
    std::string body = Body(all + "&_nohtml=1&_mh=2");
    EXPECT_EQ(result_, 0);
    EXPECT_EQ(body.substr(0, body.find("DOC=")),
              "[BEGIN]\nMSG=Only 2 documents can be listed for this folder\n");
    // The first rows the server hands over, then sorted.
    EXPECT_EQ(Numbers(body), (std::vector<std::string>{"A0002", "A0001"}));
    body = Body(all + "&_mh=2");
    EXPECT_NE(body.find("<center><h3>Invoices</h3></center>\n"
                        "<center><h5><i>Only 2 documents can be listed for this folder</i></h5></center>\n"),
              std::string::npos);
    // MaxHits 0 sets no limit; one of 5 lists all without the message.
    for (const char* limit : {"0", "5"}) {
        SCOPED_TRACE(limit);
        body = Body(all + "&_nohtml=1&_mh=" + limit);
        EXPECT_EQ(body.find("MSG="), std::string::npos);
        EXPECT_EQ(Numbers(body).size(), 5u);
    }
    Start("[default browser]\nMaxHits=3\n");
    EXPECT_EQ(Numbers(Body(all + "&_nohtml=1")).size(), 3u);
}

TEST_F(SearchActions, FolderHitLimitOfTheUser) {
    // STAFF may list 4 invoices of folder Invoices; MaxHits (the request's replacing the
    // configured one) lowers that, never raises it.
    std::string table = ReadTable("folperms");
    const size_t at = table.find("HITS=500");
    ASSERT_NE(at, std::string::npos);
    WriteTable("folperms", table.replace(at, 8, "HITS=4"));
    const std::string all = std::string(kBob) +
                            "_a=d&_f=Invoices&_df=Invoice+number&Invoice+numberOP=256&"
                            "Invoice+number=A%25&_nohtml=1";
    struct Case {
        const char* configured;  // [default browser] MaxHits
        const char* requested;   // _max_hits of the request, or none
        size_t listed;
    };
    const Case cases[] = {
        {"0", nullptr, 4}, {"300", nullptr, 4}, {"0", "5", 4},
        {"0", "2", 2},     {"3", nullptr, 3},   {"3", "4", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.configured) + " " + (c.requested != nullptr ? c.requested : "-"));
        Start(std::string("[default browser]\nMaxHits=") + c.configured + "\n");
        const std::string body =
            Body(all + (c.requested != nullptr ? std::string("&_mh=") + c.requested : ""));
        EXPECT_EQ(result_, 0);
        EXPECT_EQ(body.substr(0, body.find("DOC=")), "[BEGIN]\nMSG=Only " + std::to_string(c.listed) +
                                                         " documents can be listed for this folder\n");
        EXPECT_EQ(Numbers(body).size(), c.listed);
    }
    // A lower limit of one request is not kept with the open folder for the next.
    Start("[default browser]\nMaxHits=0\n");
    EXPECT_EQ(Numbers(Body(all + "&_mh=1")).size(), 1u);
    EXPECT_EQ(Numbers(Body(all)).size(), 4u);
}

TEST_F(SearchActions, FolderOfTheLinksAndTheMsieCookie) {
    const std::string query = std::string(kBob) + "_a=d&_f=Invoices&Invoice+number=A0002";
    const std::string link = "<TD><a href=\"/cgi-bin/qelwww?_a=r&amp;";
    Start("[default browser]\nNoLinks=0\n");
    auto other = RequestAs(query, "Mozilla/5.0");
    ASSERT_EQ(result_, 0);
    for (const std::string& cookie : Cookies(*other)) EXPECT_NE(cookie.rfind("ZEIIE=", 0), 0u) << cookie;
    EXPECT_NE(other->response->GetBody().find(link + "_f=Invoices&amp;_d=" + DocId(2, "GLOBEX%20INC") +
                                              "\">A0002</a></TD>\n"),
              std::string::npos);

    auto msie = RequestAs(query + "&_nohtml=1", kMsie);
    ASSERT_EQ(result_, 0);
    const std::vector<std::string> cookies = Cookies(*msie);
    ASSERT_EQ(cookies.size(), 3u);
    EXPECT_EQ(cookies[2], "ZEIIE=_f=Invoices; HttpOnly; SameSite=Lax");
    EXPECT_EQ(msie->response->GetBody(),
              "[BEGIN]\nDOC=[A0002^08.01.2024^GLOBEX INC^/cgi-bin/qelwww?_a=r&_d=" +
                  DocId(2, "GLOBEX%20INC") + "^L]\n[END]\n");
    // The next request names the folder by the cookie alone.
    auto next =
        RequestAs("_a=d&_nohtml=1&Invoice+number=A0003&_df=Invoice+number", kMsie, CookieHeader(cookies));
    EXPECT_EQ(result_, 0);
    EXPECT_EQ(Numbers(next->response->GetBody()), std::vector<std::string>{"A0003"});
}

TEST_F(SearchActions, HostileValuesAreEscaped) {
    Start("[default browser]\nServerPrint=1\nViewNotes=1\nAddNotes=1\nNoLinks=0\n");
    const std::string page =
        Body(std::string(kBob) + "_a=d&_f=Invoices&Invoice+numberOP=64&Invoice+number=A0004+A0005");
    EXPECT_EQ(result_, 0);
    for (const char* raw : {"<img src", "</script><b>", "\"><img"})
        EXPECT_EQ(page.find(raw), std::string::npos) << raw;
    EXPECT_NE(page.find("<TD><a href=\"/cgi-bin/qelwww?_a=r&amp;_f=Invoices&amp;_d=" +
                        DocId(4, "%22%3E%3Cimg%20src%3Dx%20onerror%3Dalert%281%29%3E") +
                        "\">&quot;&gt;&lt;img src=x onerror=alert(1)&gt;</a></TD>\n"),
              std::string::npos)
        << page;
    EXPECT_NE(page.find("ids[0] = \"100-200-INV1-1FAA-40-10-0-0-85-78-0-0-0\\x01\\x0B\\x01A0005\\x01"
                        "\\x3C/script\\x3E\\x3Cb\\x3Ex\\x0119734\";\n"
                        "ids[1] = \"100-200-INV1-1FAA-30-10-0-0-85-78-0-0-0\\x01\\x0B\\x01A0004\\x01"
                        "\\x22\\x3E\\x3Cimg src=x onerror=alert(1)\\x3E\\x0119733\";\n"),
              std::string::npos)
        << page;
    // Exactly one script element: none of the values closed it.
    size_t scripts = 0;
    for (size_t at = 0; (at = page.find("</SCRIPT>", at)) != std::string::npos; ++at) ++scripts;
    EXPECT_EQ(scripts, 1u);
    EXPECT_EQ(page.find("</script>"), std::string::npos);
    // A hostile folder name is refused by the archive, escaped on the error page.
    const std::string folder = Body(std::string(kBob) + "_a=s&_f=%3Cscript%3Ex");
    EXPECT_EQ(result_, 1);
    EXPECT_EQ(folder.find("<script>"), std::string::npos) << folder;
    // A hostile field name in a refusal is escaped on the error page.
    const std::string refused =
        Body(std::string(kBob) + "_a=d&_f=Invoices&Invoice+number=A0001&_df=%3Cscript%3E");
    EXPECT_EQ(refused.find("<script>"), std::string::npos);
    EXPECT_NE(refused.find("&lt;script&gt;"), std::string::npos) << refused;
}

TEST_F(SearchActions, PermissionsShowTheirIconsAndPrintColumn) {
    const std::string query = std::string(kBob) + "_a=d&_f=Invoices&Invoice+number=A0002";
    std::string page = Body(query);
    EXPECT_NE(
        page.find(
            "<a href=\"\" onClick=\"view_doc(0);return false;\">\n"
            "<img border=none src=\"/qkic_vd.gif\" alt=\"View Document\" title=\"View Document\"></a>\n"
            "<img border=none src=\"/qkic_vad.gif\" alt=\"View Annotations\" title=\"View Annotations\">\n"
            "<img border=none src=\"/qkic_aad.gif\" alt=\"Add Annotation\" title=\"Add Annotation\">\n"),
        std::string::npos)
        << page;
    EXPECT_EQ(page.find("prtlist type="), std::string::npos);
    EXPECT_EQ(page.find("Server Print"), std::string::npos);

    Start(
        "[default "
        "browser]\nServerPrint=1\nViewNotes=1\nAddNotes=1\nNoLinks=1\n");
    page = Body(query);
    EXPECT_NE(page.find("<TR>\n<TH align=center><i>Print</i></TH>\n<TH align=center><i></i></TH>\n"),
              std::string::npos)
        << page;
    // BOB's group may not print (DOC_PERMS 11): the row has its hidden input only.
    EXPECT_NE(page.find("<TD align=center><input name=prtlist type=hidden></TD>\n"), std::string::npos);
    EXPECT_EQ(page.find("prtlist type=checkbox"), std::string::npos);
    // The local server has no printers: an empty choice.
    EXPECT_NE(page.find("<select name=_printer size=1>\n</select>\n"), std::string::npos) << page;
    EXPECT_NE(
        page.find(
            "<a href=\"\" onClick=\"view_notes(0);return false;\">\n"
            "<img border=none src=\"/qkic_va.gif\" alt=\"View Annotations\" title=\"View Annotations\"></a>\n"
            "<a href=\"\" onClick=\"add_note(0);return false;\">\n"
            "<img border=none src=\"/qkic_aa.gif\" alt=\"Add Annotation\" title=\"Add Annotation\"></a>\n"),
        std::string::npos)
        << page;
    EXPECT_NE(
        page.find("<input type=button value=\"Server Print\" onClick=\"server_print();return false\">\n"),
        std::string::npos);
    // NoLinks: the values without links.
    EXPECT_NE(page.find("<TD>A0002</TD>\n"), std::string::npos);
    EXPECT_EQ(page.find("<a href=\"/"), std::string::npos);
    // Printed ids are joined by 0x03.
    EXPECT_NE(page.find("if (list != \"\") list += \"\\x03\";\n"), std::string::npos);

    // With the print bit (0x10) the row may be ticked; without notes bits the icons dim.
    std::string perms = ReadTable("agperms");
    const size_t at = perms.find("DOC_PERMS=11\nANN_PERMS=7");
    ASSERT_NE(at, std::string::npos);
    perms.replace(at, std::strlen("DOC_PERMS=11\nANN_PERMS=7"), "DOC_PERMS=27\nANN_PERMS=0");
    WriteTable("agperms", perms);
    // The saved open folder keeps the rights it was opened with; a fresh open reads them.
    for (const auto& file : std::filesystem::directory_iterator(CachePath("")))
        if (file.path().extension() == ".fld") std::filesystem::remove(file.path());
    page = Body(query);
    EXPECT_NE(page.find("<TD align=center><input name=prtlist type=checkbox></TD>\n"), std::string::npos);
    EXPECT_NE(
        page.find(
            "<img border=none src=\"/qkic_vad.gif\" alt=\"View Annotations\" title=\"View Annotations\">\n"
            "<img border=none src=\"/qkic_aad.gif\" alt=\"Add Annotation\" title=\"Add Annotation\">\n"),
        std::string::npos)
        << page;
}

TEST_F(SearchActions, OpenFolderKeptBetweenRequests) {
    Start("[debug]\nLog=1\nLogDir=" + dir_.Path() + "\n");
    const std::string tracePath = dir_.Path() + "/qelwww.log";
    // The trace lines of the next request, in order of the steps that tell the paths apart.
    auto traced = [&](const std::string& query, const std::string& cookie) {
        std::filesystem::remove(tracePath);
        auto session = Request(query, cookie);
        std::ifstream in(tracePath);
        std::ostringstream text;
        text << in.rdbuf();
        std::vector<std::string> steps;
        for (const char* step : {"failed to restore server state", "successfully restored server state",
                                 "open folder older than the server state", "open folder refused",
                                 "failed to restore folder state"}) {
            if (text.str().find(step) != std::string::npos) steps.emplace_back(step);
        }
        EXPECT_EQ(result_, 0);
        return std::pair{std::move(session), steps};
    };
    auto [first, logon] = traced(std::string(kBob) + "_a=s&_f=Invoices&_nohtml=1", "");
    EXPECT_EQ(logon, std::vector<std::string>{"failed to restore server state"});
    const std::string fld = "DEMO_0_BOB_Invoices.fld";
    ASSERT_TRUE(CacheHas(fld));
    EXPECT_EQ(std::filesystem::status(CachePath(fld)).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const std::string cookie = CookieHeader(Cookies(*first));
    const std::string search = "_a=d&_f=Invoices&_nohtml=1&_df=Invoice+number&Invoice+number=A0001";

    // From the cookies alone, with the saved folder; no cookie goes out again.
    auto [next, restored] = traced(search, cookie);
    EXPECT_EQ(restored, std::vector<std::string>{"successfully restored server state"});
    EXPECT_EQ(Numbers(next->response->GetBody()), std::vector<std::string>{"A0001"});
    EXPECT_TRUE(Cookies(*next).empty());

    // A damaged open folder is opened again and saved whole.
    const std::string saved = ReadCache(fld);
    WriteCache(fld, "not a folder");
    auto [again, damaged] = traced(search, cookie);
    EXPECT_EQ(damaged, (std::vector<std::string>{"successfully restored server state", "open folder refused",
                                                 "failed to restore folder state"}));
    EXPECT_EQ(Numbers(again->response->GetBody()), std::vector<std::string>{"A0001"});
    EXPECT_EQ(ReadCache(fld).size(), saved.size());

    // A good one saved before the latest logon is not used (its criteria may be another's).
    std::filesystem::last_write_time(
        CachePath(fld),
        std::filesystem::last_write_time(CachePath("DEMO_0_BOB.srv")) - std::chrono::hours(1));
    auto [later, older] = traced(search, cookie);
    EXPECT_EQ(older, (std::vector<std::string>{"successfully restored server state",
                                               "open folder older than the server state",
                                               "failed to restore folder state"}));
    EXPECT_EQ(Numbers(later->response->GetBody()), std::vector<std::string>{"A0001"});
}

TEST_F(SearchActions, UnwritableOpenFolderDoesNotFailTheForm) {
    // A directory where the open folder's file would go: that write fails, the rest not.
    std::filesystem::create_directory(CachePath("DEMO_0_BOB_Invoices.fld"));
    auto first = Request(std::string(kBob) + "_a=s&_f=Invoices&_nohtml=1");
    EXPECT_EQ(result_, 0);
    const std::string body = first->response->GetBody();
    const size_t note = body.find("\nUnable to open the file: ");
    ASSERT_NE(note, std::string::npos) << body;
    EXPECT_NE(body.find("DEMO_0_BOB_Invoices.fld<br>\nerrno: ", note), std::string::npos) << body;
    EXPECT_EQ(body.substr(body.size() - 7), "\n[END]\n");
    EXPECT_TRUE(CacheHas("DEMO_0_BOB.srv"));
    // The next request opens the folder again.
    auto next = Request("_a=d&_f=Invoices&_nohtml=1&_df=Invoice+number&Invoice+number=A0005",
                        CookieHeader(Cookies(*first)));
    EXPECT_EQ(result_, 0);
    EXPECT_EQ(Numbers(next->response->GetBody()).front(), "A0005");
}

TEST_F(SearchActions, OneFolderLogonOpensTheSearchForm) {
    auto session = Request(std::string(kBob) + "_a=l");
    EXPECT_EQ(result_, 0);
    const std::string page = session->response->GetBody();
    EXPECT_NE(
        page.find("<center><h3>Invoices</h3></center>\n<form METHOD=\"POST\" action=\"/cgi-bin/qelwww\">\n"),
        std::string::npos)
        << page;
    EXPECT_EQ(page.find("<option selected value=\"Invoices\">"), std::string::npos);
    EXPECT_EQ(Cookies(*session).size(), 2u);
    EXPECT_TRUE(CacheHas("DEMO_0_BOB.srv"));
    EXPECT_TRUE(CacheHas("DEMO_0_BOB_Invoices.fld"));
    // Two folders, or the plain-text form: the list.
    EXPECT_NE(Body(std::string(kAlice) + "_a=l").find("<option value=\"Payroll\">Payroll\n"),
              std::string::npos);
    EXPECT_EQ(Body(std::string(kBob) + "_a=l&_nohtml=1"),
              "[BEGIN]\nACTION=/cgi-bin/qelwww?_a=s\nFOLDER=[Invoices^Customer invoices]\n[END]\n");
}

TEST(OperatorText, BitsAndMessageIndexes) {
    struct Case {
        uint32_t op;
        const char* text;
    };
    const Case cases[] = {{1, "Equal To"}, {2, "Not Equal To"}, {8, "LT or Equal"}, {64, "In"},
                          {128, "Not In"}, {256, "Like"},       {1024, "Between"},  {2048, "Not Between"},
                          {508, "Search"}};  // not an operator: a message index
    for (const Case& c : cases) EXPECT_EQ(QelWWW_GetOperatorText(c.op), c.text) << c.op;
}

}  // namespace
