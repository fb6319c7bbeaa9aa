// The library settings a session blob records. A restore reads and checks them but never
// installs them: the process's own configuration stays in force.
#include "state_settings.h"

#include <cstring>
#include <string_view>

#include "state_format.h"

namespace qelclient {
namespace {

template <size_t N>
std::string_view Slot(const char (&slot)[N]) {
    return std::string_view(slot, strnlen(slot, N));
}

bool IsUpperLetter(char c) { return c >= 'A' && c <= 'Z'; }

}  // namespace

void WriteSettings(BlobWriter& w, const LibraryOptions& o) {
    const ArcDTNames& n = o.names;
    for (const auto& name : n.monthNames) w.Text(Slot(name));
    for (const auto& name : n.monthAbbrevs) w.Text(Slot(name));
    for (const auto& name : n.dayNames) w.Text(Slot(name));
    for (const auto& name : n.dayAbbrevs) w.Text(Slot(name));
    w.Text(Slot(n.am));
    w.Text(Slot(n.pm));
    w.Text(Slot(n.timeFormat));
    w.Text(Slot(n.dateFormat));
    w.Text(Slot(n.dateTimeFormat));
    w.U8(n.zoneSelector > 0 ? 1 : 0);
    w.Text(Slot(n.standardZone));
    w.I32(n.zoneOffsetHours);
    w.Text(Slot(n.daylightZone));
    w.Text(Slot(o.longFormat));
    w.U8(static_cast<uint8_t>(o.charKind));
    for (uint8_t flag : {o.folderListSwitch, o.namedQuerySwitch, o.searchLetterSwitch, o.retrieveOption,
                         o.sortByField, o.folderFlagSwitch})
        w.U8(flag ? 1 : 0);
    w.I32(o.codePage);
    w.U8(static_cast<uint8_t>(o.decimalChar));
    w.U8(static_cast<uint8_t>(o.thousandsChar));
    for (const auto* letter : {&o.todayLetter, &o.dayLetter, &o.monthLetter, &o.yearLetter, &o.latestLetter})
        w.Text(Slot(*letter));
}

void ReadSettings(BlobReader& r, LibraryOptions* o) {
    ArcDTNames& n = o->names;
    std::memset(&n, 0, sizeof n);
    for (auto& name : n.monthNames) r.TextInto(name, sizeof name);
    for (auto& name : n.monthAbbrevs) r.TextInto(name, sizeof name);
    for (auto& name : n.dayNames) r.TextInto(name, sizeof name);
    for (auto& name : n.dayAbbrevs) r.TextInto(name, sizeof name);
    r.TextInto(n.am, sizeof n.am);
    r.TextInto(n.pm, sizeof n.pm);
    r.TextInto(n.timeFormat, sizeof n.timeFormat);
    r.TextInto(n.dateFormat, sizeof n.dateFormat);
    r.TextInto(n.dateTimeFormat, sizeof n.dateTimeFormat);
    n.zoneSelector = r.Flag() ? 1 : 0;
    r.TextInto(n.standardZone, sizeof n.standardZone);
    n.zoneOffsetHours = r.I32();
    r.TextInto(n.daylightZone, sizeof n.daylightZone);
    r.TextInto(o->longFormat, sizeof o->longFormat);
    o->charKind = static_cast<char>(r.U8());
    if (!IsUpperLetter(o->charKind)) r.Fail();
    for (uint8_t* flag : {&o->folderListSwitch, &o->namedQuerySwitch, &o->searchLetterSwitch,
                          &o->retrieveOption, &o->sortByField, &o->folderFlagSwitch})
        *flag = r.Flag() ? 1 : 0;
    o->codePage = r.I32();
    if (o->codePage <= 0) r.Fail();
    o->decimalChar = static_cast<char>(r.U8());
    o->thousandsChar = static_cast<char>(r.U8());
    for (auto* letter : {&o->todayLetter, &o->dayLetter, &o->monthLetter, &o->yearLetter, &o->latestLetter})
        r.TextInto(*letter, sizeof *letter);
}

}  // namespace qelclient
