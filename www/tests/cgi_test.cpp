// The CGI front end's two ends: the request text from the environment and standard input,
// and the reply written to standard output.
#include "www_test_support.h"

#include <cstdio>

#include "cgi_request.h"

namespace {

using qelwww::detail::CgiRequestText;
using qelwww::detail::kMaxRequestBody;
using qelwww::detail::ReadCgiRequest;
using wwwtest::ConfigFromIni;

// A stream holding bytes, rewound for reading.
struct Stream {
    std::FILE* file = std::tmpfile();
    explicit Stream(const std::string& bytes) {
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::rewind(file);
    }
    ~Stream() { std::fclose(file); }
    std::string ReadAll() {
        std::rewind(file);
        std::string out;
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, n);
        return out;
    }
};

TEST(CgiRequest, TakesTheQueryOrTheWholeBody) {
    using Opt = std::optional<std::string>;
    const Opt none;
    const std::string big(static_cast<size_t>(kMaxRequestBody), 'b');
    struct Case {
        const char* label;
        Opt method, length, query;
        std::string body;
        int message;
        std::string text;
    } cases[] = {
        {"get", "GET", none, "_function=l&_u=a", "", 0, "_function=l&_u=a"},
        {"get, empty query", "GET", none, "", "", 0, ""},
        {"get, body ignored", "GET", "5", "q=1", "x=2&y", 0, "q=1"},
        {"get without QUERY_STRING", "GET", none, none, "", 490, ""},
        {"no method", none, "3", "q=1", "a=b", 490, ""},
        {"lower-case get", "get", none, "q=1", "", 490, ""},
        {"head", "HEAD", none, "q=1", "", 490, ""},
        {"put", "PUT", "3", none, "a=b", 490, ""},
        {"post", "POST", "11", "ignored=1", "_function=l", 0, "_function=l"},
        {"post, length 0", "POST", "0", none, "", 0, ""},
        {"post, more bytes than the length", "POST", "3", none, "a=bc=d", 0, "a=b"},
        {"post, zero bytes read as %00", "POST", "7", none, std::string("a=b\0c\0&", 7), 0, "a=b%00c%00&"},
        {"post, short body", "POST", "12", none, "_function=l", 490, ""},
        {"post, no body at all", "POST", "5", none, "", 490, ""},
        {"post, no length", "POST", none, "q=1", "a=b", 490, ""},
        {"post, empty length", "POST", "", none, "a=b", 490, ""},
        {"post, negative length", "POST", "-1", none, "a=b", 490, ""},
        {"post, length with blank", "POST", " 3", none, "a=b", 490, ""},
        {"post, length with sign", "POST", "+3", none, "a=b", 490, ""},
        {"post, length 1e3", "POST", "1e3", none, "a=b", 490, ""},
        {"post, at the limit", "POST", std::to_string(kMaxRequestBody), none, big, 0, big},
        {"post, one past the limit", "POST", std::to_string(kMaxRequestBody + 1), none, big + "b", 490, ""},
        {"post, 2^64 + 3", "POST", "18446744073709551619", none, "a=b", 490, ""},
    };
    QelWWWConfig config = ConfigFromIni("");
    for (const Case& c : cases) {
        Stream body(c.body);
        CgiRequestText got = ReadCgiRequest(&config, c.method, c.length, c.query, body.file);
        EXPECT_EQ(got.message, c.message) << c.label;
        if (c.message == 0) {
            EXPECT_TRUE(got.text == c.text) << c.label;
        }
    }
}

std::string ReplyOf(QelWWWResponse& response, int* rc = nullptr) {
    Stream out("");
    response.SetOutputStream(out.file);
    int result = response.WriteReply();
    if (rc != nullptr) *rc = result;
    return out.ReadAll();
}

TEST(CgiReply, HeadersInOrderWithTheLengthOfTheJoinedBody) {
    QelWWWConfig config = ConfigFromIni("", 819);
    QelWWWResponse response(&config);
    response.SetContentType("text/html");
    response.SetHeader("Content-length", "%d", 999);
    response.SetHeader("Set-Cookie", "%s", "a=1");
    response.AppendPrefix("%s", "<html>");
    response.AppendText("caf\xE9", 4);  // two bytes once converted to UTF-8
    response.AppendSuffix("%s", "</html>");
    int rc = -1;
    EXPECT_EQ(ReplyOf(response, &rc),
              "Content-type: text/html; charset=UTF-8\nContent-length: 20\nSet-Cookie: a=1\n\n"
              "<html>\ncaf\xC3\xA9</html>\n");
    EXPECT_EQ(rc, 0);

    QelWWWResponse binary(&config);
    binary.SetContentType("application/afp");
    binary.AppendBinary("\0\1VOD#", 6);
    EXPECT_EQ(ReplyOf(binary),
              "Content-type: application/afp\nContent-length: 6\n\n" + std::string("\0\1VOD#", 6));

    QelWWWResponse empty(&config);
    EXPECT_EQ(ReplyOf(empty), "Content-length: 0\n\n");
}

TEST(CgiReply, TheLengthGoesOutWhenTheHeaderTableIsFull) {
    QelWWWResponse response;
    for (int i = 0; i < QELWWW_MAX_HEADERS; ++i) response.SetHeader("Set-Cookie", "c%d=1", i);
    response.PrintText("%s", "body");
    std::string reply = ReplyOf(response);
    EXPECT_NE(reply.find("Set-Cookie: c9=1\nContent-length: 4\n\nbody"), std::string::npos) << reply;
}

TEST(CgiReply, AFailedWriteIsReported) {
    std::FILE* readOnly = std::fopen("/dev/null", "r");
    ASSERT_NE(readOnly, nullptr);
    QelWWWResponse response;
    response.PrintText("%s", "body");
    response.SetOutputStream(readOnly);
    EXPECT_NE(response.WriteReply(), 0);
    std::fclose(readOnly);
    response.SetOutputStream(nullptr);
    EXPECT_NE(response.WriteReply(), 0);
}

}  // namespace
