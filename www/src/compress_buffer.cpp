// A whole buffer through the compression pipeline.
#include "qel_www.h"

#include <algorithm>
#include <memory>
#include <new>

#include "arc_compress.h"

namespace {

constexpr size_t kStep = 65535;

struct PipelineCloser {
    void operator()(ArcCmpPipeline* p) const { ArcCMP_End(p); }
};

}  // namespace

int QelWWW_CompressBuffer(const void* data, size_t length, char expandType, char compressType,
                          std::vector<unsigned char>* result) {
    if (result == nullptr) return 0;
    result->clear();
    if (data == nullptr && length != 0) return 0;
    ArcCmpPipeline* raw = nullptr;
    int nothingToDo = 0;
    if (ArcCMP_Begin(expandType, compressType, 0, 0, &nothingToDo, &raw) != 0) return 0;
    std::unique_ptr<ArcCmpPipeline, PipelineCloser> pipeline(raw);
    try {
        if (nothingToDo) {
            const auto* bytes = static_cast<const unsigned char*>(data);
            result->assign(bytes, bytes + length);
            return 1;
        }
        std::vector<unsigned char> out(kStep + 1);
        const auto* in = static_cast<const unsigned char*>(data);
        size_t offset = 0;
        for (;;) {
            // The input in steps; a step of length 0 tells the pipeline it has ended.
            const size_t piece = std::min(kStep, length - offset);
            size_t produced = 0;
            int state = ArcCMP_Run(pipeline.get(), piece != 0 ? in + offset : nullptr, piece, out.data(),
                                   out.size(), &produced);
            while (state == ARCCMP_OUTPUT_READY) {
                result->insert(result->end(), out.begin(), out.begin() + static_cast<ptrdiff_t>(produced));
                state = ArcCMP_Run(pipeline.get(), piece != 0 ? in + offset : nullptr, piece, out.data(),
                                   out.size(), &produced);
            }
            if (state == ARCCMP_FINISHED) {
                result->insert(result->end(), out.begin(), out.begin() + static_cast<ptrdiff_t>(produced));
                break;
            }
            if (state != ARCCMP_NEED_INPUT || piece == 0) {
                result->clear();
                return 0;
            }
            offset += piece;
        }
    } catch (const std::bad_alloc&) {
        result->clear();
        return 0;
    }
    return ArcCMP_End(pipeline.release()) == 0 ? 1 : (result->clear(), 0);
}
