// Mode-2 LZW, ours against libtiff's codec on the same bytes (one strip, written and read
// through libtiff's API in memory): 50 MiB of photo-like data, and a rendered text page
// at 1 and 8 bits per pixel. Repetitions of all benchmarks are interleaved, so ours and
// libtiff's take turns on the shared machine; compare the medians.
#include "tiff_memory.h"
#include "zyplzw.h"

#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kWidth = 8192;
constexpr uint32_t kHeight = 6400;  // 8192 x 6400 = 50 MiB
constexpr size_t kSize = size_t{kWidth} * kHeight;

using Bytes = std::vector<uint8_t>;

// Smooth rows with noise and flat areas, like a scanned page or photo.
const Bytes& ImageData() {
    static const Bytes data = [] {
        Bytes d(kSize);
        uint32_t seed = 12345, value = 128;
        for (size_t i = 0; i < kSize; ++i) {
            seed = seed * 1103515245u + 12345u;
            const uint32_t r = seed >> 16;
            if ((i / 3000) % 4 == 3) {
                d[i] = 0xF0;
                continue;
            }
            value = (value + (r & 3) - 1 + ((r >> 4) % 11 == 0 ? (r >> 8) % 7 : 0)) & 0xFF;
            d[i] = static_cast<uint8_t>(value);
        }
        return d;
    }();
    return data;
}

// A 300 dpi letter page of text, 1 = ink: margins, lines of words made of glyphs of
// strokes, a blank gap between paragraphs.
constexpr uint32_t kPageWidth = 2560;
constexpr uint32_t kPageHeight = 3300;

std::vector<uint8_t> PageInk() {
    constexpr int kGlyphW = 16, kGlyphH = 24, kGlyphs = 64;
    std::vector<std::array<uint16_t, kGlyphH>> glyphs(kGlyphs);
    uint32_t seed = 777;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    for (auto& g : glyphs) {
        g.fill(0);
        for (int stroke = 0; stroke < 3; ++stroke) {
            const uint32_t kind = next() % 3, at = next() % 12;
            for (int y = 0; y < kGlyphH; ++y) {
                if (kind == 0) {
                    g[static_cast<size_t>(y)] |= static_cast<uint16_t>(0x3u << at);  // vertical stroke
                } else if (kind == 1 && (y == static_cast<int>(at) + 4 || y == static_cast<int>(at) + 5)) {
                    g[static_cast<size_t>(y)] |= 0x0FFC;  // horizontal stroke
                } else if (kind == 2) {
                    g[static_cast<size_t>(y)] |= static_cast<uint16_t>(0x3u << ((y / 2 + at) % 14));
                }
            }
        }
    }
    std::vector<uint8_t> ink(size_t{kPageWidth} * kPageHeight, 0);
    for (uint32_t top = 300; top + kGlyphH < kPageHeight - 300; top += 50) {
        if ((top / 50) % 9 == 8) {
            continue;  // paragraph gap
        }
        uint32_t x = 300;
        while (x + 200 < kPageWidth - 300) {
            const uint32_t letters = 2 + next() % 8;
            for (uint32_t l = 0; l < letters; ++l, x += kGlyphW + 2) {
                const auto& g = glyphs[next() % kGlyphs];
                for (uint32_t y = 0; y < kGlyphH; ++y) {
                    for (uint32_t gx = 0; gx < kGlyphW; ++gx) {
                        if ((g[y] >> gx) & 1u) {
                            ink[size_t{top + y} * kPageWidth + x + gx] = 1;
                        }
                    }
                }
            }
            x += 20 + next() % 10;
        }
    }
    return ink;
}

// 1 bit per pixel, 0 = white, rows packed from the high bit.
const Bytes& Page1Bit() {
    static const Bytes data = [] {
        const std::vector<uint8_t> ink = PageInk();
        Bytes d(size_t{kPageWidth / 8} * kPageHeight, 0);
        for (size_t i = 0; i < ink.size(); ++i) {
            d[i / 8] |= static_cast<uint8_t>(ink[i] << (7 - i % 8));
        }
        return d;
    }();
    return data;
}

// 8 bits per pixel, 255 = white, grey where a stroke edge softens the ink.
const Bytes& Page8Bit() {
    static const Bytes data = [] {
        const std::vector<uint8_t> ink = PageInk();
        Bytes d(ink.size(), 0xFF);
        for (size_t i = 1; i + 1 < ink.size(); ++i) {
            const uint32_t cover = 2u * ink[i] + ink[i - 1] + ink[i + 1];
            d[i] = static_cast<uint8_t>(255 - cover * 255 / 4);
        }
        return d;
    }();
    return data;
}

