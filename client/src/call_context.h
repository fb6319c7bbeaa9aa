// call_context.h - points a handle's callback context at a call's own state for the
// length of one request (internal).
#pragma once

#include "qel_cs.h"

namespace qelclient {

class CallContext {
public:
    CallContext(CsHandle* handle, void* context) : handle_(handle), saved_(handle->callbackContext) {
        handle_->callbackContext = context;
    }
    ~CallContext() { handle_->callbackContext = saved_; }
    CallContext(const CallContext&) = delete;
    CallContext& operator=(const CallContext&) = delete;

private:
    CsHandle* handle_;
    void* saved_;
};

}  // namespace qelclient
