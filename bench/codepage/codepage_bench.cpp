// codepage_bench.cpp - single-byte conversions on 50 MB of text, ours against glibc
// iconv in the same run: 37 -> 819, 819 -> 1208 and 1208 -> 37. Ratio_1208_to_37 and
// Ratio_13488_to_37 (UCS-2, little-endian host) run ours, the general path and glibc's
// "IBM037" in turn each round and report the medians and their ratios (below 1: faster
// than glibc).
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "arc_codepage.h"
#include "converter.h"
#include "table_module.h"

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

const std::string& Utf8Text() {
    static const std::string text = GlibcOnce("UTF-8", "ISO-8859-1", LatinText());
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

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Seconds for one whole conversion with an engine converter (a fresh call each time).
double TimeEngine(ArcUconv converter, const std::string& input, std::string* out, bool* ok) {
    auto start = std::chrono::steady_clock::now();
    const char* in = input.data();
    size_t inLeft = input.size();
    char* o = out->data();
    size_t outLeft = out->size();
    *ok = *ok && ArcUCONV_Convert(converter, &in, &inLeft, &o, &outLeft) == 0;
    benchmark::DoNotOptimize(out->data());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double TimeGlibc(iconv_t cd, const std::string& input, std::string* out, bool* ok) {
    auto start = std::chrono::steady_clock::now();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    char* o = out->data();
    size_t outLeft = out->size();
    *ok = *ok && iconv(cd, &in, &inLeft, &o, &outLeft) != static_cast<size_t>(-1);
    benchmark::DoNotOptimize(out->data());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// To 37 from UTF-8 or UCS-2: the engine's converter (direct byte map), the general
// path (UCS-2 slices and the two-level table) and glibc, one after the other in every
// round.
void RunRatio(benchmark::State& state, const char* source, const char* glibcSource,
              const std::string& input) {
    ArcIconvContext* context = nullptr;
    if (ArcICONV_Startup(&context, QEL_STAGE_DIR "/locale") != 0) {
        state.SkipWithError("code-page start-up failed");
        return;
    }
    ArcUconv ours = ArcUCONV_Open(context, "KVR-037", source);
    ArcUconv general = ArcUconvFailed();
    if (qel::codepage::IsUtf8Name(source)) {
        int error = 0;
        qel::codepage::ConverterPtr pair =
            qel::codepage::OpenPairModule(context, "KVR-037", source, &error, /*fastPaths=*/false);
        if (pair) general = pair.release();
    } else {
        general = ArcUCONV_Open(context, "KVR-037", source);
        if (general != ArcUconvFailed())
            dynamic_cast<qel::codepage::TableConverter*>(general)->UseByteMap(false);
    }
    iconv_t cd = iconv_open("IBM037", glibcSource);
    std::string out(input.size(), '\0');
    std::vector<double> oursTimes, generalTimes, glibcTimes;
    bool ok = ours != ArcUconvFailed() && general != ArcUconvFailed() && cd != reinterpret_cast<iconv_t>(-1);
    for (auto _ : state) {
        if (!ok) break;
        oursTimes.push_back(TimeEngine(ours, input, &out, &ok));
        generalTimes.push_back(TimeEngine(general, input, &out, &ok));
        glibcTimes.push_back(TimeGlibc(cd, input, &out, &ok));
    }
    if (!ok) {
        state.SkipWithError("open or conversion failed");
    } else {
        double glibc = Median(glibcTimes);
        state.counters["ours_ms"] = Median(oursTimes) * 1e3;
        state.counters["general_ms"] = Median(generalTimes) * 1e3;
        state.counters["glibc_ms"] = glibc * 1e3;
        state.counters["ours_vs_glibc"] = Median(oursTimes) / glibc;
        state.counters["general_vs_glibc"] = Median(generalTimes) / glibc;
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    if (general != ArcUconvFailed()) ArcUCONV_Close(context, general);
    if (ours != ArcUconvFailed()) ArcUCONV_Close(context, ours);
    ArcICONV_Shutdown(context);
}

const std::string& Ucs2Text() {
    static const std::string text = GlibcOnce("UCS-2LE", "ISO-8859-1", LatinText());
    return text;
}

void Ratio_1208_to_37(benchmark::State& state) { RunRatio(state, "UTF-8", "UTF-8", Utf8Text()); }
void Ratio_13488_to_37(benchmark::State& state) { RunRatio(state, "UCS-2", "UCS-2LE", Ucs2Text()); }

void Ours_1208_to_37(benchmark::State& state) { RunOurs(state, 1208, 37, Utf8Text()); }
void Glibc_1208_to_37(benchmark::State& state) { RunGlibc(state, "IBM037", "UTF-8", Utf8Text()); }

BENCHMARK(Ours_37_to_819)->Unit(benchmark::kMillisecond);
BENCHMARK(Glibc_37_to_819)->Unit(benchmark::kMillisecond);
BENCHMARK(Ours_819_to_1208)->Unit(benchmark::kMillisecond);
BENCHMARK(Glibc_819_to_1208)->Unit(benchmark::kMillisecond);
BENCHMARK(Ours_1208_to_37)->Unit(benchmark::kMillisecond);
BENCHMARK(Glibc_1208_to_37)->Unit(benchmark::kMillisecond);
BENCHMARK(Ratio_1208_to_37)->Unit(benchmark::kMillisecond)->Iterations(15);
BENCHMARK(Ratio_13488_to_37)->Unit(benchmark::kMillisecond)->Iterations(15);

}  // namespace

BENCHMARK_MAIN();
