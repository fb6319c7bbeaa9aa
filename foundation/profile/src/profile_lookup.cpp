// profile_lookup.cpp - reading keys and sections out of a profile image.
#include <cstring>

#include "arc_profile.h"
#include "profile_lines.h"

using arcprof::detail::CleanValue;
using arcprof::detail::EqualsIgnoreCase;
using arcprof::detail::Line;
using arcprof::detail::LineKind;
using arcprof::detail::LineScanner;

namespace {

size_t CopyCut(std::string_view value, char* buffer, size_t size) {
    const size_t n = value.size() < size - 1 ? value.size() : size - 1;
    if (n > 0) {
        std::memcpy(buffer, value.data(), n);
    }
    buffer[n] = '\0';
    return n;
}

// Moves the scanner past the header of the first section of that name.
bool SeekSection(LineScanner* scanner, std::string_view section) {
    Line line;
    while (scanner->next(&line)) {
        if (line.kind == LineKind::Section && EqualsIgnoreCase(line.name, section)) {
            return true;
        }
    }
    return false;
}

}  // namespace

size_t ArcPROF_GetFromImage(const char* section, const char* key, const char* defaultValue, char* buffer,
                            size_t size, const char* text) {
    if (size == 0 || buffer == nullptr) {
        return 0;
    }
    std::string_view initial = defaultValue ? defaultValue : "";
    if (key == nullptr && defaultValue != nullptr) {
        initial = "0";
    }
    size_t length = CopyCut(initial, buffer, size);
    if (section == nullptr || text == nullptr) {
        return length;
    }
    LineScanner scanner(text);
    if (!SeekSection(&scanner, section)) {
        return length;
    }
    if (key == nullptr) {
        return CopyCut("1", buffer, size);
    }
    Line line;
    while (scanner.next(&line)) {
        if (line.kind == LineKind::Section) {
            break;
        }
        if (line.kind == LineKind::Key && EqualsIgnoreCase(line.name, key)) {
            return CopyCut(CleanValue(line.value), buffer, size);
        }
    }
    return length;
}

int ArcPROF_ListSection(const char* section, const char* text, std::vector<ArcPROFEntry>* entries) {
    if (entries != nullptr) {
        entries->clear();
    }
    if (section == nullptr || text == nullptr) {
        return 1;
    }
    LineScanner scanner(text);
    if (!SeekSection(&scanner, section)) {
        return 1;
    }
    Line line;
    while (scanner.next(&line) && line.kind != LineKind::Section) {
        if (line.kind == LineKind::Key && entries != nullptr) {
            const std::string_view value = CleanValue(line.value);
            entries->push_back({std::string(line.name), std::string(value)});
        }
    }
    return 0;
}
