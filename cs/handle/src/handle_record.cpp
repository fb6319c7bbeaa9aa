// The parts of the handle record that own something: the connection, the layer's side.
#include "qel_cshandle.h"

CsHandleSide::~CsHandleSide() = default;

CsRequestState::~CsRequestState() {
    if (connection != nullptr && freeConnection != nullptr) freeConnection(connection);
}

void CsRequestState::Reset() {
    std::lock_guard lock(mutex);
    if (connection != nullptr && freeConnection != nullptr) freeConnection(connection);
    connection = nullptr;
    running = 0;
}

bool CsIsConnected(const CsHandle* handle) {
    return handle != nullptr && handle->def.request.connection != nullptr;
}
