// Matches a text against LIKE pieces. A literal prefix and suffix are checked
// first; a pattern of any-runs and literal runs alone is matched by searching
// each run in turn (the earliest place of a run leaves the most text to the
// rest); any other pattern walks the set of text positions each piece can
// reach, kept as a bit set, so no pattern costs more than pieces x text.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "like_pieces.h"

namespace {

using Word = uint64_t;
constexpr size_t kBits = 64;
constexpr size_t kStackWords = 64;   // bit sets of texts up to 4,095 characters live on the stack
constexpr size_t kStackPieces = 16;  // compiled patterns up to 16 characters likewise

// Short runs compare inline: a call costs more than the bytes.
bool SameBytes(const char* a, const char* b, size_t size) {
    if (size > 8) return std::memcmp(a, b, size) == 0;
    for (size_t i = 0; i < size; ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

constexpr size_t kNearTries = 8;  // places tried by the quick tests at the ends

// False when run does not start within the first singles+1 places of text;
// true also when that is too many places to try.
bool RunNearStart(std::string_view text, size_t singles, const char* run, size_t size) {
    if (singles >= kNearTries) return true;
    for (size_t at = 0; at <= singles && at + size <= text.size(); ++at) {
        if (SameBytes(text.data() + at, run, size)) return true;
    }
    return false;
}

// The same for a run that must end within the last singles+1 places.
bool RunNearEnd(std::string_view text, size_t singles, const char* run, size_t size) {
    if (singles >= kNearTries) return true;
    for (size_t back = 0; back <= singles && back + size <= text.size(); ++back) {
        if (SameBytes(text.data() + text.size() - back - size, run, size)) return true;
    }
    return false;
}

// Where run first occurs in text at or after from, or npos.
size_t Find(std::string_view text, size_t from, const char* run, size_t size) {
    if (size > text.size() - from) return std::string_view::npos;
    const char* start = text.data() + from;
    const void* found = size == 1 ? std::memchr(start, *run, text.size() - from)
                                  : memmem(start, text.size() - from, run, size);
    return found == nullptr ? std::string_view::npos
                            : static_cast<size_t>(static_cast<const char*>(found) - text.data());
}

// Every position from the lowest one in reach on, within full.
Word FromLowest(Word reach, Word full) { return full & ~((reach & (Word{0} - reach)) - 1); }

// Positions up to count after those in reach (count < 64).
Word Smear(Word reach, size_t count) {
    for (size_t span = 1; span <= count;) {
        const size_t shift = std::min(span, count + 1 - span);
        reach |= reach << shift;
        span += shift;
    }
    return reach;
}

// Copies n < 64 bytes in fixed-size pieces that may overlap: no call.
void CopyShort(char* to, const char* from, size_t n) {
    if (n >= 16) {
        for (size_t k = 0; k + 16 <= n; k += 16) std::memcpy(to + k, from + k, 16);
        std::memcpy(to + n - 16, from + n - 16, 16);
    } else if (n >= 8) {
        std::memcpy(to, from, 8);
        std::memcpy(to + n - 8, from + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(to, from, 4);
        std::memcpy(to + n - 4, from + n - 4, 4);
    } else {
        for (size_t i = 0; i < n; ++i) to[i] = from[i];
    }
}

// The positions of a text of at most 63 characters where each character stands.
class ShortText {
public:
    explicit ShortText(std::string_view text) : chunks_(text.size() / 16 + 1) {
        std::memset(bytes_, 0, sizeof bytes_);  // a fixed size: a few stores, no call
        CopyShort(bytes_, text.data(), text.size());
        inText_ = (Word{1} << text.size()) - 1;
    }

    // Bit j: the text holds c at j.
    Word Where(char c) const {
        Word mask = 0;
#if defined(__SSE2__)
        const __m128i wanted = _mm_set1_epi8(c);
        for (size_t k = 0; k < chunks_; ++k) {
            const __m128i chunk = _mm_load_si128(reinterpret_cast<const __m128i*>(bytes_ + 16 * k));
            const auto equal = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, wanted)));
            mask |= static_cast<Word>(equal) << (16 * k);
        }
#else
        for (size_t j = 0; j < chunks_ * 16; ++j) mask |= static_cast<Word>(bytes_[j] == c) << j;
#endif
        return mask & inText_;  // the padding is no character of the text
    }

private:
    alignas(16) char bytes_[64];
    size_t chunks_;
    Word inText_;
};

// Texts of at most 63 characters: positions 0..m in one word.
int MatchWord(const QelLike_Piece* pieces, size_t count, const char* base, std::string_view text) {
    const size_t m = text.size();
    const Word full = m + 1 == kBits ? ~Word{0} : (Word{1} << (m + 1)) - 1;
    const ShortText where(text);
    Word reach = 1;
    for (size_t i = 0; i < count; ++i) {
        const QelLike_Piece& piece = pieces[i];
        switch (piece.kind) {
            case QELLIKE_LITERAL: {
                if (piece.size > m) return 0;
                // Starts j where the whole run follows: text[j + k] is run[k] for every k.
                const char* run = base + piece.offset;
                Word starts = reach;
                for (size_t k = 0; k < piece.size && starts != 0; ++k) starts &= where.Where(run[k]) >> k;
                reach = starts << piece.size;
                break;
            }
            case QELLIKE_SINGLE:
                reach = piece.size >= m ? FromLowest(reach, full) : Smear(reach, piece.size) & full;
                break;
            case QELLIKE_ANY:
                if (i + 1 == count) return 1;  // a trailing run takes whatever is left
                reach = FromLowest(reach, full);
                break;
            default: return 0;
        }
        if (reach == 0) return 0;
    }
    return static_cast<int>((reach >> m) & 1);
}

// words |= words << shift, in place: high words first, so every word read is
// still unchanged.
void ShiftOr(Word* words, size_t count, size_t shift) {
    const size_t whole = shift / kBits;
    const size_t part = shift % kBits;
    for (size_t i = count; i-- > whole;) {
        Word moved = words[i - whole] << part;
        if (part != 0 && i > whole) moved |= words[i - whole - 1] >> (kBits - part);
        words[i] |= moved;
    }
}

// Longer texts: positions 0..m in words, lowest position in the lowest bit.
int MatchWords(const QelLike_Piece* pieces, size_t count, const char* base, std::string_view text) {
    const size_t m = text.size();
    const size_t words = m / kBits + 1;
    const size_t topBits = (m + 1) % kBits;
    const Word top = topBits == 0 ? ~Word{0} : (Word{1} << topBits) - 1;
    Word onStack[2 * kStackWords];
    thread_local std::vector<Word> large;  // reused: grows to the longest text seen
    Word* reach = onStack;
    if (words > kStackWords) {
        if (large.size() < 2 * words) large.resize(2 * words);
        reach = large.data();
    }
    Word* next = reach + words;
    std::fill(reach, reach + words, Word{0});
    reach[0] = 1;
    size_t low = 0;  // the lowest word with a reachable position; it never moves back
    auto fromLowest = [&](Word* set) {
        set[low] = FromLowest(set[low], ~Word{0});
        std::fill(set + low + 1, set + words, ~Word{0});
    };
    for (size_t i = 0; i < count; ++i) {
        const QelLike_Piece& piece = pieces[i];
        switch (piece.kind) {
            case QELLIKE_LITERAL: {
                const char* run = base + piece.offset;
                std::fill(next, next + words, Word{0});
                bool done = false;
                for (size_t w = low; w < words && !done; ++w) {
                    for (Word bits = reach[w]; bits != 0; bits &= bits - 1) {
                        const size_t j = w * kBits + static_cast<size_t>(std::countr_zero(bits));
                        if (piece.size > m - j) {
                            done = true;
                            break;
                        }
                        if (SameBytes(text.data() + j, run, piece.size)) {
                            const size_t to = j + piece.size;
                            next[to / kBits] |= Word{1} << (to % kBits);
                        }
                    }
                }
                std::swap(reach, next);
                break;
            }
            case QELLIKE_SINGLE:
                if (piece.size >= m) {
                    fromLowest(reach);
                } else {
                    for (size_t span = 1; span <= piece.size;) {
                        const size_t shift = std::min(span, piece.size + 1 - span);
                        ShiftOr(reach, words, shift);
                        span += shift;
                    }
                }
                break;
            case QELLIKE_ANY:
                if (i + 1 == count) return 1;
                fromLowest(reach);
                break;
            default: return 0;
        }
        reach[words - 1] &= top;
        while (low < words && reach[low] == 0) ++low;
        if (low == words) return 0;
    }
    return static_cast<int>((reach[m / kBits] >> (m % kBits)) & 1);
}

}  // namespace

