// Segment requests: the URL or POST body for the browser, from a kept segment file or the
// gateway, and the steps of a segment fetch. No I/O here: the browser does the asking.
#include <algorithm>

#include "afp_split.h"

namespace afp {

namespace {

bool HasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

void MarkRequested(SplitInstance& instance, uint64_t number) {
    instance.requestPending = true;
    // During a fetch the segment on show before it began stays the one to go back to.
    if (!instance.fetching) instance.previousSegment = instance.currentSegment;
    instance.currentSegment = static_cast<int32_t>(number);
}

void RemovePrintFile(SplitInstance& instance) {
    if (instance.printFile.empty()) return;
    std::error_code error;
    std::filesystem::remove(instance.printFile, error);
    instance.printFile.clear();
}

// A kept file as a "file://" URL, percent-encoded but for letters, digits and "/._~-".
std::string FileUrl(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const char c : path) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || c == '/' ||
            c == '.' || c == '-' || c == '_' || c == '~') {
            url += c;
        } else {
            url += '%';
            url += kHex[b >> 4];
            url += kHex[b & 0x0F];
        }
    }
    return url;
}

// The URL of segment `number` at the gateway (the caller has checked the segment URL).
std::string SegmentGetUrl(const SplitInstance& instance, uint64_t number) {
    std::string url = instance.segmentUrl + std::to_string(number);
    // A URL into local files names the segment files "<n>.afp" (segment 0 "00.afp").
    if (url.find("file:/") != std::string::npos) {
        if (number == 0) url += '0';
        url += ".afp";
    }
    return url;
}

// The body of the POST of segment `number`; none for CR or LF in the form data.
std::optional<std::string> SegmentPostBody(const SplitInstance& instance, uint64_t number) {
    if (HasLineBreak(instance.segmentFormData)) return std::nullopt;
    const std::string digits = std::to_string(number);
    return "Content-Type: application/x-www-form-urlencoded\nContent-Length: " +
           std::to_string(instance.segmentFormData.size() + digits.size()) + "\n\n" +
           instance.segmentFormData + digits;
}

}  // namespace

void EndCollection(SplitInstance& instance) {
    instance.fetching = false;
    // The collected segments were never on show.
    instance.currentSegment = instance.previousSegment;
    RemovePrintFile(instance);
}

RequestResult RequestSegment(SplitInstance& instance, uint64_t offset, const BrowserRequests& browser) {
    if (instance.requestPending) return RequestResult::kPending;
    if (instance.pagesPerSegment == 0) return RequestResult::kRefused;
    return RequestSegmentNumber(instance, offset / instance.pagesPerSegment, browser);
}

RequestResult RequestSegmentNumber(SplitInstance& instance, uint64_t number, const BrowserRequests& browser) {
    if (instance.requestPending) return RequestResult::kPending;
    if (number > static_cast<uint64_t>(INT32_MAX)) return RequestResult::kRefused;
    if (instance.segmentCount > 0 && number >= instance.segmentCount) return RequestResult::kRefused;
    if (std::optional<std::string> kept = instance.segments.Get(static_cast<size_t>(number))) {
        if (!browser.getUrl) return RequestResult::kRefused;
        browser.getUrl(FileUrl(*kept));
        MarkRequested(instance, number);
        return RequestResult::kRequested;
    }
    // A line break would split the request's header.
    if (instance.segmentUrl.empty() || HasLineBreak(instance.segmentUrl)) return RequestResult::kRefused;
    if (instance.segmentFormData.empty()) {
        if (!browser.getUrl) return RequestResult::kRefused;
        browser.getUrl(SegmentGetUrl(instance, number));
    } else {
        const std::optional<std::string> body = SegmentPostBody(instance, number);
        if (!body || !browser.postUrl) return RequestResult::kRefused;
        browser.postUrl(instance.segmentUrl, *body);
    }
    MarkRequested(instance, number);
    return RequestResult::kRequested;
}

OpenResult OpenSegment(SplitInstance& instance, int32_t index, const SegmentHost& host) {
    if (instance.fetching && index > instance.lastSegmentToFetch) {
        if (!instance.printFile.empty() && host.printCollected) host.printCollected(instance.printFile);
        EndCollection(instance);
        return OpenResult::kPrinted;
    }
    if (index < 0 || (instance.segmentCount > 0 && static_cast<uint32_t>(index) >= instance.segmentCount)) {
        if (instance.fetching) EndCollection(instance);
        return OpenResult::kDone;
    }
    if (!instance.fetching) instance.previousSegment = instance.currentSegment;
    instance.fetching = true;
    instance.fetchIndex = index;
    const bool kept = instance.segments.Get(static_cast<size_t>(index)).has_value();
    if (!kept && !instance.confirmOff && host.confirmSegment) {
        const int answer = host.confirmSegment();
        if (answer == kAnswerCancel) {
            EndCollection(instance);
            return OpenResult::kCancelled;
        }
        if (answer == kAnswerYes) instance.confirmOff = true;
    }
    switch (RequestSegmentNumber(instance, static_cast<uint64_t>(index), host.browser)) {
        case RequestResult::kRequested: return OpenResult::kRequested;
        case RequestResult::kPending: return OpenResult::kPending;
        case RequestResult::kRefused: break;
    }
    EndCollection(instance);
    return OpenResult::kRefused;
}

}  // namespace afp
