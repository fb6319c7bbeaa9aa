// session.h - one open document with everything the viewer does to it: current page,
// view, find, text selection, clip area and the segment navigation of a document that
// the gateway delivers in parts. No windows here; the entry points drive it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "document.h"
#include "text_layout.h"
#include "view.h"

namespace knvw {

// Find results as the entry points return them.
constexpr int kFindNothing = 2;
constexpr int kFindFound = 100;
constexpr int kFindStopped = 102;

struct FindQuery {
    std::string text;  // Latin-1
    bool matchCase = false;
    bool wholeWord = false;
    bool backward = false;
};

struct Hit {
    int page = 0;               // 0-based page of this document
    int start = 0, length = 0;  // characters of the page's PageText
};

// Where this document lies in the whole (segments of pages).
struct Segments {
    int totalPages = 0;
    int current = -1;  // -1: no such information
    int count = 0;
    int pagesPerSegment = 0;
    bool Active() const { return current >= 0 && count > 1 && pagesPerSegment > 0; }
    int FirstPageIndex() const { return Active() ? current * pagesPerSegment : 0; }
};

struct PageRect {
    double u1 = 0, v1 = 0, u2 = 0, v2 = 0;  // page units, u1 < u2, v1 < v2
};

class Session {
public:
    explicit Session(Document document);

    const Document& Doc() const { return document_; }
    View& GetView() { return view_; }
    const View& GetView() const { return view_; }

    // Pages of this document, 0-based.
    int PageCount() const { return static_cast<int>(document_.pages.size()); }
    int CurrentIndex() const { return current_; }
    const Page& CurrentPage() const { return document_.pages[static_cast<std::size_t>(current_)]; }
    bool GoToIndex(int index);  // clamped; the page's top-left; true when the page changed
    const PageText& CurrentText();

    // Page numbers as the user sees them (1-based, across segments when known).
    void SetSegments(const Segments& segments) { segments_ = segments; }
    const Segments& GetSegments() const { return segments_; }
    int NumPages() const;
    int PageNumber() const;
    // Another page by number: true when it is in this document (now current); else
    // *wantIndex is the 0-based page index in the whole that another segment holds.
    bool SetPageNumber(int number, int* wantIndex);

    // Page size: the document's own, or the one given when autosize is off.
    void SetAutosize(bool on);
    bool Autosize() const { return autosize_; }
    void SetPageSizeTwips(int width, int height);
    double PageWidthTwips() const;
    double PageHeightTwips() const;

    // Scroll requests; a page request past the page's end turns the page. *wantIndex
    // as for SetPageNumber when the next page lies in another segment. true: repaint.
    bool ScrollVertical(bool down, int request, int* wantIndex);
    bool ScrollHorizontal(bool right, int request);

    // Find. Result kFindFound (the hit's page is current and in view) or kFindNothing;
    // with segments and no hit here, kFindStopped and *wantIndex: the first (backward:
    // last) page index of the next segment to search.
    int Find(const FindQuery& query, int* wantIndex);
    int FindNext(bool backward, int* wantIndex);
    // Searches this whole document from its start (backward: its end), as the next
    // segment of a search that began elsewhere.
    int ContinueFind(const FindQuery& query, int* wantIndex);
    void UndoFind();
    const std::optional<Hit>& CurrentHit() const { return hit_; }
    const std::optional<FindQuery>& Query() const { return query_; }

    // Text selection by window pixels: Begin is true when it started (on the page).
    bool SelectBegin(int x, int y);
    void SelectExtend(int x, int y);
    void SelectEnd(int x, int y);
    bool Selecting() const { return selecting_; }
    // The selected characters of the current page [first, last); empty when none.
    std::pair<int, int> SelectedRange() const;
    std::string SelectedText();  // UTF-8
    void ClearSelection();

    // Clip area, set in window pixels, kept on the page.
    void SetClipArea(int left, int top, int right, int bottom);
    const std::optional<PageRect>& ClipArea() const { return clip_; }
    // The corners relative to the page's position in the window (pixels).
    bool ClipCorners(int* x1, int* y1, int* x2, int* y2) const;
    bool ScaleClipArea();  // zooms so the area fills the window; false without one

    // Settings kept for painting and printing.
    int imageMode = 0, shadeColour = 10, textFidelity = 4, copies = 1;
    bool autoRotation = false, textSelection = true, appScrolling = false;
    char undefinedChar = ' ';

private:
    void ApplyPageSize();
    bool WindowToPage(int x, int y, double* u, double* v) const;
    int CharAtWindow(int x, int y);
    int SearchFrom(const FindQuery& query, int page, int start, bool backward, int* wantIndex);
    void ShowHit(const Hit& hit);

    Document document_;
    View view_;
    int current_ = 0;
    std::unique_ptr<PageText> text_;  // of the current page, made on demand
    Segments segments_;
    bool autosize_ = true;
    int widthTwips_ = 0, heightTwips_ = 0;
    std::optional<FindQuery> query_;
    std::optional<Hit> hit_;
    bool selecting_ = false;
    int anchor_ = -1, focus_ = -1;
    std::optional<PageRect> clip_;
};

// Latin-1 case folding used by find.
char FoldCase(char c);

}  // namespace knvw