namespace qellike {

int MatchPieces(const QelLike_Piece* pieces, size_t count, const char* base, std::string_view text) {
    // A literal run at either end fixes where it stands.
    if (count > 0 && pieces[0].kind == QELLIKE_LITERAL) {
        const size_t size = pieces[0].size;
        if (size > text.size() || !SameBytes(text.data(), base + pieces[0].offset, size)) return 0;
        text.remove_prefix(size);
        ++pieces;
        --count;
    }
    if (count > 0 && pieces[count - 1].kind == QELLIKE_LITERAL) {
        const size_t size = pieces[count - 1].size;
        if (size > text.size() ||
            !SameBytes(text.data() + text.size() - size, base + pieces[count - 1].offset, size)) {
            return 0;
        }
        text.remove_suffix(size);
        --count;
    }
    if (count == 0) return text.empty() ? 1 : 0;

    // A short run of singles at an end leaves the literal run beside it only a
    // few places: a quick test that turns most texts away.
    if (count >= 2 && pieces[0].kind == QELLIKE_SINGLE && pieces[1].kind == QELLIKE_LITERAL &&
        !RunNearStart(text, pieces[0].size, base + pieces[1].offset, pieces[1].size)) {
        return 0;
    }
    if (count >= 2 && pieces[count - 1].kind == QELLIKE_SINGLE && pieces[count - 2].kind == QELLIKE_LITERAL &&
        !RunNearEnd(text, pieces[count - 1].size, base + pieces[count - 2].offset, pieces[count - 2].size)) {
        return 0;
    }
    const bool singles = std::any_of(pieces, pieces + count, [](const QelLike_Piece& p) {
        return p.kind != QELLIKE_LITERAL && p.kind != QELLIKE_ANY;
    });
    // One character to find, or a long text: search each run in turn.
    if (!singles && ((count <= 3 && (count < 2 || pieces[1].size == 1)) || text.size() >= kBits)) {
        // Any-runs at both ends with literal runs between them.
        size_t at = 0;
        for (size_t i = 0; i < count; ++i) {
            if (pieces[i].kind != QELLIKE_LITERAL) continue;
            const size_t found = Find(text, at, base + pieces[i].offset, pieces[i].size);
            if (found == std::string_view::npos) return 0;
            at = found + pieces[i].size;
        }
        return 1;
    }
    return text.size() < kBits ? MatchWord(pieces, count, base, text) : MatchWords(pieces, count, base, text);
}

}  // namespace qellike

