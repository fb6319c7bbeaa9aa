// table_file.cpp - checked reads of a table file's values.
#include "table_file.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "arc_profile.h"
#include "qel_local.h"

namespace qel::local::detail {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Names compare as the profile reader compares them: ASCII letters without case.
std::string Folded(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

}  // namespace

int TableFile::Load(const std::string& path) {
    char* raw = nullptr;
    if (ArcPROF_LoadFile(path.c_str(), &raw) != 0) return CS_FAILED;
    std::string text = raw != nullptr ? raw : "";
    std::free(raw);
    return LoadText(text);
}

int TableFile::LoadText(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    // The profile reader would cut a longer line and go on with what is left: a list
    // would lose its tail without notice. No writer of ours makes such a line.
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        if (end - start > ARCPROF_MAX_LINE) {
            text_.clear();
            sections_.clear();
            return CS_FAILED;
        }
        start = end + 1;
    }
    text_.assign(text);
    sections_.clear();
    return CS_OK;
}

const TableFile::Section* TableFile::Lookup(std::string_view section) const {
    section = section.substr(0, section.find('\0'));  // the name ends there for the reader
    std::string folded = Folded(section);
    for (const Section& known : sections_) {
        if (known.foldedName == folded) return known.present ? &known : nullptr;
    }
    Section found;
    found.foldedName = std::move(folded);
    std::vector<ArcPROFEntry> lines;
    found.present = ArcPROF_ListSection(std::string(section).c_str(), text_.c_str(), &lines) == 0;
    found.entries.reserve(lines.size());
    for (ArcPROFEntry& line : lines) found.entries.emplace_back(std::move(line.key), std::move(line.value));
    sections_.push_back(std::move(found));
    return sections_.back().present ? &sections_.back() : nullptr;
}

std::optional<std::string> TableFile::Get(std::string_view section, std::string_view key) const {
    const Section* found = Lookup(section);
    if (found == nullptr) return std::nullopt;
    // The first key line of that name, as the profile reader finds it.
    const std::string folded = Folded(key.substr(0, key.find('\0')));
    for (const auto& [name, value] : found->entries) {
        if (name.size() == folded.size() && Folded(name) == folded) return value;
    }
    return std::nullopt;
}

bool TableFile::HasSection(std::string_view section) const {
    std::string s(section);
    char flag[2] = {};
    ArcPROF_GetFromImage(s.c_str(), nullptr, "0", flag, sizeof flag, text_.c_str());
    return flag[0] == '1';
}

int TableFile::Entries(std::string_view section,
                       std::vector<std::pair<std::string, std::string>>* entries) const {
    entries->clear();
    std::vector<ArcPROFEntry> lines;
    if (ArcPROF_ListSection(std::string(section).c_str(), text_.c_str(), &lines) != 0) return CS_NOT_FOUND;
    for (ArcPROFEntry& line : lines) entries->emplace_back(std::move(line.key), std::move(line.value));
    return CS_OK;
}

int TableFile::Text(std::string_view section, std::string_view key, char* field, size_t size,
                    CsReturnCode missing, const char* defaultValue) const {
    std::string value;
    int rc = LongText(section, key, &value, missing, defaultValue, size - 1);
    if (rc != CS_OK) return rc;
    std::memcpy(field, value.c_str(), value.size() + 1);
    return CS_OK;
}

int TableFile::LongText(std::string_view section, std::string_view key, std::string* value,
                        CsReturnCode missing, const char* defaultValue, size_t maxLength) const {
    std::optional<std::string> v = Get(section, key);
    if (!v) {
        if (defaultValue == nullptr) return missing;
        v = defaultValue;
    }
    if (v->size() > maxLength) return CS_FAILED;
    *value = std::move(*v);
    return CS_OK;
}

