// profile_lines.cpp - line classification and the small text helpers of the profile
// library.
#include "profile_lines.h"

#include "arc_profile.h"

namespace arcprof::detail {

namespace {

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

void Classify(std::string_view content, Line* line) {
    line->name = {};
    line->value = {};
    if (content.empty() || content[0] == '\r') {
        line->kind = LineKind::Blank;
        return;
    }
    if (content[0] == ';') {
        line->kind = LineKind::Comment;
        return;
    }
    if (content[0] == '[') {
        const size_t close = content.find(']', 1);
        if (close != std::string_view::npos) {
            line->kind = LineKind::Section;
            line->name = content.substr(1, close - 1);
            return;
        }
    }
    const size_t eq = content.find('=');
    if (eq != std::string_view::npos) {
        line->kind = LineKind::Key;
        line->name = content.substr(0, eq);
        line->value = content.substr(eq + 1);
        return;
    }
    line->kind = LineKind::Other;
}

}  // namespace

bool LineScanner::next(Line* line) {
    if (pos_ >= text_.size()) {
        return false;
    }
    const size_t lf = text_.find('\n', pos_);
    const size_t stop = (lf == std::string_view::npos) ? text_.size() : lf;
    std::string_view content = text_.substr(pos_, stop - pos_);
    if (content.size() > ARCPROF_MAX_LINE) {
        content = content.substr(0, ARCPROF_MAX_LINE);
    }
    line->begin = pos_;
    line->hasLineFeed = (lf != std::string_view::npos);
    line->end = line->hasLineFeed ? lf + 1 : text_.size();
    Classify(content, line);
    pos_ = line->end;
    return true;
}

bool IsBlankChar(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlankChar(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlankChar(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

std::string_view CleanValue(std::string_view raw) {
    std::string_view v = Trim(raw);
    // A lone quote is a value of its own, not an empty pair.
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
    }
    return v;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace arcprof::detail
