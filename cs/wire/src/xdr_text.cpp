// xdr_text.cpp - texts on the wire: local code page <-> UCS-2, the fix-up, and cutting
// a received text to its destination on a character boundary.
#include "qel_cswire.h"
#include "xdr_detail.h"

#include "arc_codepage.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

using namespace qel_cswire::detail;

namespace {

size_t UnitSize(const QelXdr* xdr) { return xdr->wide ? 2 : 1; }

// Converts units [0, unitCount) of wire text (host order) into out (capacity bytes).
// The result of the service; *written is the bytes produced.
int ConvertUnits(QelXdr* xdr, const unsigned char* units, size_t unitCount, char* out, size_t capacity,
                 size_t* written) {
    *written = 0;
    if (unitCount == 0) return ARC_ICONV_OK;
    if (capacity == 0) return ARC_ICONV_OUTPUT_TOO_SMALL;
    size_t length = capacity;
    const int rc = ArcICONV_Convert(xdr->toLocal, reinterpret_cast<const char*>(units),
                                    unitCount * UnitSize(xdr), out, &length);
    if (rc == ARC_ICONV_OK) *written = length;
    return rc;
}

// The longest prefix of whole units that fits the destination. A prefix of UCS-2 units
// always converts to whole characters, so the cut never splits a character, and a
// mixed-EBCDIC text still ends in its single-byte state.
bool ConvertCut(QelXdr* xdr, const unsigned char* units, size_t unitCount, char* out, size_t capacity,
                size_t* written) {
    int rc = ConvertUnits(xdr, units, unitCount, out, capacity, written);
    if (rc == ARC_ICONV_OK) return true;
    if (rc != ARC_ICONV_OUTPUT_TOO_SMALL) {
        xdr->error = rc;
        return false;
    }
    size_t fits = 0;  // always fits: the empty text
    size_t tooLong = unitCount;
    while (tooLong - fits > 1) {
        const size_t middle = fits + (tooLong - fits) / 2;
        rc = ConvertUnits(xdr, units, middle, out, capacity, written);
        if (rc == ARC_ICONV_OK) {
            fits = middle;
        } else if (rc == ARC_ICONV_OUTPUT_TOO_SMALL || rc == ARC_ICONV_INCOMPLETE_INPUT ||
                   rc == ARC_ICONV_INVALID_INPUT) {
            // A cut inside a surrogate pair reads as a broken character: shorter it is.
            tooLong = middle;
        } else {
            xdr->error = rc;
            return false;
        }
    }
    rc = ConvertUnits(xdr, units, fits, out, capacity, written);
    if (rc != ARC_ICONV_OK) {
        xdr->error = rc;
        return false;
    }
    return true;
}

// Encodes local text (length bytes, no terminator needed) as length word and UCS-2.
bool EncodeText(QelXdr* xdr, const char* text, size_t length) {
    if (xdr->toWire == nullptr) {
        xdr->error = ARC_ICONV_NOT_SUPPORTED;
        return false;
    }
    // The terminator travels too; each local byte makes at most one unit.
    std::vector<char> local(text, text + length);
    local.push_back('\0');
    std::vector<unsigned char> wire(local.size() * 2 + 16);
    size_t produced = wire.size();
    const int rc = ArcICONV_Convert(xdr->toWire, local.data(), local.size(),
                                    reinterpret_cast<char*>(wire.data()), &produced);
    if (rc != ARC_ICONV_OK) {
        xdr->error = rc;
        return false;
    }
    if (produced > UINT32_MAX) return false;
    QelXdr_TextFixup(wire.data(), produced, xdr->textMode, xdr->wide);
    uint32_t wireLength = static_cast<uint32_t>(produced);
    return QelXdr_UInt(xdr, &wireLength) && QelXdr_Opaque(xdr, wire.data(), wireLength);
}

// Reads a wire text: its bytes fixed up and cut at the terminator, which must be among
// the counted bytes. *present is false for length 0.
bool ReadWireText(QelXdr* xdr, std::vector<unsigned char>* units, bool* present) {
    uint32_t wireLength = 0;
    if (!QelXdr_UInt(xdr, &wireLength)) return false;
    *present = wireLength != 0;
    if (wireLength == 0) return true;
    if (wireLength > CS_XDR_TEXT_WIRE_MAX) return false;
    if (xdr->wide && wireLength % 2 != 0) return false;
    units->resize(wireLength);
    if (!QelXdr_Opaque(xdr, units->data(), wireLength)) return false;
    QelXdr_TextFixup(units->data(), units->size(), xdr->textMode, xdr->wide);
    const size_t unitSize = UnitSize(xdr);
    size_t end = 0;
    while (end + unitSize <= units->size()) {
        bool zero = true;
        for (size_t b = 0; b < unitSize; ++b) zero = zero && (*units)[end + b] == 0;
        if (zero) break;
        end += unitSize;
    }
    if (end + unitSize > units->size()) return false;  // no terminator: not a text
    units->resize(end);
    if (xdr->toLocal == nullptr) {
        xdr->error = ARC_ICONV_NOT_SUPPORTED;
        return false;
    }
    return true;
}

// Decodes into out (capacity bytes of text plus the terminator).
bool DecodeInto(QelXdr* xdr, const std::vector<unsigned char>& units, char* out, size_t capacity) {
    size_t written = 0;
    if (!ConvertCut(xdr, units.data(), units.size() / UnitSize(xdr), out, capacity, &written)) return false;
    out[written] = '\0';
    return true;
}

}  // namespace

