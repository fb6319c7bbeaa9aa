// Frames: what the stream sends, checked with Python's struct and zlib; what it reads,
// made by Python or by hand, including frames it must drop or refuse.
#include "wire_test_support.h"

#include "arc_byteorder.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

using namespace wire_test;

namespace {

Bytes RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(size);
    for (auto& b : out) b = static_cast<unsigned char>(rng());
    return out;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

struct Frame {
    char form;  // 'P' or 'C'
    uint32_t number;
    uint32_t length;
    char letter;
    uint32_t flags;
};

struct Parsed {
    std::vector<Frame> frames;
    std::vector<std::pair<uint32_t, Bytes>> messages;
};

// Python's reading of what the stream sent, every stream in one process.
std::vector<Parsed> ParseAllWithPython(const std::vector<Bytes>& streams) {
    std::string input;
    for (const Bytes& sent : streams) input += Hex(sent) + "\n";
    std::vector<Parsed> all;
    for (const std::string& line :
         PythonLines(WIRE_TESTS_DIR "/wire_oracle.py", {"frames-each", "{}"},
                     std::span(reinterpret_cast<const unsigned char*>(input.data()), input.size()))) {
        if (line == "STREAM " + std::to_string(all.size())) {
            all.emplace_back();
            continue;
        }
        if (all.empty()) continue;
        Parsed& out = all.back();
        std::istringstream in(line);
        std::string kind;
        in >> kind;
        if (kind == "P" || kind == "C") {
            Frame f{kind[0], 0, 0, 'N', 0};
            in >> f.number >> f.length;
            if (kind == "C") in >> f.letter >> f.flags;
            out.frames.push_back(f);
        } else if (kind == "M") {
            uint32_t number = 0;
            std::string hex;
            in >> number >> hex;
            out.messages.emplace_back(number, FromHex(hex));
        }
    }
    all.resize(streams.size());  // a reader that stopped early leaves the rest empty
    return all;
}

Parsed ParseWithPython(const Bytes& sent) { return ParseAllWithPython({sent})[0]; }

void Send(StreamBox& box, uint32_t number, const Bytes& payload, bool compress) {
    CsStreamSetCompression(box.stream, compress);
    CsStreamStartMessage(box.stream, number);
    ASSERT_TRUE(CsStreamPutBytes(box.stream, payload.data(), static_cast<uint32_t>(payload.size())));
    ASSERT_TRUE(CsStreamFlush(box.stream, 1));
}

TEST(FrameWriter, SmallPayloadsStayPlainAndLargerOnesAreCompressed) {
    struct Case {
        const char* name;
        size_t size;
        bool compress;
        std::vector<Frame> expected;  // letter and flags only for 'C'
    };
    const Case cases[] = {
        {"16 bytes with compression on", 16, true, {{'P', 5, 24, 'N', 0}}},
        {"17 bytes compressed in one last frame", 17, true, {{'C', 5, 0, 'O', 2}}},
        {"17 bytes with compression off", 17, false, {{'P', 5, 25, 'N', 0}}},
        {"exactly one plain buffer", 8184, false, {{'P', 5, 8192, 'N', 0}}},
        {"one byte more than a plain buffer", 8185, false, {{'P', 5, 8192, 'N', 0}, {'P', 5, 9, 'N', 0}}},
    };
    std::vector<Bytes> payloads;
    std::vector<Bytes> streams;
    for (const Case& c : cases) {
        StreamBox box;
        payloads.push_back(RandomBytes(c.size, 7));
        Send(box, 5, payloads.back(), c.compress);
        streams.push_back(box.transport.sent);
    }
    const std::vector<Parsed> all = ParseAllWithPython(streams);
    for (size_t k = 0; k < std::size(cases); ++k) {
        const Case& c = cases[k];
        const Bytes& payload = payloads[k];
        const Parsed& parsed = all[k];
        ASSERT_EQ(parsed.frames.size(), c.expected.size()) << c.name;
        for (size_t i = 0; i < c.expected.size(); ++i) {
            const Frame& got = parsed.frames[i];
            const Frame& want = c.expected[i];
            EXPECT_EQ(got.form, want.form) << c.name;
            EXPECT_EQ(got.number, want.number) << c.name;
            if (want.length) {
                EXPECT_EQ(got.length, want.length) << c.name;
            }
            EXPECT_EQ(got.letter, want.letter) << c.name;
            EXPECT_EQ(got.flags, want.flags) << c.name;
        }
        ASSERT_EQ(parsed.messages.size(), 1u) << c.name;
        EXPECT_EQ(parsed.messages[0].second, payload) << c.name << ": Python's zlib reads it back";
    }
}

TEST(FrameWriter, LargeCompressedMessageFillsFramesOfExactly8192Bytes) {
    StreamBox box;
    const Bytes payload = RandomBytes(100 * 1024, 11);  // random: deflate cannot shrink it
    Send(box, 9, payload, true);
    const Parsed parsed = ParseWithPython(box.transport.sent);
    ASSERT_GT(parsed.frames.size(), 12u);
    for (size_t i = 0; i < parsed.frames.size(); ++i) {
        const Frame& f = parsed.frames[i];
        const bool last = i + 1 == parsed.frames.size();
        EXPECT_EQ(f.form, 'C');
        EXPECT_EQ(f.number, 9u);
        EXPECT_EQ(f.letter, 'O');
        EXPECT_EQ(f.flags, (i == 0 ? 0u : 1u) | (last ? 2u : 0u)) << "frame " << i;
        if (!last) {
            EXPECT_EQ(f.length, 8192u) << "frame " << i;
        }
        EXPECT_LE(f.length, 8192u);
    }
    ASSERT_EQ(parsed.messages.size(), 1u);
    EXPECT_EQ(parsed.messages[0].second, payload);
}

TEST(FrameWriter, LargePlainMessageIsCutInto8192ByteFrames) {
    StreamBox box;
    const Bytes payload = RandomBytes(100 * 1024, 12);
    Send(box, 3, payload, false);
    const Parsed parsed = ParseWithPython(box.transport.sent);
    ASSERT_EQ(parsed.frames.size(), (payload.size() + 8183) / 8184);
    for (size_t i = 0; i + 1 < parsed.frames.size(); ++i) {
        EXPECT_EQ(parsed.frames[i].length, 8192u);
    }
    ASSERT_EQ(parsed.messages.size(), 1u);
    EXPECT_EQ(parsed.messages[0].second, payload);
}

TEST(FrameWriter, ShortSendFailsAndBreaksTheStream) {
    StreamBox box;
    box.transport.sendLimit = 10;
    CsStreamStartMessage(box.stream, 1);
    const Bytes payload = Text("0123456789abcdef");
    ASSERT_TRUE(CsStreamPutBytes(box.stream, payload.data(), 16));
    EXPECT_FALSE(CsStreamFlush(box.stream, 1));
    EXPECT_TRUE(CsStreamBroken(box.stream));
}

// Reads one message of `size` bytes after the stream sent message `number`.
bool ReadMessage(StreamBox& box, uint32_t number, size_t size, Bytes* out) {
    CsStreamStartMessage(box.stream, number);
    if (!CsStreamReadMessageStart(box.stream)) return false;
    out->assign(size, 0);
    return CsStreamGetBytes(box.stream, out->data(), static_cast<uint32_t>(size));
}

TEST(FrameReader, PythonMadeCompressedFramesDecodeWhateverTheirSplit) {
    const Bytes record = RandomBytes(30000, 5);
    const int kLargest[] = {1, 7, 100, 8172};
    // One oracle run cuts the stream for every size (the seed is the size).
    std::vector<std::string> args{"split", "4"};
    for (int largest : kLargest) {
        args.insert(args.end(), {std::to_string(largest), std::to_string(largest)});
        if (args.size() == 4) args.push_back("{}");
    }
    const std::vector<std::string> lines = PythonLines(WIRE_TESTS_DIR "/wire_oracle.py", args, record);
    ASSERT_EQ(lines.size(), std::size(kLargest));
    for (size_t k = 0; k < std::size(kLargest); ++k) {
        const int largest = kLargest[k];
        StreamBox box;
        box.transport.Feed(FromHex(lines[k]));
        Bytes got;
        ASSERT_TRUE(ReadMessage(box, 4, record.size(), &got)) << "frames of up to " << largest;
        EXPECT_EQ(got, record) << "frames of up to " << largest;
    }
}

TEST(FrameReader, PlainFramesOfAnySizeUpToOneMebibyte) {
    const Bytes record = RandomBytes(20000, 6);
    StreamBox box;
    // One frame above 8192 bytes (the buffer grows), then small ones.
    box.transport.Feed(PlainFrame(2, std::span(record).first(15000)));
    for (size_t at = 15000; at < record.size(); at += 1000)
        box.transport.Feed(PlainFrame(2, std::span(record).subspan(at, 1000)));
    Bytes got;
    ASSERT_TRUE(ReadMessage(box, 2, record.size(), &got));
    EXPECT_EQ(got, record);
}

TEST(FrameReader, FramesOfEarlierMessagesAreDropped) {
    StreamBox box;
    const Bytes old = RandomBytes(300, 1);
    const Bytes record = Text("the reply to message 7");
    // A plain reply to message 5, a compressed two-frame reply to message 6 ...
    box.transport.Feed(PlainFrame(5, old));
    box.transport.Feed(CompressedFrame(6, 'O', 0, std::span(old).first(100)));
    box.transport.Feed(CompressedFrame(6, 'O', 3, std::span(old).subspan(100)));
    // ... an empty plain frame and a continuation frame of the current number ...
    box.transport.Feed(PlainFrame(7, {}));
    box.transport.Feed(CompressedFrame(7, 'O', 1, old));
    // ... then the reply.
    box.transport.Feed(PlainFrame(7, record));
    Bytes got;
    ASSERT_TRUE(ReadMessage(box, 7, record.size(), &got));
    EXPECT_EQ(got, record);
}

TEST(FrameReader, UnreadEndOfAReplyIsSkippedAtTheNextMessage) {
    // A compressed reply whose stream ends in a frame the record never needs.
    const Bytes first = Text("first reply, compressed");
    const Bytes second = Text("second reply");
    StreamBox writer;
    Send(writer, 3, first, true);
    const Parsed parsed = ParseWithPython(writer.transport.sent);
    ASSERT_EQ(parsed.frames.size(), 1u);
    Bytes frames = writer.transport.sent;
    // Move the last flag to an extra empty frame of the same message.
    QelPutBE32(0, frames.data() + 16);
    const Bytes tail = CompressedFrame(3, 'O', 3, {});
    frames.insert(frames.end(), tail.begin(), tail.end());

    StreamBox box;
    box.transport.Feed(frames);
    box.transport.Feed(PlainFrame(3, second));
    Bytes got;
    ASSERT_TRUE(ReadMessage(box, 3, first.size(), &got));
    EXPECT_EQ(got, first);
    ASSERT_TRUE(CsStreamReadMessageStart(box.stream));
    got.assign(second.size(), 0);
    ASSERT_TRUE(CsStreamGetBytes(box.stream, got.data(), static_cast<uint32_t>(got.size())));
    EXPECT_EQ(got, second);
}

TEST(FrameReader, MalformedFramesFailAndBreakTheStream) {
    const Bytes good = Text("a record of some bytes");
    const Bytes deflated = [] {
        StreamBox box;
        Send(box, 1, Text("a record of some bytes, compressed"), true);
        return Bytes(box.transport.sent.begin() + 20, box.transport.sent.end());
    }();
    auto header = [](uint32_t first, uint32_t length) {
        Bytes b(8);
        QelPutBE32(first, b.data());
        QelPutBE32(length, b.data() + 4);
        return b;
    };
    struct Case {
        const char* name;
        Bytes input;
        bool broken;  // false: a quiet failure (the message simply ends)
    };
    const Case cases[] = {
        {"plain length 0", header(1, 0), true},
        {"plain length 7", header(1, 7), true},
        {"compressed length 8", header(0xFFFFFFFF, 8), true},
        {"compressed length 19", header(0xFFFFFFFF, 19), true},
        {"compressed length 8193", header(0xFFFFFFFF, 8193), true},
        {"plain length 0xFFFFFFFF", header(1, 0xFFFFFFFF), true},
        {"plain length above 1 MiB", header(1, CS_FRAME_PLAIN_LIMIT + 1), true},
        {"plain frame longer than the bytes", header(1, 100), true},
        {"unknown letter 'X'", CompressedFrame(1, 'X', 2, good), true},
        {"frame of a later message", PlainFrame(2, good), true},
        {"corrupt deflate stream", CompressedFrame(1, 'O', 2, good), true},
        {"deflate stream cut short",
         CompressedFrame(1, 'O', 2, std::span(deflated).first(deflated.size() - 6)), true},
        {"message ends before the record", PlainFrame(1, std::span(good).first(5)), true},
        {"compressed message ends before the record", CompressedFrame(1, 'N', 2, std::span(good).first(5)),
         false},
    };
    for (const Case& c : cases) {
        StreamBox box;
        box.transport.Feed(c.input);
        Bytes got;
        EXPECT_FALSE(ReadMessage(box, 1, good.size(), &got)) << c.name;
        EXPECT_EQ(CsStreamBroken(box.stream), c.broken) << c.name;
    }
}

TEST(FrameReader, NextFrameMustContinueTheSameMessage) {
    const Bytes record = RandomBytes(200, 3);
    const auto head = std::span(record).first(100);
    const auto rest = std::span(record).subspan(100);
    struct Case {
        const char* name;
        Bytes first;
        Bytes second;
    };
    const Case cases[] = {
        {"plain, then another number", PlainFrame(1, head), PlainFrame(0, rest)},
        {"plain, then compressed", PlainFrame(1, head), CompressedFrame(1, 'N', 3, rest)},
        {"compressed, then plain", CompressedFrame(1, 'N', 0, head), PlainFrame(1, rest)},
        {"compressed, then a first frame", CompressedFrame(1, 'N', 0, head),
         CompressedFrame(1, 'N', 2, rest)},
        {"compressed, then another letter", CompressedFrame(1, 'N', 0, head),
         CompressedFrame(1, 'D', 3, rest)},
    };
    for (const Case& c : cases) {
        StreamBox box;
        box.transport.Feed(c.first);
        box.transport.Feed(c.second);
        Bytes got;
        EXPECT_FALSE(ReadMessage(box, 1, record.size(), &got)) << c.name;
        EXPECT_TRUE(CsStreamBroken(box.stream)) << c.name;
    }
}

TEST(FrameReader, ShortReceiveFails) {
    StreamBox box;
    box.transport.Feed(PlainFrame(1, Text("abcdefgh")));
    box.transport.receiveLimit = 3;
    Bytes got;
    EXPECT_FALSE(ReadMessage(box, 1, 8, &got));
    EXPECT_TRUE(CsStreamBroken(box.stream));
}

// A whole exchange: the gateway's request read by a peer, the peer's compressed reply
// read by the gateway, both through frames.
TEST(FrameStream, RequestAndReplyCrossTheWire) {
    Sample s;
    StreamBox client;
    StreamBox server;
    QelXdr* cx = CsStreamXdr(client.stream);
    QelXdr* sx = CsStreamXdr(server.stream);

    CsRequestRecord request{};
    request.handle = s.Handle(0x50100000, 0x145);
    request.code = 13;
    request.body.userList.name = s.Text("ADM*");
    CsStreamSetCompression(client.stream, 1);
    CsStreamStartMessage(client.stream, 41);
    ASSERT_TRUE(CsXdrRequest(cx, &request));
    ASSERT_TRUE(CsStreamFlush(client.stream, 1));

    server.transport.Feed(client.transport.sent);
    ASSERT_TRUE(CsStreamReadAnyMessage(server.stream));
    EXPECT_EQ(CsStreamMessageNumber(server.stream), 41u);
    CsRequestRecord got{};
    ASSERT_TRUE(CsXdrRequest(sx, &got));
    EXPECT_EQ(got.code, 13u);
    EXPECT_STREQ(got.body.userList.name, "ADM*");
    CsFreeRequestRecord(&got);

    // One reply per list item, all numbered 41; the last has no item.
    CsStreamSetCompression(server.stream, 1);
    for (int i = 0; i < 3; ++i) {
        CsReplyRecord reply{};
        reply.code = 13;
        reply.body.userEntry.entry = i < 2 ? s.UserEntry() : nullptr;
        CsStreamStartMessage(server.stream, 41);
        ASSERT_TRUE(CsXdrResponse(sx, &reply));
        ASSERT_TRUE(CsStreamFlush(server.stream, 1));
    }
    client.transport.Feed(server.transport.sent);
    int items = 0;
    for (;;) {
        ASSERT_TRUE(CsStreamReadMessageStart(client.stream));
        CsReplyRecord reply{};
        ASSERT_TRUE(CsXdrResponse(cx, &reply));
        const bool end = reply.body.userEntry.entry == nullptr;
        if (!end) {
            EXPECT_STREQ(reply.body.userEntry.entry->description, "Administratoren");
        }
        CsFreeReplyRecord(&reply);
        if (end) break;
        ++items;
    }
    EXPECT_EQ(items, 2);
    EXPECT_FALSE(CsStreamBroken(client.stream));
}

}  // namespace
