// Out of memory: each allocation of the codecs and the pipeline is refused in turn;
// the result must be the out-of-memory code with nothing left allocated (ASan checks
// for leaks), and a later attempt must work.
#include "allocation_hook.h"
#include "arc_compress.h"
#include "compress_test_support.h"

#include <gtest/gtest.h>

#include <string>

using namespace compress_test;
using arc_compress::detail::allocationsBeforeFailure;

namespace {

struct HookGuard {
    explicit HookGuard(long n) { allocationsBeforeFailure = n; }
    ~HookGuard() { allocationsBeforeFailure = -1; }
};

TEST(OutOfMemory, CodecInitReportsItAndFreesEverything) {
    for (long n = 0; n < 2; ++n) {
        SCOPED_TRACE(n);
        ArcLZWEncoder* e = nullptr;
        ArcLZWDecoder* d = nullptr;
        {
            HookGuard guard(n);
            EXPECT_EQ(ArcLZW_EncodeInit(&e, 16), ARCLZW_NO_MEMORY);
        }
        EXPECT_EQ(e, nullptr);
        {
            HookGuard guard(n);
            EXPECT_EQ(ArcLZW_DecodeInit(&d, 16), ARCLZW_NO_MEMORY);
        }
        EXPECT_EQ(d, nullptr);
    }
    // Reusing a record whose tables cannot be resized frees it too.
    ArcLZWDecoder* d = nullptr;
    ASSERT_EQ(ArcLZW_DecodeInit(&d, 9), 0);
    {
        HookGuard guard(0);
        EXPECT_EQ(ArcLZW_DecodeInit(&d, 16), ARCLZW_NO_MEMORY);
    }
    EXPECT_EQ(d, nullptr);
}

TEST(OutOfMemory, EveryAllocationOfBeginGivesState5) {
    const Bytes data = WordText(3000, 40);
    for (const auto& [from, to] : {std::pair{'N', 'O'}, std::pair{'O', 'N'}, std::pair{'Z', 'L'},
                                   std::pair{'O', '4'}, std::pair{'N', 'N'}}) {
        const Bytes source = Pipe('N', from, data, Splitter::Fixed(65536, 65536)).data;
        long refused = 0;
        for (long n = 0;; ++n) {
            SCOPED_TRACE(std::string(1, from) + " -> " + to + " allocation " + std::to_string(n));
            ASSERT_LT(n, 100) << "Begin never succeeded";
            ArcCmpPipeline* p = nullptr;
            int rc = 0;
            {
                HookGuard guard(n);
                rc = ArcCMP_Begin(from, to, 0, 0, nullptr, &p);
            }
            if (rc == 0) {
                ArcCMP_End(p);
                break;
            }
            EXPECT_EQ(rc, ARCCMP_NO_MEMORY);
            EXPECT_EQ(p, nullptr);
            ++refused;
        }
        EXPECT_GT(refused, 0);
        const PipeResult r = Pipe(from, to, source, Splitter::Fixed(700, 700));
        EXPECT_EQ(r.state, ARCCMP_FINISHED);
    }
}

TEST(OutOfMemory, InputCopyRefusedDuringRun) {
    Bytes buffer = WordText(3000, 41);
    ArcCmpPipeline* p = nullptr;
    ASSERT_EQ(ArcCMP_Begin('N', 'L', 0, 0, nullptr, &p), 0);
    size_t produced = 0;
    {
        HookGuard guard(0);
        EXPECT_EQ(ArcCMP_Run(p, buffer.data(), buffer.size(), buffer.data(), buffer.size(), &produced),
                  ARCCMP_NO_MEMORY);
    }
    EXPECT_EQ(ArcCMP_Run(p, buffer.data(), 10, buffer.data() + 100, 100, &produced), ARCCMP_NO_MEMORY)
        << "the error state stays";
    EXPECT_EQ(ArcCMP_End(p), 0);
}

}  // namespace
