// Speed of the LZW codec and the 'O' pipeline against the tools they must keep up with.
// Compare: Lzw*Ours with Lzw*Ncompress / LzwDecodeGzip, PipelineDeflate with ZlibDeflate.
#include "arc_compress.h"
#include "arc_platform.h"
#include "compress_test_support.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <string>

using compress_test::Bytes;

namespace {

constexpr size_t kSize = 50u << 20;

const Bytes& Text() {
    static const Bytes text = compress_test::WordText(kSize, 2024);
    return text;
}

Bytes PipeAll(char from, char to, const Bytes& data) {
    return compress_test::Pipe(from, to, data, compress_test::Splitter::Fixed(65536, 65536)).data;
}

const Bytes& OurLzw() {
    static const Bytes stream = PipeAll('N', 'Z', Text());
    return stream;
}

// Writes the input once to a scratch file and times the tool reading it and writing
// its whole result to a pipe that we drain.
std::string ScratchFile(const char* name, const Bytes& content) {
    const std::string dir = std::string(QEL_STAGE_DIR) + "/tests/compress-scratch";
    ArcOS_MakeDirectory(dir.c_str());
    const std::string path = dir + "/" + name;
    ArcOS_WriteFileAtomic(path.c_str(),
                          std::string_view(reinterpret_cast<const char*>(content.data()), content.size()));
    return path;
}

size_t RunAndDrain(const std::vector<std::string>& argv) {
    ArcOSPipe pipe;
    if (ArcOS_PipeOpen(argv, "r", &pipe) != 0) return 0;
    static unsigned char buffer[1 << 16];
    size_t total = 0;
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe.stream)) > 0) total += n;
    return ArcOS_PipeClose(&pipe) == 0 ? total : 0;
}

void LzwEncodeOurs(benchmark::State& state) {
    const Bytes& text = Text();
    for (auto _ : state) benchmark::DoNotOptimize(PipeAll('N', 'Z', text).size());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
    state.counters["ratio"] = double(OurLzw().size()) / double(kSize);
}

void LzwEncodeNcompress(benchmark::State& state) {
    const std::string path = ScratchFile("bench-text", Text());
    for (auto _ : state) {
        if (RunAndDrain({"compress", "-b", "16", "-c", path}) == 0) state.SkipWithError("compress failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

void LzwDecodeOurs(benchmark::State& state) {
    const Bytes& stream = OurLzw();
    for (auto _ : state) {
        const Bytes back = PipeAll('Z', 'N', stream);
        if (back.size() != kSize) state.SkipWithError("decode failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

void LzwDecodeTool(benchmark::State& state, const char* tool) {
    const std::string path = ScratchFile("bench-text.Z", compress_test::WithMagic(OurLzw(), 0x1F, 0x9D));
    for (auto _ : state) {
        if (RunAndDrain({tool, "-dc", path}) != kSize) state.SkipWithError("tool failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

void PipelineDeflate(benchmark::State& state) {
    const Bytes& text = Text();
    for (auto _ : state) benchmark::DoNotOptimize(PipeAll('N', 'O', text).size());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

void ZlibDeflate(benchmark::State& state) {
    const Bytes& text = Text();
    Bytes out(65536);
    for (auto _ : state) {
        z_stream s{};
        deflateInit(&s, Z_DEFAULT_COMPRESSION);
        s.next_in = const_cast<Bytef*>(text.data());
        s.avail_in = static_cast<uInt>(text.size());
        int rc = Z_OK;
        Bytes result;  // collected like the pipeline driver does, for a fair comparison
        while (rc == Z_OK) {
            s.next_out = out.data();
            s.avail_out = static_cast<uInt>(out.size());
            rc = deflate(&s, Z_FINISH);
            result.insert(result.end(), out.data(), out.data() + (out.size() - s.avail_out));
        }
        deflateEnd(&s);
        if (rc != Z_STREAM_END) state.SkipWithError("deflate failed");
        benchmark::DoNotOptimize(result.size());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

void PipelineInflate(benchmark::State& state) {
    const Bytes stream = PipeAll('N', 'O', Text());
    for (auto _ : state) benchmark::DoNotOptimize(PipeAll('O', 'N', stream).size());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}

}  // namespace

BENCHMARK(LzwEncodeOurs)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(LzwEncodeNcompress)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(LzwDecodeOurs)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(LzwDecodeTool, Ncompress, "compress")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK_CAPTURE(LzwDecodeTool, Gzip, "gzip")->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(PipelineDeflate)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(ZlibDeflate)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(PipelineInflate)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK_MAIN();
