// Pipeline stages of the letter 'O': a deflate stream with zlib header.
#include "allocation_hook.h"
#include "stage.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace arc_compress::detail {
namespace {

constexpr size_t kZlibChunk = size_t{1} << 30;  // avail_in/avail_out are 32-bit

voidpf Allocate(voidpf, uInt items, uInt size) {
    try {
        CheckAllocation();
    } catch (const std::bad_alloc&) {
        return Z_NULL;
    }
    return std::calloc(items, size);
}

void Release(voidpf, voidpf address) { std::free(address); }

int InitFailure(int rc) { return rc == Z_MEM_ERROR ? ARCCMP_NO_MEMORY : ARCCMP_CODEC_FAILED; }

class ZlibStage final : public Stage {
public:
    ZlibStage(Direction direction) : Stage('O', direction) {}
    ~ZlibStage() override { End(); }

    int Reset() override {
        finished_ = false;
        if (open_) {
            const int rc = deflating() ? deflateReset(&stream_) : inflateReset(&stream_);
            return rc == Z_OK ? 0 : ARCCMP_CODEC_FAILED;
        }
        stream_ = z_stream{};
        stream_.zalloc = Allocate;
        stream_.zfree = Release;
        const int rc = deflating() ? deflateInit(&stream_, Z_DEFAULT_COMPRESSION) : inflateInit(&stream_);
        if (rc != Z_OK) return InitFailure(rc);
        open_ = true;
        return 0;
    }

    int Run(StageBuffers& b) override {
        for (;;) {
            if (finished_ || b.outPos == b.outSize) return ARCCMP_OUTPUT_READY;
            const size_t waiting = b.inLength - b.inPos;
            if (waiting == 0 && !b.inputEnded) return ARCCMP_NEED_INPUT;
            stream_.next_in = const_cast<Bytef*>(b.in + b.inPos);
            stream_.avail_in = static_cast<uInt>(std::min(waiting, kZlibChunk));
            stream_.next_out = b.out + b.outPos;
            stream_.avail_out = static_cast<uInt>(std::min(b.outSize - b.outPos, kZlibChunk));
            const uInt inBefore = stream_.avail_in;
            const uInt outBefore = stream_.avail_out;
            const int rc = deflating() ? deflate(&stream_, b.inputEnded ? Z_FINISH : Z_NO_FLUSH)
                                       : inflate(&stream_, Z_NO_FLUSH);
            const size_t used = inBefore - stream_.avail_in;
            const size_t made = outBefore - stream_.avail_out;
            b.inPos += used;
            b.outPos += made;
            if (rc == Z_STREAM_END) {
                finished_ = true;
                continue;
            }
            if (rc == Z_MEM_ERROR) return ARCCMP_NO_MEMORY;
            // A dictionary we cannot supply is as fatal as corrupt data.
            if (rc != Z_OK && !(rc == Z_BUF_ERROR && !deflating())) return ARCCMP_CODEC_FAILED;
            if (used == 0 && made == 0) {
                // No progress with room on both sides: the input ended inside the stream.
                return ARCCMP_CODEC_FAILED;
            }
        }
    }

    int End() override {
        if (!open_) return 0;
        open_ = false;
        const int rc = deflating() ? deflateEnd(&stream_) : inflateEnd(&stream_);
        return rc == Z_OK ? 0 : ARCCMP_CODEC_FAILED;
    }

private:
    bool deflating() const { return direction() == Direction::kCompress; }

    z_stream stream_{};
    bool open_ = false;
};

}  // namespace

std::unique_ptr<Stage> MakeZlibStage(Direction direction) { return std::make_unique<ZlibStage>(direction); }

}  // namespace arc_compress::detail
