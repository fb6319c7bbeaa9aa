// stream.cpp - making, setting up and freeing a message stream.
#include "stream_state.h"
#include "xdr_detail.h"

#include <new>

CsStream* CsStreamCreate() {
    try {
        auto* stream = new CsStream();
        stream->send.plain.resize(CS_FRAME_MAX);
        stream->receive.raw.resize(CS_FRAME_MAX);
        stream->xdr.owner = stream;
        stream->xdr.getBytes = CsStreamGetHook;
        stream->xdr.putBytes = CsStreamPutHook;
        return stream;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void CsStreamFree(CsStream* stream) {
    if (stream == nullptr) return;
    CsStreamResetSend(stream);
    CsStreamResetReceive(stream);
    QelXdr_CloseCodePages(&stream->xdr);
    delete stream;
}

QelXdr* CsStreamXdr(CsStream* stream) { return &stream->xdr; }

bool CsStreamSetup(CsStream* stream, ArcIconvContext* context, int32_t localCcsid, int32_t wireCcsid) {
    stream->xdr.getBytes = CsStreamGetHook;
    stream->xdr.putBytes = CsStreamPutHook;
    stream->xdr.owner = stream;
    CsStreamResetSend(stream);
    CsStreamResetReceive(stream);
    stream->send.number = 0;
    stream->receive.number = 0;
    stream->send.compressionOn = false;
    stream->broken = false;
    return QelXdr_InitCodePages(&stream->xdr, context, localCcsid, wireCcsid);
}

void CsStreamCloseCodePages(CsStream* stream) { QelXdr_CloseCodePages(&stream->xdr); }

void CsStreamSetTransport(CsStream* stream, const ArcCOM_Funcs* funcs, ArcCOM_Connection* connection) {
    stream->funcs = funcs;
    stream->connection = connection;
}

void CsStreamSetCompression(CsStream* stream, int on) { stream->send.compressionOn = on != 0; }

uint32_t CsStreamMessageNumber(const CsStream* stream) { return stream->send.number; }

bool CsStreamBroken(const CsStream* stream) { return stream->broken; }

void CsStreamResetPosition(CsStream* stream) {
    CsStreamResetSend(stream);
    CsStreamResetReceive(stream);
    qel_cswire::detail::StartMessageCounts(&stream->xdr);
}
