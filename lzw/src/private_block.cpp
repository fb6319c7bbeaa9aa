// Private blocks: plain allocations, counted process-wide so leaks show in tests.
#include "lzw_detail.h"

#include <atomic>
#include <new>

namespace zyplzw::detail {
namespace {

std::atomic<long> g_liveBlocks{0};

template <typename Block>
Block* NewBlock() {
    Block* block = new (std::nothrow) Block();
    if (block != nullptr) {
        g_liveBlocks.fetch_add(1, std::memory_order_relaxed);
    }
    return block;
}

BlockKind KindOf(const ZypLzwState* state) { return static_cast<const BlockHeader*>(state->block)->kind; }

}  // namespace

EncoderBlock* NewEncoderBlock() { return NewBlock<EncoderBlock>(); }
DecoderBlock* NewDecoderBlock() { return NewBlock<DecoderBlock>(); }

void FreeBlock(ZypLzwState* state) {
    if (state->block == nullptr) {
        return;
    }
    if (KindOf(state) == BlockKind::Encoder) {
        delete static_cast<EncoderBlock*>(state->block);
    } else {
        delete static_cast<DecoderBlock*>(state->block);
    }
    state->block = nullptr;
    g_liveBlocks.fetch_sub(1, std::memory_order_relaxed);
}

EncoderBlock* EncoderOf(ZypLzwState* state) {
    if (state == nullptr || state->block == nullptr || KindOf(state) != BlockKind::Encoder) {
        return nullptr;
    }
    return static_cast<EncoderBlock*>(state->block);
}

DecoderBlock* DecoderOf(ZypLzwState* state) {
    if (state == nullptr || state->block == nullptr || KindOf(state) != BlockKind::Decoder) {
        return nullptr;
    }
    return static_cast<DecoderBlock*>(state->block);
}

}  // namespace zyplzw::detail

extern "C" ZYPLZW_API long ZypLzwLiveBlocks(void) {
    return zyplzw::detail::g_liveBlocks.load(std::memory_order_relaxed);
}
