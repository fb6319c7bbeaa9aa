// Independent oracles: Python's zlib for 'O', gzip and ncompress for the LZW stream
// (our magic F1 D9 swapped for the 1F 9D of compress).
#include "arc_compress.h"
#include "compress_test_support.h"

#include <gtest/gtest.h>

#include <string>

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

TEST(ZlibOracle, PythonInflatesOurDeflate) {
    REQUIRE_TOOL("python3", "--version");
    const std::vector<std::string> inflate = {
        "python3", "-c",
        "import sys,zlib; sys.stdout.buffer.write(zlib.decompress(open(sys.argv[1],'rb').read()))", "{}"};
    for (const Bytes& data : {Bytes{}, ToBytes("x"), WordText(300000, 11), RandomBytes(70000, 12)}) {
        SCOPED_TRACE(data.size());
        int status = -1;
        const Bytes back = RunTool(inflate, Compress('O', data), &status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(back, data);
    }
}

TEST(ZlibOracle, PythonDeflateAtEveryLevelExpands) {
    REQUIRE_TOOL("python3", "--version");
    // Level from argv[2]; pieces of 7777 bytes each followed by a sync flush.
    const char* script =
        "import sys,zlib\n"
        "d=open(sys.argv[1],'rb').read(); c=zlib.compressobj(int(sys.argv[2]))\n"
        "o=b''.join(c.compress(d[i:i+7777])+c.flush(zlib.Z_SYNC_FLUSH) for i in range(0,len(d),7777))\n"
        "sys.stdout.buffer.write(o+c.flush())\n";
    const Bytes data = WordText(100000, 13);
    for (int level = 0; level <= 9; ++level) {
        SCOPED_TRACE(level);
        int status = -1;
        const Bytes stream = RunTool({"python3", "-c", script, "{}", std::to_string(level)}, data, &status);
        ASSERT_EQ(status, 0);
        const PipeResult r = Pipe('O', 'N', stream, Splitter::Random(level, 5000, 5000));
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
