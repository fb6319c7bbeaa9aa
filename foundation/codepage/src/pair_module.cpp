// pair_module.cpp - two non-UCS code sets chained through UCS-2.
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "converter.h"
#include "table_module.h"
#include "utf8_decode.h"

namespace qel::codepage {
namespace {

namespace fmt = uconvtab;

// Intermediate UCS-2 is made and delivered in slices of this size: the input position
// can then be set back within one slice when the delivery stops.
inline constexpr size_t kSliceBytes = 16384;

class PairConverter : public ArcUconvConverter {
public:
    PairConverter() : ArcUconvConverter(kFlagsPair) {}

    // Takes the inner converters once nothing else can fail.
    void Adopt(ArcUconv toUcs, ArcUconv fromUcs) {
        toUcs_.reset(toUcs);
        fromUcs_.reset(fromUcs);
    }
    // Left unzeroed: every byte is written before it is read, and untouched pages of a
    // short conversion then cost nothing.
    void MakeSlice() { slice_ = std::make_unique_for_overwrite<uint8_t[]>(kSliceBytes); }

    long Convert(const uint8_t** input, size_t* inputLeft, uint8_t** output, size_t* outputLeft) override {
        long substituted = 0;
        lastCount = 0;
        while (*inputLeft > 0) {
            bool more = false;
            long rc = ConvertSlice(input, inputLeft, output, outputLeft, &more);
            if (rc == kConvertFailed) return kConvertFailed;
            substituted += rc;
            lastCount = substituted;
            if (!more) break;
        }
        return substituted;
    }

    long Flush(uint8_t** output, size_t* outputLeft) override {
        toUcs_->Reset();
        if (fromUcs_->Flush(output, outputLeft) == kConvertFailed) {
            error = fromUcs_->error;
            return kConvertFailed;
        }
        return 0;
    }
    void Reset() override {
        toUcs_->Reset();
        fromUcs_->Reset();
    }
    int State() const override { return toUcs_->State(); }
    void SetState(int state) override { toUcs_->SetState(state); }

    int Close(ArcIconvContext* context) override {
        int first = toUcs_->Close(context);
        int second = fromUcs_->Close(context);
        return first != 0 ? first : second;
    }

protected:
    ConverterPtr toUcs_;
    ConverterPtr fromUcs_;

private:
    // Converts one slice of input to UCS-2 and delivers it. On a failed delivery the
    // input is set back to just past what was delivered (restoring the shift state the
    // slice began in), so nothing is ever left pending between calls. *more is set when
    // the slice filled up and input is left.
    long ConvertSlice(const uint8_t** input, size_t* inputLeft, uint8_t** output, size_t* outputLeft,
                      bool* more) {
        const uint8_t* const sliceStart = *input;
        const size_t sliceLeft = *inputLeft;
        const int sliceState = toUcs_->State();

        uint8_t* ucs = slice_.get();
        size_t ucsRoom = kSliceBytes;
        const long first = toUcs_->Convert(input, inputLeft, &ucs, &ucsRoom);
        const int firstError = toUcs_->error;
        const long firstCount = first == kConvertFailed ? toUcs_->lastCount : first;
        const size_t produced = static_cast<size_t>(ucs - slice_.get());

        const uint8_t* pending = slice_.get();
        size_t pendingLeft = produced;
        long second = 0;
        int secondError = 0;
        if (pendingLeft > 0) {
            if (*outputLeft == 0) {
                second = kConvertFailed;  // never let the target count instead of convert
                secondError = E2BIG;
            } else {
                second = fromUcs_->Convert(&pending, &pendingLeft, output, outputLeft);
                secondError = fromUcs_->error;
            }
        }
        if (second == kConvertFailed) {
            const size_t delivered = static_cast<size_t>(pending - slice_.get());
            *input = sliceStart;
            *inputLeft = sliceLeft;
            toUcs_->SetState(sliceState);
            if (delivered > 0) {
                uint8_t* again = slice_.get();
                size_t room = delivered;
                toUcs_->Convert(input, inputLeft, &again, &room);
            }
            error = secondError;
            return kConvertFailed;
        }
        if (first == kConvertFailed) {
            if (firstError == E2BIG && produced > 0) {
                *more = true;
                return firstCount + second;
            }
            error = firstError;
            lastCount += firstCount + second;
            return kConvertFailed;
        }
        return first + second;
    }

