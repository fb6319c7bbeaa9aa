// Control greying and status texts.
#include "controls.h"

namespace afpview {

Navigation NavigationFor(int32_t current, int32_t total) {
    if (total == 1) return {false, false};
    if (current == 1) return {false, true};
    if (current == total) return {true, false};
    return {true, true};
}

std::string CutText(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) return std::string(text);
    size_t end = maxBytes;
    // Step back over continuation bytes so the cut falls before a character's first byte.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return std::string(text.substr(0, end));
}

std::string PageStatusText(std::string_view label1, int32_t current, std::string_view label2, int32_t total) {
    std::string text(label1);
    text += std::to_string(current);
    text += label2;
    text += std::to_string(total);
    return CutText(text, kPageStatusLimit);
}

uint32_t StatusStringFor(uint32_t controlId, bool imageViewLive) {
    switch (controlId) {
        case kCmdZoom: return 1020;
        case kCmdRotate: return 1021;
        case kCmdReset: return 1022;
        case kCmdImageView: return imageViewLive ? 1024 : 1025;
        case kCmdSaveView: return 1026;
        case kCmdGetView: return 1027;
        case kCmdGoto: return 1028;
        case kCmdFind: return 1029;
        case kCmdFindNext:
        case kCmdFindNextGrey: return 1030;
        case kCmdFirst:
        case kCmdFirstGrey: return 1033;
        case kCmdPrevious:
        case kCmdPreviousGrey: return 1031;
        case kCmdNext:
        case kCmdNextGrey: return 1032;
        case kCmdLast:
        case kCmdLastGrey: return 1034;
        case kCmdPrint: return 1035;
        case kCmdHelp: return 1036;
        case kCmdStop: return 1037;
        case kCmdBitmapSelect: return 1038;
        case kCmdTextSelect: return 1039;
        case kCmdCopy: return 1040;
        default: return 0;
    }
}

}  // namespace afpview
