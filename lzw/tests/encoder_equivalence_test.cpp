// The encoder's output, byte for byte, against a plain whole-buffer LZW encoder kept
// here as the reference: a map from (prefix, symbol) to code and one code at a time.
// Any faster dictionary layout must give exactly these bytes.
#include "codec_support.h"

#include <gtest/gtest.h>

#include <map>

namespace zyplzw_test {
namespace {

// The symbols a mode codes: bytes; mode 1 pixels (a row ends its byte); mode 3
// differences to the same sample of the pixel before, starting over at each row.
std::vector<uint32_t> Symbols(const Settings& s, const Bytes& in) {
    std::vector<uint32_t> out;
    if (s.mode == ZYPLZW_MODE_GIF && s.bits != 8) {
        const uint32_t bits = static_cast<uint32_t>(s.bits);
        uint32_t inRow = 0;
        for (uint8_t byte : in) {
            for (uint32_t pos = 0; pos < 8; pos += bits) {
                out.push_back((byte >> (8 - bits - pos)) & ((1u << bits) - 1));
                if (s.rowLength != 0 && ++inRow == s.rowLength) {
                    inRow = 0;
                    break;
                }
            }
        }
        return out;
    }
    if (s.mode != ZYPLZW_MODE_TIFF_PREDICTOR) {
        return {in.begin(), in.end()};
    }
    const size_t samples = static_cast<size_t>(s.samples);
    const size_t rowBytes = size_t{s.rowLength} * samples;
    for (size_t i = 0; i < in.size(); ++i) {
        const size_t inRow = rowBytes == 0 ? i : i % rowBytes;
        out.push_back(inRow < samples ? in[i] : static_cast<uint8_t>(in[i] - in[i - samples]));
    }
    return out;
}

Bytes ReferenceEncode(const Settings& s, const Bytes& in) {
    const bool gif = s.mode == ZYPLZW_MODE_GIF;
    const uint32_t root = gif ? (s.bits == 1 ? 2u : static_cast<uint32_t>(s.bits)) : 8u;
    const uint32_t clear = 1u << root, first = clear + 2, early = gif ? 0 : 1;
    uint64_t acc = 0;
    uint32_t count = 0, width = root + 1, next = first;
    Bytes out;
    auto put = [&](uint32_t code) {
        if (gif) {
            acc |= static_cast<uint64_t>(code) << count;
            count += width;
            for (; count >= 8; count -= 8, acc >>= 8) {
                out.push_back(static_cast<uint8_t>(acc));
            }
        } else {
            acc = (acc << width) | code;
            count += width;
            for (; count >= 8; count -= 8) {
                out.push_back(static_cast<uint8_t>(acc >> (count - 8)));
            }
        }
    };
    auto added = [&] {
        if (next + early == (1u << width) && next + early < 4095) {
            ++width;
        }
        ++next;
    };
    std::map<uint32_t, uint32_t> table;
    put(clear);
    bool havePrefix = false;
    uint32_t prefix = 0;
    for (uint32_t symbol : Symbols(s, in)) {
        if (!havePrefix) {
            prefix = symbol;
            havePrefix = true;
            continue;
        }
        const auto it = table.find(prefix << 8 | symbol);
        if (it != table.end()) {
            prefix = it->second;
            continue;
        }
        put(prefix);
        if (next == 4096) {
            put(clear);
            table.clear();
            next = first;
            width = root + 1;
        } else {
            table[prefix << 8 | symbol] = next;
            added();
        }
        prefix = symbol;
    }
    if (havePrefix) {
        put(prefix);
        if (next < 4096) {
            added();
        }
    }
    put(clear + 1);
    if (count > 0) {
        out.push_back(static_cast<uint8_t>(gif ? acc : acc << (8 - count)));
    }
    return out;
}

// A rendered text page: white (0 or 0xFF) with words of short strokes, `bits` 1 or 8.
Bytes DocumentPage(uint32_t width, uint32_t height, int bits, uint32_t seed) {
    std::vector<uint8_t> ink(size_t{width} * height, 0);
    uint32_t r = seed;
    auto next = [&r] {
        r = r * 1103515245u + 12345u;
        return r >> 16;
    };
    for (uint32_t top = 10; top + 12 < height; top += 20) {
        for (uint32_t x = 8 + next() % 8; x + 8 < width; x += 4 + next() % 12) {
            const uint32_t h = 3 + next() % 9, w = 1 + next() % 3;
            for (uint32_t y = 0; y < h; ++y) {
                for (uint32_t dx = 0; dx < w; ++dx) {
                    ink[size_t{top + 12 - y} * width + x + dx] = 1;
                }
            }
        }
    }
    if (bits == 8) {
        Bytes page(ink.size());
        for (size_t i = 0; i < ink.size(); ++i) {
            const uint32_t side = (i > 0 ? ink[i - 1] : 0) + (i + 1 < ink.size() ? ink[i + 1] : 0);
            page[i] = static_cast<uint8_t>(255 - (2u * ink[i] + side) * 255 / 4);
        }
        return page;
    }
    Bytes page((size_t{width} + 7) / 8 * height, 0);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            page[y * ((width + 7) / 8) + x / 8] |=
                static_cast<uint8_t>(ink[size_t{y} * width + x] << (7 - x % 8));
        }
    }
    return page;
}

