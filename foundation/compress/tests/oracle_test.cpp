// Independent oracles: Python's zlib for 'O', gzip and ncompress for the LZW stream
// (our magic F1 D9 swapped for the 1F 9D of compress).
#include "arc_compress.h"
#include "compress_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace compress_test;

namespace {

const char* const kLzwLetters = "L345Z";

Bytes Compress(ArcCmpType letter, const Bytes& data) {
    const PipeResult r = Pipe('N', letter, data, Splitter::Fixed(65536, 65536));
    EXPECT_EQ(r.state, ARCCMP_FINISHED) << letter;
    return r.data;
}

// A test may skip only when the tool is truly absent.
#define REQUIRE_TOOL(tool, flag) \
    if (ToolMissing(tool, flag)) GTEST_SKIP() << tool << " is not installed"

// Several inputs in one file for one Python process: each is a 4-byte big-endian length
// and its bytes; the script answers in the same form.
Bytes Framed(const std::vector<Bytes>& pieces) {
    Bytes out;
    for (const Bytes& piece : pieces) {
        const uint32_t n = static_cast<uint32_t>(piece.size());
        out.insert(out.end(), {static_cast<unsigned char>(n >> 24), static_cast<unsigned char>(n >> 16),
                               static_cast<unsigned char>(n >> 8), static_cast<unsigned char>(n)});
        out.insert(out.end(), piece.begin(), piece.end());
    }
    return out;
}

std::vector<Bytes> Unframed(const Bytes& framed) {
    std::vector<Bytes> pieces;
    for (size_t at = 0; at + 4 <= framed.size();) {
        const size_t n = (size_t{framed[at]} << 24) | (size_t{framed[at + 1]} << 16) |
                         (size_t{framed[at + 2]} << 8) | framed[at + 3];
        at += 4;
        if (n > framed.size() - at) break;
        pieces.emplace_back(framed.begin() + static_cast<long>(at),
                            framed.begin() + static_cast<long>(at + n));
        at += n;
    }
    return pieces;
}

// The script's loop over the framed inputs of argv[1]; `answer(d, i)` is the reply to the
// i-th input d.
std::string FramedScript(const std::string& answer) {
    return "import struct,sys,zlib\n"
           "d=open(sys.argv[1],'rb').read(); o=sys.stdout.buffer; at=0; i=0\n"
           "while at<len(d):\n"
           "  n=struct.unpack_from('>I',d,at)[0]; x=d[at+4:at+4+n]; at+=4+n\n"
           "  r=" +
           answer + "; o.write(struct.pack('>I',len(r))+r); i+=1\n";
}

TEST(ZlibOracle, PythonInflatesOurDeflate) {
    REQUIRE_TOOL("python3", "--version");
    const std::vector<Bytes> inputs = {Bytes{}, ToBytes("x"), WordText(300000, 11), RandomBytes(70000, 12)};
    std::vector<Bytes> streams;
    for (const Bytes& data : inputs) streams.push_back(Compress('O', data));
    int status = -1;
    const std::vector<Bytes> back = Unframed(
        RunTool({"python3", "-c", FramedScript("zlib.decompress(x)"), "{}"}, Framed(streams), &status));
    EXPECT_EQ(status, 0);
    ASSERT_EQ(back.size(), inputs.size());
    for (size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE(inputs[i].size());
        EXPECT_EQ(back[i], inputs[i]);
    }
}

TEST(ZlibOracle, PythonDeflateAtEveryLevelExpands) {
    REQUIRE_TOOL("python3", "--version");
    // The i-th input at level i; pieces of 7777 bytes each followed by a sync flush.
    const std::string answer =
        "(lambda c: b''.join(c.compress(x[k:k+7777])+c.flush(zlib.Z_SYNC_FLUSH) "
        "for k in range(0,len(x),7777))+c.flush())(zlib.compressobj(i))";
    const Bytes data = WordText(100000, 13);
    int status = -1;
    const std::vector<Bytes> streams = Unframed(RunTool({"python3", "-c", FramedScript(answer), "{}"},
                                                        Framed(std::vector<Bytes>(10, data)), &status));
    ASSERT_EQ(status, 0);
    ASSERT_EQ(streams.size(), 10u);
    for (int level = 0; level <= 9; ++level) {
        SCOPED_TRACE(level);
        const PipeResult r = Pipe('O', 'N', streams[level], Splitter::Random(level, 5000, 5000));
        EXPECT_EQ(r.state, ARCCMP_FINISHED);
        EXPECT_EQ(r.data, data);
    }
}

TEST(LzwOracle, GzipAndCompressDecodeOurStreams) {
    // 1 MB of text fills even the 16-bit table, so clears are covered.
    const Bytes text = WordText(1 << 20, 14);
    const Bytes random = RandomBytes(300000, 15);
    for (const char* tool : {"gzip", "compress"}) {
        if (ToolMissing(tool, "-V")) {
            ADD_FAILURE() << tool << " is missing";
            continue;
        }
        for (const char* l = kLzwLetters; *l != 0; ++l) {
            for (const Bytes* data : {&text, &random}) {
                SCOPED_TRACE(std::string(tool) + " letter " + *l + " size " + std::to_string(data->size()));
                int status = -1;
                const Bytes back =
                    RunTool({tool, "-dc", "{}"}, WithMagic(Compress(*l, *data), 0x1F, 0x9D), &status);
                EXPECT_EQ(status, 0);
                EXPECT_TRUE(back == *data) << "decoded " << back.size() << " bytes";
            }
        }
    }
}

TEST(LzwOracle, SameBytesAsCompressWhileTheTableNeverFills) {
    REQUIRE_TOOL("compress", "-V");
    for (int bits = 12; bits <= 16; ++bits) {
        // Fewer input bytes than free codes: the table cannot fill, so no clear.
        const size_t size = (size_t{1} << bits) - 300;
        for (const Bytes& data :
             {WordText(size, bits), RandomBytes(size, bits), Bytes(size, 'k'), ToBytes("ab")}) {
            SCOPED_TRACE("bits " + std::to_string(bits) + " size " + std::to_string(data.size()));
            int status = -1;
            const Bytes theirs = RunTool({"compress", "-b", std::to_string(bits), "-c", "{}"}, data, &status);
            EXPECT_EQ(status, 0);
            Bytes ours;
            ASSERT_EQ(LzwEncode(bits, data, Splitter::Fixed(65535, 65535), &ours), 0);
            EXPECT_TRUE(WithMagic(ours, 0x1F, 0x9D) == theirs)
                << "ours " << ours.size() << " bytes, compress " << theirs.size();
        }
    }
}

TEST(LzwOracle, CompressStreamsDecodeWithOurs) {
    REQUIRE_TOOL("compress", "-V");
    const Bytes text = WordText(3 << 20, 16);  // long enough for compress to clear
    const Bytes mixed = [] {
        Bytes m = WordText(400000, 17);
        const Bytes r = RandomBytes(400000, 18);
        m.insert(m.end(), r.begin(), r.end());
        return m;
    }();
    for (int bits = 12; bits <= 16; ++bits) {
        for (const Bytes* data : {&text, &mixed}) {
            int status = -1;
            const Bytes theirs =
                RunTool({"compress", "-b", std::to_string(bits), "-c", "{}"}, *data, &status);
            ASSERT_EQ(status, 0);
            for (bool padded : {false, true}) {
                SCOPED_TRACE("bits " + std::to_string(bits) + " size " + std::to_string(data->size()) +
                             (padded ? " bit 0x40" : ""));
                Bytes stream = WithMagic(theirs, 0xF1, 0xD9);
                ASSERT_GE(stream.size(), 3u);
                if (padded) stream[2] |= 0x40;
                Bytes back;
                EXPECT_EQ(LzwDecode(16, stream, Splitter::Random(bits, 9000, 9000), &back), 0);
                EXPECT_TRUE(back == *data) << "decoded " << back.size() << " bytes";
            }
        }
    }
}

}  // namespace