int QelLike_MatchSteps(const std::vector<QelLike_Step>& steps, std::string_view text) {
    // The steps as pieces: literals joined into runs, wildcards merged as the
    // compiler merges them.
    thread_local std::string literals;
    thread_local std::vector<QelLike_Piece> pieces;
    literals.clear();
    pieces.clear();
    for (const QelLike_Step& step : steps) {
        if (step.kind == QELLIKE_END) break;
        QelLike_Piece* last = pieces.empty() ? nullptr : &pieces.back();
        switch (step.kind) {
            case QELLIKE_LITERAL:
                literals += step.literal;
                if (last != nullptr && last->kind == QELLIKE_LITERAL) {
                    ++last->size;
                } else {
                    pieces.push_back({QELLIKE_LITERAL, 1, literals.size() - 1});
                }
                break;
            case QELLIKE_SINGLE:
                if (last != nullptr && last->kind == QELLIKE_SINGLE) {
                    last->size = step.count > SIZE_MAX - last->size ? SIZE_MAX : last->size + step.count;
                } else if (last == nullptr || last->kind != QELLIKE_ANY) {
                    pieces.push_back({QELLIKE_SINGLE, step.count, 0});
                }
                break;
            case QELLIKE_ANY:
                if (last != nullptr && last->kind == QELLIKE_SINGLE) {
                    *last = {QELLIKE_ANY, 0, 0};
                } else if (last == nullptr || last->kind != QELLIKE_ANY) {
                    pieces.push_back({QELLIKE_ANY, 0, 0});
                }
                break;
            default: return 0;
        }
    }
    return qellike::MatchPieces(pieces.data(), pieces.size(), literals.data(), text);
}

