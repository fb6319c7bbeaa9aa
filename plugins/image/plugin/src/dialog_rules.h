// dialog_rules.h - the number rules the zoom and contrast dialogs share.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zyp {

// An edit field's number: its first 9 characters as a decimal number; text that is
// empty or has anything but digits there reads as 0.
int ParseFieldNumber(std::string_view text);

// A scroll request on a bar of range low..high: line -1/+1, page -step/+step (a page
// that reaches or passes a bound stops at it), the ends, or the thumb. nullopt when
// the result falls outside the range (the dialog beeps) or the request is unknown.
std::optional<int> ScrollStepTarget(int request, int thumb, int current, int low, int high, int pageStep);

// Zoom dialog radio buttons 200-207 and their percentages.
inline constexpr int kZoomRadioFirst = 200;
inline constexpr int kZoomRadioLast = 207;
int ZoomOfRadio(int id);       // 0 for an id outside 200-207
int RadioOfZoom(int percent);  // 0 when no radio has that percentage

// A message text with "%1" and "%2" replaced by low and high.
std::string FormatRangeMessage(std::string_view text, int low, int high);

}  // namespace zyp
