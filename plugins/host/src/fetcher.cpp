#include "fetcher.h"

#include <curl/curl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "file_ptr.h"

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

struct CurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

FetchResult CopyLocalFile(const std::string& path, const FetchRequest& request) {
    FetchResult result;
    result.finalUrl = request.url;
    FilePtr in(std::fopen(path.c_str(), "rbe"));
    if (!in) {
        result.error = "cannot read " + path + ": " + std::strerror(errno);
        return result;
    }
    FilePtr out(std::fopen(request.outputPath.c_str(), "r+be"));
    if (!out) {
        result.error = "cannot write " + request.outputPath + ": " + std::strerror(errno);
        return result;
    }
    std::vector<char> buffer(65536);
    while (true) {
        const size_t got = std::fread(buffer.data(), 1, buffer.size(), in.get());
        if (std::ferror(in.get())) {
            result.error = "cannot read " + path + ": " + std::strerror(errno);
            return result;
        }
        if (got == 0) break;
        if (std::fwrite(buffer.data(), 1, got, out.get()) != got) {
            result.error = "cannot write " + request.outputPath;
            return result;
        }
        result.size += got;
    }
    if (std::fflush(out.get()) != 0) {
        result.error = "cannot write " + request.outputPath;
        return result;
    }
    result.outcome = FetchOutcome::Done;
    return result;
}

struct Transfer {
    FILE* out = nullptr;
    uint64_t size = 0;
    const std::atomic<bool>* stop = nullptr;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    size_t bytes = size * count;
    if (std::fwrite(data, 1, bytes, transfer->out) != bytes) return 0;
    transfer->size += bytes;
    return bytes;
}

int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<Transfer*>(user);
    return (transfer->stop != nullptr && transfer->stop->load()) ? 1 : 0;
}

std::string UrlPart(const std::string& url, CURLUPart part) {
    std::unique_ptr<CURLU, CurlDeleter> handle(curl_url());
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return "";
    char* text = nullptr;
    unsigned flags = (part == CURLUPART_PORT) ? CURLU_DEFAULT_PORT : 0;
    if (curl_url_get(handle.get(), part, &text, flags) != CURLUE_OK || text == nullptr) return "";
    std::string value(text);
    curl_free(text);
    return value;
}

FetchResult FetchHttp(const FetchRequest& request) {
    FetchResult result;
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        result.error = "libcurl does not start";
        return result;
    }
    FilePtr out(std::fopen(request.outputPath.c_str(), "r+be"));
    if (!out) {
        result.error = "cannot write " + request.outputPath + ": " + std::strerror(errno);
        return result;
    }
    std::unique_ptr<curl_slist, CurlDeleter> headers;
    for (const auto& [name, value] : request.headers) {
        curl_slist* next = curl_slist_append(headers.get(), (name + ": " + value).c_str());
        if (next == nullptr) {
            result.error = "out of memory";
            return result;
        }
        headers.release();
        headers.reset(next);
    }
    Transfer transfer;
    transfer.out = out.get();
    transfer.stop = request.stop;
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(c, CURLOPT_USERAGENT, request.userAgent.c_str());
    // The cookie engine stays on so that cookies set on the way (redirects) ride along.
    curl_easy_setopt(c, CURLOPT_COOKIEFILE, request.cookieFile.c_str());
    if (headers) curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());

    std::string url = request.url;
    bool post = request.post;
    for (int hop = 0;; ++hop) {
        if (hop > 10) {
            result.error = "too many redirects";
            return result;
        }
        // A redirect's page body is not the document.
        if (std::fflush(out.get()) != 0 || ftruncate(fileno(out.get()), 0) != 0) {
            result.error = "cannot write " + request.outputPath;
            return result;
        }
        std::rewind(out.get());
        transfer.size = 0;
        curl_easy_setopt(c, CURLOPT_URL, url.c_str());
        if (post) {
            curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.body.data());
            curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        } else {
            curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
        }
        CURLcode code = curl_easy_perform(c);
        if (code == CURLE_ABORTED_BY_CALLBACK && request.stop != nullptr && request.stop->load()) {
            result.outcome = FetchOutcome::Stopped;
            result.error = "stopped";
            return result;
        }
        if (code != CURLE_OK) {
            result.error = curl_easy_strerror(code);
            return result;
        }
        long status = 0;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
        result.status = status;
        result.finalUrl = url;
        char* location = nullptr;
        if (status >= 300 && status < 400 &&
            curl_easy_getinfo(c, CURLINFO_REDIRECT_URL, &location) == CURLE_OK && location != nullptr) {
            std::string next(location);
            if (!SameOrigin(url, next)) {
                result.outcome = FetchOutcome::HttpError;
                result.error = "redirect to another host refused: " + next;
                return result;
            }
            if (status != 307 && status != 308) post = false;
            url = next;
            continue;
        }
        char* type = nullptr;
        if (curl_easy_getinfo(c, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type != nullptr) {
            result.contentType = type;
        }
        break;
    }
    if (std::fflush(out.get()) != 0) {
        result.error = "cannot write " + request.outputPath;
        return result;
    }
    result.size = transfer.size;
    if (result.status >= 400 || result.status < 200) {
        result.outcome = FetchOutcome::HttpError;
        result.error = "HTTP status " + std::to_string(result.status);
        return result;
    }
    result.outcome = FetchOutcome::Done;
    return result;
}

}  // namespace

