// session.cpp - pages, find, selection and clip area of one open document.
#include "session.h"

#include <algorithm>
#include <cmath>

namespace knvw {
namespace {

bool IsWordChar(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return std::isalnum(byte) || byte >= 0xC0 || c == '_';
}

bool MatchAt(const std::string& text, std::size_t at, const FindQuery& query) {
    if (at + query.text.size() > text.size()) return false;
    for (std::size_t i = 0; i < query.text.size(); ++i) {
        const char a = text[at + i], b = query.text[i];
        if (query.matchCase ? a != b : FoldCase(a) != FoldCase(b)) return false;
    }
    if (query.wholeWord) {
        if (at > 0 && IsWordChar(text[at - 1]) && IsWordChar(query.text.front())) return false;
        const std::size_t end = at + query.text.size();
        if (end < text.size() && IsWordChar(text[end]) && IsWordChar(query.text.back())) return false;
    }
    return true;
}

// The first match at or after start (backward: at or before start); -1 none.
int SearchText(const std::string& text, int start, const FindQuery& query, bool backward) {
    if (query.text.empty() || query.text.size() > text.size()) return -1;
    const int last = static_cast<int>(text.size() - query.text.size());
    if (backward) {
        for (int at = std::min(start, last); at >= 0; --at) {
            if (MatchAt(text, static_cast<std::size_t>(at), query)) return at;
        }
    } else {
        for (int at = std::max(start, 0); at <= last; ++at) {
            if (MatchAt(text, static_cast<std::size_t>(at), query)) return at;
        }
    }
    return -1;
}

}  // namespace

char FoldCase(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 'a' && byte <= 'z') return static_cast<char>(byte - 32);
    if (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7) return static_cast<char>(byte - 32);
    return c;
}

Session::Session(Document document) : document_(std::move(document)) {
    if (document_.pages.empty()) document_.pages.emplace_back();  // never without a page
    ApplyPageSize();
}

const PageText& Session::CurrentText() {
    if (!text_) text_ = std::make_unique<PageText>(CurrentPage());
    return *text_;
}

bool Session::GoToIndex(int index) {
    index = std::clamp(index, 0, PageCount() - 1);
    if (index == current_) return false;
    current_ = index;
    text_.reset();
    ClearSelection();
    clip_.reset();
    ApplyPageSize();
    view_.SetXPos(0);
    view_.SetYPos(0);
    return true;
}

int Session::NumPages() const {
    if (segments_.Active() && segments_.totalPages > 0) return segments_.totalPages;
    return PageCount();
}

int Session::PageNumber() const { return segments_.FirstPageIndex() + current_ + 1; }

bool Session::SetPageNumber(int number, int* wantIndex) {
    number = std::clamp(number, 1, std::max(1, NumPages()));
    const int local = number - 1 - segments_.FirstPageIndex();
    if (local >= 0 && local < PageCount()) {
        GoToIndex(local);
        return true;
    }
    if (wantIndex) *wantIndex = number - 1;
    return false;
}

void Session::SetAutosize(bool on) {
    autosize_ = on;
    ApplyPageSize();
}

void Session::SetPageSizeTwips(int width, int height) {
    widthTwips_ = std::max(0, width);
    heightTwips_ = std::max(0, height);
    ApplyPageSize();
}

double Session::PageWidthTwips() const {
    const Page& page = CurrentPage();
    if (!autosize_ && widthTwips_ > 0 && heightTwips_ > 0) return widthTwips_;
    return page.width * 1440 / page.unitsPerInch;
}
double Session::PageHeightTwips() const {
    const Page& page = CurrentPage();
    if (!autosize_ && widthTwips_ > 0 && heightTwips_ > 0) return heightTwips_;
    return page.height * 1440 / page.unitsPerInch;
}

