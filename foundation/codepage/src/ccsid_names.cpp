// ccsid_names.cpp - reading qelcpcs.cfg and naming CCSIDs.
#include "ccsid_names.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "arc_codepage.h"
#include "arc_platform.h"

namespace qel::codepage {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// One line without its line feed. 0, or 7 for a CCSID without white space after it.
int ParseLine(std::string_view line, size_t rawLength, std::vector<CcsidName>* names) {
    if (rawLength < 2 || line.empty() || line[0] == '#' || IsBlank(line[0])) return 0;
    while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
    size_t i = 0;
    int64_t ccsid = 0;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
        ccsid = ccsid * 10 + (line[i] - '0');
        if (ccsid > INT32_MAX) return ARC_ICONV_OTHER;
        ++i;
    }
    if (i == 0 || i == line.size() || !IsBlank(line[i])) return ARC_ICONV_OTHER;
    while (i < line.size() && IsBlank(line[i])) ++i;
    size_t start = i;
    while (i < line.size() && line[i] != '#' && !IsBlank(line[i])) ++i;
    if (i == start) return 0;  // only a comment after the CCSID
    std::string_view name = line.substr(start, std::min(i - start, ARC_ICONV_NAME_MAX));
    names->push_back({static_cast<int32_t>(ccsid), std::string(name)});
    return 0;
}

}  // namespace

int ParseCcsidNames(std::string_view text, std::vector<CcsidName>* names) {
    int result = 0;
    try {
        size_t at = 0;
        while (at < text.size()) {
            size_t end = text.find('\n', at);
            size_t next = end == std::string_view::npos ? text.size() : end + 1;
            // The raw line counts its line feed, as a line read with fgets does.
            std::string_view line = text.substr(at, (end == std::string_view::npos ? text.size() : end) - at);
            size_t rawLength = next - at;
            if (line.size() > kMaxConfigLine) {
                line = line.substr(0, kMaxConfigLine);  // the rest of a long line is dropped
                rawLength = kMaxConfigLine;
            }
            if (int rc = ParseLine(line, rawLength, names); rc != 0) result = rc;
            at = next;
        }
    } catch (const std::bad_alloc&) {
        return ARC_ICONV_NO_MEMORY;
    }
    return result;
}

int LoadCcsidNames(const std::string& localePath, std::vector<CcsidName>* names) {
    std::string path = localePath;
    if (!path.empty() && path.back() != '/') path += '/';
    path += "qelcpcs.cfg";
    std::string text;
    if (ArcOS_ReadFile(path.c_str(), &text) != 0) return ARC_ICONV_OTHER;
    return ParseCcsidNames(text, names);
}

}  // namespace qel::codepage

int ArcICONV_CcsidToName(ArcIconvContext* context, int32_t ccsid, char* name) {
    if (context != nullptr) {
        for (auto it = context->names.rbegin(); it != context->names.rend(); ++it) {
            if (it->ccsid == ccsid && !it->name.empty()) {
                std::memcpy(name, it->name.c_str(), it->name.size() + 1);
                return ARC_ICONV_OK;
            }
        }
    }
    if (ccsid == 0) return ARC_ICONV_NOT_SUPPORTED;
    if (ArcICONV_IsUcs2Ccsid(ccsid)) {
        std::strcpy(name, "UCS-2");
    } else if (ArcICONV_IsUtf8Ccsid(ccsid)) {
        std::strcpy(name, "UTF-8");
    } else {
        std::snprintf(name, ARC_ICONV_NAME_MAX + 1, "KVR-%03ld", static_cast<long>(ccsid));
    }
    return ARC_ICONV_OK;
}
