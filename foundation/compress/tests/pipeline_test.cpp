// The compression pipeline: every letter over every split, byte windows, the pass-
// through modes, its error states and the edge cases of Begin/Run/End.
#include "arc_compress.h"
#include "compress_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace compress_test;

namespace {

const char kCompressing[] = {'O', 'L', '3', '4', '5', 'Z'};
const char kAllLetters[] = {'N', 'D', 'O', 'L', '3', '4', '5', 'Z'};

Splitter Whole() { return Splitter::Fixed(1 << 24, 1 << 24); }

TEST(Pipeline, RoundTripsEveryLetterOverEverySplit) {
    struct Case {
        const char* name;
        Bytes data;
        bool tinyBuffers;  // also run with 1-byte input and output buffers
    };
    const Case cases[] = {
        {"empty", {}, true},
        {"one byte", ToBytes("Q"), true},
        {"199 bytes", WordText(199, 21), true},
        {"200 bytes", WordText(200, 22), true},
        {"1 MB random", RandomBytes(1 << 20, 23), false},
        {"10 MB text", WordText(10 << 20, 24), false},
    };
    for (const auto& c : cases) {
        for (char letter : kAllLetters) {
            SCOPED_TRACE(std::string(c.name) + " letter " + letter);
            const PipeResult packed = Pipe('N', letter, c.data, Whole());
            ASSERT_EQ(packed.state, ARCCMP_FINISHED);
            const PipeResult split = Pipe('N', letter, c.data, Splitter::Random(letter, 70000, 70000));
            ASSERT_EQ(split.state, ARCCMP_FINISHED);
            EXPECT_TRUE(split.data == packed.data) << "the stream depends on the buffer split";
            const PipeResult back =
                Pipe(letter, 'N', packed.data, Splitter::Random(letter + 1, 70000, 70000));
            ASSERT_EQ(back.state, ARCCMP_FINISHED);
            EXPECT_TRUE(back.data == c.data);
            if (c.tinyBuffers) {
                const PipeResult tiny = Pipe('N', letter, c.data, Splitter::Fixed(1, 1));
                EXPECT_EQ(tiny.state, ARCCMP_FINISHED);
                EXPECT_TRUE(tiny.data == packed.data);
                const PipeResult tinyBack = Pipe(letter, 'N', packed.data, Splitter::Fixed(1, 1));
                EXPECT_EQ(tinyBack.state, ARCCMP_FINISHED);
                EXPECT_TRUE(tinyBack.data == c.data);
            }
        }
    }
}

TEST(Pipeline, RecodesFromOneCompressedLetterToAnother) {
    const Bytes data = WordText(500000, 25);
    for (char from : kCompressing) {
        const PipeResult source = Pipe('N', from, data, Whole());
        ASSERT_EQ(source.state, ARCCMP_FINISHED);
        for (char to : kCompressing) {
            SCOPED_TRACE(std::string(1, from) + " -> " + to);
            const PipeResult recoded = Pipe(from, to, source.data, Splitter::Random(from * to, 40000, 40000));
            ASSERT_EQ(recoded.state, ARCCMP_FINISHED);
            EXPECT_TRUE(recoded.data == Pipe('N', to, data, Whole()).data);
        }
    }
}

TEST(Pipeline, WindowCutsTheExpandedBytes) {
    const Bytes data = WordText(100000, 26);
    struct Case {
        const char* name;
        uint64_t start;
        uint64_t length;
        size_t wantFrom;
        size_t wantLength;
    };
    const Case cases[] = {
        {"start 10 length 5", 10, 5, 10, 5},
        {"start 0 length 5", 0, 5, 0, 5},
        {"start 99990 to the end", 99990, 0, 99990, 10},
        {"length past the end", 99000, 5000, 99000, 1000},
        {"start past the end", 200000, 7, 0, 0},
        {"start at the end", 100000, 0, 0, 0},
        {"across a middle buffer", 32760, 40000, 32760, 40000},
        {"length near 2^64", 3, ~uint64_t{0}, 3, 99997},
    };
    for (const auto& c : cases) {
        for (char from : {'N', 'O', 'L', 'Z'}) {
            for (char to : {'N', 'D', 'O', 'Z'}) {
                SCOPED_TRACE(std::string(c.name) + " " + from + " -> " + to);
                const Bytes source = Pipe('N', from, data, Whole()).data;
                const PipeResult r =
                    Pipe(from, to, source, Splitter::Random(c.start + to, 3000, 3000), c.start, c.length);
                ASSERT_EQ(r.state, ARCCMP_FINISHED);
                const Bytes plain = Pipe(to, 'N', r.data, Whole()).data;
                const Bytes want(data.begin() + c.wantFrom, data.begin() + c.wantFrom + c.wantLength);
                EXPECT_TRUE(plain == want) << "got " << plain.size() << " bytes";
            }
        }
    }
}

TEST(Pipeline, WindowStopsReadingOnceItIsComplete) {
    // Garbage after the window's end is never expanded.
    Bytes source = Pipe('N', 'O', WordText(5000, 27), Whole()).data;
    source.resize(source.size() / 2);
    const PipeResult r = Pipe('O', 'N', source, Splitter::Fixed(16, 4096), 0, 5);
    EXPECT_EQ(r.state, ARCCMP_FINISHED);
    EXPECT_EQ(r.data.size(), 5u);
}

TEST(Pipeline, NothingToDoOnlyWithoutWindow) {
    struct Case {
        char from;
        char to;
        uint64_t start;
        uint64_t length;
        int nothingToDo;
    };
    const Case cases[] = {
        {'N', 'N', 0, 0, 1},  {'D', 'N', 0, 0, 1}, {'N', 'D', 0, 0, 1}, {'N', 'N', 0, 5, 0},
        {'N', 'N', 10, 0, 0}, {'N', 'O', 0, 0, 0}, {'Z', 'N', 0, 0, 0}, {'O', 'L', 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(1, c.from) + " -> " + c.to + " window " + std::to_string(c.start) + "/" +
                     std::to_string(c.length));
        ArcCmpPipeline* p = nullptr;
        int flag = -1;
        ASSERT_EQ(ArcCMP_Begin(c.from, c.to, c.start, c.length, &flag, &p), 0);
        EXPECT_EQ(flag, c.nothingToDo);
        EXPECT_EQ(ArcCMP_End(p), 0);
    }
}

TEST(Pipeline, UnknownLettersFailBegin) {
    for (const auto& pair :
         {std::pair{'X', 'N'}, std::pair{'N', 'x'}, std::pair{'o', 'O'}, std::pair{'\0', 'N'}}) {
        SCOPED_TRACE(std::string(1, pair.first) + " -> " + pair.second);
        ArcCmpPipeline* p = nullptr;
        EXPECT_EQ(ArcCMP_Begin(pair.first, pair.second, 0, 0, nullptr, &p), ARCCMP_UNKNOWN_TYPE);
        EXPECT_EQ(p, nullptr);
        // A pipeline being reset is freed and cleared as well.
        ASSERT_EQ(ArcCMP_Begin('N', 'O', 0, 0, nullptr, &p), 0);
        EXPECT_EQ(ArcCMP_Begin(pair.first, pair.second, 0, 0, nullptr, &p), ARCCMP_UNKNOWN_TYPE);
        EXPECT_EQ(p, nullptr);
    }
}

TEST(Pipeline, BeginResetsAndReusesAPipeline) {
    const Bytes data = WordText(50000, 28);
    ArcCmpPipeline* p = nullptr;
    for (char to : {'O', 'O', 'Z', 'L', 'N', 'O'}) {
        SCOPED_TRACE(to);
        ASSERT_EQ(ArcCMP_Begin('N', to, 0, 0, nullptr, &p), 0);
        Bytes out(200000);
        size_t produced = 0;
        ASSERT_EQ(ArcCMP_Run(p, data.data(), data.size(), out.data(), out.size(), &produced),
                  ARCCMP_NEED_INPUT);
        ASSERT_EQ(ArcCMP_Run(p, nullptr, 0, out.data(), out.size(), &produced), ARCCMP_FINISHED);
        out.resize(produced);
        EXPECT_TRUE(out == Pipe('N', to, data, Whole()).data);
    }
    EXPECT_EQ(ArcCMP_End(p), 0);
}

TEST(Pipeline, InputAndOutputInTheSameBuffer) {
    const Bytes data = WordText(100000, 29);
    for (char from : {'N', 'O', 'Z'}) {
        for (char to : {'N', 'O', 'L'}) {
            for (size_t outOffset : {size_t{0}, size_t{100}}) {
                SCOPED_TRACE(std::string(1, from) + " -> " + to + " output at " + std::to_string(outOffset));
                const Bytes source = Pipe('N', from, data, Whole()).data;
                // The input sits in the buffer that also receives the output; the
                // caller empties the output after each 2 and gives the same input again.
                Bytes buffer = source;
                unsigned char* out = buffer.data() + outOffset;
                const size_t outSize = std::min<size_t>(4000, buffer.size() - outOffset);
                ArcCmpPipeline* p = nullptr;
                ASSERT_EQ(ArcCMP_Begin(from, to, 0, 0, nullptr, &p), 0);
                Bytes result;
                size_t length = buffer.size();
                int rc = 0;
                size_t produced = 0;
                while ((rc = ArcCMP_Run(p, length ? buffer.data() : nullptr, length, out, outSize,
                                        &produced)) != ARCCMP_FINISHED) {
                    if (rc == ARCCMP_NEED_INPUT) {
                        ASSERT_NE(length, 0u);
                        length = 0;
                        continue;
                    }
                    ASSERT_EQ(rc, ARCCMP_OUTPUT_READY);
                    result.insert(result.end(), out, out + produced);
                    std::memset(out, 0xEE, outSize);
                }
                result.insert(result.end(), out, out + produced);
                EXPECT_EQ(ArcCMP_End(p), 0);
                EXPECT_TRUE(Pipe(to, 'N', result, Whole()).data == data);
            }
        }
    }
}

TEST(Pipeline, OutputStaysInTheBufferUntilReported) {
    // After 1 the caller passes the same output again; earlier bytes are kept.
    const Bytes data = WordText(3000, 30);
    ArcCmpPipeline* p = nullptr;
    ASSERT_EQ(ArcCMP_Begin('N', 'D', 0, 0, nullptr, &p), 0);
    Bytes out(10000);
    size_t produced = 7;
    EXPECT_EQ(ArcCMP_Run(p, data.data(), 1000, out.data(), out.size(), &produced), ARCCMP_NEED_INPUT);
    EXPECT_EQ(produced, 0u);
    EXPECT_EQ(ArcCMP_Run(p, data.data() + 1000, 2000, out.data(), out.size(), &produced), ARCCMP_NEED_INPUT);
    EXPECT_EQ(ArcCMP_Run(p, nullptr, 0, out.data(), out.size(), &produced), ARCCMP_FINISHED);
    ASSERT_EQ(produced, 3000u);
    EXPECT_TRUE(Bytes(out.begin(), out.begin() + 3000) == data);
    EXPECT_EQ(ArcCMP_Run(p, nullptr, 0, out.data(), out.size(), &produced), ARCCMP_FINISHED);
    EXPECT_EQ(produced, 0u) << "a finished pipeline reports 3 with nothing more";
    EXPECT_EQ(ArcCMP_End(p), 0);
}

TEST(Pipeline, BrokenInputGivesItsErrorState) {
    const Bytes text = WordText(20000, 31);
    const Bytes deflated = Pipe('N', 'O', text, Whole()).data;
    const Bytes lzw16 = Pipe('N', 'Z', text, Whole()).data;
    Bytes deflateCut(deflated.begin(), deflated.end() - 6);
    Bytes deflateFlipped = deflated;
    deflateFlipped[deflated.size() / 2] ^= 0x55;
    // zlib header with FDICT set: 0x78 0xBB is a valid check value for that.
    const Bytes presetDictionary = {0x78, 0xBB, 0x00, 0x00, 0x00, 0x01, 0x4B, 0x04, 0x00};
    Bytes lzwBadCode = {0xF1, 0xD9, 0x8C, 0x61, 0x04, 0x02};
    struct Case {
        const char* name;
        char from;
        Bytes stream;
        int state;
    };
    const Case cases[] = {
        {"deflate cut short", 'O', deflateCut, ARCCMP_CODEC_FAILED},
        {"deflate only a header", 'O', {0x78, 0x9C}, ARCCMP_CODEC_FAILED},
        {"deflate corrupt", 'O', deflateFlipped, ARCCMP_CODEC_FAILED},
        {"deflate preset dictionary", 'O', presetDictionary, ARCCMP_CODEC_FAILED},
        {"16-bit stream as 12-bit letter", 'L', lzw16, ARCCMP_LZW_WIDTH},
        {"16-bit stream as 15-bit letter", '5', lzw16, ARCCMP_LZW_WIDTH},
        {"lzw bad magic", 'Z', deflated, ARCCMP_BAD_LZW},
        {"lzw code above next free", 'Z', lzwBadCode, ARCCMP_BAD_LZW},
        {"lzw header cut", 'Z', {0xF1, 0xD9}, ARCCMP_BAD_LZW},
    };
    for (const auto& c : cases) {
        for (char to : {'N', 'O', 'Z'}) {
            SCOPED_TRACE(std::string(c.name) + " -> " + to);
            EXPECT_EQ(Pipe(c.from, to, c.stream, Splitter::Fixed(1000, 1000)).state, c.state);
        }
    }
}

TEST(Pipeline, ErrorStateStaysUntilBegunAgain) {
    const Bytes bad = {0x01, 0x02, 0x03};
    ArcCmpPipeline* p = nullptr;
    ASSERT_EQ(ArcCMP_Begin('L', 'N', 0, 0, nullptr, &p), 0);
    Bytes out(100);
    size_t produced = 0;
    EXPECT_EQ(ArcCMP_Run(p, bad.data(), bad.size(), out.data(), out.size(), &produced), ARCCMP_BAD_LZW);
    EXPECT_EQ(ArcCMP_Run(p, bad.data(), bad.size(), out.data(), out.size(), &produced), ARCCMP_BAD_LZW);
    EXPECT_EQ(ArcCMP_Run(p, nullptr, 0, out.data(), out.size(), &produced), ARCCMP_BAD_LZW);
    ASSERT_EQ(ArcCMP_Begin('N', 'N', 0, 0, nullptr, &p), 0);
    EXPECT_EQ(ArcCMP_Run(p, bad.data(), bad.size(), out.data(), out.size(), &produced), ARCCMP_NEED_INPUT);
    EXPECT_EQ(ArcCMP_End(p), 0);
}

TEST(Pipeline, CallerMistakesFailInsteadOfLoopingOrLosingData) {
    const Bytes data = WordText(5000, 32);
    for (char to : {'D', 'O', 'L'}) {
        SCOPED_TRACE(to);
        Bytes out(100000);
        size_t produced = 0;
        auto begin = [&] {
            ArcCmpPipeline* p = nullptr;
            EXPECT_EQ(ArcCMP_Begin('N', to, 0, 0, nullptr, &p), 0);
            return p;
        };
        // An output of 0 bytes could never make progress.
        ArcCmpPipeline* p = begin();
        EXPECT_EQ(ArcCMP_Run(p, data.data(), data.size(), out.data(), 0, &produced), ARCCMP_CODEC_FAILED);
        ArcCMP_End(p);
        // After 2 the same input must come again: another length, or the end, is refused.
        for (size_t second : {size_t{4000}, size_t{0}}) {
            p = begin();
            ASSERT_EQ(ArcCMP_Run(p, data.data(), data.size(), out.data(), 1, &produced), ARCCMP_OUTPUT_READY);
            EXPECT_EQ(produced, 1u);
            EXPECT_EQ(ArcCMP_Run(p, second ? data.data() : nullptr, second, out.data(), 1, &produced),
                      ARCCMP_CODEC_FAILED);
            ArcCMP_End(p);
        }
        // After 1 the output keeps its bytes; a smaller output would drop them.
        p = begin();
        ASSERT_EQ(ArcCMP_Run(p, data.data(), data.size(), out.data(), out.size(), &produced),
                  ARCCMP_NEED_INPUT);
        if (ArcCMP_Run(p, data.data(), 1, out.data(), 1, &produced) != ARCCMP_CODEC_FAILED) {
            // Only a coder that holds everything internally may keep nothing in the output.
            EXPECT_EQ(to, 'O');
        }
        ArcCMP_End(p);
    }
}

TEST(Pipeline, EndReportsAnUnfinishedDeflate) {
    const Bytes data = WordText(100000, 33);
    ArcCmpPipeline* p = nullptr;
    ASSERT_EQ(ArcCMP_Begin('N', 'O', 0, 0, nullptr, &p), 0);
    Bytes out(100);
    size_t produced = 0;
    const int rc = ArcCMP_Run(p, data.data(), data.size(), out.data(), out.size(), &produced);
    EXPECT_TRUE(rc == ARCCMP_NEED_INPUT || rc == ARCCMP_OUTPUT_READY) << rc;
    EXPECT_EQ(ArcCMP_End(p), ARCCMP_CODEC_FAILED);
    EXPECT_EQ(ArcCMP_End(nullptr), 0);
}

TEST(Pipeline, HugeExpansionStreamsThroughASmallOutput) {
    // 64 MB of zeros deflate to ~64 KB; the pipeline's buffers are fixed, so this is
    // drained 4 KB at a time whatever the expansion ratio.
    const size_t size = 64 << 20;
    const Bytes bomb = Pipe('N', 'O', Bytes(size, 0), Whole()).data;
    ASSERT_LT(bomb.size(), 100000u);
    ArcCmpPipeline* p = nullptr;
    ASSERT_EQ(ArcCMP_Begin('O', 'N', 0, 0, nullptr, &p), 0);
    Bytes out(4096);
    size_t produced = 0;
    size_t total = 0;
    bool allZero = true;
    auto take = [&] {
        total += produced;
        for (size_t i = 0; i < produced; ++i) allZero = allZero && out[i] == 0;
    };
    int rc = ArcCMP_Run(p, bomb.data(), bomb.size(), out.data(), out.size(), &produced);
    for (; rc == ARCCMP_OUTPUT_READY;
         rc = ArcCMP_Run(p, bomb.data(), bomb.size(), out.data(), out.size(), &produced))
        take();
    if (rc == ARCCMP_NEED_INPUT) {
        while ((rc = ArcCMP_Run(p, nullptr, 0, out.data(), out.size(), &produced)) == ARCCMP_OUTPUT_READY)
            take();
    }
    ASSERT_EQ(rc, ARCCMP_FINISHED);
    take();
    EXPECT_EQ(total, size);
    EXPECT_TRUE(allZero);
    EXPECT_EQ(ArcCMP_End(p), 0);
}

}  // namespace