void Session::ApplyPageSize() {
    const Page& page = CurrentPage();
    const double lo = kMinPageInches * 1440, hi = kMaxPageInches * 1440;
    const double w = std::clamp(PageWidthTwips(), lo, hi), h = std::clamp(PageHeightTwips(), lo, hi);
    view_.SetPage(w * page.unitsPerInch / 1440, h * page.unitsPerInch / 1440, page.unitsPerInch);
}

bool Session::ScrollVertical(bool down, int request, int* wantIndex) {
    const Scroll result = view_.ScrollVertical(down, request);
    if (result == Scroll::Moved) return true;
    if (result == Scroll::Unchanged) return false;
    const int number = PageNumber() + (down ? 1 : -1);
    if (number < 1 || number > NumPages()) return false;
    if (!SetPageNumber(number, wantIndex)) return false;
    // Paging up lands at the previous page's bottom.
    if (!down) view_.SetYPos(-view_.PagePixelHeight());
    return true;
}

bool Session::ScrollHorizontal(bool right, int request) {
    return view_.ScrollHorizontal(right, request) == Scroll::Moved;
}

int Session::SearchFrom(const FindQuery& query, int page, int start, bool backward, int* wantIndex) {
    for (int p = page; p >= 0 && p < PageCount(); p += backward ? -1 : 1) {
        const PageText text(document_.pages[static_cast<std::size_t>(p)]);
        const int from = p == page ? start : (backward ? static_cast<int>(text.Text().size()) : 0);
        const int at = SearchText(text.Text(), from, query, backward);
        if (at >= 0) {
            ShowHit(Hit{p, at, static_cast<int>(query.text.size())});
            return kFindFound;
        }
    }
    // Nothing here: the next segment, when the document is one of several.
    if (segments_.Active() && wantIndex) {
        const int next = segments_.current + (backward ? -1 : 1);
        if (next >= 0 && next < segments_.count) {
            *wantIndex =
                backward ? (next + 1) * segments_.pagesPerSegment - 1 : next * segments_.pagesPerSegment;
            return kFindStopped;
        }
    }
    return kFindNothing;
}

void Session::ShowHit(const Hit& hit) {
    GoToIndex(hit.page);
    hit_ = hit;
    const auto& cells = CurrentText().Cells();
    const Cell& first = cells[static_cast<std::size_t>(hit.start)];
    const Cell& last = cells[static_cast<std::size_t>(hit.start + hit.length - 1)];
    view_.Reveal(first.x, std::min(first.y, last.y), std::max(last.x + last.width - first.x, first.width),
                 std::max(first.height, last.y + last.height - first.y));
}

int Session::Find(const FindQuery& query, int* wantIndex) {
    hit_.reset();
    if (query.text.empty()) {
        query_.reset();
        return kFindNothing;
    }
    query_ = query;
    const int start = query.backward ? static_cast<int>(CurrentText().Text().size()) : 0;
    return SearchFrom(query, current_, start, query.backward, wantIndex);
}

int Session::FindNext(bool backward, int* wantIndex) {
    if (!query_) return kFindNothing;
    query_->backward = backward;
    int page = current_, start = backward ? static_cast<int>(CurrentText().Text().size()) : 0;
    if (hit_) {
        page = hit_->page;
        start = backward ? hit_->start - 1 : hit_->start + 1;
    }
    hit_.reset();
    return SearchFrom(*query_, page, start, backward, wantIndex);
}

int Session::ContinueFind(const FindQuery& query, int* wantIndex) {
    query_ = query;
    hit_.reset();
    if (query.backward) return SearchFrom(query, PageCount() - 1, 1 << 30, true, wantIndex);
    return SearchFrom(query, 0, 0, false, wantIndex);
}

void Session::UndoFind() {
    query_.reset();
    hit_.reset();
}

bool Session::WindowToPage(int x, int y, double* u, double* v) const {
    return view_.PageToWindow().Invert(x, y, u, v);
}

