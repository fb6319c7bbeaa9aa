// The stage of the plain letters 'N' and 'D': copies what fits.
#include "allocation_hook.h"
#include "stage.h"

#include <algorithm>
#include <cstring>

namespace arc_compress::detail {
namespace {

class CopyStage final : public Stage {
public:
    using Stage::Stage;

    int Reset() override {
        finished_ = false;
        return 0;
    }

    int Run(StageBuffers& b) override {
        const size_t n = std::min(b.inLength - b.inPos, b.outSize - b.outPos);
        if (n > 0) std::memcpy(b.out + b.outPos, b.in + b.inPos, n);
        b.inPos += n;
        b.outPos += n;
        if (b.inPos == b.inLength && b.inputEnded) {
            finished_ = true;
            return ARCCMP_OUTPUT_READY;
        }
        return b.outPos == b.outSize ? ARCCMP_OUTPUT_READY : ARCCMP_NEED_INPUT;
    }
};

}  // namespace

std::unique_ptr<Stage> MakeCopyStage(ArcCmpType letter, Direction direction) {
    return std::make_unique<CopyStage>(letter, direction);
}

int MakeStage(ArcCmpType letter, Direction direction, std::unique_ptr<Stage>& reuse) {
    if (reuse && reuse->letter() == letter && reuse->direction() == direction) {
        const int rc = reuse->Reset();
        if (rc != 0) reuse.reset();
        return rc;
    }
    if (reuse) {
        reuse->End();
        reuse.reset();
    }
    const bool lzw = ArcCMP_LzwBits(letter) != 0;
    if (!lzw && letter != 'O' && letter != 'N' && letter != 'D') return ARCCMP_UNKNOWN_TYPE;
    try {
        CheckAllocation();
        if (lzw)
            reuse = MakeLzwStage(letter, direction);
        else if (letter == 'O')
            reuse = MakeZlibStage(direction);
        else
            reuse = MakeCopyStage(letter, direction);
    } catch (const std::bad_alloc&) {
        return ARCCMP_NO_MEMORY;
    }
    const int rc = reuse->Reset();
    if (rc != 0) reuse.reset();
    return rc;
}

}  // namespace arc_compress::detail
