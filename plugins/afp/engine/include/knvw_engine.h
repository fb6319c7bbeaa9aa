// knvw_engine.h - the AFP viewer's view-services engine and its list library.
//
// Two shared libraries with plain C entry points, looked up by name:
//   libknvwser.so   string lists, page indexes and the string mapper (33 names)
//   libknvwvsin.so  the view server: documents, painting, scrolling, find,
//                   selection, views and printing (76 names)
// Every handle (view server, document, list, index, mapper) is a 32-bit integer;
// 0 is "none". Numbers that come back are meant to be read as 16-bit values.
// Page numbers are 1-based unless a name says "index". Details: docs/afp-viewer.md.
#pragma once

#include <cstdint>

#include "qel_win.h"

// A value pair stored with each string-list entry (kind word, page number).
struct KnvwListData {
    int32_t word1 = 0;
    int32_t word2 = 0;
};

// Callbacks of the plug-in instance, handed over by VSSetNSPIInfo.
// found: 1 when a search found a hit (in another segment), 0 when it ended without one.
using KnvwHitFindProc = int32_t (*)(void* instance, int32_t found);
// pageIndex: 0-based page index within the whole document; the plug-in fetches the
// segment that holds it (segment = pageIndex / pages per segment).
using KnvwChangePageProc = int32_t (*)(void* instance, int32_t pageIndex);

// Results of the find entries.
enum : int32_t {
    KNVW_FIND_NOTHING = 2,      // nothing found (or the user cancelled the find dialog)
    KNVW_FIND_FOUND = 100,      // a hit is shown
    KNVW_FIND_CONTINUES = 101,  // nothing here; the search goes on in another segment (the
                                // engine asked for it through the change-page callback and
                                // reports the outcome through the hit-find callback)
    KNVW_FIND_STOPPED = 102     // the search stopped: no further hit in a document that came in segments
};
// VSPrint: what to print; the fixed first and eleventh arguments.
enum : int32_t {
    KNVW_PRINT_CURRENT = 102,
    KNVW_PRINT_RANGE = 103,
    KNVW_PRINT_ALL = 104,
    KNVW_PRINT_MODE = 107,
    KNVW_PRINT_SCALE = 100
};
// Rotation codes.
enum : int32_t { KNVW_ROTATE_0 = 1, KNVW_ROTATE_180 = 2, KNVW_ROTATE_90 = 3, KNVW_ROTATE_270 = 4 };
// Image view modes (VSSetImageView); mode 3 takes a shade colour 10 (none) to 16.
enum : int32_t { KNVW_VIEW_NORMAL = 0, KNVW_VIEW_LIGHT = 1, KNVW_VIEW_DRAFT = 2, KNVW_VIEW_SHADE = 3 };
enum : int32_t {
    KNVW_SHADE_NONE = 10,
    KNVW_SHADE_BLUE = 11,
    KNVW_SHADE_RED = 12,
    KNVW_SHADE_MAGENTA = 13,
    KNVW_SHADE_GREEN = 14,
    KNVW_SHADE_CYAN = 15,
    KNVW_SHADE_YELLOW = 16
};