int Session::CharAtWindow(int x, int y) {
    double u, v;
    if (!WindowToPage(x, y, &u, &v)) return -1;
    bool after = false;
    const int at = CurrentText().CharAt(u, v, &after);
    return at < 0 ? -1 : at + (after ? 1 : 0);
}

bool Session::SelectBegin(int x, int y) {
    ClearSelection();
    double u, v;
    if (!WindowToPage(x, y, &u, &v)) return false;
    const Page& page = CurrentPage();
    if (u < 0 || v < 0 || u > page.width || v > page.height) return false;
    const int at = CharAtWindow(x, y);
    if (at < 0) return false;
    anchor_ = focus_ = at;
    selecting_ = true;
    return true;
}

void Session::SelectExtend(int x, int y) {
    if (!selecting_) return;
    const int at = CharAtWindow(x, y);
    if (at >= 0) focus_ = at;
}

void Session::SelectEnd(int x, int y) {
    SelectExtend(x, y);
    selecting_ = false;
}

std::pair<int, int> Session::SelectedRange() const {
    if (anchor_ < 0 || focus_ < 0 || anchor_ == focus_) return {0, 0};
    return {std::min(anchor_, focus_), std::max(anchor_, focus_)};
}

std::string Session::SelectedText() {
    const auto [first, last] = SelectedRange();
    if (first == last) return {};
    const std::string& text = CurrentText().Text();
    const auto end = std::min<std::size_t>(static_cast<std::size_t>(last), text.size());
    const auto begin = std::min<std::size_t>(static_cast<std::size_t>(first), end);
    return Latin1ToUtf8(text.substr(begin, end - begin));
}

void Session::ClearSelection() {
    selecting_ = false;
    anchor_ = focus_ = -1;
}

void Session::SetClipArea(int left, int top, int right, int bottom) {
    double u1, v1, u2, v2;
    if (!WindowToPage(left, top, &u1, &v1) || !WindowToPage(right, bottom, &u2, &v2)) return;
    const Page& page = CurrentPage();
    PageRect r{std::clamp(std::min(u1, u2), 0.0, page.width), std::clamp(std::min(v1, v2), 0.0, page.height),
               std::clamp(std::max(u1, u2), 0.0, page.width), std::clamp(std::max(v1, v2), 0.0, page.height)};
    if (r.u2 - r.u1 <= 0 || r.v2 - r.v1 <= 0) {
        clip_.reset();
        return;
    }
    clip_ = r;
}

bool Session::ClipCorners(int* x1, int* y1, int* x2, int* y2) const {
    *x1 = *y1 = *x2 = *y2 = 0;
    if (!clip_) return false;
    const Affine m = view_.PageToWindow();
    double ax, ay, bx, by;
    m.Apply(clip_->u1, clip_->v1, &ax, &ay);
    m.Apply(clip_->u2, clip_->v2, &bx, &by);
    *x1 = static_cast<int>(std::lround(std::min(ax, bx))) - view_.XPos();
    *y1 = static_cast<int>(std::lround(std::min(ay, by))) - view_.YPos();
    *x2 = static_cast<int>(std::lround(std::max(ax, bx))) - view_.XPos();
    *y2 = static_cast<int>(std::lround(std::max(ay, by))) - view_.YPos();
    return *x1 != *x2;
}

bool Session::ScaleClipArea() {
    if (!clip_) return false;
    int x1, y1, x2, y2;
    if (!ClipCorners(&x1, &y1, &x2, &y2) || y1 == y2) return false;
    const double fit = std::min(static_cast<double>(view_.WindowWidth()) / (x2 - x1),
                                static_cast<double>(view_.WindowHeight()) / (y2 - y1));
    view_.SetZoom(static_cast<int>(view_.Zoom() * fit));
    ClipCorners(&x1, &y1, &x2, &y2);
    view_.SetXPos(-x1);
    view_.SetYPos(-y1);
    return true;
}

}  // namespace knvw
