// The compression pipeline: expand stage -> byte window -> compress stage.
#include "allocation_hook.h"
#include "arc_compress.h"
#include "stage.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

using namespace arc_compress::detail;

namespace {

constexpr size_t kMiddleSize = 32767;

enum PassThrough {
    kBothWork = 0,
    kPlainInput = -1,   // the compress stage reads the caller's input
    kPlainOutput = 1,   // the expand stage writes the caller's output
    kNothingToDo = -2,  // plain in, plain out, no window: the data is copied
};

bool Overlaps(const unsigned char* a, size_t aLength, const unsigned char* b, size_t bLength) {
    if (aLength == 0 || bLength == 0) return false;
    const auto pa = reinterpret_cast<uintptr_t>(a);
    const auto pb = reinterpret_cast<uintptr_t>(b);
    return pa < pb + bLength && pb < pa + aLength;
}

}  // namespace

struct ArcCmpPipeline {
    int state = ARCCMP_NEED_INPUT;
    int mode = kBothWork;
    std::unique_ptr<Stage> expand;
    std::unique_ptr<Stage> compress;

    std::vector<unsigned char> middle;
    size_t middleLength = 0;  // bytes in the middle buffer
    size_t middlePos = 0;     // bytes of it already compressed (or skipped)

    std::vector<unsigned char> inputCopy;  // when input and output overlap
    size_t inPos = 0;
    bool inputPending = false;  // Run returned 2 before the input was used up
    size_t pendingLength = 0;
    size_t outPos = 0;  // output bytes written since the last 2 or 3

    bool expandEnded = false;
    bool finished = false;
    uint64_t expanded = 0;  // bytes the expand stage has produced so far
    bool window = false;
    uint64_t windowStart = 0;
    uint64_t windowEnd = 0;  // exclusive; max = to the end

    int Fail(int error) {
        state = error;
        return error;
    }

    // Keeps only the window's part of the bytes expanded into middle[from..).
    void ApplyWindow(size_t from) {
        const size_t n = middleLength - from;
        const uint64_t chunkStart = expanded;
        expanded += n;
        if (!window || n == 0) return;
        const uint64_t chunkEnd = chunkStart + n;
        const uint64_t keepStart = std::max(chunkStart, windowStart);
        const uint64_t keepEnd = std::min(chunkEnd, windowEnd);
        if (keepEnd <= keepStart) {
            middleLength = from;
        } else {
            const auto skip = static_cast<size_t>(keepStart - chunkStart);
            const auto keep = static_cast<size_t>(keepEnd - keepStart);
            if (skip > 0) std::memmove(middle.data() + from, middle.data() + from + skip, keep);
            middleLength = from + keep;
        }
        if (chunkEnd >= windowEnd) expandEnded = true;
    }
};

namespace {

void ResetRun(ArcCmpPipeline& p) {
    p.state = ARCCMP_NEED_INPUT;
    p.middleLength = p.middlePos = 0;
    std::vector<unsigned char>().swap(p.middle);
    std::vector<unsigned char>().swap(p.inputCopy);
    p.inPos = 0;
    p.inputPending = false;
    p.pendingLength = 0;
    p.outPos = 0;
    p.expandEnded = false;
    p.finished = false;
    p.expanded = 0;
}

int Result(ArcCmpPipeline& p, int result, size_t* produced) {
    if (result == ARCCMP_OUTPUT_READY || result == ARCCMP_FINISHED) {
        *produced = p.outPos;
        p.outPos = 0;
    }
    if (result == ARCCMP_FINISHED) {
        p.finished = true;
        p.state = ARCCMP_FINISHED;
    }
    if (result == ARCCMP_NEED_INPUT) {
        p.inPos = 0;
        p.inputPending = false;
        std::vector<unsigned char>().swap(p.inputCopy);
    }
    return result;
}

// Modes -1, -2 and 1: one stage between the caller's buffers.
int RunSingle(ArcCmpPipeline& p, Stage& stage, StageBuffers& b, size_t* produced) {
    const int rc = stage.Run(b);
    p.inPos = b.inPos;
    p.outPos = b.outPos;
    if (rc > ARCCMP_FINISHED) return p.Fail(rc);
    if (stage.finished()) return Result(p, ARCCMP_FINISHED, produced);
    if (rc == ARCCMP_NEED_INPUT) return Result(p, ARCCMP_NEED_INPUT, produced);
    return Result(p, ARCCMP_OUTPUT_READY, produced);
}

int RunBoth(ArcCmpPipeline& p, const StageBuffers& caller, size_t* produced) {
    for (;;) {
        if (p.state == ARCCMP_NEED_INPUT) {
            if (p.middlePos == p.middleLength) p.middlePos = p.middleLength = 0;
            if (!p.expandEnded && p.middleLength < p.middle.size()) {
                StageBuffers b = caller;
                b.inPos = p.inPos;
                b.out = p.middle.data();
                b.outSize = p.middle.size();
                b.outPos = p.middleLength;
                const size_t from = p.middleLength;
                const int rc = p.expand->Run(b);
                p.inPos = b.inPos;
                if (rc > ARCCMP_FINISHED) return p.Fail(rc);
                p.middleLength = b.outPos;
                if (p.expand->finished()) p.expandEnded = true;
                p.ApplyWindow(from);
                if (!p.expandEnded) {
                    if (rc == ARCCMP_NEED_INPUT) return Result(p, ARCCMP_NEED_INPUT, produced);
                    if (p.middlePos == p.middleLength) continue;  // all before the window
                }
            }
            p.state = ARCCMP_OUTPUT_READY;
        }
        StageBuffers b;
        b.in = p.middle.data();
        b.inLength = p.middleLength;
        b.inPos = p.middlePos;
        b.inputEnded = p.expandEnded;
        b.out = caller.out;
        b.outSize = caller.outSize;
        b.outPos = p.outPos;
        const int rc = p.compress->Run(b);
        p.middlePos = b.inPos;
        p.outPos = b.outPos;
        if (rc > ARCCMP_FINISHED) return p.Fail(rc);
        if (p.compress->finished()) return Result(p, ARCCMP_FINISHED, produced);
        if (rc == ARCCMP_NEED_INPUT) {
            p.state = ARCCMP_NEED_INPUT;
            continue;
        }
        return Result(p, ARCCMP_OUTPUT_READY, produced);
    }
}

}  // namespace

