// codepage_bench.cpp - single-byte conversions on 50 MB of text, ours against glibc
// iconv in the same run: 37 -> 819 and 819 -> 1208.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <cstdlib>
#include <string>

#include "arc_codepage.h"

namespace {

constexpr size_t kTextBytes = 50u << 20;

// Latin-1 prose: mostly ASCII with accented letters, as in real documents.
const std::string& LatinText() {
    static const std::string text = [] {
        const std::string words[] = {"archive ",
                                     "Dokument ",
                                     "r\xE9sum\xE9 ",
                                     "Stra\xDF"
                                     "e ",
                                     "se\xF1or ",
                                     "12345 ",
                                     "folder, ",
                                     "\xC5r ",
                                     "[index] ",
                                     "user@host\n"};
        std::string out;
        out.reserve(kTextBytes);
        for (size_t i = 0; out.size() < kTextBytes; ++i) out += words[(i * 7 + i / 3) % 10];
        out.resize(kTextBytes);
        return out;
    }();
    return text;
}

std::string GlibcOnce(const char* to, const char* from, const std::string& input) {
    iconv_t cd = iconv_open(to, from);
    std::string out(input.size() * 3, '\0');
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    char* o = out.data();
    size_t outLeft = out.size();
    iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

const std::string& Ebcdic37Text() {
    static const std::string text = GlibcOnce("IBM037", "ISO-8859-1", LatinText());
    return text;
}

void RunOurs(benchmark::State& state, int32_t source, int32_t target, const std::string& input) {
    ArcIconvContext* context = nullptr;
    if (ArcICONV_Startup(&context, QEL_STAGE_DIR "/locale") != 0) {
        state.SkipWithError("code-page start-up failed");
        return;
    }
    ArcIconvHandle* handle = nullptr;
    if (ArcICONV_Open(context, source, target, &handle) != 0) {
        state.SkipWithError("open failed");
        ArcICONV_Shutdown(context);
        return;
    }
    std::string out(input.size() * 3, '\0');
    for (auto _ : state) {
        size_t length = out.size();
        int rc = ArcICONV_Convert(handle, input.data(), input.size(), out.data(), &length);
        if (rc != 0) state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
    ArcICONV_Close(handle);
    ArcICONV_Shutdown(context);
}

void RunGlibc(benchmark::State& state, const char* to, const char* from, const std::string& input) {
    iconv_t cd = iconv_open(to, from);
    std::string out(input.size() * 3, '\0');
    for (auto _ : state) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(input.data());
        size_t inLeft = input.size();
        char* o = out.data();
        size_t outLeft = out.size();
        if (iconv(cd, &in, &inLeft, &o, &outLeft) == static_cast<size_t>(-1))
            state.SkipWithError("glibc failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
    iconv_close(cd);
}

void Ours_37_to_819(benchmark::State& state) { RunOurs(state, 37, 819, Ebcdic37Text()); }
void Glibc_37_to_819(benchmark::State& state) { RunGlibc(state, "ISO-8859-1", "IBM037", Ebcdic37Text()); }
void Ours_819_to_1208(benchmark::State& state) { RunOurs(state, 819, 1208, LatinText()); }
void Glibc_819_to_1208(benchmark::State& state) { RunGlibc(state, "UTF-8", "ISO-8859-1", LatinText()); }

BENCHMARK(Ours_37_to_819)->Unit(benchmark::kMillisecond);
BENCHMARK(Glibc_37_to_819)->Unit(benchmark::kMillisecond);
BENCHMARK(Ours_819_to_1208)->Unit(benchmark::kMillisecond);
BENCHMARK(Glibc_819_to_1208)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
