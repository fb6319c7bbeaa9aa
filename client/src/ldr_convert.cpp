// ldr_convert.cpp - record texts into lines: through the code-page service, or byte by
// byte through a translation table and the caller's double-byte table. Lines keep the
// columns of their records: a shift byte takes a blank unless the shift kind is '2', and a
// lone double-byte byte gives one substitute character.
#include <algorithm>

#include "arc_codepage.h"
#include "ldr_internal.h"

namespace qelldr {
namespace {

constexpr unsigned char kShiftOut = 0x0E;
constexpr unsigned char kShiftIn = 0x0F;
constexpr unsigned char kFormFeed = 0x0C;
constexpr std::string_view kSubstitute = "@";
constexpr std::string_view kBlank = " ";
// The service's output grows to at most this many times the input before a record is
// given to the table instead (UTF-8 needs 3 bytes for a character of 1 or 2).
constexpr size_t kMaxGrowth = 64;

bool IsShift(unsigned char b) { return b == kShiftOut || b == kShiftIn; }

}  // namespace

void LineText::Append(std::string_view text) {
    starts.push_back(static_cast<uint32_t>(bytes.size()));
    bytes.append(text);
}

std::string_view LineText::At(int32_t i) const {
    const size_t n = static_cast<size_t>(i);
    const size_t end = n + 1 < starts.size() ? starts[n + 1] : bytes.size();
    return std::string_view(bytes).substr(starts[n], end - starts[n]);
}

std::array<char, 2> ConvertPair(std::span<const uint16_t> codes, int32_t mode, uint16_t v) {
    const std::array<char, 2> unknown = {'@', '@'};
    const size_t count = codes.size();
    if (v == 0xFCFC || count == 0 || v > count + 16703 || (v < 0x4141 && v != 0x4040)) return unknown;
    size_t index = 0;
    if (v != 0x4040) {
        if (mode == 16)
            index = v > 33856 ? v - 23857u : v < 20545 ? v - 16704u : v - 17795u;
        else
            index = v - 16704u;
    }
    if (index >= count) return unknown;
    const uint16_t code = codes[index];
    return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

LineConverter::LineConverter(ConverterSetup setup, ArcIconvHandle* handle, const TranslationTable* table,
                             std::span<const uint16_t> codes, int32_t mode)
    : setup_(setup), handle_(handle), table_(table), codes_(codes), mode_(mode) {}

LineConverter::~LineConverter() { ArcICONV_Close(handle_); }

void LineConverter::Convert(std::span<const unsigned char> data, LineText* line,
                            const std::function<void(int)>& report,
                            const std::function<const TranslationTable*()>& fallback) {
    line->Clear();
    if (handle_ != nullptr) {
        int result = ARC_ICONV_OK;
        if (ConvertService(data, line, &result)) return;
        report(result);
        line->Clear();
        if (table_ == nullptr) table_ = fallback();
    }
    ConvertTable(data, *table_, line);
}

// Character starts by the output CCSID: UTF-8 by its lead bytes, UCS-2 every two bytes,
// any other output one byte per character.
void LineConverter::AppendOutput(const char* bytes, size_t count, LineText* line) const {
    const uint32_t base = static_cast<uint32_t>(line->bytes.size());
    line->bytes.append(bytes, count);
    if (ArcICONV_IsUtf8Ccsid(setup_.outputCcsid)) {
        for (size_t i = 0; i < count; ++i)
            if ((static_cast<unsigned char>(bytes[i]) & 0xC0) != 0x80)
                line->starts.push_back(base + static_cast<uint32_t>(i));
    } else {
        const size_t step = ArcICONV_IsUcs2Ccsid(setup_.outputCcsid) ? 2 : 1;
        for (size_t i = 0; i + step <= count; i += step)
            line->starts.push_back(base + static_cast<uint32_t>(i));
    }
}

// One run of single-byte or double-byte text through the service. A double-byte run of a
// mixed code page is given its shift bytes so that it reads alone.
bool LineConverter::ConvertRun(std::span<const unsigned char> run, bool doubleByte, LineText* line,
                               int* result) {
    size_t length = run.size();
    const bool lone = doubleByte && length % 2 == 1;
    if (lone) --length;
    if (length > 0) {
        std::span<const unsigned char> in = run.first(length);
        if (doubleByte && setup_.kind == 'C') {
            input_.clear();
            input_.push_back(kShiftOut);
            input_.insert(input_.end(), in.begin(), in.end());
            input_.push_back(kShiftIn);
            in = input_;
        }
        size_t size = in.size() * 4 + 16;
        for (;;) {
            if (output_.size() < size) output_.resize(size);
            size_t written = size;
            *result = ArcICONV_Convert(handle_, reinterpret_cast<const char*>(in.data()), in.size(),
                                       output_.data(), &written);
            if (*result == ARC_ICONV_OK) {
                AppendOutput(output_.data(), written, line);
                break;
            }
            if (*result != ARC_ICONV_OUTPUT_TOO_SMALL || size > in.size() * kMaxGrowth) return false;
            size *= 2;
        }
    }
    if (lone) line->Append(kSubstitute);
    return true;
}

bool LineConverter::ConvertService(std::span<const unsigned char> data, LineText* line, int* result) {
    if (setup_.kind == 'D') return ConvertRun(data, true, line, result);
    const bool dropFormFeeds =
        !setup_.carriageControl && std::find(data.begin(), data.end(), kFormFeed) != data.end();
    if (setup_.kind == 'S' && !dropFormFeeds) return ConvertRun(data, false, line, result);
    std::vector<unsigned char> run;
    bool doubleByte = false;
    auto flush = [&]() {
        const bool ok = ConvertRun(run, doubleByte, line, result);
        run.clear();
        return ok;
    };
    for (const unsigned char b : data) {
        if (setup_.kind == 'C' && IsShift(b)) {
            if (!flush()) return false;
            if (setup_.shiftKind != '2') line->Append(kBlank);
            doubleByte = b == kShiftOut;
            continue;
        }
        if (!doubleByte && b == kFormFeed && !setup_.carriageControl) continue;
        run.push_back(b);
    }
    return flush();
}

void LineConverter::ConvertTable(std::span<const unsigned char> data, const TranslationTable& table,
                                 LineText* line) {
    bool doubleByte = setup_.kind == 'D';
    const size_t n = data.size();
    for (size_t i = 0; i < n;) {
        const unsigned char b = data[i];
        if (setup_.kind == 'C' && IsShift(b)) {
            if (setup_.shiftKind != '2') line->Append(kBlank);
            doubleByte = b == kShiftOut;
            ++i;
            continue;
        }
        if (!doubleByte) {
            if (b != kFormFeed || setup_.carriageControl) {
                const char c = static_cast<char>(table.target[b]);
                line->Append(std::string_view(&c, 1));
            }
            ++i;
            continue;
        }
        if (i + 1 >= n || (setup_.kind == 'C' && IsShift(data[i + 1]))) {
            line->Append(kSubstitute);
            ++i;
            continue;
        }
        const auto pair = ConvertPair(codes_, mode_, static_cast<uint16_t>(b << 8 | data[i + 1]));
        line->Append(std::string_view(pair.data(), 2));
        i += 2;
    }
}

}  // namespace qelldr