namespace {

// Compiles the pattern where no allocation is needed (the stack, or a buffer kept per
// thread) and matches the text.
int MatchCompiled(std::string_view pattern, std::string_view text) {
    if (pattern.size() <= kStackPieces) {
        // Left uninitialised: CompilePieces writes every piece it counts.
        alignas(QelLike_Piece) unsigned char room[sizeof(QelLike_Piece) * kStackPieces];
        auto* pieces = reinterpret_cast<QelLike_Piece*>(room);
        const size_t count = qellike::CompilePieces(pattern, pieces);
        return qellike::MatchPieces(pieces, count, pattern.data(), text);
    }
    thread_local std::vector<QelLike_Piece> pieces;
    if (pieces.size() < pattern.size()) pieces.resize(pattern.size());
    const size_t count = qellike::CompilePieces(pattern, pieces.data());
    return qellike::MatchPieces(pieces.data(), count, pattern.data(), text);
}

// Where run first occurs in [from, end), or null. Short texts are walked inline:
// most rows are shorter than the set-up of a library search.
const char* FindRun(const char* from, const char* end, const char* run, size_t size) {
    const size_t left = static_cast<size_t>(end - from);
    if (size > left) return nullptr;
    if (left >= kBits) {
        const size_t at = Find(std::string_view(from, left), 0, run, size);
        return at == std::string_view::npos ? nullptr : from + at;
    }
    for (const char* last = end - size; from <= last; ++from) {
        from = static_cast<const char*>(std::memchr(from, run[0], static_cast<size_t>(last - from) + 1));
        if (from == nullptr) return nullptr;
        if (SameBytes(from + 1, run + 1, size - 1)) return from;
    }
    return nullptr;
}

// A pattern that starts with an any-run and holds no singles: the text must end
// with the run after the last any-run, and the runs before it must occur in
// order in what is left; the earliest place of each run leaves the most text to
// the rest.
int MatchAnyRuns(std::string_view pattern, std::string_view text) {
    size_t end = pattern.size();
    while (end > 0 && !qellike::IsAnyRun(pattern[end - 1])) --end;
    const size_t tail = pattern.size() - end;
    if (tail > text.size() || !SameBytes(text.data() + text.size() - tail, pattern.data() + end, tail))
        return 0;
    const char* at = text.data();
    const char* const stop = text.data() + text.size() - tail;
    size_t i = 0;
    while (i < end) {
        while (i < end && qellike::IsAnyRun(pattern[i])) ++i;
        const size_t start = i;
        while (i < end && !qellike::IsAnyRun(pattern[i])) ++i;
        if (i == start) continue;
        const char* found = FindRun(at, stop, pattern.data() + start, i - start);
        if (found == nullptr) return 0;
        at = found + (i - start);
    }
    return 1;
}

// MatchAnyRuns for a text that ends with a NUL, measured only when the pattern
// ends with a literal run.
int MatchAnyRunsToNul(const char* pattern, const char* text) {
    for (;;) {
        while (qellike::IsAnyRun(*pattern)) ++pattern;
        if (*pattern == '\0') return 1;
        const char* const run = pattern;
        while (*pattern != '\0' && !qellike::IsAnyRun(*pattern)) ++pattern;
        const auto size = static_cast<size_t>(pattern - run);
        if (*pattern == '\0') {
            const size_t left = std::strlen(text);
            return left >= size && SameBytes(text + left - size, run, size) ? 1 : 0;
        }
        // The run's characters are no NUL: a comparison stops at the text's end.
        for (;; ++text) {
            text = std::strchr(text, run[0]);
            if (text == nullptr) return 0;
            size_t k = 1;
            while (k < size && text[k] == run[k]) ++k;
            if (k == size) break;
        }
        text += size;
    }
}

constexpr size_t kSpanSingles = 4;  // singles of a span tried place by place: at most 2^4 ways

// Whether the span (literal characters and singles, a literal at each end) matches
// the text from t on, each run of n singles taking 0 to n characters.
bool SpanHere(const char* span, const char* spanEnd, const char* t, const char* textEnd) {
    while (span < spanEnd) {
        if (qellike::IsSingle(*span)) {
            size_t n = 0;
            for (; qellike::IsSingle(*span); ++span) ++n;
            for (size_t k = 0; k <= n && t + k < textEnd; ++k) {
                if (SpanHere(span, spanEnd, t + k, textEnd)) return true;
            }
            return false;
        }
        if (t == textEnd || *t != *span) return false;
        ++t;
        ++span;
    }
    return true;
}

// "%a_c%": an any-run, a span of literal characters and a few singles, an any-run to
// the end; the span is tried at each place its first character stands. -1 for a
// pattern of another form.
int MatchSpan(std::string_view pattern, std::string_view text) {
    bool leading = false;
    const size_t start = qellike::WildcardRun(pattern, 0, &leading);
    if (!leading || start == 0) return -1;
    size_t end = start;
    size_t singles = 0;
    while (end < pattern.size() && !qellike::IsAnyRun(pattern[end]))
        singles += qellike::IsSingle(pattern[end++]);
    for (; end > start && qellike::IsSingle(pattern[end - 1]); --end) --singles;
    bool trailing = false;
    if (end == start || end == pattern.size() || singles > kSpanSingles ||
        qellike::WildcardRun(pattern, end, &trailing) != pattern.size() || !trailing) {
        return -1;
    }
    const char* const span = pattern.data() + start;
    const char* const spanEnd = pattern.data() + end;
    const char* t = text.data();
    const char* const textEnd = text.data() + text.size();
    while (t < textEnd) {
        t = static_cast<const char*>(std::memchr(t, *span, static_cast<size_t>(textEnd - t)));
        if (t == nullptr) return 0;
        if (SpanHere(span, spanEnd, t, textEnd)) return 1;
        ++t;
    }
    return 0;
}

bool HasSingle(std::string_view pattern) {
    for (const char c : pattern) {
        if (qellike::IsSingle(c)) return true;
    }
    return false;
}

bool HasSingle(const char* pattern) {
    for (; *pattern != '\0'; ++pattern) {
        if (qellike::IsSingle(*pattern)) return true;
    }
    return false;
}

}  // namespace

