// Text lookup by event identifier: the message-table read of this library.
#include <algorithm>
#include <string_view>

#include "arc_messages.h"
#include "exports.h"
#include "message_table.h"

using qellgs_detail::kMessageCount;
using qellgs_detail::kMessages;
using qellgs_detail::kMessageTexts;
using qellgs_detail::MessageEntry;

// The catalogue looks the entry up under this name; keep the two in step.
static_assert(std::string_view(ARC_MSG_LOOKUP_ENTRY) == "QelLgs_GetMessageText");

const char* QelLgs_GetMessageText(uint32_t eventId) {
    const MessageEntry* end = kMessages + kMessageCount;
    const MessageEntry* found = std::lower_bound(
        kMessages, end, eventId, [](const MessageEntry& entry, uint32_t id) { return entry.eventId < id; });
    return found != end && found->eventId == eventId ? kMessageTexts + found->textOffset : nullptr;
}
