// table_module.cpp - UCS-2 <-> a code set described by a table file.
#include "table_module.h"

#include <cerrno>
#include <cstring>
#include <new>

#include "arc_platform.h"
#include "context.h"

namespace qel::codepage {
namespace {

namespace fmt = uconvtab;

inline constexpr uint16_t kUcsSubstitute = 0x001A;
inline constexpr size_t kMaxPathLength = 260;

// Table names come from qelcpcs.cfg or callers: never let one leave the table directory.
bool SafeTableName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

// The first <entry>/uconvtab/<name> that exists along the ';'-separated locale path.
int FindTableFile(const std::string& localePath, std::string_view name, std::string* path) {
    std::string relative = "uconvtab/" + std::string(name);
    if (relative.size() >= kMaxPathLength) return E2BIG;
    int failure = EINVAL;
    size_t start = 0;
    while (true) {
        size_t end = localePath.find(';', start);
        std::string entry =
            localePath.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (entry.empty()) entry = ".";
        if (entry.back() != '/') entry += '/';
        std::string candidate = entry + relative;
        if (candidate.size() > kMaxPathLength) {
            failure = ENAMETOOLONG;
        } else {
            ArcOSStat status;
            if (ArcOS_Stat64(candidate.c_str(), &status) == 0 && !status.isDirectory) {
                *path = std::move(candidate);
                return 0;
            }
        }
        if (end == std::string::npos) return failure;
        start = end + 1;
    }
}

size_t MaxSubLength(uint16_t type) {
    switch (type) {
        case fmt::kSingleByte: return 1;
        case fmt::kMultiByte: return kMaxSubBytes;
        default: return 2;
    }
}

// The bytes a from-UCS entry stands for (prefix, then one or two code bytes).
size_t EntryBytes(const TableData& data, uint32_t entry, uint8_t* bytes) {
    size_t length = 0;
    uint32_t prefix = entry >> fmt::kFromPrefixShift;
    if (prefix != 0) {
        const std::string& text = data.prefixes[prefix - 1];
        std::memcpy(bytes, text.data(), text.size());
        length = text.size();
    }
    uint32_t code = entry & fmt::kFromCodeMask;
    if (code >= 0x100) bytes[length++] = static_cast<uint8_t>(code >> 8);
    bytes[length++] = static_cast<uint8_t>(code);
    return length;
}

// Substitution bytes: "subchar", else the header's, else U+001A through the table.
// False when they are too long (or there are none) for a converter that substitutes.
bool ChooseSubBytes(const TableData& data, const Modifiers& modifiers, std::vector<uint8_t>* bytes) {
    if (modifiers.subchar) {
        *bytes = *modifiers.subchar;
    } else if (!data.defaultSubBytes.empty()) {
        *bytes = data.defaultSubBytes;
    } else {
        uint32_t entry = data.FromUcs(kUcsSubstitute);
        if (entry != fmt::kFromUnmapped) {
            uint8_t buffer[fmt::kMaxPrefixLength + 2];
            bytes->assign(buffer, buffer + EntryBytes(data, entry, buffer));
        }
    }
    bool fits = !bytes->empty() && bytes->size() <= MaxSubLength(data.type) && bytes->size() <= kMaxSubBytes;
    if (!fits) bytes->clear();
    return fits;
}

}  // namespace

TableConverter::TableConverter(const CachedTable* table, bool toUcs, const Modifiers& modifiers,
                               std::vector<uint8_t> subBytes)
    : ArcUconvConverter(kFlagsComputed),
      table_(table),
      toUcs_(toUcs),
      modifiers_(modifiers),
      subBytes_(std::move(subBytes)) {}

long TableConverter::Convert(const uint8_t** input, size_t* inputLeft, uint8_t** output, size_t* outputLeft) {
    if (toUcs_) return ToUcs2(input, inputLeft, output, outputLeft);
    if (useByteMap_ && !table_->data.byteFromUcs.empty())
        return FromUcs2Bytes(input, inputLeft, output, outputLeft);
    return FromUcs2(input, inputLeft, output, outputLeft);
}

long TableConverter::ToUcs2(const uint8_t** input, size_t* inputLeft, uint8_t** output, size_t* outputLeft) {
    const TableData& data = table_->data;
    const uint8_t* in = *input;
    const uint8_t* const end = in + *inputLeft;
    uint8_t* out = *output;
    uint8_t* const outEnd = out + *outputLeft;
    const bool swap = modifiers_.swapOutput;
    const bool irv =
        modifiers_.map == kMapIrv && (data.type == fmt::kDoubleByte || data.type == fmt::kMultiByte);
    const bool substitute = modifiers_.sub == kSubToUcs || modifiers_.sub == kSubBoth;
    long substituted = 0;
    int failure = 0;

    if (data.type == fmt::kSingleByte && !swap) {
        // The common case, kept tight: one lookup per byte.
        while (in < end) {
            if (outEnd - out < 2) {
                failure = E2BIG;
                break;
            }
            uint16_t unit = data.single[*in];
            if (unit == fmt::kUnmapped) {
                if (!substitute) {
                    failure = EILSEQ;
                    break;
                }
                unit = kUcsSubstitute;
                ++substituted;
            }
            std::memcpy(out, &unit, 2);
            out += 2;
            ++in;
        }
    } else {
        while (in < end) {
            const size_t left = static_cast<size_t>(end - in);
            const uint8_t byte = *in;
            uint16_t unit;
            size_t length = 1;
            if (data.type == fmt::kEbcdicMixed) {
                if (byte == fmt::kShiftOut || byte == fmt::kShiftIn) {
                    if (doubleByte_ == (byte == fmt::kShiftOut)) {
                        failure = EILSEQ;  // the shift we are already in
                        break;
                    }
                    doubleByte_ = byte == fmt::kShiftOut;
                    ++in;
                    continue;
                }
                if (!doubleByte_) {
                    unit = data.single[byte];
                } else if (left < 2) {
                    failure = EINVAL;
                    break;
                } else {
                    unit = data.ToUcs2Bytes(byte, in[1]);
                    length = 2;
                }
            } else if (irv && byte < 0x80) {
                unit = byte;
            } else {
                length = data.lengths[byte];
                if (left < length) {
                    failure = EINVAL;
                    break;
                }
                unit = length == 1   ? data.single[byte]
                       : length == 2 ? data.ToUcs2Bytes(byte, in[1])
                                     : data.ToUcs3Bytes(byte, in[1], in[2]);
            }
            if (unit == fmt::kUnmapped) {
                if (!substitute) {
                    failure = EILSEQ;
                    break;
                }
                unit = kUcsSubstitute;
                ++substituted;
            }
            if (outEnd - out < 2) {
                failure = E2BIG;
                break;
            }
            WriteUnit(out, unit, swap);
            out += 2;
            in += length;
        }
    }
    *inputLeft = static_cast<size_t>(end - in);
    *input = in;
    *outputLeft = static_cast<size_t>(outEnd - out);
    *output = out;
    lastCount = substituted;
    return failure == 0 ? substituted : Fail(failure);
}

long TableConverter::FromUcs2(const uint8_t** input, size_t* inputLeft, uint8_t** output,
                              size_t* outputLeft) {
    const TableData& data = table_->data;
    const uint8_t* in = *input;
    size_t inLeft = *inputLeft;
    uint8_t* out = *output;
    size_t outLeft = *outputLeft;
    const bool swap = modifiers_.swapInput;
    const bool irv =
        modifiers_.map == kMapIrv && (data.type == fmt::kDoubleByte || data.type == fmt::kMultiByte);
    const bool substitute = modifiers_.sub == kSubFromUcs || modifiers_.sub == kSubBoth;
    const bool mixed = data.type == fmt::kEbcdicMixed;
    long substituted = 0;
    int failure = 0;
    uint8_t bytes[kMaxSubBytes + 2];

    while (inLeft >= 2) {
        uint16_t unit = ReadUnit(in, swap);
        size_t length;
        bool isSub = false;
        if (irv && unit < 0x80) {
            bytes[0] = static_cast<uint8_t>(unit);
            length = 1;
        } else {
            uint32_t entry = data.FromUcs(unit);
            if (entry != fmt::kFromUnmapped) {
                length = EntryBytes(data, entry, bytes);
            } else if (substitute && !subBytes_.empty()) {
                std::memcpy(bytes, subBytes_.data(), subBytes_.size());
                length = subBytes_.size();
                isSub = true;
            } else {
                failure = EILSEQ;
                break;
            }
        }
        // Mixed EBCDIC: a two-byte code is double-byte, and the shift goes before it.
        size_t needed = length;
        bool toDouble = mixed && length == 2;
        bool shift = mixed && toDouble != doubleByte_;
        if (shift) ++needed;
        if (needed > outLeft) {
            failure = E2BIG;
            break;
        }
        if (shift) {
            *out++ = toDouble ? fmt::kShiftOut : fmt::kShiftIn;
            doubleByte_ = toDouble;
        }
        std::memcpy(out, bytes, length);
        out += length;
        outLeft -= needed;
        in += 2;
        inLeft -= 2;
        if (isSub) ++substituted;
    }
    if (failure == 0 && inLeft == 1) failure = EINVAL;  // half a unit
    *input = in;
    *inputLeft = inLeft;
    *output = out;
    *outputLeft = outLeft;
    lastCount = substituted;
    return failure == 0 ? substituted : Fail(failure);
}

// FromUcs2 for a single-byte table: one lookup per unit, one byte out; no prefixes,
// shifts or "map=irv" (which only double- and multi-byte tables honour).
long TableConverter::FromUcs2Bytes(const uint8_t** input, size_t* inputLeft, uint8_t** output,
                                   size_t* outputLeft) {
    const uint16_t* const map = table_->data.byteFromUcs.data();
    const uint8_t* in = *input;
    size_t inLeft = *inputLeft;
    uint8_t* out = *output;
    uint8_t* const outEnd = out + *outputLeft;
    const bool swap = modifiers_.swapInput;
    // Type 1 substitution bytes are at most one byte (ChooseSubBytes).
    const bool substitute =
        (modifiers_.sub == kSubFromUcs || modifiers_.sub == kSubBoth) && !subBytes_.empty();
    const uint8_t subByte = subBytes_.empty() ? 0 : subBytes_[0];
    long substituted = 0;
    int failure = 0;
    while (inLeft >= 2) {
        uint16_t code = map[ReadUnit(in, swap)];
        bool isSub = false;
        if (code == kByteUnmapped) {
            if (!substitute) {
                failure = EILSEQ;
                break;
            }
            code = subByte;
            isSub = true;
        }
        if (out == outEnd) {
            failure = E2BIG;
            break;
        }
        *out++ = static_cast<uint8_t>(code);
        in += 2;
        inLeft -= 2;
        if (isSub) ++substituted;
    }
    if (failure == 0 && inLeft == 1) failure = EINVAL;  // half a unit
    *input = in;
    *inputLeft = inLeft;
    *outputLeft = static_cast<size_t>(outEnd - out);
    *output = out;
    lastCount = substituted;
    return failure == 0 ? substituted : Fail(failure);
}

long TableConverter::Flush(uint8_t** output, size_t* outputLeft) {
    if (toUcs_ || !doubleByte_) {
        doubleByte_ = false;
        return 0;
    }
    if (*outputLeft == 0) return Fail(E2BIG);
    *(*output)++ = fmt::kShiftIn;
    --*outputLeft;
    doubleByte_ = false;
    return 0;
}

int TableConverter::Close(ArcIconvContext* context) { return context->tables.Release(table_); }

ConverterPtr OpenTableModule(ArcIconvContext* context, const char* tableName, bool toUcs, int* error) {
    std::string_view name(tableName);
    std::string_view base = BaseName(name);
    Modifiers modifiers;
    if (!ParseModifiers(name, &modifiers) || !SafeTableName(base)) {
        *error = EINVAL;
        return nullptr;
    }
    try {
        std::string path;
        int rc = FindTableFile(context->localePath, base, &path);
        if (rc != 0) {
            *error = rc;
            return nullptr;
        }
        const CachedTable* table = context->tables.Acquire(path, error);
        if (table == nullptr) return nullptr;
        std::vector<uint8_t> subBytes;
        bool substitutes = modifiers.sub == kSubFromUcs || modifiers.sub == kSubBoth;
        if (!ChooseSubBytes(table->data, modifiers, &subBytes) && substitutes) {
            context->tables.Release(table);
            *error = EINVAL;
            return nullptr;
        }
        ConverterPtr converter(new (std::nothrow)
                                   TableConverter(table, toUcs, modifiers, std::move(subBytes)));
        if (!converter) {
            context->tables.Release(table);
            *error = ENOMEM;
        }
        return converter;
    } catch (const std::bad_alloc&) {
        *error = ENOMEM;
        return nullptr;
    }
}

}  // namespace qel::codepage
