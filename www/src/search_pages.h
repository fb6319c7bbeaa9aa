// Internal: the pieces of the search form (searchcrit) and the hit list (dochitlist).
#pragma once

#include <string>
#include <vector>

#include "actions.h"
#include "qel_www.h"

struct OpenFolder;
struct SearchHit;

#define SEARCH_TRACE(config, ...)                                   \
    do {                                                            \
        if ((config)->traceOn) QelWWW_Trace((config), __VA_ARGS__); \
    } while (0)

namespace qelwww::detail {

int SearchCritAction(const QelWWWConfig* config, QelWWWSession* session);
int DocHitListAction(const QelWWWConfig* config, QelWWWSession* session);

// The common start of both actions: the saved logon and open folder, the folder opened
// again when only its state was lost, or a fresh logon (both state cookies then go out).
// 0 with *folder open; 1 with the error reply written and the logon ended.
int StartWithFolder(const QelWWWConfig* config, QelWWWSession* session, const char* name,
                    OpenFolder** folder);
// After a reply: the state files with the open folder, the folder closed, disconnected.
void FinishWithFolder(const QelWWWConfig* config, QelWWWSession* session, const char* name,
                      OpenFolder* folder);
// After an error reply: the folder closed, the logon kept (disconnected) or ended.
void EndWithFolder(QelWWWSession* session, OpenFolder* folder, bool keepLogon);

// Catalogue text of a message without inserts.
std::string SearchMessage(int index);
// A value for a plain-text line: escaped as PlainEscape says, an empty value two double
// quotes.
std::string PlainValue(const QelWWWConfig* config, const std::string& value);
// A text inside a JavaScript string literal inside an HTML script element.
std::string JsString(std::string_view text);
// A value of a date field: from one date format into another when both are known; the
// text as it is when it does not convert.
std::string ConvertDate(const OpenFolder* folder, int field, const std::string& text, bool toServer,
                        const std::string& requestFormat);
// The name of folder field `field`.
std::string FieldName(const OpenFolder* folder, int field);
// The field of that exact name, or -1.
int FindField(const OpenFolder* folder, const std::string& name);
// The default value texts of a criterion.
std::string CriterionDefault(QelWWWSession* session, OpenFolder* folder, int field, int which);
// True for BETWEEN and NOT BETWEEN.
inline bool TwoValues(uint32_t op) { return op == 1024 || op == 2048; }

// The search form: plain text or HTML.
void WriteSearchCritText(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder);
void WriteSearchCritPage(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder);

// One hit of the list as the pages show it.
struct HitRow {
    std::vector<std::string> values;  // display texts, in the order of the display fields
    std::string docId;                // as Hit_FormatDocId wrote it
    std::string url;                  // retrieve URL (not HTML-escaped)
    char type = 'N';                  // document type letter
    int location = 0;                 // storage location code, 0 none
    bool canView = true;              // the group lets the user retrieve it
    bool canPrint = false;            // ... print it
    bool canViewNotes = false;        // ... see its notes
    bool canAddNotes = false;         // ... add a note
};
struct HitList {
    std::vector<int> fields;  // display fields
    std::vector<HitRow> rows;
    int limit = -1;        // the hit limit, when the search stopped at it
    bool stopped = false;  // the search stopped at the hit limit
};
void WriteHitListText(const QelWWWConfig* config, QelWWWSession* session, const HitList& list);
void WriteHitListPage(const QelWWWConfig* config, QelWWWSession* session, OpenFolder* folder,
                      const HitList& list);

}  // namespace qelwww::detail
