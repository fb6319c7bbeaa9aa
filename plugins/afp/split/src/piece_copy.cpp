// Writing one piece of a container to its own file: stored letters are copied, the others
// decoded through the compression pipeline, 65280 bytes at a time.
#include <memory>
#include <optional>

#include "afp_split.h"
#include "arc_compress.h"
#include "split_internal.h"

namespace afp {

namespace {

struct PipelineEnd {
    void operator()(ArcCmpPipeline* pipeline) const { ArcCMP_End(pipeline); }
};

// Output side: counts against the limit and checks every write.
class PieceWriter {
public:
    PieceWriter(std::FILE* file, uint64_t limit) : file_(file), limit_(limit) {}
    bool Write(const unsigned char* data, size_t length) {
        if (length > limit_ - written_) return false;
        written_ += length;
        return std::fwrite(data, 1, length, file_) == length;
    }

private:
    std::FILE* file_;
    uint64_t limit_;
    uint64_t written_ = 0;
};

// What reading the input found: the byte where it stopped making sense, if anywhere.
struct Input {
    std::FILE* source;
    uint64_t at;    // container offset of the next byte to read
    uint64_t left;  // bytes of the piece not read yet
    bool counted;   // the piece has a length (else it runs to the end of the file)
    std::optional<uint64_t> damagedAt;
};

// Next input chunk: at most kPieceChunk bytes and no more than `left`. false on a read error
// or a piece that ends before its length (damaged where the file ends).
bool ReadChunk(Input& in, std::vector<unsigned char>& buffer, size_t& got) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(in.left, buffer.size()));
    got = want == 0 ? 0 : std::fread(buffer.data(), 1, want, in.source);
    in.left -= got;
    in.at += got;
    if (std::ferror(in.source)) return false;
    if (got == 0 && in.counted && in.left > 0) {
        in.damagedAt = in.at;
        return false;
    }
    return true;
}

bool Copy(Input& in, PieceWriter& writer) {
    std::vector<unsigned char> buffer(kPieceChunk);
    for (;;) {
        size_t got = 0;
        if (!ReadChunk(in, buffer, got)) return false;
        if (got == 0) return true;
        if (!writer.Write(buffer.data(), got)) return false;
    }
}

bool Decode(Input& in, PieceWriter& writer, char letter) {
    ArcCmpPipeline* raw = nullptr;
    if (ArcCMP_Begin(letter, 'N', 0, 0, nullptr, &raw) != 0) {
        in.damagedAt = in.at;  // a compression nobody knows
        return false;
    }
    std::unique_ptr<ArcCmpPipeline, PipelineEnd> pipeline(raw);
    std::vector<unsigned char> input(kPieceChunk);
    std::vector<unsigned char> output(kPieceChunk);
    for (;;) {
        const uint64_t chunkAt = in.at;
        size_t got = 0;
        if (!ReadChunk(in, input, got)) return false;
        int state = 0;
        for (;;) {
            size_t produced = 0;
            state = ArcCMP_Run(pipeline.get(), input.data(), got, output.data(), output.size(), &produced);
            if (state != ARCCMP_OUTPUT_READY && state != ARCCMP_FINISHED) break;
            if (!writer.Write(output.data(), produced)) return false;
            if (state == ARCCMP_FINISHED) return true;
        }
        // Data the codec refused lies in this chunk; more input wanted after the input
        // ended: the data never reached its end.
        if (state != ARCCMP_NEED_INPUT) {
            in.damagedAt = chunkAt;
            return false;
        }
        if (got == 0) {
            in.damagedAt = in.at;
            return false;
        }
    }
}

}  // namespace

int CopyPiece(std::FILE* source, const std::filesystem::path& target, uint64_t offset,
              std::optional<uint64_t> length, char letter, uint64_t limit, uint64_t* damagedAt) {
    if (source == nullptr || offset > static_cast<uint64_t>(INT64_MAX)) return 1;
    if (fseeko(source, static_cast<off_t>(offset), SEEK_SET) != 0) return 1;
    File out(std::fopen(target.c_str(), "wb"));
    if (!out) return 2;
    PieceWriter writer(out.get(), limit);
    Input in{source, offset, length.value_or(UINT64_MAX), length.has_value(), std::nullopt};
    const bool stored = letter == 'D' || letter == 'N';
    const bool done = stored ? Copy(in, writer) : Decode(in, writer, letter);
    if (in.damagedAt) {
        if (damagedAt) *damagedAt = *in.damagedAt;
        std::fclose(out.release());
        return 3;
    }
    if (!done) return 2;
    return std::fclose(out.release()) == 0 ? 0 : 2;
}

}  // namespace afp
