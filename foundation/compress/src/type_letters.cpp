// Compression type letters and the choice of a letter by data size.
#include "arc_compress.h"

namespace {

constexpr uint64_t kWorthSize = 200;

bool IsLzwLetter(ArcCmpType letter) {
    return letter == 'L' || letter == '3' || letter == '4' || letter == '5' || letter == 'Z';
}

bool IsKnownLetter(ArcCmpType letter) {
    return IsLzwLetter(letter) || letter == 'O' || letter == 'D' || letter == 'N';
}

}  // namespace

int ArcCMP_WorthCompressing(ArcCmpType letter, uint64_t size) {
    if (IsLzwLetter(letter) || letter == 'O') return size >= kWorthSize ? 1 : 0;
    if (letter == 'D' || letter == 'N') return 0;
    return -1;
}

int ArcCMP_IsCompressType(ArcCmpType letter) { return ArcCMP_WorthCompressing(letter, kWorthSize); }

int ArcCMP_LzwBits(ArcCmpType letter) {
    switch (letter) {
        case 'L': return 12;
        case '3': return 13;
        case '4': return 14;
        case '5': return 15;
        case 'Z': return 16;
        default: return 0;
    }
}

int ArcCMP_ChooseTypeBySize(uint64_t size, ArcCmpType letter, ArcCmpType* first, ArcCmpType* second) {
    ArcCmpType a = letter;
    ArcCmpType b = letter;
    if (size == 0) {
        // keep the requested letter
    } else if (size < kWorthSize) {
        a = 'N';
        b = 'D';
    } else {
        // Wider codes only pay off once there is enough data to fill the table.
        if (size < 30000)
            a = 'L';
        else if (size < 60000)
            a = '3';
        else if (size < 90000)
            a = '4';
        else if (size < 120000)
            a = '5';
        else
            a = 'Z';
        b = a;
    }
    if (first != nullptr) *first = a;
    if (second != nullptr) *second = b;
    return 0;
}

int ArcCMP_ChooseType(ArcCmpType requested, ArcCmpType* stored, ArcCmpType* second, uint64_t size) {
    if (stored == nullptr || second == nullptr) return -1;
    if (!IsKnownLetter(*stored) || !IsKnownLetter(requested)) return -1;
    if (*stored != 'N') {
        *second = 'D';  // already compressed, or kept as delivered: pass it on as it is
        return 0;
    }
    if (requested == 'D') {
        *second = 'D';
        return 0;
    }
    const ArcCmpType basis = requested == 'N' ? 'Z' : requested;
    return ArcCMP_ChooseTypeBySize(size, basis, stored, second);
}
