// table_values.cpp - writing keys of the local server's table files, with a read-back check.
//
// Every change of a table goes through one edit of the file's image and one atomic
// rewrite, so a failure leaves the previous good copy; names and values that the
// profile reader would read back differently are refused before anything is written.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "arc_platform.h"
#include "arc_profile.h"
#include "qel_cshandle.h"
#include "qel_local.h"

namespace {

struct FreeImage {
    void operator()(char* text) const { std::free(text); }
};
using Image = std::unique_ptr<char, FreeImage>;

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

// The text written for a value: quoted unless empty or quoted by the caller already.
std::string WrittenForm(std::string_view value) {
    if (value.empty() || value.front() == '"') return std::string(value);
    return "\"" + std::string(value) + "\"";
}

// What the reader must give back for a value written in that form.
std::string ExpectedReadBack(std::string_view value) {
    if (value.front() != '"') return std::string(value);
    if (value.size() < 2) return {};
    return std::string(value.substr(1, value.size() - 2));
}

int Check(const QelTableValue& v) {
    if (v.section == nullptr || *v.section == '\0') return CS_FAILED;
    std::string_view section(v.section);
    if (HasLineBreak(section) || section.find(']') != std::string_view::npos) return CS_FAILED;
    if (v.key == nullptr) return v.value == nullptr ? CS_OK : CS_FAILED;
    std::string_view key(v.key);
    if (key.empty() || HasLineBreak(key) || key.find('=') != std::string_view::npos || key.front() == ';' ||
        key.front() == '[') {
        return CS_FAILED;
    }
    if (v.value == nullptr) return CS_OK;
    std::string_view value(v.value);
    if (HasLineBreak(value)) return CS_FAILED;
    // A longer line would be cut by every later read: refuse it rather than lose its tail.
    if (key.size() + 1 + WrittenForm(value).size() > ARCPROF_MAX_LINE) return CS_READ_BACK_DIFFERS;
    return CS_OK;
}

bool SameKey(const QelTableValue& a, const QelTableValue& b) {
    return a.key != nullptr && b.key != nullptr && ArcOS_StrICmp(a.section, b.section) == 0 &&
           ArcOS_StrICmp(a.key, b.key) == 0;
}

int VerifyWritten(const char* tableFile, const QelTableValue* values, size_t count) {
    char* raw = nullptr;
    if (ArcPROF_LoadFile(tableFile, &raw) != 0) return CS_FAILED;
    Image image(raw);
    std::vector<char> buffer(32768);
    for (size_t i = 0; i < count; ++i) {
        const QelTableValue& v = values[i];
        if (v.key == nullptr || v.value == nullptr || *v.value == '\0') continue;
        bool overwritten = false;
        for (size_t j = i + 1; j < count && !overwritten; ++j) overwritten = SameKey(v, values[j]);
        if (overwritten) continue;
        ArcPROF_GetFromImage(v.section, v.key, "", buffer.data(), buffer.size(), image.get());
        if (ExpectedReadBack(v.value) != buffer.data()) return CS_READ_BACK_DIFFERS;
    }
    return CS_OK;
}

// A writer killed between making its temporary file and renaming it (an updatedoc ended
// with kill -9) leaves the file beside the table for good: the next writer of that folder
// takes it away once no live writer can own it. A folder that cannot be listed only keeps
// its leftovers.
void RemoveLeftovers(const char* tableFile) {
    std::string_view path(tableFile);
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string_view::npos ? "." : std::string(path.substr(0, slash + 1));
    ArcOS_RemoveWriteLeftovers(folder.c_str());
}

}  // namespace

int QelLocal_PutValues(const char* tableFile, const QelTableValue* values, size_t count) {
    if (tableFile == nullptr || *tableFile == '\0' || (values == nullptr && count > 0)) return CS_FAILED;
    for (size_t i = 0; i < count; ++i) {
        if (int rc = Check(values[i]); rc != CS_OK) return rc;
    }
    char* raw = nullptr;
    if (ArcPROF_LoadFile(tableFile, &raw) != 0) return CS_FAILED;
    Image image(raw);
    std::string before = image ? image.get() : "";
    for (size_t i = 0; i < count; ++i) {
        const QelTableValue& v = values[i];
        std::string written = v.value != nullptr ? WrittenForm(v.value) : std::string();
        char* text = image.release();
        int rc = ArcPROF_SetInImage(v.section, v.key, v.value != nullptr ? written.c_str() : nullptr, &text);
        image.reset(text);
        // Deleting what is not there is no failure; a refused set is (names were checked).
        if (rc != 0 && v.value != nullptr) return CS_FAILED;
    }
    if (before == (image ? image.get() : "")) return VerifyWritten(tableFile, values, count);
    RemoveLeftovers(tableFile);
    if (ArcPROF_SaveFile(tableFile, image.get()) != 0) return CS_FAILED;
    return VerifyWritten(tableFile, values, count);
}

int QelLocal_PutValue(const char* section, const char* key, const char* value, const char* tableFile) {
    QelTableValue v{section, key, value};
    return QelLocal_PutValues(tableFile, &v, 1);
}
