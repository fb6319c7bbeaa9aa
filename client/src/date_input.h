// date_input.h - keyword and relative date input with an injectable clock (internal).
#pragma once

#include <cstdint>

#include "arc_datetime.h"
#include "qel_client.h"

namespace qelclient {

// The keyword letters, each a single- or double-byte character, upper-cased.
struct DateLetters {
    char today[CLIENT_LETTER_SIZE] = "T";
    char day[CLIENT_LETTER_SIZE] = "D";
    char month[CLIENT_LETTER_SIZE] = "M";
    char year[CLIENT_LETTER_SIZE] = "Y";
};

// The start-up options' letters; an empty slot keeps its default.
DateLetters StartupDateLetters();

// ParseDateInput with the letters given and "now" as a 'Z' moment.
int ParseDateInputAt(const char* input, const char* defaultUnit, char dateType, const char* dateFormat,
                     const DateLetters& letters, ArcDateTime now, int64_t* start, int64_t* end);

}  // namespace qelclient
