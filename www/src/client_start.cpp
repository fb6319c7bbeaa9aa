// Starting the client layer with the gateway's options.
#include "qel_www.h"

#include <cstring>

#include "arc_platform.h"
#include "qel_client.h"

namespace {

// Catalogue indexes of the names and letters the client layer keeps.
constexpr int kFirstMonth = 338;       // "January" .. 349 "December"
constexpr int kFirstMonthShort = 350;  // "Jan" .. 361
constexpr int kFirstDay = 362;         // "Sunday" .. 368
constexpr int kFirstDayShort = 369;    // "Sun" .. 375
constexpr int kFirstLetter = 333;      // "T", "D", "M", "Y", "L"
constexpr int kLongFormat = 376;
constexpr int kAm = 524;
constexpr int kPm = 525;

template <size_t N>
void PutText(char (&slot)[N], const char* text) {
    std::memset(slot, 0, N);
    std::memcpy(slot, text, strnlen(text, N - 1));
}

// A catalogue text in a fixed slot, cut to it (only names and letters: shown, never parsed).
template <size_t N>
void PutMessage(char (&slot)[N], int index) {
    int number = 0;
    QelWWW_GetMessageText(index, slot, N, &number);
}

}  // namespace

bool QelWWW_InitClientServer(const QelWWWConfig* config, QelWWWSession*) {
    if (config == nullptr) return false;
    ClientInitOptions o;
    Client_SetGatewayOptions(&o);
    o.codePage = config->codePage != 0 ? static_cast<int32_t>(config->codePage) : 819;
    for (int i = 0; i < 12; ++i) {
        PutMessage(o.monthNames[i], kFirstMonth + i);
        PutMessage(o.monthAbbrevs[i], kFirstMonthShort + i);
    }
    for (int i = 0; i < 7; ++i) {
        PutMessage(o.dayNames[i], kFirstDay + i);
        PutMessage(o.dayAbbrevs[i], kFirstDayShort + i);
    }
    PutMessage(o.am, kAm);
    PutMessage(o.pm, kPm);
    // Only the zone names and offset are taken: the rules after the first ',' are not.
    std::string zone = ArcOS_GetEnv("TZ").value_or("");
    zone = zone.substr(0, zone.find(','));
    PutText(o.timeZone, zone.c_str());
    PutMessage(o.longFormat, kLongFormat);
    PutMessage(o.todayLetter, kFirstLetter);
    PutMessage(o.dayLetter, kFirstLetter + 1);
    PutMessage(o.monthLetter, kFirstLetter + 2);
    PutMessage(o.yearLetter, kFirstLetter + 3);
    PutMessage(o.latestLetter, kFirstLetter + 4);
    o.localeDirectory = config->localeDir.c_str();
    o.iconv = config->codePageContext;
    o.installDirectory = config->installDir.c_str();
    return Client_Init(&o);
}