struct Image {
    const Bytes& data;
    uint32_t width, height, bits;
};

Image Photo() { return {ImageData(), kWidth, kHeight, 8}; }
Image Text1() { return {Page1Bit(), kPageWidth, kPageHeight, 1}; }
Image Text8() { return {Page8Bit(), kPageWidth, kPageHeight, 8}; }

// --- ours -------------------------------------------------------------------

Bytes OurEncode(const Bytes& in) {
    Bytes out(in.size() + in.size() / 2 + 64);
    ZypLzwState st;
    ZypLzwEncodeInit(&st, ZYPLZW_MODE_TIFF);
    ZypLzwEncodeInitOutputData(&st, static_cast<uint32_t>(out.size()), out.data());
    ZypLzwEncodeInitInputData(&st, static_cast<uint32_t>(in.size()), in.data());
    ZypLzwEncode(&st);
    ZypLzwEncodeDone(&st);
    out.resize(static_cast<size_t>(st.outPos - out.data()));
    return out;
}

void OurDecode(const Bytes& stream, Bytes& out) {
    ZypLzwState st;
    ZypLzwDecodeInit(&st, ZYPLZW_MODE_TIFF);
    ZypLzwDecodeInitOutputData(&st, static_cast<uint32_t>(out.size()), out.data());
    ZypLzwDecodeInitInputData(&st, static_cast<uint32_t>(stream.size()), stream.data());
    ZypLzwDecode(&st);
    ZypLzwDecodeDone(&st);
}

// --- libtiff in memory ------------------------------------------------------

using qelbench::TiffMemFile;

TiffMemFile TiffEncode(const Image& image) {
    TiffMemFile f;
    qelbench::TiffEncodeLzw(f, image.data, image.width, image.height, image.bits);
    return f;
}

void TiffDecode(TiffMemFile& f, Bytes& out) {
    f.pos = 0;
    TIFF* t = qelbench::OpenTiffMemory(f, "r");
    TIFFReadEncodedStrip(t, 0, out.data(), static_cast<tmsize_t>(out.size()));
    TIFFClose(t);
}

void Encode_Ours(benchmark::State& state, Image (*image)()) {
    const Bytes& in = image().data;
    size_t compressed = 0;
    for (auto _ : state) {
        compressed = OurEncode(in).size();
        benchmark::DoNotOptimize(compressed);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
    state.counters["ratio"] = static_cast<double>(compressed) / static_cast<double>(in.size());
}

void Encode_Libtiff(benchmark::State& state, Image (*image)()) {
    const Image img = image();
    size_t compressed = 0;
    for (auto _ : state) {
        compressed = TiffEncode(img).data.size();
        benchmark::DoNotOptimize(compressed);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * img.data.size()));
    state.counters["ratio"] = static_cast<double>(compressed) / static_cast<double>(img.data.size());
}

void Decode_Ours(benchmark::State& state) {
    const Bytes stream = OurEncode(ImageData());
    Bytes out(kSize);
    for (auto _ : state) {
        OurDecode(stream, out);
        benchmark::ClobberMemory();
    }
    if (out != ImageData()) {
        state.SkipWithError("decoded data differ");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

void Decode_Libtiff(benchmark::State& state) {
    TiffMemFile f = TiffEncode(Photo());
    Bytes out(kSize);
    for (auto _ : state) {
        TiffDecode(f, out);
        benchmark::ClobberMemory();
    }
    if (out != ImageData()) {
        state.SkipWithError("decoded data differ");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

// The machine is shared with other work: repeat, and compare the medians.
void Configure(benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5)->ReportAggregatesOnly(true);
}

BENCHMARK_CAPTURE(Encode_Ours, photo, Photo)->Apply(Configure);
BENCHMARK_CAPTURE(Encode_Libtiff, photo, Photo)->Apply(Configure);
BENCHMARK_CAPTURE(Encode_Ours, text_1bit, Text1)->Apply(Configure);
BENCHMARK_CAPTURE(Encode_Libtiff, text_1bit, Text1)->Apply(Configure);
BENCHMARK_CAPTURE(Encode_Ours, text_8bit, Text8)->Apply(Configure);
BENCHMARK_CAPTURE(Encode_Libtiff, text_8bit, Text8)->Apply(Configure);
BENCHMARK(Decode_Ours)->Apply(Configure);
BENCHMARK(Decode_Libtiff)->Apply(Configure);

}  // namespace

// Interleaved repetitions unless the command line says otherwise.
int main(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave.data());
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
