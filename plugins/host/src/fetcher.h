// fetcher.h - fetches a URL into a file: http(s) through libcurl with a cookie file and
// redirects followed within the same host; file: URLs read directly.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct FetchRequest {
    std::string url;
    bool post = false;
    std::vector<std::pair<std::string, std::string>> headers;  // extra request headers
    std::string body;                                          // the POST body
    std::string cookieFile;                                    // Netscape format; "" none
    std::string userAgent;
    std::string outputPath;                   // an existing empty file, written from the start
    const std::atomic<bool>* stop = nullptr;  // set: the transfer ends as Stopped
};

enum class FetchOutcome { Done, HttpError, NetworkError, Stopped };

struct FetchResult {
    FetchOutcome outcome = FetchOutcome::NetworkError;
    long status = 0;          // HTTP status; 0 for file: URLs and network errors
    std::string contentType;  // the server's Content-Type, "" when none
    std::string finalUrl;     // after redirects
    uint64_t size = 0;        // bytes written
    std::string error;        // for every outcome but Done
};

FetchResult FetchUrl(const FetchRequest& request);

// The local path of a file: URL ("file:/abs", "file:///abs", "file://localhost/abs",
// %XX decoded); false for other URLs or a bad one.
bool FileUrlPath(const std::string& url, std::string* path);
// A URL the plug-in gave, made absolute against the document's URL as a browser does:
// "/path", "//host/path", "?query", "#fragment" and relative paths ("a/b", "../c") take
// what they lack from the base; a URL with a scheme is kept as it is.
std::string ResolveUrl(const std::string& base, const std::string& url);
// Scheme, host and port of an http(s) URL equal (the redirect rule).
bool SameOrigin(const std::string& a, const std::string& b);

// libcurl's process-wide start and end (call once around every use).
void FetchGlobalInit();
void FetchGlobalCleanup();
