// The memory output of retrievals (AppendOutput under an OutputScope) fed 8 KB pieces, as a
// retrieval delivers a large document, beside a buffer that grows by exactly the delivered
// length each time (a new block of the old size plus the piece, the old bytes copied over):
// the one grows geometrically and costs linear time, the other copies everything it holds
// for every piece and costs quadratic time. The peer stops at 8 MB so that it ends in
// seconds; both run 1 to 8 MB so the two curves can be read side by side.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "documents.h"

namespace {

constexpr size_t kPiece = 8 * 1024;
constexpr int64_t kMegabyte = 1024 * 1024;

const std::vector<unsigned char>& Piece() {
    static const std::vector<unsigned char> piece = [] {
        std::vector<unsigned char> p(kPiece);
        for (size_t i = 0; i < p.size(); ++i) p[i] = static_cast<unsigned char>('A' + i % 26);
        return p;
    }();
    return piece;
}

void OursAppendOutput(benchmark::State& state) {
    const size_t total = static_cast<size_t>(state.range(0) * kMegabyte);
    const std::vector<unsigned char>& piece = Piece();
    for (auto _ : state) {
        std::string buffer;
        {
            qelwww::detail::OutputScope scope(&buffer);
            for (size_t done = 0; done < total; done += kPiece)
                if (qelwww::detail::AppendOutput(nullptr, piece.data(), piece.size()) != 1) {
                    state.SkipWithError("AppendOutput refused a piece");
                    break;
                }
        }
        if (buffer.size() != total) state.SkipWithError("the buffer lost data");
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0) * kMegabyte);
}

// The text that grows by the delivered length: a new block for every piece.
class ExactBuffer {
public:
    void Append(const unsigned char* data, size_t length) {
        auto grown = std::make_unique_for_overwrite<unsigned char[]>(size_ + length);
        if (size_ != 0) std::memcpy(grown.get(), bytes_.get(), size_);
        std::memcpy(grown.get() + size_, data, length);
        bytes_ = std::move(grown);
        size_ += length;
    }
    size_t Size() const { return size_; }
    const unsigned char* Data() const { return bytes_.get(); }

private:
    std::unique_ptr<unsigned char[]> bytes_;
    size_t size_ = 0;
};

void PeerExactGrowth(benchmark::State& state) {
    const size_t total = static_cast<size_t>(state.range(0) * kMegabyte);
    const std::vector<unsigned char>& piece = Piece();
    for (auto _ : state) {
        ExactBuffer buffer;
        for (size_t done = 0; done < total; done += kPiece) buffer.Append(piece.data(), piece.size());
        if (buffer.Size() != total) state.SkipWithError("the buffer lost data");
        benchmark::DoNotOptimize(buffer.Data());
    }
    state.SetComplexityN(state.range(0));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0) * kMegabyte);
}

// Sizes in MB.
BENCHMARK(OursAppendOutput)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Arg(8)
    ->Arg(10)
    ->Arg(50)
    ->Arg(100)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);
BENCHMARK(PeerExactGrowth)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNSquared);

}  // namespace

BENCHMARK_MAIN();
