// The memory output of retrievals: the data a retrieval delivers, appended to the buffer
// of the scope that lives on the calling thread.
#include <new>
#include <stdexcept>

#include "documents.h"

namespace qelwww::detail {

namespace {
thread_local OutputScope* currentScope = nullptr;
}

OutputScope::OutputScope(std::string* buffer) : buffer_(buffer), previous_(currentScope) {
    currentScope = this;
}

OutputScope::~OutputScope() { currentScope = previous_; }

int AppendOutput(OpenFolder*, const unsigned char* data, size_t length) {
    OutputScope* scope = currentScope;
    if (scope == nullptr || scope->buffer_ == nullptr || scope->failed_) return 0;
    if (length == 0) return 1;
    std::string& buffer = *scope->buffer_;
    // A length the buffer cannot hold is refused before the data is touched.
    if (data == nullptr || length > buffer.max_size() - buffer.size()) {
        scope->failed_ = true;
        return 0;
    }
    try {
        // std::string grows its capacity geometrically, so many small blocks cost linear time.
        buffer.append(reinterpret_cast<const char*>(data), length);
    } catch (const std::bad_alloc&) {
        scope->failed_ = true;
        return 0;
    } catch (const std::length_error&) {
        scope->failed_ = true;
        return 0;
    }
    return 1;
}

}  // namespace qelwww::detail