int QelLikeMatch(std::string_view pattern, std::string_view text) {
    // The literal prefix first: most texts differ early.
    size_t i = 0;
    for (; i < pattern.size() && !qellike::IsAnyRun(pattern[i]) && !qellike::IsSingle(pattern[i]); ++i) {
        if (i >= text.size() || text[i] != pattern[i]) return 0;
    }
    if (i == pattern.size()) return text.size() == i ? 1 : 0;
    pattern.remove_prefix(i);
    text.remove_prefix(i);
    // Any-runs and literal runs alone ("ab%", "%ka%", "%a%e%i%"): no pieces needed.
    if (qellike::IsAnyRun(pattern[0]) && !HasSingle(pattern)) return MatchAnyRuns(pattern, text);
    // Wildcards alone to the end with an any-run among them ("ba_%"): any text will do.
    bool anyRun = false;
    size_t j = 0;
    for (; j < pattern.size() && (qellike::IsAnyRun(pattern[j]) || qellike::IsSingle(pattern[j])); ++j) {
        anyRun = anyRun || qellike::IsAnyRun(pattern[j]);
    }
    if (j == pattern.size() && anyRun) return 1;
    if (qellike::IsAnyRun(pattern[0])) {
        const int spanned = MatchSpan(pattern, text);
        if (spanned >= 0) return spanned;
    }
    // "%_literal%": the literal anywhere in the text.
    bool leading = false;
    const size_t start = qellike::WildcardRun(pattern, 0, &leading);
    size_t end = start;
    while (end < pattern.size() && !qellike::IsAnyRun(pattern[end]) && !qellike::IsSingle(pattern[end]))
        ++end;
    bool trailing = false;
    if (leading && end > start && end < pattern.size() &&
        qellike::WildcardRun(pattern, end, &trailing) == pattern.size() && trailing) {
        return text.find(pattern.substr(start, end - start)) != std::string_view::npos ? 1 : 0;
    }
    return MatchCompiled(pattern, text);
}

