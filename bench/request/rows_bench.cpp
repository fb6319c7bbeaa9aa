// 100,000 search rows as the dispatcher reads them (one plain frame per reply, read
// through the message stream and decoded by the codec with the group's field types,
// texts converted from UCS-2), against a memcpy of the same bytes. Counter vs_memcpy
// is the ratio.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "arc_byteorder.h"
#include "arc_codepage.h"
#include "qel_cswire.h"

namespace {

constexpr int kRows = 100000;
constexpr uint32_t kFlags1 = 0x50100000, kFlags2 = 0x145;  // the newest level

using Bytes = std::vector<unsigned char>;

// The application group of the peer's sample folder: five fields, one of each type.
struct Group {
    CsXdrFieldDef fields[5]{};
    CsXdrApplGroup group{};
    Group() {
        const char types[] = {'S', 'D', 'I', 'N', 'B'};
        const char* names[] = {"customer", "amount", "pages", "count", "serial"};
        for (int i = 0; i < 5; ++i) {
            std::strcpy(fields[i].name, names[i]);
            fields[i].type = types[i];
            fields[i].number = static_cast<uint16_t>(i + 1);
        }
        group.number = 5;
        std::strcpy(group.name, "INV");
        group.fieldCount = 5;
        group.fields = fields;
    }
};

// The bytes of one memory "connection": Recv takes from them.
struct Wire {
    Bytes bytes;
    size_t pos = 0;
};
int WireRecv(ArcCOM_Connection* connection, void* buffer, int length) {
    auto* w = reinterpret_cast<Wire*>(connection);
    const size_t n = std::min(static_cast<size_t>(length), w->bytes.size() - w->pos);
    std::memcpy(buffer, w->bytes.data() + w->pos, n);
    w->pos += n;
    return static_cast<int>(n);
}
int WireSend(ArcCOM_Connection*, const void*, int length) { return length; }

struct Rows {
    ArcIconvContext* pages = nullptr;
    Group group;
    Wire wire;
    bool ok = false;

    Rows() {
        if (ArcICONV_Startup(&pages, QEL_STAGE_DIR "/locale") != 0) return;
        QelXdrBuffer out(QELXDR_ENCODE);
        if (!QelXdr_InitCodePages(out.Xdr(), pages, 1208, CS_WIRE_CCSID)) return;
        out.Xdr()->features = CsXdrFeatures(kFlags1, kFlags2);
        size_t at = 0;
        for (int row = 1; row <= kRows; ++row) {
            const std::string customer = "customer-" + std::to_string(row);
            const std::string name = "DOC" + std::to_string(row);
            CsXdrObjectRef object{};
            object.name = const_cast<char*>(name.c_str());
            object.compressedOffset = static_cast<uint32_t>(row);
            object.compression = 'O';
            CsXdrValue values[5]{};
            values[0].type = 'S';
            values[0].v.text = const_cast<char*>(customer.c_str());
            values[1].type = 'D';
            values[1].v.real = row + 0.1;
            values[2].type = 'I';
            values[2].v.integer = row * 100 + 2;
            values[3].type = 'N';
            values[3].v.small = static_cast<int16_t>(row % 30000);
            values[4].type = 'B';
            values[4].v.big = int64_t{row} * 1000000007;
            CsXdrHitRow hit{};
            std::strcpy(hit.segment, "SEG1");
            hit.noteFlag = 'N';
            hit.object = &object;
            hit.valueCount = 5;
            hit.values = values;
            CsReplyRecord reply{};
            reply.code = 112;
            reply.body.hit.hit = &hit;
            reply.group = &group.group;
            if (!CsXdrResponse(out.Xdr(), &reply)) return;
            // One plain frame per reply, numbered as the search request: 1.
            const size_t payload = out.Bytes().size() - at;
            unsigned char header[8];
            QelPutBE32(1, header);
            QelPutBE32(static_cast<uint32_t>(8 + payload), header + 4);
            wire.bytes.insert(wire.bytes.end(), header, header + 8);
            wire.bytes.insert(wire.bytes.end(), out.Bytes().begin() + static_cast<std::ptrdiff_t>(at),
                              out.Bytes().end());
            at = out.Bytes().size();
        }
        ok = true;
    }
    ~Rows() {
        if (pages != nullptr) ArcICONV_Shutdown(pages);
    }

    // Reads every row as the dispatcher does; the rows decoded.
    int Decode() {
        ArcCOM_Funcs funcs{};
        funcs.recv = WireRecv;
        funcs.send = WireSend;
        wire.pos = 0;
        CsStream* stream = CsStreamCreate();
        if (stream == nullptr || !CsStreamSetup(stream, pages, 1208, CS_WIRE_CCSID)) {
            CsStreamFree(stream);
            return -1;
        }
        CsStreamSetTransport(stream, &funcs, reinterpret_cast<ArcCOM_Connection*>(&wire));
        CsStreamStartMessage(stream, 1);
        QelXdr* xdr = CsStreamXdr(stream);
        int decoded = 0;
        for (int row = 0; row < kRows; ++row) {
            if (!CsStreamReadMessageStart(stream)) break;
            xdr->features = CsXdrFeatures(kFlags1, kFlags2);
            CsReplyRecord reply{};
            reply.group = &group.group;
            const bool good = CsXdrResponse(xdr, &reply) && reply.body.hit.hit != nullptr;
            CsFreeReplyRecord(&reply);
            if (!good) break;
            ++decoded;
        }
        CsStreamFree(stream);
        return decoded;
    }
};

void SearchRowsDecoded(benchmark::State& state) {
    static Rows rows;
    if (!rows.ok) {
        state.SkipWithError("the rows could not be encoded");
        return;
    }
    Bytes copy(rows.wire.bytes.size());
    double decode = 0, memcpySeconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        const int decoded = rows.Decode();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        if (decoded != kRows) {
            state.SkipWithError("a row did not decode");
            return;
        }
        decode += seconds;
        // The same bytes copied, ten times for a time long enough to measure.
        start = std::chrono::steady_clock::now();
        for (int i = 0; i < 10; ++i) {
            std::memcpy(copy.data(), rows.wire.bytes.data(), copy.size());
            benchmark::DoNotOptimize(copy.data());
            benchmark::ClobberMemory();
        }
        memcpySeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / 10;
    }
    const double n = static_cast<double>(state.iterations());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kRows);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * rows.wire.bytes.size()));
    state.counters["wire_MB"] = static_cast<double>(rows.wire.bytes.size()) / 1e6;
    state.counters["decode_s"] = decode / n;
    state.counters["memcpy_s"] = memcpySeconds / n;
    state.counters["vs_memcpy"] = (decode / n) / (memcpySeconds / n);
}
BENCHMARK(SearchRowsDecoded)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