    std::unique_ptr<uint8_t[]> slice_;
};

// What one byte of a single-byte source becomes in a fast pair.
enum ByteKind : uint8_t { kPlain = 0, kOneSub = 1, kTwoSubs = 2, kUnmappable = 3 };

// The byte's UCS-2 unit through the source table, with its substitution, if any.
bool SourceUnit(const TableConverter& source, uint8_t byte, uint16_t* unit, uint8_t* subs) {
    *unit = source.Data().single[byte];
    *subs = 0;
    if (*unit != fmt::kUnmapped) return true;
    if (source.SubMode() != kSubToUcs && source.SubMode() != kSubBoth) return false;
    *unit = 0x001A;
    *subs = 1;
    return true;
}

// Single-byte table to single-byte table: one composed 256-byte map, same results as
// the slices above (an unmappable byte stops before itself with EILSEQ).
class ByteMapPair final : public PairConverter {
public:
    // False when the target needs more than one substitution byte.
    bool Build(const TableConverter& source, const TableConverter& target) {
        if (target.SubBytes().size() > 1) return false;
        const bool targetSubs = target.SubMode() == kSubFromUcs || target.SubMode() == kSubBoth;
        for (unsigned b = 0; b < 256; ++b) {
            uint16_t unit;
            uint8_t subs;
            kind_[b] = kUnmappable;
            if (!SourceUnit(source, static_cast<uint8_t>(b), &unit, &subs)) continue;
            uint32_t entry = target.Data().FromUcs(unit);
            if (entry != fmt::kFromUnmapped) {
                map_[b] = static_cast<uint8_t>(entry);
            } else if (targetSubs && !target.SubBytes().empty()) {
                map_[b] = target.SubBytes()[0];
                ++subs;
            } else {
                continue;
            }
            kind_[b] = subs;
        }
        return true;
    }

    long Convert(const uint8_t** input, size_t* inputLeft, uint8_t** output, size_t* outputLeft) override {
        const size_t n = *inputLeft < *outputLeft ? *inputLeft : *outputLeft;
        const uint8_t* in = *input;
        uint8_t* out = *output;
        long substituted = 0;
        size_t i = 0;
        int failure = 0;
        for (; i < n; ++i) {
            const uint8_t kind = kind_[in[i]];
            if (kind != kPlain) {
                if (kind == kUnmappable) {
                    failure = EILSEQ;
                    break;
                }
                substituted += kind;
            }
            out[i] = map_[in[i]];
        }
        if (failure == 0 && i < *inputLeft) failure = E2BIG;
        *input += i;
        *inputLeft -= i;
        *output += i;
        *outputLeft -= i;
        lastCount = substituted;
        if (failure == 0) return substituted;
        error = failure;
        return kConvertFailed;
    }

private:
    std::array<uint8_t, 256> map_{};
    std::array<uint8_t, 256> kind_{};
};

// Single-byte table to UTF-8: each byte's UTF-8 form made once.
class Utf8Pair final : public PairConverter {
public:
    void Build(const TableConverter& source) {
        for (unsigned b = 0; b < 256; ++b) {
            uint16_t unit;
            uint8_t subs;
            Entry& entry = entries_[b];
            entry.kind = kUnmappable;
            if (!SourceUnit(source, static_cast<uint8_t>(b), &unit, &subs)) continue;
            entry.kind = subs;
            if (unit < 0x80) {
                entry.length = 1;
                entry.bytes[0] = static_cast<uint8_t>(unit);
            } else if (unit < 0x800) {
                entry.length = 2;
                entry.bytes[0] = static_cast<uint8_t>(0xC0 | unit >> 6);
                entry.bytes[1] = static_cast<uint8_t>(0x80 | (unit & 0x3F));
            } else {
                entry.length = 3;
                entry.bytes[0] = static_cast<uint8_t>(0xE0 | unit >> 12);
                entry.bytes[1] = static_cast<uint8_t>(0x80 | ((unit >> 6) & 0x3F));
                entry.bytes[2] = static_cast<uint8_t>(0x80 | (unit & 0x3F));
            }
        }
    }

    long Convert(const uint8_t** input, size_t* inputLeft, uint8_t** output, size_t* outputLeft) override {
        const uint8_t* in = *input;
        const uint8_t* const end = in + *inputLeft;
        uint8_t* out = *output;
        uint8_t* const outEnd = out + *outputLeft;
        long substituted = 0;
        int failure = 0;
        while (in < end) {
            const Entry& entry = entries_[*in];
            if (entry.kind != kPlain) {
                if (entry.kind == kUnmappable) {
                    failure = EILSEQ;
                    break;
                }
                substituted += entry.kind;
            }
            if (static_cast<size_t>(outEnd - out) < 4) {
                // Near the end: write only what fits whole.
                if (static_cast<size_t>(outEnd - out) < entry.length) {
                    if (entry.kind != kPlain) substituted -= entry.kind;
                    failure = E2BIG;
                    break;
                }
                std::memcpy(out, entry.bytes, entry.length);
            } else {
                std::memcpy(out, entry.bytes, 4);
            }
            out += entry.length;
            ++in;
        }
        *inputLeft = static_cast<size_t>(end - in);
        *input = in;
        *outputLeft = static_cast<size_t>(outEnd - out);
        *output = out;
        lastCount = substituted;
        if (failure == 0) return substituted;
        error = failure;
        return kConvertFailed;
    }

private:
    struct Entry {
        uint8_t bytes[4] = {};
        uint8_t length = 0;
        uint8_t kind = kUnmappable;
    };
    std::array<Entry, 256> entries_{};
};

// UTF-8 to a single-byte table: each character decoded and looked up in the target's
// byte map, without the UCS-2 slice. Same results as the general pair, including its
// one slice-bound effect: when the output is full at the start of a slice (every
// kSliceBytes / 2 characters, each one output byte), an unmappable character there
// gives E2BIG, because the slice is not delivered at all.
class Utf8BytePair final : public PairConverter {
public:
    void Build(const TableConverter& target) {
        map_ = target.Data().byteFromUcs.data();
        substitute_ =
            (target.SubMode() == kSubFromUcs || target.SubMode() == kSubBoth) && !target.SubBytes().empty();
        subByte_ = substitute_ ? target.SubBytes()[0] : 0;
    }

