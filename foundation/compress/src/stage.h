// One codec of the compression pipeline; private to foundation/compress.
#pragma once

#include "arc_compress.h"

#include <cstddef>
#include <memory>

namespace arc_compress::detail {

enum class Direction { kExpand = 0, kCompress = 1 };

// The buffers of one stage run; Run advances inPos and outPos.
struct StageBuffers {
    const unsigned char* in = nullptr;
    size_t inLength = 0;
    size_t inPos = 0;
    bool inputEnded = false;  // no input follows what `in` holds
    unsigned char* out = nullptr;
    size_t outSize = 0;
    size_t outPos = 0;
};

class Stage {
public:
    Stage(ArcCmpType letter, Direction direction) : letter_(letter), direction_(direction) {}
    virtual ~Stage() = default;
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

    // Makes the stage ready for a new stream. 0 or a pipeline error state.
    virtual int Reset() = 0;
    // 1 input used up (output may hold bytes), 2 output full or stage finished
    // (see finished()), or a pipeline error state.
    virtual int Run(StageBuffers& buffers) = 0;
    // Releases the codec; 0, or ARCCMP_CODEC_FAILED when the codec reports an error.
    virtual int End() { return 0; }

    bool finished() const { return finished_; }
    ArcCmpType letter() const { return letter_; }
    Direction direction() const { return direction_; }

protected:
    bool finished_ = false;

private:
    ArcCmpType letter_;
    Direction direction_;
};

// Makes the stage for a letter and direction, or resets `reuse` when it already is one.
// 0, ARCCMP_UNKNOWN_TYPE, ARCCMP_NO_MEMORY or ARCCMP_CODEC_FAILED.
int MakeStage(ArcCmpType letter, Direction direction, std::unique_ptr<Stage>& reuse);

std::unique_ptr<Stage> MakeCopyStage(ArcCmpType letter, Direction direction);
std::unique_ptr<Stage> MakeLzwStage(ArcCmpType letter, Direction direction);
std::unique_ptr<Stage> MakeZlibStage(Direction direction);

}  // namespace arc_compress::detail
