// The parameter-text engine: find sections and keys, insert, replace and delete lines.
#include "qel_parm.h"

#include <cstring>

#include "parm_values.h"

using qelparm::detail::CurrentDelims;
using qelparm::detail::Without;

namespace {

const char* NextLine(const char* p) {
    const char* end = ParmLineEnd(p);
    return *end ? end + 1 : end;
}

bool IsSectionLine(const char* line, std::string_view name, const qelparm::detail::ParmDelims& d) {
    if (*line != d.open) return false;
    ++line;
    if (std::strncmp(line, name.data(), name.size()) != 0) return false;
    line += name.size();
    if (*line != d.close) return false;
    ++line;
    return *line == '\n' || *line == '\0';
}

// What a setter may write: no line breaks anywhere, no '=' in a key and no key that
// would read as a section line.
std::string CleanName(const char* name) { return Without(name ? name : "", "\r\n"); }
std::string CleanValue(const char* value) { return Without(value ? value : "", "\r\n"); }
std::string CleanKey(const char* key) {
    std::string out = Without(key ? key : "", "\r\n=");
    char open = CurrentDelims().open;
    size_t skip = 0;
    while (skip < out.size() && out[skip] == open) ++skip;
    return out.substr(skip);
}

bool AtLineStart(const std::string& text, size_t position) {
    return position == 0 || text[position - 1] == '\n';
}

// Moves a position that is not at a line start to the start of the next line, and
// gives the text its last LF when the position is its end.
size_t LineStartAtOrAfter(std::string& text, size_t position) {
    if (position > text.size()) position = text.size();
    if (!AtLineStart(text, position)) {
        size_t lf = text.find('\n', position);
        position = lf == std::string::npos ? text.size() : lf + 1;
    }
    if (position == text.size() && !text.empty() && text.back() != '\n') {
        text.push_back('\n');
        position = text.size();
    }
    return position;
}

size_t InsertRaw(ParmText* text, size_t position, const std::string& line) {
    position = LineStartAtOrAfter(text->text, position);
    text->text.insert(position, line + '\n');
    return position + line.size() + 1;
}

}  // namespace

const char* ParmLineEnd(const char* p) {
    if (p == nullptr) return nullptr;
    while (*p != '\0' && *p != '\n') ++p;
    return p;
}

const char* ParmFindSection(const char* text, const char* name) {
    if (text == nullptr || name == nullptr) return nullptr;
    auto d = CurrentDelims();
    std::string_view wanted(name);
    for (const char* line = text; *line != '\0'; line = NextLine(line))
        if (IsSectionLine(line, wanted, d)) return NextLine(line);
    return nullptr;
}

const char* ParmFindKey(const char* body, const char* key) {
    if (body == nullptr || key == nullptr) return nullptr;
    char open = CurrentDelims().open;
    size_t length = std::strlen(key);
    for (const char* line = body; *line != '\0'; line = NextLine(line)) {
        if (*line == open) return nullptr;
        if (std::strncmp(line, key, length) == 0 && line[length] == '=') return line + length + 1;
    }
    return nullptr;
}

std::optional<std::string> ParmGetString(const char* body, const char* key) {
    const char* value = ParmFindKey(body, key);
    if (value == nullptr) return std::nullopt;
    return qelparm::detail::OrOnNoMemory(std::optional<std::string>(), [&] {
        return std::optional<std::string>(std::string(value, ParmLineEnd(value)));
    });
}

size_t ParmFindSectionAt(const ParmText* text, const char* name) {
    if (text == nullptr) return PARM_NPOS;
    const char* base = text->c_str();
    const char* body = ParmFindSection(base, name);
    return body ? size_t(body - base) : PARM_NPOS;
}

size_t ParmFindKeyAt(const ParmText* text, size_t body, const char* key) {
    if (text == nullptr || body > text->text.size()) return PARM_NPOS;
    const char* base = text->c_str();
    const char* value = ParmFindKey(base + body, key);
    return value ? size_t(value - base) : PARM_NPOS;
}

size_t ParmAppendSection(ParmText* text, const char* name) {
    if (text == nullptr) return PARM_NPOS;
    return qelparm::detail::OrOnNoMemory(PARM_NPOS, [&] {
        auto d = CurrentDelims();
        std::string line = std::string(1, d.open) + CleanName(name) + d.close;
        return InsertRaw(text, text->text.size(), line);
    });
}

namespace {

void SetValue(ParmText* text, const char* section, const char* key, const char* value) {
    std::string cleanSection = CleanName(section);
    std::string cleanKey = CleanKey(key);
    size_t body = ParmFindSectionAt(text, cleanSection.c_str());
    if (body == PARM_NPOS) {
        if (value == nullptr) return;
        body = ParmAppendSection(text, cleanSection.c_str());
        ParmInsertKey(text, body, cleanKey.c_str(), value);
        return;
    }
    size_t found = ParmFindKeyAt(text, body, cleanKey.c_str());
    if (value == nullptr) {
        if (found != PARM_NPOS) ParmDeleteKey(text, found);
    } else if (found == PARM_NPOS) {
        ParmInsertKey(text, body, cleanKey.c_str(), value);
    } else {
        ParmReplaceValue(text, found, value);
    }
}

}  // namespace

void ParmSetValue(ParmText* text, const char* section, const char* key, const char* value) {
    if (text == nullptr) return;
    qelparm::detail::OrOnNoMemory(0, [&] {
        SetValue(text, section, key, value);
        return 0;
    });
}

size_t ParmInsertKey(ParmText* text, size_t position, const char* key, const char* value) {
    if (text == nullptr) return PARM_NPOS;
    return qelparm::detail::OrOnNoMemory(
        PARM_NPOS, [&] { return InsertRaw(text, position, CleanKey(key) + '=' + CleanValue(value)); });
}

size_t ParmInsertLine(ParmText* text, size_t position, const char* line) {
    if (text == nullptr) return PARM_NPOS;
    return qelparm::detail::OrOnNoMemory(PARM_NPOS,
                                         [&] { return InsertRaw(text, position, CleanValue(line)); });
}

void ParmReplaceValue(ParmText* text, size_t valueStart, const char* value) {
    if (text == nullptr || valueStart > text->text.size()) return;
    size_t end = text->text.find('\n', valueStart);
    if (end == std::string::npos) end = text->text.size();
    qelparm::detail::OrOnNoMemory(0, [&] {
        text->text.replace(valueStart, end - valueStart, CleanValue(value));
        return 0;
    });
}

void ParmDeleteKey(ParmText* text, size_t valueStart) {
    if (text == nullptr || valueStart == 0 || valueStart > text->text.size()) return;
    size_t lf = text->text.rfind('\n', valueStart - 1);
    ParmDeleteLine(text, lf == std::string::npos ? 0 : lf + 1);
}

size_t ParmDeleteLine(ParmText* text, size_t lineStart) {
    if (text == nullptr || lineStart >= text->text.size()) return 0;
    size_t end = text->text.find('\n', lineStart);
    end = end == std::string::npos ? text->text.size() : end + 1;
    size_t moved = text->text.size() - end;
    text->text.erase(lineStart, end - lineStart);
    return moved;
}

void ParmEscapeViewName(const char* text, int mode, std::string* out) {
    if (out == nullptr) return;
    out->assign(text ? text : "");
    char from = mode == 1 ? ',' : '\x01';
    char to = mode == 1 ? '\x01' : ',';
    for (char& c : *out)
        if (c == from) c = to;
}