    long Convert(const uint8_t** input, size_t* inputLeft, uint8_t** output, size_t* outputLeft) override {
        static constexpr size_t kSliceUnits = kSliceBytes / 2;
        const uint16_t* const map = map_;
        const uint8_t* in = *input;
        const uint8_t* const end = in + *inputLeft;
        uint8_t* out = *output;
        uint8_t* const outStart = out;
        uint8_t* const outEnd = out + *outputLeft;
        long substituted = 0;
        int failure = 0;
        while (in < end) {
            uint16_t unit = *in;
            size_t length = 1;
            if (unit >= 0x80) {
                length = DecodeUtf8(in, static_cast<size_t>(end - in), &unit, &failure);
                if (length == 0) break;
            }
            uint16_t code = map[unit];
            if (code == kByteUnmapped) {
                if (!substitute_) {
                    const bool sliceStart = static_cast<size_t>(out - outStart) % kSliceUnits == 0;
                    failure = out == outEnd && sliceStart ? E2BIG : EILSEQ;
                    break;
                }
                code = subByte_;
                ++substituted;
            }
            if (out == outEnd) {
                failure = E2BIG;
                break;
            }
            *out++ = static_cast<uint8_t>(code);
            in += length;
        }
        *inputLeft = static_cast<size_t>(end - in);
        *input = in;
        *outputLeft = static_cast<size_t>(outEnd - out);
        *output = out;
        lastCount = substituted;
        if (failure == 0) return substituted;
        error = failure;
        return kConvertFailed;
    }

private:
    const uint16_t* map_ = nullptr;  // the target table's, held by fromUcs_
    bool substitute_ = false;
    uint8_t subByte_ = 0;
};

const TableConverter* SingleByteTable(ArcUconv converter, bool toUcs) {
    auto* table = dynamic_cast<const TableConverter*>(converter);
    if (table == nullptr || table->ToUcs() != toUcs || table->Swapped() ||
        table->Data().type != fmt::kSingleByte) {
        return nullptr;
    }
    return table;
}

// The fastest pair that gives the same results as the general one.
std::unique_ptr<PairConverter> MakePair(ArcUconv toUcs, ArcUconv fromUcs, const char* targetName,
                                        const char* sourceName, bool fastPaths) {
    const TableConverter* source = fastPaths ? SingleByteTable(toUcs, true) : nullptr;
    const TableConverter* target = fastPaths ? SingleByteTable(fromUcs, false) : nullptr;
    std::unique_ptr<PairConverter> pair;
    if (target != nullptr && IsUtf8Name(sourceName) && !target->Data().byteFromUcs.empty()) {
        auto fast = std::make_unique<Utf8BytePair>();
        fast->Build(*target);
        pair = std::move(fast);
    } else if (source != nullptr && IsUtf8Name(targetName)) {
        auto fast = std::make_unique<Utf8Pair>();
        fast->Build(*source);
        pair = std::move(fast);
    } else if (source != nullptr && target != nullptr) {
        auto fast = std::make_unique<ByteMapPair>();
        if (fast->Build(*source, *target)) pair = std::move(fast);
    }
    if (!fastPaths) {
        if (auto* table = dynamic_cast<TableConverter*>(fromUcs)) table->UseByteMap(false);
    }
    if (!pair) {
        pair = std::make_unique<PairConverter>();
        pair->MakeSlice();
    }
    pair->Adopt(toUcs, fromUcs);
    return pair;
}

}  // namespace

ConverterPtr OpenPairModule(ArcIconvContext* context, const char* targetName, const char* sourceName,
                            int* error, bool fastPaths) {
    ArcUconv toUcs = ArcUCONV_Open(context, "UCS-2", sourceName);
    if (toUcs == ArcUconvFailed()) {
        *error = errno;
        return nullptr;
    }
    ArcUconv fromUcs = ArcUCONV_Open(context, targetName, "UCS-2");
    if (fromUcs == ArcUconvFailed()) {
        *error = errno;
        ArcUCONV_Close(context, toUcs);
        return nullptr;
    }
    try {
        return MakePair(toUcs, fromUcs, targetName, sourceName, fastPaths);
    } catch (const std::bad_alloc&) {
        *error = ENOMEM;
        ArcUCONV_Close(context, toUcs);
        ArcUCONV_Close(context, fromUcs);
        return nullptr;
    }
}

}  // namespace qel::codepage
