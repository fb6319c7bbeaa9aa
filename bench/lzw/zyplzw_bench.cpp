// Mode-2 LZW over 50 MiB of image-like data: ours against libtiff's codec on the same
// bytes (one strip, written and read through libtiff's API in memory).
#include "zyplzw.h"

#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
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

struct MemFile {
    Bytes data;
    toff_t pos = 0;
};

tmsize_t MemRead(thandle_t h, void* buf, tmsize_t n) {
    auto* f = static_cast<MemFile*>(h);
    const size_t avail = f->pos < f->data.size() ? f->data.size() - f->pos : 0;
    const size_t k = std::min(avail, static_cast<size_t>(n));
    std::memcpy(buf, f->data.data() + f->pos, k);
    f->pos += k;
    return static_cast<tmsize_t>(k);
}
tmsize_t MemWrite(thandle_t h, void* buf, tmsize_t n) {
    auto* f = static_cast<MemFile*>(h);
    if (f->pos + static_cast<size_t>(n) > f->data.size()) {
        f->data.resize(f->pos + static_cast<size_t>(n));
    }
    std::memcpy(f->data.data() + f->pos, buf, static_cast<size_t>(n));
    f->pos += static_cast<toff_t>(n);
    return n;
}
toff_t MemSeek(thandle_t h, toff_t off, int whence) {
    auto* f = static_cast<MemFile*>(h);
    f->pos = whence == SEEK_SET ? off : whence == SEEK_CUR ? f->pos + off : f->data.size() + off;
    return f->pos;
}
int MemClose(thandle_t) { return 0; }
toff_t MemSize(thandle_t h) { return static_cast<MemFile*>(h)->data.size(); }
int MemMap(thandle_t, tdata_t*, toff_t*) { return 0; }
void MemUnmap(thandle_t, tdata_t, toff_t) {}

TIFF* OpenMem(MemFile& f, const char* mode) {
    return TIFFClientOpen("mem", mode, &f, MemRead, MemWrite, MemSeek, MemClose, MemSize, MemMap, MemUnmap);
}

MemFile TiffEncode(const Bytes& in) {
    MemFile f;
    f.data.reserve(in.size());
    TIFF* t = OpenMem(f, "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, kHeight);
    TIFFWriteEncodedStrip(t, 0, const_cast<uint8_t*>(in.data()), static_cast<tmsize_t>(in.size()));
    TIFFClose(t);
    return f;
}

void TiffDecode(MemFile& f, Bytes& out) {
    f.pos = 0;
    TIFF* t = OpenMem(f, "r");
    TIFFReadEncodedStrip(t, 0, out.data(), static_cast<tmsize_t>(out.size()));
    TIFFClose(t);
}

void Encode_Ours(benchmark::State& state) {
    const Bytes& in = ImageData();
    size_t compressed = 0;
    for (auto _ : state) {
        compressed = OurEncode(in).size();
        benchmark::DoNotOptimize(compressed);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
    state.counters["ratio"] = static_cast<double>(compressed) / kSize;
}

void Encode_Libtiff(benchmark::State& state) {
    const Bytes& in = ImageData();
    size_t compressed = 0;
    for (auto _ : state) {
        compressed = TiffEncode(in).data.size();
        benchmark::DoNotOptimize(compressed);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
    state.counters["ratio"] = static_cast<double>(compressed) / kSize;
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
    MemFile f = TiffEncode(ImageData());
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

BENCHMARK(Encode_Ours)->Apply(Configure);
BENCHMARK(Encode_Libtiff)->Apply(Configure);
BENCHMARK(Decode_Ours)->Apply(Configure);
BENCHMARK(Decode_Libtiff)->Apply(Configure);

}  // namespace

BENCHMARK_MAIN();
