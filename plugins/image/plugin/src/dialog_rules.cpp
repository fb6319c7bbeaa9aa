// dialog_rules.cpp - number rules of the zoom and contrast dialogs.
#include "dialog_rules.h"

#include "qel_win.h"

namespace zyp {
namespace {

constexpr int kZoomChoices[] = {25, 50, 75, 100, 150, 200, 500, 1000};

}  // namespace

int ParseFieldNumber(std::string_view text) {
    std::string_view head = text.substr(0, 9);
    if (head.empty()) return 0;
    int value = 0;
    for (char c : head) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<int> ScrollStepTarget(int request, int thumb, int current, int low, int high, int pageStep) {
    int target = 0;
    switch (request) {
        case SB_LINELEFT: target = current - 1; break;
        case SB_LINERIGHT: target = current + 1; break;
        case SB_PAGELEFT: target = current - pageStep <= low ? low : current - pageStep; break;
        case SB_PAGERIGHT: target = current + pageStep >= high ? high : current + pageStep; break;
        case SB_LEFT: target = low; break;
        case SB_RIGHT: target = high; break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK: target = thumb; break;
        default: return std::nullopt;
    }
    if (target < low || target > high) return std::nullopt;
    return target;
}

int ZoomOfRadio(int id) {
    if (id < kZoomRadioFirst || id > kZoomRadioLast) return 0;
    return kZoomChoices[id - kZoomRadioFirst];
}

int RadioOfZoom(int percent) {
    for (int i = 0; i < 8; ++i) {
        if (kZoomChoices[i] == percent) return kZoomRadioFirst + i;
    }
    return 0;
}

std::string FormatRangeMessage(std::string_view text, int low, int high) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == '1' || text[i + 1] == '2')) {
            out += std::to_string(text[i + 1] == '1' ? low : high);
            ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

}  // namespace zyp
