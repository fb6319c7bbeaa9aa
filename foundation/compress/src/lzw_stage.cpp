// Pipeline stages over the own LZW stream codec.
#include "stage.h"

#include <algorithm>

namespace arc_compress::detail {
namespace {

// The codec is called with at most this much input and output at a time.
constexpr size_t kCodecChunk = 65535;

int MapLzwResult(int rc) {
    switch (rc) {
        case ARCLZW_NO_MEMORY: return ARCCMP_NO_MEMORY;
        case ARCLZW_WIDTH_TOO_LARGE: return ARCCMP_LZW_WIDTH;
        case ARCLZW_BAD_MAGIC:
        case ARCLZW_BAD_DATA: return ARCCMP_BAD_LZW;
        default: return ARCCMP_CODEC_FAILED;
    }
}

// Encoder and decoder share one calling pattern: a chunk of input goes in, and after
// status 3 the same chunk comes again until the codec reports it used up.
template <typename Codec, int (*Init)(Codec**, int), void (*Free)(Codec*),
          int (*Step)(Codec*, const unsigned char*, uint32_t, unsigned char*, uint32_t, uint32_t*, int*)>
class LzwStage final : public Stage {
public:
    using Stage::Stage;
    ~LzwStage() override { Free(codec_); }

    int Reset() override {
        finished_ = false;
        busy_ = false;
        chunk_ = 0;
        const int rc = Init(&codec_, ArcCMP_LzwBits(letter()));
        return rc == ARCLZW_OK ? 0 : MapLzwResult(rc);
    }

    int Run(StageBuffers& b) override {
        for (;;) {
            if (finished_) return ARCCMP_OUTPUT_READY;
            if (b.outPos == b.outSize) return ARCCMP_OUTPUT_READY;
            if (!busy_) {
                if (b.inPos == b.inLength && !b.inputEnded) return ARCCMP_NEED_INPUT;
                chunk_ = static_cast<uint32_t>(std::min(b.inLength - b.inPos, kCodecChunk));
                busy_ = true;
            }
            const auto room = static_cast<uint32_t>(std::min(b.outSize - b.outPos, kCodecChunk));
            uint32_t produced = 0;
            int status = 0;
            const int rc = Step(codec_, b.in + b.inPos, chunk_, b.out + b.outPos, room, &produced, &status);
            b.outPos += produced;
            if (rc == ARCLZW_AFTER_END && status == ARCLZW_ENDED) {
                finished_ = true;
                busy_ = false;
                continue;
            }
            if (rc != ARCLZW_OK) return MapLzwResult(rc);
            if (status == ARCLZW_INPUT_USED) {
                b.inPos += chunk_;
                busy_ = false;
            }
        }
    }

private:
    Codec* codec_ = nullptr;
    bool busy_ = false;  // the codec holds part of the current chunk
    uint32_t chunk_ = 0;
};

using EncodeStage = LzwStage<ArcLZWEncoder, ArcLZW_EncodeInit, ArcLZW_EncodeFree, ArcLZW_Encode>;
using DecodeStage = LzwStage<ArcLZWDecoder, ArcLZW_DecodeInit, ArcLZW_DecodeFree, ArcLZW_Decode>;

}  // namespace

std::unique_ptr<Stage> MakeLzwStage(ArcCmpType letter, Direction direction) {
    if (direction == Direction::kCompress) return std::make_unique<EncodeStage>(letter, direction);
    return std::make_unique<DecodeStage>(letter, direction);
}

}  // namespace arc_compress::detail
