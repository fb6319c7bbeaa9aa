// xdr_buffer.cpp - a marshalling stream over memory.
#include "qel_cswire.h"
#include "xdr_detail.h"

#include <cstring>

QelXdrBuffer::QelXdrBuffer(int op, std::span<const unsigned char> input) { Reset(op, input); }

QelXdrBuffer::~QelXdrBuffer() { QelXdr_CloseCodePages(&xdr_); }

void QelXdrBuffer::Reset(int op, std::span<const unsigned char> input) {
    xdr_.op = op;
    xdr_.getBytes = &QelXdrBuffer::Get;
    xdr_.putBytes = &QelXdrBuffer::Put;
    xdr_.owner = this;
    qel_cswire::detail::StartMessageCounts(&xdr_);
    xdr_.error = 0;
    bytes_.assign(input.begin(), input.end());
    read_ = 0;
}

bool QelXdrBuffer::Get(QelXdr* xdr, void* bytes, uint32_t count) {
    auto* self = static_cast<QelXdrBuffer*>(xdr->owner);
    if (self->Remaining() < count) return false;
    std::memcpy(bytes, self->bytes_.data() + self->read_, count);
    self->read_ += count;
    return true;
}

bool QelXdrBuffer::Put(QelXdr* xdr, const void* bytes, uint32_t count) {
    auto* self = static_cast<QelXdrBuffer*>(xdr->owner);
    const auto* p = static_cast<const unsigned char*>(bytes);
    self->bytes_.insert(self->bytes_.end(), p, p + count);
    return true;
}