extern "C" {

// ---------------------------------------------------------------------------
// libknvwser.so: string lists
// ---------------------------------------------------------------------------

// A new empty list; kind is free for the caller (8 = page names). mapper may be 0.
int32_t GetSList(int32_t kind, int32_t mapper);
int32_t DeleteSList(int32_t list);  // 1 deleted, 0 no such list
// Appends an entry; flags are kept with it. The new entry's index (0-based), -1 on error.
int32_t LISTAddEntry(int32_t list, const char* name, KnvwListData data, int32_t flags);
int32_t LISTClear(int32_t list);  // 1 done
// Entry at index: name copied into buffer (cut, zero-terminated), data filled when not null.
// The name's length, -1 when there is no such entry.
int32_t LISTGet(int32_t list, int32_t index, char* buffer, int32_t size, KnvwListData* data);
int32_t LISTGetIndex(int32_t list, const char* name);  // first entry with that exact name, -1 none
// First entry with that name and data, -1 none.
int32_t LISTGetIndex2(int32_t list, const char* name, KnvwListData data);
// The index of the entry whose name LISTGetNameFromP gave, -1 none.
int32_t LISTGetIndexFromP(int32_t list, const char* namePointer);
int32_t LISTGetName(int32_t list, int32_t index, char* buffer, int32_t size);  // length, -1 none
// The list's own copy of the name (valid until the entry changes), null when none.
const char* LISTGetNameFromP(int32_t list, int32_t index);
// Iteration: *cursor starts at 0 and is advanced; 1 an entry was given, 0 the end.
int32_t LISTGetNext(int32_t list, int32_t* cursor, char* buffer, int32_t size, KnvwListData* data);
int32_t LISTGetNextName(int32_t list, int32_t* cursor, char* buffer, int32_t size);
// First entry at or after start whose name begins with text (case-insensitive), -1 none.
int32_t LISTSearch(int32_t list, const char* text, int32_t start);
int32_t LISTUpdateEntry(int32_t list, int32_t index, KnvwListData data);  // 1 done, 0 none
int32_t LISTUpdateName(int32_t list, int32_t index, const char* name);    // 1 done, 0 none

// ---------------------------------------------------------------------------
// libknvwser.so: page indexes (groups of values, each value pointing at a page)
// ---------------------------------------------------------------------------

int32_t GetIndex(int32_t mapper);  // a new empty index; mapper may be 0
int32_t DeleteIndex(int32_t index);
// The string list of group names (the index owns it), 0 when none.
int32_t INDEXGetSLists(int32_t index);
int32_t INDEXAddGroup(int32_t index, const char* group);  // the group's number (0-based), -1 error
int32_t INDEXClear(int32_t index);
// The string list of a group's values (name = value text, data = {kind, page}), 0 none.
int32_t INDEXGetAttrListPtr(int32_t index, int32_t group);
// The page of the n-th (0-based) occurrence of value in group, 0 when none.
int32_t INDEXGetPageIndex(int32_t index, const char* group, const char* value, int32_t occurrence);
// The first value of group that points at page, copied into buffer; its length, -1 none.
int32_t INDEXGetPageValue(int32_t index, int32_t page, const char* group, char* buffer, int32_t size);
int32_t INDEXGrpSelect(int32_t index, const char* group);  // selects the group; its number, -1 none
// The first page at or after startPage where group has a value beginning with value
// (case-insensitive); 0 when none. group null or "": the selected group.
int32_t INDEXSearchAttr(int32_t index, const char* group, const char* value, int32_t startPage);
// Adds a value to a group (made when new): name, kind word, page, display text.
int32_t INDEXSetDocPgTLE(int32_t index, const char* group, const char* value, int32_t kind, int32_t reserved,
                         int32_t page, const char* text);
int32_t INDEXSetGrpTLE(int32_t index, const char* group, const char* value, int32_t kind);  // page 0
int32_t INDEXSetGrpPage(int32_t index, const char* group, const char* value, int32_t page);
int32_t INDEXSetGrpPgTLE(int32_t index, const char* group, int32_t page, const char* value);
int32_t INDEXSetPageTLE(int32_t index, int32_t page, const char* value);  // into the selected group
int32_t INDEXSetSelGrp(int32_t index, int32_t group);                     // 1 done, 0 no such group

// ---------------------------------------------------------------------------
// libknvwser.so: string mapper (a small holder of a library handle per mapper)
// ---------------------------------------------------------------------------

int32_t SMapperGetDllHandle(int32_t mapper);
int32_t SMapperSetDllHandle(int32_t mapper, int32_t handle);  // previous handle

// ---------------------------------------------------------------------------
// libknvwvsin.so: view server
// ---------------------------------------------------------------------------

int32_t GetViewServ(int32_t reserved);       // a view server, 0 on failure
int32_t DeleteViewServ(int32_t viewServer);  // ends its documents
// iniPath: a settings file or ""; helpFile: the help file for the dialogs' Help.
int32_t VSInit(int32_t viewServer, const char* iniPath, const char* helpFile);
int32_t VSGetSMapperHandle(int32_t viewServer);  // the server's string mapper
// Line-data text for the next VSDocStart of any server (then forgotten):
// charsPerInch across, linesPerInch down, the number of lines per page (0: form feeds only).
int32_t VSSetLineDataParms(int32_t charsPerInch, int32_t linesPerInch, int32_t lines);
// Opens a document (AFP, or line-data text after VSSetLineDataParms); its handle, 0 not opened.
// formdef and resourcePath may be "" ; window: the view window (owner of the dialogs).
int32_t VSDocStart(int32_t viewServer, const char* path, const char* formdef, const char* resourcePath,
                   WinHandle window);
int32_t VSDocEnd(int32_t viewServer, int32_t* document);        // ends *document and sets it to 0
int32_t VSSetUndefinedCP(int32_t document, int32_t character);  // shown for untranslatable bytes
int32_t VSSetAppScrolling(int32_t document, int32_t on);        // on: the engine leaves the scroll bars alone
int32_t VSReleaseFile(int32_t document);                        // closes the file, keeps the view
int32_t VSRestoreFile(int32_t document);                        // reopens it; 1 done, 0 failed

// ---------------------------------------------------------------------------
// libknvwvsin.so: painting, pages, view
// ---------------------------------------------------------------------------

// Paints the current page at the current view into dc (the window's client area).
int32_t VSDocPaint(int32_t document, WinHandle window, WinDC* dc, int32_t erase, int32_t frame);
int32_t VSSetWindowSize(int32_t document, int32_t width, int32_t height);  // client pixels
int32_t VSGetWindowSize(int32_t document, int32_t* width, int32_t* height);
int32_t VSGetNumPages(int32_t document);
int32_t VSGetCurrentPage(int32_t document);
int32_t VSSetCurrentPage(int32_t document, int32_t page);  // clamped to 1..pages; 1 moved
// Asks the user for a page when both texts are empty; pageText: a number, pageName: a page name.
int32_t VSGoto(int32_t document, const char* pageText, const char* pageName);  // 1 moved
int32_t VSGotoNextPage(int32_t document);
int32_t VSGotoPrevPage(int32_t document);
int32_t VSGotoFirstPage(int32_t document);
int32_t VSGotoLastPage(int32_t document);
int32_t VSMoveHomePage(int32_t document);    // page's top-left corner into view
int32_t VSMoveCenterPage(int32_t document);  // page centred in the window
// Zoom in percent (5..800); 0 asks the user. 1 changed.
int32_t VSSetZoom(int32_t document, int32_t percent);
int32_t VSGetZoom(int32_t document);
// Rotation code 1..4 (0, 180, 90, 270 degrees); 0 asks the user. 1 changed.
int32_t VSSetRotation(int32_t document, int32_t code);
int32_t VSGetRotation(int32_t document);
int32_t VSSetAutoRotation(int32_t document, int32_t on);  // landscape pages turned to portrait
int32_t VSGetAutoRotation(int32_t document);
int32_t VSSetAutosize(int32_t document, int32_t on);  // page size from the document, else VSSetPageSize
int32_t VSGetAutosize(int32_t document);
int32_t VSSetPageSize(int32_t document, int32_t widthTwips, int32_t heightTwips);
int32_t VSGetPageWidth(int32_t document);   // twips
int32_t VSGetPageLength(int32_t document);  // twips
// Page offset in the window, pixels (the page's top-left corner; <= 0 when scrolled).
int32_t VSGetPageXPos(int32_t document);
int32_t VSSetPageXPos(int32_t document, int32_t x);
int32_t VSGetPageYPos(int32_t document);
int32_t VSSetPageYPos(int32_t document, int32_t y);
int32_t VSGetImageView(int32_t document, int32_t* shadeColour);  // the mode; colour when not null
int32_t VSSetImageView(int32_t document, int32_t mode, int32_t colour);
int32_t VSGetTextFidelity(int32_t document);
int32_t VSSetTextFidelity(int32_t document, int32_t fidelity);  // kept (2 or 4)
int32_t VSGetNumCopies(int32_t document);
int32_t VSSetCopy(int32_t document, int32_t copies);
// Named views (zoom, rotation, image view, position) kept in the user's views file.
// Empty name: the engine asks the user.
int32_t VSSaveView(int32_t document, const char* name, const char* description, int32_t flags);  // 1 saved
int32_t VSGetView(int32_t document, const char* name);  // 1 a view was applied
int32_t VSResetView(int32_t document);                  // zoom 100, rotation 0, normal view, home

// ---------------------------------------------------------------------------
// libknvwvsin.so: scrolling (0 = the view moved: repaint; 1 = nothing changed)
// ---------------------------------------------------------------------------

// request: a key (VK_PRIOR, VK_NEXT, VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT) or a scroll-bar
// request word (low word SB_LINE*/SB_PAGE*).
int32_t VSScrollUp(int32_t document, int32_t request);
int32_t VSScrollDown(int32_t document, int32_t request);
int32_t VSScrollLeft(int32_t document, int32_t request);
int32_t VSScrollRight(int32_t document, int32_t request);
// message: WM_HSCROLL or WM_VSCROLL; lParam and wParam as the message had them
// (SB_THUMBPOSITION / SB_THUMBTRACK with the position in wParam's high word).
int32_t VSThumbScroll(int32_t document, int32_t message, int32_t lParam, int32_t wParam);
int32_t VSGetHScrollPos(int32_t document);
int32_t VSGetHScrollRange(int32_t document);  // maximum position (minimum 0)
int32_t VSGetVScrollPos(int32_t document);
int32_t VSGetVScrollRange(int32_t document);

// ---------------------------------------------------------------------------
// libknvwvsin.so: find
// ---------------------------------------------------------------------------

// text "": the engine asks the user (its Find dialog). Results: KNVW_FIND_*.
int32_t VSFindString(int32_t document, const char* text, int32_t matchCase, int32_t wholeWord,
                     int32_t backward, int32_t reserved);
int32_t VSFindNext(int32_t document, int32_t backward);
int32_t VSUndoFind(int32_t document);                       // forgets the search and its highlight
int32_t VSFindAbort(int32_t viewServer, WinHandle window);  // stops searches of the server's documents
// Goes to the first page with the index value (group "", the selected group). 100 found, 2 none.
int32_t VSFindGroup(int32_t document, const char* group, const char* value);
// Segment navigation for searches and page names: the plug-in's lists, the document's
// place in the whole (current segment -1: no such information) and the callbacks.
int32_t VSSetNSPIInfo(int32_t document, void* instance, int32_t stringList, int32_t pageIndex,
                      int32_t totalPages, int32_t currentSegment, int32_t segmentCount,
                      int32_t pagesPerSegment, int32_t pagesInLastSegment, KnvwHitFindProc hitFind,
                      KnvwChangePageProc changePage);

// ---------------------------------------------------------------------------
// libknvwvsin.so: selection and clipboard
// ---------------------------------------------------------------------------

int32_t VSSetTextSelMode(int32_t document, int32_t textMode);  // 1 text, 0 bitmap
int32_t VSGetTextSelMode(int32_t document);
// position: packed client x (low word), y (high word). Down: non-zero = selection started.
int32_t VSTextLButtonDown(int32_t document, int32_t position);
int32_t VSTextMouseMove(int32_t document, int32_t position);
int32_t VSTextLButtonUp(int32_t document, int32_t position);
// The selected text, malloc'd and zero-terminated (the caller frees it); null when none.
char* VSTextGetTextBuffer(int32_t document);
int32_t VSCopyText(int32_t document);  // the selected text onto the clipboard; 1 done
// Clip area in window pixels; VSGetClipArea gives page-relative corners (equal x: none).
int32_t VSSetClipArea(int32_t document, int32_t left, int32_t top, int32_t right, int32_t bottom);
int32_t VSGetClipArea(int32_t document, WinPoint* first, WinPoint* second);
int32_t VSScaleClipArea(int32_t document);  // zooms to the area: 0 = repaint, 1 no area
// The area (page-relative corners) as a bitmap onto the clipboard; 1 done.
int32_t VSCopyBitmap(int32_t document, int32_t x1, int32_t y1, int32_t x2, int32_t y2);

// ---------------------------------------------------------------------------
// libknvwvsin.so: printing and extraction
// ---------------------------------------------------------------------------

// mode KNVW_PRINT_MODE; device: the printer's name for Win_CreatePrinterDC; settings may be
// null; what KNVW_PRINT_*; from/to for a range; scale KNVW_PRINT_SCALE. Pages are fitted to
// the paper (rotated when rotateToFit and that fits better). Pages printed, 0 on failure.
int32_t VSPrint(int32_t document, int32_t mode, const char* driver, const char* device, const char* port,
                const WinPrinterSettings* settings, int32_t what, int32_t from, int32_t to, int32_t copies,
                int32_t scale, int32_t rotateToFit, int32_t shrinkToFit);
// Writes the text of pages from..to (0, 0: all) to outputPath, pages separated by form feeds.
// Pages written, 0 on failure.
int32_t VSExtractPages(int32_t document, const char* outputPath, int32_t from, int32_t to);

}  // extern "C"
