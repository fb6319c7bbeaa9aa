// profile_edit.cpp - setting and deleting keys and sections in a profile image.
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "arc_profile.h"
#include "profile_lines.h"

using arcprof::detail::EqualsIgnoreCase;
using arcprof::detail::Line;
using arcprof::detail::LineKind;
using arcprof::detail::LineScanner;
using arcprof::detail::Trim;

namespace {

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// Refuses what would write a line that reads back as something else.
bool Acceptable(const char* section, const char* key, const char* value) {
    if (section == nullptr) {
        return false;
    }
    const std::string_view s = section;
    if (HasLineBreak(s) || s.find(']') != std::string_view::npos) {
        return false;
    }
    if (key != nullptr) {
        const std::string_view k = key;
        if (HasLineBreak(k) || k.find('=') != std::string_view::npos) {
            return false;
        }
        if (!k.empty() && (k[0] == ';' || k[0] == '[')) {
            return false;
        }
    }
    return value == nullptr || !HasLineBreak(value);
}

std::string KeyLine(const char* key, const char* value) {
    std::string line = key;
    line += '=';
    line += value;
    line += '\n';
    return line;
}

// Inserts at a line boundary; a last line without LF gets its LF first.
void InsertAt(std::string* text, size_t at, const std::string& piece) {
    if (at > 0 && at == text->size() && text->back() != '\n') {
        text->push_back('\n');
        ++at;
    }
    text->insert(at, piece);
}

struct SectionSpan {
    size_t headerBegin = 0;
    size_t headerEnd = 0;     // past the header line
    size_t end = 0;           // start of the next header, or the end of the text
    size_t insertAt = 0;      // past the last key line (or the header)
    std::optional<Line> key;  // first line whose trimmed key matches
};

std::optional<SectionSpan> FindSection(std::string_view text, std::string_view section, const char* key) {
    LineScanner scanner(text);
    Line line;
    bool found = false;
    while (!found && scanner.next(&line)) {
        found = line.kind == LineKind::Section && EqualsIgnoreCase(line.name, section);
    }
    if (!found) {
        return std::nullopt;
    }
    SectionSpan span;
    span.headerBegin = line.begin;
    span.headerEnd = line.end;
    span.insertAt = line.end;
    span.end = text.size();
    while (scanner.next(&line)) {
        if (line.kind == LineKind::Section) {
            span.end = line.begin;
            break;
        }
        if (line.kind != LineKind::Key) {
            continue;
        }
        span.insertAt = line.end;
        if (key != nullptr && !span.key && EqualsIgnoreCase(Trim(line.name), key)) {
            span.key = line;
        }
    }
    return span;
}

// The edit on a std::string: 0 done (text may be unchanged), 1 nothing to delete.
int Edit(std::string* text, const char* section, const char* key, const char* value) {
    const std::optional<SectionSpan> span = FindSection(*text, section, key);
    if (!span) {
        if (key == nullptr || value == nullptr) {
            return 0;
        }
        std::string piece = "[";
        piece += section;
        piece += "]\n";
        piece += KeyLine(key, value);
        piece += '\n';
        InsertAt(text, text->size(), piece);
        return 0;
    }
    if (key == nullptr) {
        text->erase(span->headerBegin, span->end - span->headerBegin);
        return 0;
    }
    if (span->key) {
        const Line& line = *span->key;
        if (value == nullptr) {
            text->erase(line.begin, line.end - line.begin);
        } else {
            text->replace(line.begin, line.end - line.begin, KeyLine(key, value));
        }
        return 0;
    }
    if (value == nullptr) {
        return 1;
    }
    InsertAt(text, span->insertAt, KeyLine(key, value));
    return 0;
}

}  // namespace

int ArcPROF_SetInImage(const char* section, const char* key, const char* value, char** text) {
    if (text == nullptr || !Acceptable(section, key, value)) {
        return 1;
    }
    std::string edited;
    try {
        edited = *text ? *text : "";
        if (Edit(&edited, section, key, value) != 0) {
            return 1;
        }
    } catch (const std::bad_alloc&) {
        return 1;
    }
    if (*text == nullptr ? edited.empty() : edited == *text) {
        return 0;
    }
    char* grown = static_cast<char*>(std::realloc(*text, edited.size() + 1));
    if (grown == nullptr) {
        return 1;
    }
    std::memcpy(grown, edited.c_str(), edited.size() + 1);
    *text = grown;
    return 0;
}
