// A 50 MB document retrieved from the loopback peer in 'O' pieces (request 101 through
// our TCP transport, the frames, the codec and the delivery pipeline), against what
// the same bytes cost without us: Python's zlib.decompress of the peer's stream plus a
// raw loopback copy of that stream. Counter vs_zlib_plus_copy is the ratio.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "arc_platform.h"
#include "loopback_copy.h"
#include "peer_process.h"
#include "qel_cs.h"
#include "qel_cswire.h"

namespace {

constexpr size_t kSize = 50u * 1000 * 1000;

// Text of words drawn from a small vocabulary: compresses about as well as reports do.
std::string Text(size_t size) {
    static const char* const words[] = {"account", "statement", "balance", "invoice", "customer",
                                        "amount",  "total",     "due",     "page",    "branch",
                                        "credit",  "debit",     "2024",    "EUR"};
    std::string out;
    out.reserve(size + 64);
    uint32_t x = 12345;
    while (out.size() < size) {
        for (int i = 0; i < 9; ++i) {
            x = x * 1103515245u + 12345u;
            out += words[(x >> 16) % (sizeof words / sizeof *words)];
            out += ' ';
        }
        out += std::to_string(x % 100000) + '\n';
    }
    out.resize(size);
    return out;
}

std::string Scratch(const char* name) { return std::string(QEL_STAGE_DIR) + "/tests/request-bench-" + name; }

struct Sink {
    size_t bytes = 0;
    std::string* copy = nullptr;  // the whole document, when asked
    static int Take(void* context, char* buffer, uint32_t length) {
        auto* sink = static_cast<Sink*>(context);
        sink->bytes += length;
        if (sink->copy != nullptr) sink->copy->append(buffer, length);
        return 1;
    }
};

// The peer with the document, a logged-on handle, and the oracle's numbers.
struct Road {
    std::string error;
    std::unique_ptr<qel_peer::PeerProcess> peer;
    CsHandle handle{};
    CsXdrApplGroup group{};
    CsXdrObjectRef object{};
    CsXdrHitRow hit{};
    std::string stream;  // the zlib stream the peer sends
    double zlibSeconds = 0;

    Road() {
        const std::string text = Text(kSize);
        const std::string document = Scratch("document.txt");
        const std::string compressed = Scratch("document.z");
        const std::string script = Scratch("script.json");
        if (ArcOS_WriteFileAtomic(document.c_str(), text) != 0 ||
            ArcOS_WriteFileAtomic(script.c_str(),
                                  R"({"users": [{"id": "ALICE", "password": "SECRET1", "number": 7}],
                                      "documents": {"BIG": {"file": ")" +
                                      document + R"(", "letter": "O", "piece": 32768}}})") != 0) {
            error = "cannot write the scratch files";
            return;
        }
        ArcOSPipe pipe;
        if (ArcOS_PipeOpen({QEL_BENCH_PYTHON, QEL_BENCH_ORACLE, document, compressed, "3"}, "r", &pipe) !=
            0) {
            error = "cannot run the zlib oracle";
            return;
        }
        char line[128] = {};
        const bool read = std::fgets(line, sizeof line, pipe.stream) != nullptr;
        if (ArcOS_PipeClose(&pipe) != 0 || !read || std::sscanf(line, "%lf", &zlibSeconds) != 1 ||
            ArcOS_ReadFile(compressed.c_str(), &stream) != 0) {
            error = "the zlib oracle failed";
            return;
        }
        peer = std::make_unique<qel_peer::PeerProcess>(script);
        if (peer->port() == 0) {
            error = "the peer did not start";
            return;
        }
        std::snprintf(handle.def.host, sizeof handle.def.host, "127.0.0.1");
        handle.def.kind = CS_KIND_TCP;
        handle.def.port = peer->port();
        handle.def.transportPath = QEL_STAGE_DIR "/lib/";
        handle.localCcsid = 1208;
        if (CsLogon(&handle, "ALICE", "SECRET1", nullptr) != CS_OK) {
            error = "logon failed";
            return;
        }
        object.name = const_cast<char*>("BIG");
        object.compression = 'O';
        hit.object = &object;
        // The first retrieve lets the peer compress and keep the document, and shows
        // that what is timed below is right.
        std::string copy;
        Sink sink;
        sink.copy = &copy;
        if (Retrieve(&sink) != CS_OK || copy != text) error = "the document did not arrive whole";
    }
    ~Road() {
        if (handle.logon != nullptr) CsLogoff(&handle);
        handle.systemParms.reset();
    }
    int Retrieve(Sink* sink) {
        return CsServerRequest(&handle, CS_REQ_DOC_DATA, &group, &hit, static_cast<CsXdrApplEntry*>(nullptr),
                               static_cast<CsXdrNodeEntry*>(nullptr), static_cast<CsXdrNodeInfo*>(nullptr), 0,
                               0, 0, 0u, static_cast<CsDataFnC>(Sink::Take), sink,
                               static_cast<uint8_t*>(nullptr), static_cast<uint8_t*>(nullptr));
    }
};

void RetrieveFiftyMegabytes(benchmark::State& state) {
    static Road road;
    if (!road.error.empty()) {
        state.SkipWithError(road.error.c_str());
        return;
    }
    double retrieve = 0, copy = 0;
    for (auto _ : state) {
        Sink sink;
        const auto start = std::chrono::steady_clock::now();
        const int rc = road.Retrieve(&sink);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        if (rc != CS_OK || sink.bytes != kSize) {
            state.SkipWithError("retrieve failed");
            return;
        }
        retrieve += seconds;
        const double raw = request_bench::LoopbackCopySeconds(road.stream);
        if (raw < 0) {
            state.SkipWithError("raw loopback copy failed");
            return;
        }
        copy += raw;
    }
    const double n = static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kSize));
    state.counters["compressed_MB"] = static_cast<double>(road.stream.size()) / 1e6;
    state.counters["retrieve_s"] = retrieve / n;
    state.counters["zlib_s"] = road.zlibSeconds;
    state.counters["copy_s"] = copy / n;
    state.counters["vs_zlib_plus_copy"] = (retrieve / n) / (road.zlibSeconds + copy / n);
}
BENCHMARK(RetrieveFiftyMegabytes)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