std::optional<int64_t> ParseNumber(std::string_view text, int64_t low, int64_t high) {
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 19) return std::nullopt;
    uint64_t magnitude = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        magnitude = magnitude * 10 + uint64_t(c - '0');
    }
    // 19 digits stay below 2^64; the sign decides the 63-bit limit.
    if (magnitude > uint64_t(std::numeric_limits<int64_t>::max()) + (negative ? 1 : 0)) return std::nullopt;
    int64_t result = negative ? int64_t(0 - magnitude) : int64_t(magnitude);
    if (result < low || result > high) return std::nullopt;
    return result;
}

int TableFile::Number(std::string_view section, std::string_view key, int64_t low, int64_t high,
                      int64_t* value, CsReturnCode missing, std::optional<int64_t> defaultValue) const {
    std::optional<std::string> v = Get(section, key);
    if (!v) {
        if (!defaultValue) return missing;
        *value = *defaultValue;
        return CS_OK;
    }
    std::optional<int64_t> n = ParseNumber(*v, low, high);
    if (!n) return CS_FAILED;
    *value = *n;
    return CS_OK;
}

int TableFile::Int32(std::string_view section, std::string_view key, int32_t* value, CsReturnCode missing,
                     std::optional<int64_t> defaultValue) const {
    int64_t n = 0;
    int rc = Number(section, key, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
                    &n, missing, defaultValue);
    if (rc == CS_OK) *value = int32_t(n);
    return rc;
}

int TableFile::UInt16(std::string_view section, std::string_view key, uint16_t* value, CsReturnCode missing,
                      std::optional<int64_t> defaultValue) const {
    int64_t n = 0;
    int rc = Number(section, key, -32768, 65535, &n, missing, defaultValue);
    if (rc == CS_OK) *value = uint16_t(n & 0xFFFF);
    return rc;
}

int TableFile::Letter(std::string_view section, std::string_view key, char* value, CsReturnCode missing,
                      char defaultValue) const {
    std::optional<std::string> v = Get(section, key);
    if (!v) {
        if (defaultValue == 0) return missing;
        *value = defaultValue;
        return CS_OK;
    }
    if (v->size() > 1) return CS_FAILED;
    *value = v->empty() ? '\0' : (*v)[0];
    return CS_OK;
}

int SplitList(std::string_view text, std::vector<std::string>* items) {
    items->clear();
    while (!text.empty()) {
        size_t comma = text.find(',');
        std::string_view item = Trim(text.substr(0, comma));
        if (!item.empty()) {
            if (items->size() == size_t(QELLOCAL_MAX_IDS)) return CS_FAILED;
            items->emplace_back(item);
        }
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return CS_OK;
}

int GroupListIds(const char* groupList, std::vector<int32_t>* ids) {
    ids->clear();
    if (groupList == nullptr) return CS_OK;
    std::string_view text(groupList);
    const size_t first = text.find_first_of("0123456789");
    if (first == std::string_view::npos) return CS_OK;
    text.remove_prefix(first);
    text = text.substr(0, text.find(')'));
    std::vector<std::string> items;
    if (SplitList(text, &items) != CS_OK) return CS_FAILED;
    for (const std::string& item : items) {
        std::optional<int64_t> id =
            ParseNumber(item, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
        if (!id) return CS_FAILED;
        ids->push_back(int32_t(*id));
    }
    return CS_OK;
}

int TableFile::NameList(std::string_view section, std::string_view key,
                        std::vector<std::string>* names) const {
    std::optional<std::string> v = Get(section, key);
    if (!v) return CS_NOT_FOUND;
    return SplitList(*v, names);
}

int TableFile::IdList(std::string_view section, std::string_view key, std::vector<int32_t>* ids) const {
    std::vector<std::string> items;
    int rc = NameList(section, key, &items);
    ids->clear();
    if (rc != CS_OK) return rc;
    for (const std::string& item : items) {
        std::optional<int64_t> n =
            ParseNumber(item, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
        if (!n) return CS_FAILED;
        ids->push_back(int32_t(*n));
    }
    return CS_OK;
}

}  // namespace qel::local::detail
