// ldr_test_support.h - a line-data document held in memory and a reader over it.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "arc_codepage.h"
#include "arc_ldr.h"

namespace ldrtest {

// The bytes of a document and the read callback's position in them.
struct MemoryStream {
    std::vector<unsigned char> bytes;
    int64_t position = 0;
    int64_t largestRead = 0;  // the largest count the reader asked for
    bool refuseSeek = false;
};

inline bool MemoryRead(void* user, char operation, int64_t count, int64_t* countOut, unsigned char* buffer) {
    auto* s = static_cast<MemoryStream*>(user);
    const int64_t size = static_cast<int64_t>(s->bytes.size());
    switch (operation) {
        case ARC_LDR_READ: {
            s->largestRead = std::max(s->largestRead, count);
            const int64_t n = std::max<int64_t>(0, std::min(count, size - s->position));
            if (n > 0) std::memcpy(buffer, s->bytes.data() + s->position, static_cast<size_t>(n));
            s->position += n;
            *countOut = n;
            return true;
        }
        case ARC_LDR_TELL: *countOut = s->position; return true;
        case ARC_LDR_SEEK:
            if (s->refuseSeek || count < 0 || count > size) return false;
            s->position = count;
            return true;
        default: return false;
    }
}

// Record builders.
inline void AddV(std::vector<unsigned char>* out, const std::string& record) {
    out->push_back(static_cast<unsigned char>(record.size() >> 8));
    out->push_back(static_cast<unsigned char>(record.size() & 0xFF));
    out->insert(out->end(), record.begin(), record.end());
}
inline std::vector<unsigned char> VRecords(const std::vector<std::string>& records) {
    std::vector<unsigned char> out;
    for (const std::string& r : records) AddV(&out, r);
    return out;
}
inline std::vector<unsigned char> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// A reader with its callbacks: configured tables by CCSID, errors reported.
struct Harness {
    std::map<int32_t, std::string> tables;  // CCSID -> table text (lines of 80 bytes)
    std::vector<int> errors;
    std::vector<int32_t> tableRequests;
    std::vector<uint16_t> dbcs;
    int32_t dbcsMode = 0;
    ArcLdrReaderPtr reader;

    bool Make(int32_t outputCcsid, bool convert, ArcIconvContext* context) {
        ArcLdrCallbacks callbacks;
        callbacks.read = MemoryRead;
        callbacks.table = [this](int32_t ccsid, std::string* text, int32_t* lines) {
            tableRequests.push_back(ccsid);
            auto it = tables.find(ccsid);
            if (it == tables.end()) return false;
            *text = it->second;
            *lines = static_cast<int32_t>((it->second.size() + 79) / 80);
            return true;
        };
        callbacks.error = [this](void*, int result) { errors.push_back(result); };
        return ArcLDR_Create(&reader, callbacks, ArcLdrDbcsTable{dbcs, dbcsMode}, outputCcsid, convert,
                             context);
    }
};

// Every line of a page, whole.
inline std::vector<std::string> PageLines(ArcLdrDocument* document) {
    std::vector<std::string> lines;
    for (int32_t i = 0;; ++i) {
        auto line = ArcLDR_GetLine(document, i, 0, 0, false);
        if (!line) break;
        lines.emplace_back(line->text);
    }
    return lines;
}

// Every page's lines.
inline std::vector<std::vector<std::string>> AllPages(ArcLdrDocument* document) {
    std::vector<std::vector<std::string>> pages;
    const int32_t count = ArcLDR_GetInfo(document).pageCount;
    for (int32_t p = 0; p < count; ++p) {
        if (!ArcLDR_GotoPage(document, p)) break;
        pages.push_back(PageLines(document));
    }
    return pages;
}

}  // namespace ldrtest