bool QelXdr_InitCodePages(QelXdr* xdr, ArcIconvContext* context, int32_t localCcsid, int32_t wireCcsid) {
    QelXdr_CloseCodePages(xdr);
    xdr->wide = ArcICONV_IsUcs2Ccsid(wireCcsid);
    if (localCcsid == 0) return false;
    int rc = ArcICONV_Open(context, localCcsid, wireCcsid, &xdr->toWire);
    if (rc != ARC_ICONV_OK) {
        xdr->error = rc;
        xdr->toWire = nullptr;
        return false;
    }
    rc = ArcICONV_Open(context, wireCcsid, localCcsid, &xdr->toLocal);
    if (rc != ARC_ICONV_OK) {
        xdr->error = rc;
        xdr->toLocal = nullptr;
        QelXdr_CloseCodePages(xdr);
        return false;
    }
    return true;
}

void QelXdr_CloseCodePages(QelXdr* xdr) {
    ArcICONV_Close(xdr->toWire);
    ArcICONV_Close(xdr->toLocal);
    xdr->toWire = nullptr;
    xdr->toLocal = nullptr;
}

void QelXdr_TextFixup(unsigned char* text, size_t length, int mode, int wide) {
    if (text == nullptr) return;
    if (wide) {
        if (mode != QELXDR_TEXT_NORMAL && mode != QELXDR_TEXT_HIDDEN) return;
        // The converters speak host order; the wire is big-endian on every host.
        const bool swap = std::endian::native == std::endian::little;
        for (size_t i = 0; i + 1 < length; i += 2) {
            if (text[i] == 0 && text[i + 1] == 0) break;
            if (swap) std::swap(text[i], text[i + 1]);
            if (mode == QELXDR_TEXT_HIDDEN) {
                text[i] = static_cast<unsigned char>(~text[i]);
                text[i + 1] = static_cast<unsigned char>(~text[i + 1]);
            }
        }
        return;
    }
    if (mode != QELXDR_TEXT_HIDDEN) return;
    for (size_t i = 0; i < length && text[i] != 0; ++i) text[i] = static_cast<unsigned char>(~text[i]);
}

bool QelXdr_String(QelXdr* xdr, char** text, uint32_t maximum) {
    if (Freeing(xdr)) {
        Release(text);
        return true;
    }
    if (Encoding(xdr)) {
        if (*text == nullptr) {
            uint32_t zero = 0;
            return QelXdr_UInt(xdr, &zero);
        }
        return EncodeText(xdr, *text, std::strlen(*text));
    }
    std::vector<unsigned char> units;
    bool present = false;
    if (!ReadWireText(xdr, &units, &present)) return false;
    if (!present) {
        if (*text != nullptr) (*text)[0] = '\0';
        return true;
    }
    if (*text != nullptr) return DecodeInto(xdr, units, *text, maximum);
    // A UCS-2 unit never needs more than four local bytes (three in UTF-8, a shift
    // pair around a double-byte code).
    const size_t capacity = std::min<size_t>(maximum, units.size() / UnitSize(xdr) * 4 + 4);
    std::vector<char> local(capacity + 1);
    if (!DecodeInto(xdr, units, local.data(), capacity)) return false;
    const size_t length = std::strlen(local.data());
    if (!Charge(xdr, length + 1)) return false;
    char* copy = static_cast<char*>(std::malloc(length + 1));
    if (copy == nullptr) return false;
    std::memcpy(copy, local.data(), length + 1);
    *text = copy;
    return true;
}

bool QelXdr_WrapString(QelXdr* xdr, char* field, uint32_t size) {
    if (Freeing(xdr)) return true;
    if (size == 0) return false;
    if (Encoding(xdr)) return EncodeText(xdr, field, strnlen(field, size));
    std::vector<unsigned char> units;
    bool present = false;
    if (!ReadWireText(xdr, &units, &present)) return false;
    if (!present) {
        field[0] = '\0';
        return true;
    }
    return DecodeInto(xdr, units, field, size - 1);
}