namespace {

int MatchToNul(const char* pattern, const char* text);

}  // namespace

int QelLikeMatch(const char* pattern, const char* text) {
    if (pattern == nullptr || text == nullptr) return 0;
    // Any-runs alone ("%") take any text: answered before the work of the rest
    // is set up.
    const char* p = pattern;
    while (qellike::IsAnyRun(*p)) ++p;
    if (*p == '\0' && p != pattern) return 1;
    return MatchToNul(pattern, text);
}

namespace {

[[gnu::noinline]] int MatchToNul(const char* pattern, const char* text) {
    // The literal prefix first, before the text's length is known: most texts
    // differ early. A NUL of the text differs from every pattern character.
    size_t i = 0;
    for (; pattern[i] != '\0' && !qellike::IsAnyRun(pattern[i]) && !qellike::IsSingle(pattern[i]); ++i) {
        if (text[i] != pattern[i]) return 0;
    }
    if (pattern[i] == '\0') return text[i] == '\0' ? 1 : 0;
    if (qellike::IsAnyRun(pattern[i]) && !HasSingle(pattern + i))
        return MatchAnyRunsToNul(pattern + i, text + i);
    if (i == 0 && qellike::IsAnyRun(pattern[0])) {
        const int spanned = MatchSpan(pattern, text);
        if (spanned >= 0) return spanned;
    }
    if (i == 0) {
        // A few singles, then a literal: it stands among the first places.
        size_t singles = 0;
        while (singles < kNearTries && qellike::IsSingle(pattern[singles])) ++singles;
        const char c = pattern[singles];
        if (singles > 0 && c != '\0' && !qellike::IsAnyRun(c) && !qellike::IsSingle(c)) {
            size_t at = 0;
            while (at <= singles && text[at] != '\0' && text[at] != c) ++at;
            if (at > singles || text[at] != c) return 0;
        }
    }
    // Wildcards alone to the end with an any-run among them ("ba%"): any text will do.
    size_t j = i;
    bool anyRun = false;
    for (; pattern[j] != '\0' && (qellike::IsAnyRun(pattern[j]) || qellike::IsSingle(pattern[j])); ++j) {
        anyRun = anyRun || qellike::IsAnyRun(pattern[j]);
    }
    if (pattern[j] == '\0' && anyRun) return 1;
    return MatchCompiled(std::string_view(pattern + i), std::string_view(text + i));
}

}  // namespace

int QelLikePattern::Match(std::string_view text) const {
    return qellike::MatchPieces(pieces_.data(), pieces_.size(), pattern_.data(), text);
}
