// frame_send.cpp - the send side: buffering a message and cutting it into plain or
// compressed frames.
#include "stream_state.h"
#include "xdr_detail.h"

#include "arc_byteorder.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr size_t kCompressedRoom = CS_FRAME_MAX - CS_FRAME_COMPRESSED_HEADER;

bool SendFrame(CsStream* s, const unsigned char* frame, uint32_t length) {
    if (s->funcs == nullptr || s->funcs->send == nullptr) {
        s->broken = true;
        return false;
    }
    const int sent = s->funcs->send(s->connection, frame, static_cast<int>(length));
    if (sent != static_cast<int>(length)) {
        // A short send leaves the peer inside a frame: the byte stream is lost.
        s->send.lastSentCount = sent;
        s->broken = true;
        return false;
    }
    s->send.framesSent = true;
    return true;
}

bool SendPlain(CsStream* s) {
    auto& out = s->send;
    QelPutBE32(out.number, out.plain.data());
    QelPutBE32(static_cast<uint32_t>(out.writePos), out.plain.data() + 4);
    const bool ok = SendFrame(s, out.plain.data(), static_cast<uint32_t>(out.writePos));
    out.writePos = CS_FRAME_PLAIN_HEADER;
    return ok;
}

bool SendCompressed(CsStream* s, size_t produced, bool last) {
    auto& out = s->send;
    unsigned char* frame = out.frame.data();
    const auto length = static_cast<uint32_t>(CS_FRAME_COMPRESSED_HEADER + produced);
    QelPutBE32(CS_FRAME_COMPRESSED_MARK, frame);
    QelPutBE32(length, frame + 4);
    QelPutBE32(out.number, frame + 8);
    QelPutBE32(static_cast<unsigned char>(out.letter), frame + 12);
    QelPutBE32(out.flags | (last ? CS_FRAME_LAST : 0), frame + 16);
    if (!SendFrame(s, frame, length)) return false;
    out.flags |= CS_FRAME_CONTINUATION;
    return true;
}

void EndCompressedRun(CsStream* s) {
    auto& out = s->send;
    ArcCMP_End(out.pipe);
    out.pipe = nullptr;
    std::vector<unsigned char>().swap(out.frame);
    out.compressing = false;
}

bool StartCompressedRun(CsStream* s) {
    auto& out = s->send;
    try {
        out.frame.assign(CS_FRAME_MAX, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    out.flags = 0;
    if (ArcCMP_Begin('N', out.letter, 0, 0, nullptr, &out.pipe) != 0) {
        std::vector<unsigned char>().swap(out.frame);
        return false;
    }
    out.compressing = true;
    return true;
}

// Runs the payload through the compressor; compressed frames go out as they fill.
bool FlushCompressed(CsStream* s, bool final) {
    auto& out = s->send;
    if (!out.compressing && !StartCompressedRun(s)) return false;
    const size_t payload = out.writePos - CS_FRAME_PLAIN_HEADER;
    const unsigned char* input = out.plain.data() + CS_FRAME_PLAIN_HEADER;
    size_t inputLength = payload;
    if (inputLength == 0 && !final) return true;  // a zero length would end the input
    for (;;) {
        size_t produced = 0;
        const int state =
            ArcCMP_Run(out.pipe, inputLength > 0 ? input : nullptr, inputLength,
                       out.frame.data() + CS_FRAME_COMPRESSED_HEADER, kCompressedRoom, &produced);
        if (state == ARCCMP_NEED_INPUT) {
            out.writePos = CS_FRAME_PLAIN_HEADER;
            if (!final) return true;
            if (inputLength == 0) break;  // asked for input after the end
            input = nullptr;
            inputLength = 0;
        } else if (state == ARCCMP_OUTPUT_READY) {
            if (produced == 0 || !SendCompressed(s, produced, false)) break;
        } else if (state == ARCCMP_FINISHED) {
            const bool ok = SendCompressed(s, produced, true);
            EndCompressedRun(s);
            out.writePos = CS_FRAME_PLAIN_HEADER;
            return ok;
        } else {
            break;
        }
    }
    // Frames of this message may be out already: the peer cannot find its end.
    if (out.framesSent) s->broken = true;
    EndCompressedRun(s);
    out.writePos = CS_FRAME_PLAIN_HEADER;
    return false;
}

}  // namespace

void CsStreamResetSend(CsStream* stream) {
    auto& out = stream->send;
    EndCompressedRun(stream);
    out.writePos = CS_FRAME_PLAIN_HEADER;
    out.letter = CS_FRAME_LETTER;
    out.flags = 0;
    out.framesSent = false;
    out.lastSentCount = 0;
}

void CsStreamStartMessage(CsStream* stream, uint32_t number) {
    CsStreamResetSend(stream);
    stream->send.number = number;
    stream->xdr.op = QELXDR_ENCODE;
    qel_cswire::detail::StartMessageCounts(&stream->xdr);
    stream->xdr.error = 0;
}

bool CsStreamPutBytes(CsStream* stream, const void* bytes, uint32_t count) {
    auto& out = stream->send;
    const auto* p = static_cast<const unsigned char*>(bytes);
    while (count > 0) {
        if (out.writePos == out.plain.size() && !CsStreamFlush(stream, 0)) return false;
        const size_t n = std::min<size_t>(count, out.plain.size() - out.writePos);
        std::memcpy(out.plain.data() + out.writePos, p, n);
        out.writePos += n;
        p += n;
        count -= static_cast<uint32_t>(n);
    }
    return true;
}

bool CsStreamFlush(CsStream* stream, int final) {
    auto& out = stream->send;
    const size_t payload = out.writePos - CS_FRAME_PLAIN_HEADER;
    if (!out.compressing && (!out.compressionOn || payload < CS_FRAME_COMPRESS_MIN)) {
        // An empty closing frame after earlier frames would read as a message of its own.
        if (payload == 0 && (out.framesSent || !final)) return true;
        return SendPlain(stream);
    }
    return FlushCompressed(stream, final != 0);
}

bool CsStreamPutHook(QelXdr* xdr, const void* bytes, uint32_t count) {
    return CsStreamPutBytes(static_cast<CsStream*>(xdr->owner), bytes, count);
}
