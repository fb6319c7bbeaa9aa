// Bulk data delivery: pieces expanded from their letter into the caller's buffers.
#include "wire_test_support.h"

#include <gtest/gtest.h>

#include <random>

using namespace wire_test;

namespace {

Bytes Words(size_t size) {
    static const char* const kWords[] = {"archive ", "document ", "segment ", "page ", "report "};
    std::mt19937 rng(3);
    Bytes out;
    while (out.size() < size) {
        const char* w = kWords[rng() % 5];
        out.insert(out.end(), w, w + std::strlen(w));
    }
    out.resize(size);
    return out;
}

// Collects what the callback receives; keeps every `keepEvery`-th buffer (and frees it).
struct Sink {
    Bytes data;
    std::vector<const char*> seen;
    int calls = 0;
    int keepEvery = 0;
    int keptCount = 0;

    static int Callback(void* context, char* buffer, uint32_t length) {
        auto* sink = static_cast<Sink*>(context);
        sink->data.insert(sink->data.end(), buffer, buffer + length);
        sink->seen.push_back(buffer);
        ++sink->calls;
        if (sink->keepEvery > 0 && sink->calls % sink->keepEvery == 0) {
            ++sink->keptCount;
            std::free(buffer);
            return 0;
        }
        return 1;
    }
};

char* Copy(std::span<const unsigned char> bytes) {
    char* p = static_cast<char*>(std::malloc(bytes.size() ? bytes.size() : 1));
    std::memcpy(p, bytes.data(), bytes.size());
    return p;
}

TEST(Delivery, PlainPiecesAreHandedOverWithoutCopying) {
    Sink sink;
    sink.keepEvery = 2;
    CsDelivery* d = CsDeliveryBegin(0, Sink::Callback, &sink);
    ASSERT_NE(d, nullptr);
    const Bytes a = Words(100), b = Words(50);
    char* first = Copy(a);
    char* second = Copy(b);
    ASSERT_EQ(CsDeliveryPiece(d, 'N', &first, 100), 0);
    EXPECT_NE(first, nullptr) << "the callback gave the first piece back";
    EXPECT_EQ(sink.seen[0], first);
    const char* secondAddress = second;
    ASSERT_EQ(CsDeliveryPiece(d, 'N', &second, 50), 0);
    EXPECT_EQ(second, nullptr) << "the callback kept the second piece";
    EXPECT_EQ(sink.seen[1], secondAddress);
    EXPECT_EQ(CsDeliveryEnd(d), 0);
    std::free(first);
    Bytes expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    EXPECT_EQ(sink.data, expected);
}

TEST(Delivery, CompressedPiecesExpandIntoCallerSizedBuffers) {
    const Bytes data = Words(200000);
    const std::vector<std::string> lines =
        PythonLines(WIRE_TESTS_DIR "/wire_oracle.py", {"split", "1", "9", "5000", "{}"}, data);
    ASSERT_EQ(lines.size(), 1u);
    // The oracle cut Python's zlib stream into frames; their payloads are our pieces.
    const Bytes frames = FromHex(lines[0]);
    Sink sink;
    sink.keepEvery = 3;
    CsDelivery* d = CsDeliveryBegin(1000, Sink::Callback, &sink);
    for (size_t at = 0; at < frames.size();) {
        const uint32_t length = (uint32_t(frames[at + 4]) << 24) | (uint32_t(frames[at + 5]) << 16) |
                                (uint32_t(frames[at + 6]) << 8) | frames[at + 7];
        char* piece = Copy(std::span(frames).subspan(at + 20, length - 20));
        ASSERT_EQ(CsDeliveryPiece(d, 'O', &piece, length - 20), 0);
        std::free(piece);
        at += length;
    }
    ASSERT_EQ(CsDeliveryEnd(d), 0);
    EXPECT_EQ(sink.data, data);
    EXPECT_GE(sink.calls, 200);
    EXPECT_GT(sink.keptCount, 0);
}

TEST(Delivery, BadPiecesFail) {
    const Bytes text = Words(500);
    struct Case {
        const char* name;
        char firstLetter;
        Bytes first;
        char secondLetter;  // 0: no second piece
        int pieceResult;    // of the last piece given
        int endResult;
    };
    const Case cases[] = {
        {"unknown letter", 'X', text, 0, 6, 0},
        {"corrupt deflate data", 'O', text, 0, 6, 6},
        {"letter changes between pieces", 'N', text, 'O', 6, 0},
        {"deflate data cut short", 'O', {0x78, 0x9c, 0x4b, 0x4c}, 0, 0, 6},
    };
    for (const Case& c : cases) {
        Sink sink;
        CsDelivery* d = CsDeliveryBegin(0, Sink::Callback, &sink);
        char* piece = Copy(c.first);
        int rc = CsDeliveryPiece(d, c.firstLetter, &piece, static_cast<uint32_t>(c.first.size()));
        if (c.secondLetter != 0) {
            EXPECT_EQ(rc, 0) << c.name;
            rc = CsDeliveryPiece(d, c.secondLetter, &piece, static_cast<uint32_t>(c.first.size()));
        }
        std::free(piece);
        EXPECT_EQ(rc, c.pieceResult) << c.name;
        if (rc == 0) {
            EXPECT_EQ(CsDeliveryEnd(d), c.endResult) << c.name;
        } else {
            CsDeliveryAbort(d);
        }
    }
}

}  // namespace