int ArcCMP_Begin(ArcCmpType expandType, ArcCmpType compressType, uint64_t windowStart, uint64_t windowLength,
                 int* nothingToDo, ArcCmpPipeline** pipeline) {
    if (nothingToDo != nullptr) *nothingToDo = 0;
    if (pipeline == nullptr) return ARCCMP_CODEC_FAILED;
    ArcCmpPipeline* p = *pipeline;
    if (p == nullptr) {
        try {
            CheckAllocation();
            p = new ArcCmpPipeline();
        } catch (const std::bad_alloc&) {
            return ARCCMP_NO_MEMORY;
        }
    }
    ResetRun(*p);
    p->window = windowStart != 0 || windowLength != 0;
    p->windowStart = windowStart;
    const uint64_t unlimited = std::numeric_limits<uint64_t>::max();
    p->windowEnd = (windowLength == 0 || windowLength > unlimited - windowStart) ? unlimited
                                                                                 : windowStart + windowLength;

    // A window needs the expanded bytes in the middle buffer, so it keeps both stages.
    p->mode = kBothWork;
    if (!p->window) {
        if (ArcCMP_IsCompressType(expandType) != 1) p->mode = kPlainInput;
        if (ArcCMP_IsCompressType(compressType) != 1)
            p->mode = p->mode == kPlainInput ? kNothingToDo : kPlainOutput;
    }

    int rc = MakeStage(expandType, Direction::kExpand, p->expand);
    if (rc == 0) rc = MakeStage(compressType, Direction::kCompress, p->compress);
    if (rc == 0 && p->mode == kBothWork) {
        try {
            CheckAllocation();
            p->middle.resize(kMiddleSize);
        } catch (const std::bad_alloc&) {
            rc = ARCCMP_NO_MEMORY;
        }
    }
    if (rc != 0) {
        ArcCMP_End(p);
        *pipeline = nullptr;
        return rc;
    }
    if (nothingToDo != nullptr && p->mode == kNothingToDo) *nothingToDo = 1;
    *pipeline = p;
    return 0;
}

int ArcCMP_Run(ArcCmpPipeline* pipeline, const unsigned char* input, size_t inputLength,
               unsigned char* output, size_t outputSize, size_t* produced) {
    if (produced != nullptr) *produced = 0;
    if (pipeline == nullptr) return ARCCMP_CODEC_FAILED;
    ArcCmpPipeline& p = *pipeline;
    if (p.state < ARCCMP_NEED_INPUT || p.state > ARCCMP_FINISHED) return p.state;
    if (p.finished) return ARCCMP_FINISHED;
    if (produced == nullptr || (input == nullptr && inputLength > 0) || output == nullptr ||
        outputSize == 0 || p.outPos > outputSize)
        return p.Fail(ARCCMP_CODEC_FAILED);

    // After 2 the same input comes again; anything else would lose or repeat data.
    if (p.inputPending && inputLength != p.pendingLength) return p.Fail(ARCCMP_CODEC_FAILED);
    if (!p.inputPending) {
        p.inPos = 0;
        if (Overlaps(input, inputLength, output, outputSize)) {
            try {
                CheckAllocation();
                p.inputCopy.assign(input, input + inputLength);
            } catch (const std::bad_alloc&) {
                return p.Fail(ARCCMP_NO_MEMORY);
            }
        } else {
            std::vector<unsigned char>().swap(p.inputCopy);
        }
    }
    StageBuffers b;
    b.in = p.inputCopy.empty() ? input : p.inputCopy.data();
    b.inLength = inputLength;
    b.inPos = p.inPos;
    b.inputEnded = inputLength == 0;
    b.out = output;
    b.outSize = outputSize;
    b.outPos = p.outPos;

    int rc = 0;
    switch (p.mode) {
        case kPlainInput:
        case kNothingToDo: rc = RunSingle(p, *p.compress, b, produced); break;
        case kPlainOutput: rc = RunSingle(p, *p.expand, b, produced); break;
        default: rc = RunBoth(p, b, produced); break;
    }
    if (rc == ARCCMP_OUTPUT_READY) {
        p.inputPending = inputLength > 0;
        p.pendingLength = inputLength;
    }
    return rc;
}

int ArcCMP_End(ArcCmpPipeline* pipeline) {
    if (pipeline == nullptr) return 0;
    const int compressResult = pipeline->compress ? pipeline->compress->End() : 0;
    const int expandResult = pipeline->expand ? pipeline->expand->End() : 0;
    delete pipeline;
    return compressResult != 0 ? compressResult : expandResult;
}