struct Source {
    const char* name;
    Bytes data;
};

std::vector<Source> Sources() {
    return {
        {"random", RandomBytes(70001, 3)},
        {"all zero", Bytes(200003, 0x00)},
        {"all 0xFF", Bytes(150001, 0xFF)},
        {"1-bit page", DocumentPage(1700, 600, 1, 4)},
        {"8-bit page", DocumentPage(700, 300, 8, 5)},
        {"photo-like", ImageLike(180007, 6)},
        {"runs",
         [] {  // runs of many lengths of many bytes, across table resets
             Bytes b;
             const Bytes r = RandomBytes(4000, 8);
             for (size_t i = 0; b.size() < 400000; i = (i + 2) % r.size()) {
                 b.insert(b.end(), 1 + r[i] * 3u % 700, r[i + 1] % 6 == 0 ? 0x00 : r[i + 1]);
             }
             return b;
         }()},
        {"two values",
         [] {
             Bytes b = RandomBytes(60000, 7);
             for (auto& v : b) {
                 v = v < 40 ? 0x00 : 0xFF;
             }
             return b;
         }()},
    };
}

const Settings kSettings[] = {
    {ZYPLZW_MODE_TIFF, 8, 1, 0},
    {ZYPLZW_MODE_GIF, 8, 1, 0},
    {ZYPLZW_MODE_GIF, 4, 1, 0},
    {ZYPLZW_MODE_GIF, 2, 1, 9},
    {ZYPLZW_MODE_GIF, 1, 1, 0},
    {ZYPLZW_MODE_GIF, 1, 1, 1701},
    {ZYPLZW_MODE_TIFF_PREDICTOR, 8, 1, 700},
    {ZYPLZW_MODE_TIFF_PREDICTOR, 8, 3, 0},
};

// Strips of many lengths, odd ones and those near a table's worth of codes, each a
// stream of its own.
TEST(EncoderEquivalence, EveryStripMatchesTheReference) {
    const size_t lengths[] = {0, 1, 2, 3, 7, 255, 256, 257, 4093, 4097, 8191, 65537};
    for (const Source& source : Sources()) {
        for (const Settings& s : kSettings) {
            SCOPED_TRACE(std::string(source.name) + ", " + s.Name());
            EXPECT_EQ(Encode(s, source.data), ReferenceEncode(s, source.data));
            size_t offset = 0;
            for (size_t length : lengths) {
                const size_t take = std::min(length, source.data.size() - offset);
                const Bytes strip(source.data.begin() + static_cast<ptrdiff_t>(offset),
                                  source.data.begin() + static_cast<ptrdiff_t>(offset + take));
                offset = (offset + 1 + take) % (source.data.size() / 2);
                EXPECT_EQ(Encode(s, strip), ReferenceEncode(s, strip)) << "length " << take;
            }
        }
    }
}

// A stream fed and drained in pieces gives the reference bytes too.
TEST(EncoderEquivalence, SplitBuffersMatchTheReference) {
    const std::pair<size_t, size_t> splits[] = {{1, 0}, {3, 5}, {4096, 1}, {0, 2}, {777, 333}};
    for (const Source& source : Sources()) {
        for (const Settings& s : {kSettings[0], kSettings[4], kSettings[6]}) {
            const Bytes part(source.data.begin(), source.data.begin() + 40000);
            const Bytes expected = ReferenceEncode(s, part);
            for (const auto& [in, out] : splits) {
                SCOPED_TRACE(std::string(source.name) + ", " + s.Name() + " in " + std::to_string(in) +
                             " out " + std::to_string(out));
                EXPECT_EQ(Encode(s, part, in, out), expected);
            }
        }
    }
}

}  // namespace
}  // namespace zyplzw_test
