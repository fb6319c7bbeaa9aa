// library_state.h - the process-wide state of the client library (internal).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "arc_datetime.h"
#include "qel_client.h"

namespace qelclient {

// What Client_Init keeps. Written only by Client_Init and Client_Term; read without a
// lock in between (the gateway starts the library before serving requests).
struct LibraryOptions {
    char charKind = 'C';
    uint8_t folderListSwitch = 0;
    uint8_t namedQuerySwitch = 0;
    uint8_t searchLetterSwitch = 0;
    uint8_t retrieveOption = 0;
    uint8_t sortByField = 0;
    uint8_t folderFlagSwitch = 0;
    int32_t codePage = 819;
    char decimalChar = '.';
    char thousandsChar = ',';
    char todayLetter[CLIENT_LETTER_SIZE] = {};
    char dayLetter[CLIENT_LETTER_SIZE] = {};
    char monthLetter[CLIENT_LETTER_SIZE] = {};
    char yearLetter[CLIENT_LETTER_SIZE] = {};
    char latestLetter[CLIENT_LETTER_SIZE] = {};
    char longFormat[CLIENT_FORMAT_SIZE] = {};
    std::string installDirectory;
    ArcDTNames names{};
    uint8_t duplicateCheck = 0;
    uint8_t keepTypeNRows = 0;
    uint8_t requireGroups = 0;
};

struct LibraryState {
    bool started = false;
    ArcIconvContext* iconv = nullptr;
    bool ownsIconv = false;
    LibraryOptions options;
    // The option words new sessions copy; the gateway sets bit 0 before each logon.
    std::atomic<uint32_t> defaultWord1{0};
    std::atomic<uint32_t> defaultWord2{0};
};

LibraryState& Library();

// The split of a TZ text such as "EST5EDT": standard name, offset in hours, daylight
// name, and the daylight flag (1 when the daylight name is not empty).
struct ZoneSplit {
    std::string standardName;
    int32_t offsetHours = 0;
    std::string daylightName;
    int32_t daylight = 0;
};
ZoneSplit SplitTimeZone(const char* text);

}  // namespace qelclient
