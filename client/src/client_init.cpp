// Start-up and shut-down of the client library.
#include <cstring>
#include <memory>

#include "arc_codepage.h"
#include "arc_datetime.h"
#include "arc_platform.h"
#include "doc_internal.h"
#include "library_state.h"
#include "qel_client.h"
#include "qel_parm.h"
#include "session_list.h"

namespace qelclient {

LibraryState& Library() {
    static LibraryState state;
    return state;
}

namespace {

// Copies a zero-terminated slot; the source is read only within its own size.
template <size_t N, size_t M>
void CopySlot(char (&to)[N], const char (&from)[M]) {
    static_assert(N >= M);
    std::memset(to, 0, N);
    std::memcpy(to, from, M);
    to[M - 1] = '\0';
}

template <size_t N>
void CopyUpper(char (&to)[N], const char (&from)[N]) {
    CopySlot(to, from);
    for (char& c : to) c = static_cast<char>(ArcOS_CharUpper(static_cast<unsigned char>(c)));
}

void FillNames(const ClientInitOptions& o, ArcDTNames* names) {
    std::memset(names, 0, sizeof *names);
    for (int i = 0; i < 12; ++i) {
        CopySlot(names->monthNames[i], o.monthNames[i]);
        CopySlot(names->monthAbbrevs[i], o.monthAbbrevs[i]);
    }
    for (int i = 0; i < 7; ++i) {
        CopySlot(names->dayNames[i], o.dayNames[i]);
        CopySlot(names->dayAbbrevs[i], o.dayAbbrevs[i]);
    }
    CopySlot(names->am, o.am);
    CopySlot(names->pm, o.pm);
    CopySlot(names->timeFormat, o.timeFormat);
    CopySlot(names->dateFormat, o.dateFormat);
    CopySlot(names->dateTimeFormat, o.dateTimeFormat);

    char zone[CLIENT_ZONE_SIZE];
    CopySlot(zone, o.timeZone);
    const ZoneSplit split = SplitTimeZone(zone);
    std::memcpy(names->standardZone, split.standardName.data(), split.standardName.size());
    names->zoneOffsetHours = split.offsetHours;
    std::memcpy(names->daylightZone, split.daylightName.data(), split.daylightName.size());
    names->zoneSelector = split.daylight;
}

}  // namespace
}  // namespace qelclient

bool Client_Init(const ClientInitOptions* options) {
    using namespace qelclient;
    LibraryState& lib = Library();
    if (!options) return false;
    if (lib.started) return true;
    // The search clause is written in the caller's code page with ASCII quotes, digits and
    // blanks: an EBCDIC code page would make every literal another text.
    const int32_t codePage = options->codePage ? options->codePage : 819;
    if (ArcICONV_IsEbcdicCcsid(codePage) || ArcICONV_IsMixedEbcdicCcsid(codePage)) return false;

    if (options->iconv) {
        lib.iconv = options->iconv;
        lib.ownsIconv = false;
    } else {
        ArcIconvContext* context = nullptr;
        if (ArcICONV_Startup(&context, options->localeDirectory) != ARC_ICONV_OK || !context) return false;
        lib.iconv = context;
        lib.ownsIconv = true;
    }

    LibraryOptions& o = lib.options;
    o = LibraryOptions{};
    o.charKind = options->charKind;
    o.folderListSwitch = options->folderListSwitch;
    o.namedQuerySwitch = options->namedQuerySwitch;
    o.searchLetterSwitch = options->searchLetterSwitch;
    o.retrieveOption = options->retrieveOption;
    o.sortByField = options->sortByField;
    o.folderFlagSwitch = options->folderFlagSwitch;
    o.codePage = codePage;
    o.decimalChar = options->decimalChar;
    o.thousandsChar = options->thousandsChar;
    CopyUpper(o.todayLetter, options->todayLetter);
    CopyUpper(o.dayLetter, options->dayLetter);
    CopyUpper(o.monthLetter, options->monthLetter);
    CopyUpper(o.yearLetter, options->yearLetter);
    CopyUpper(o.latestLetter, options->latestLetter);
    CopySlot(o.longFormat, options->longFormat);
    FillNames(*options, &o.names);
    ArcDT_SetLocaleNames(&o.names);
    ParmSetDelimiters(lib.iconv, o.codePage, nullptr);

    // The whole path or nothing: a cut directory would name another one.
    o.installDirectory = options->installDirectory ? options->installDirectory : "";
    o.duplicateCheck = 1;
    o.keepTypeNRows = 1;
    o.requireGroups = 1;
    Client_SetYieldFunction(nullptr);
    lib.started = true;
    return true;
}

void Client_Term() {
    using namespace qelclient;
    LibraryState& lib = Library();
    while (ClientSession* first = ListFirst()) Session_Logoff(first, 0);
    FreeResourceRecords();
    ClearServerEntries();
    if (lib.ownsIconv && lib.iconv) ArcICONV_Shutdown(lib.iconv);
    lib.iconv = nullptr;
    lib.ownsIconv = false;
    lib.started = false;
}

const char* Client_GetVersion() { return "2.2.1.10"; }