bool FileUrlPath(const std::string& url, std::string* path) {
    if (url.size() < 6 || url.compare(0, 5, "file:") != 0) return false;
    std::string rest = url.substr(5);
    if (rest.compare(0, 2, "//") == 0) {
        size_t slash = rest.find('/', 2);
        if (slash == std::string::npos) return false;
        std::string host = rest.substr(2, slash - 2);
        if (!host.empty() && host != "localhost") return false;
        rest = rest.substr(slash);
    }
    if (rest.empty() || rest[0] != '/') return false;
    std::string decoded;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '?' || rest[i] == '#') break;
        if (rest[i] == '%') {
            int high = i + 2 < rest.size() ? HexValue(rest[i + 1]) : -1;
            int low = i + 2 < rest.size() ? HexValue(rest[i + 2]) : -1;
            if (high < 0 || low < 0 || (high == 0 && low == 0)) return false;
            decoded += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            decoded += rest[i];
        }
    }
    *path = decoded;
    return true;
}

namespace {

bool HasScheme(const std::string& url) {
    size_t colon = url.find(':');
    if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(url[0])))
        return false;
    for (size_t i = 1; i < colon; ++i) {
        const unsigned char c = static_cast<unsigned char>(url[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

// "a/./b/../c" -> "a/c"; ".." never climbs above the root.
std::string RemoveDotSegments(const std::string& path) {
    std::vector<std::string> kept;
    size_t start = path[0] == '/' ? 1 : 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        std::string segment = path.substr(start, end - start);
        const bool last = end == path.size();
        if (segment == "..") {
            if (!kept.empty()) kept.pop_back();
            if (last) kept.emplace_back();
        } else if (segment == ".") {
            if (last) kept.emplace_back();
        } else {
            kept.push_back(segment);
        }
        start = end + 1;
    }
    std::string out = path[0] == '/' ? "/" : "";
    for (size_t i = 0; i < kept.size(); ++i) out += (i > 0 ? "/" : "") + kept[i];
    return out;
}

}  // namespace

std::string ResolveUrl(const std::string& base, const std::string& url) {
    if (url.empty()) return base;
    if (HasScheme(url) || !HasScheme(base)) return url;
    const size_t colon = base.find(':');
    const std::string scheme = base.substr(0, colon + 1);
    std::string rest = base.substr(colon + 1);
    rest = rest.substr(0, rest.find('#'));
    if (url[0] == '#') return scheme + rest + url;
    rest = rest.substr(0, rest.find('?'));
    if (url[0] == '?') return scheme + rest + url;
    if (url.compare(0, 2, "//") == 0) return scheme + url;
    std::string authority;
    if (rest.compare(0, 2, "//") == 0) {
        const size_t slash = rest.find('/', 2);
        authority = rest.substr(0, slash);
        rest = slash == std::string::npos ? "" : rest.substr(slash);
    }
    const size_t tail = url.find_first_of("?#");
    std::string path = url.substr(0, tail);
    const std::string suffix = tail == std::string::npos ? "" : url.substr(tail);
    if (path.empty()) return scheme + authority + rest + suffix;
    if (path[0] != '/') {
        const size_t lastSlash = rest.rfind('/');
        path = (lastSlash == std::string::npos ? std::string("/") : rest.substr(0, lastSlash + 1)) + path;
    }
    return scheme + authority + RemoveDotSegments(path) + suffix;
}

bool SameOrigin(const std::string& a, const std::string& b) {
    for (CURLUPart part : {CURLUPART_SCHEME, CURLUPART_HOST, CURLUPART_PORT}) {
        std::string left = UrlPart(a, part), right = UrlPart(b, part);
        if (left.empty() || left != right) return false;
    }
    return true;
}

FetchResult FetchUrl(const FetchRequest& request) {
    std::string path;
    if (FileUrlPath(request.url, &path)) return CopyLocalFile(path, request);
    if (request.url.compare(0, 5, "file:") == 0) {
        FetchResult result;
        result.error = "not a local file URL: " + request.url;
        return result;
    }
    return FetchHttp(request);
}

void FetchGlobalInit() { curl_global_init(CURL_GLOBAL_DEFAULT); }
void FetchGlobalCleanup() { curl_global_cleanup(); }
