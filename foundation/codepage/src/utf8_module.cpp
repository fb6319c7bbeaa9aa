// utf8_module.cpp - UCS-2 <-> UTF-8, computed; UTF-8 is limited to three bytes.
#include <cerrno>
#include <new>

#include "converter.h"
#include "utf8_decode.h"

namespace qel::codepage {
namespace {

size_t Utf8Length(uint16_t unit) { return unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3; }

class Utf8Converter final : public ArcUconvConverter {
public:
    explicit Utf8Converter(bool fromUtf8) : ArcUconvConverter(kFlagsComputed), fromUtf8_(fromUtf8) {}

    long Convert(const uint8_t** input, size_t* inputLeft, uint8_t** output, size_t* outputLeft) override {
        // An output count of 0 asks how many bytes the whole input needs.
        if (*outputLeft == 0)
            return fromUtf8_ ? CountUcs2(*input, *inputLeft, outputLeft)
                             : CountUtf8(*input, *inputLeft, outputLeft);
        return fromUtf8_ ? ToUcs2(input, inputLeft, output, outputLeft)
                         : ToUtf8(input, inputLeft, output, outputLeft);
    }

private:
    long Fail(int code) {
        error = code;
        return kConvertFailed;
    }

    long ToUtf8(const uint8_t** input, size_t* inputLeft, uint8_t** output, size_t* outputLeft) {
        const uint8_t* in = *input;
        size_t inLeft = *inputLeft;
        uint8_t* out = *output;
        size_t outLeft = *outputLeft;
        int failure = 0;
        while (inLeft >= 2) {
            uint16_t unit = ReadUnit(in, swapInput_);
            size_t length = Utf8Length(unit);
            if (length > outLeft) {
                failure = E2BIG;
                break;
            }
            if (length == 1) {
                out[0] = static_cast<uint8_t>(unit);
            } else if (length == 2) {
                out[0] = static_cast<uint8_t>(0xC0 | unit >> 6);
                out[1] = static_cast<uint8_t>(0x80 | (unit & 0x3F));
            } else {
                out[0] = static_cast<uint8_t>(0xE0 | unit >> 12);
                out[1] = static_cast<uint8_t>(0x80 | ((unit >> 6) & 0x3F));
                out[2] = static_cast<uint8_t>(0x80 | (unit & 0x3F));
            }
            in += 2;
            inLeft -= 2;
            out += length;
            outLeft -= length;
        }
        if (failure == 0 && inLeft == 1) failure = EINVAL;  // half a unit
        *input = in;
        *inputLeft = inLeft;
        *output = out;
        *outputLeft = outLeft;
        return failure == 0 ? 0 : Fail(failure);
    }

    long CountUtf8(const uint8_t* in, size_t inLeft, size_t* outputLeft) {
        size_t total = 0;
        for (; inLeft >= 2; in += 2, inLeft -= 2) total += Utf8Length(ReadUnit(in, swapInput_));
        *outputLeft = total;
        return inLeft == 1 ? Fail(EINVAL) : 0;
    }

    long ToUcs2(const uint8_t** input, size_t* inputLeft, uint8_t** output, size_t* outputLeft) {
        const uint8_t* in = *input;
        size_t inLeft = *inputLeft;
        uint8_t* out = *output;
        size_t outLeft = *outputLeft;
        int failure = 0;
        while (inLeft > 0) {
            uint16_t unit = 0;
            size_t length = DecodeUtf8(in, inLeft, &unit, &failure);
            if (length == 0) break;
            if (outLeft < 2) {
                failure = E2BIG;
                break;
            }
            WriteUnit(out, unit, swapOutput_);
            in += length;
            inLeft -= length;
            out += 2;
            outLeft -= 2;
        }
        *input = in;
        *inputLeft = inLeft;
        *output = out;
        *outputLeft = outLeft;
        return failure == 0 ? 0 : Fail(failure);
    }

    long CountUcs2(const uint8_t* in, size_t inLeft, size_t* outputLeft) {
        size_t total = 0;
        int failure = 0;
        while (inLeft > 0) {
            uint16_t unit = 0;
            size_t length = DecodeUtf8(in, inLeft, &unit, &failure);
            if (length == 0) break;
            in += length;
            inLeft -= length;
            total += 2;
        }
        *outputLeft = total;
        return failure == 0 ? 0 : Fail(failure);
    }

    const bool fromUtf8_;
    // The UTF-8 module reads and writes UCS-2 in host order; no name reaching it
    // carries an "endian" modifier ("UTF-8@..." is a table name).
    const bool swapInput_ = false;
    const bool swapOutput_ = false;
};

}  // namespace

ConverterPtr OpenUtf8Module(bool fromUtf8, int* error) {
    ConverterPtr converter(new (std::nothrow) Utf8Converter(fromUtf8));
    if (!converter) *error = ENOMEM;
    return converter;
}

}  // namespace qel::codepage
