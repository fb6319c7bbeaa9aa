// sm_messages.cpp - issuing the storage manager's messages through the request layer.
#include "sm_messages.h"

#include <cstdint>

#include "qel_cshandle.h"

namespace qelsm::detail {

namespace {
constexpr const char* kSource = "Qelcssm";
}

void PlaceMessage(CsHandle* handle, int row, const char* text, int line) {
    if (text == nullptr) {
        CsIssueMessageV(handle, row, 'S', kSource, 'I', int32_t(line), 'V');
    } else {
        CsIssueMessageV(handle, row, 'S', text, 'S', kSource, 'I', int32_t(line), 'V');
    }
}

void NotFoundMessage(CsHandle* handle, const char* name, const char* group, int line) {
    CsIssueMessageV(handle, kMsgNotFoundNoStorage, 'S', name, 'S', group, 'S', kSource, 'I', int32_t(line),
                    'V');
}

}  // namespace qelsm::detail
