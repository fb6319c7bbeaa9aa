// frame_receive.cpp - the receive side: reading frames, skipping those of earlier
// messages, and handing out the decoded payload of the current message.
#include "stream_state.h"
#include "xdr_detail.h"

#include "arc_byteorder.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

bool Fail(CsStream* s) {
    s->broken = true;
    return false;
}

bool Receive(CsStream* s, unsigned char* into, size_t length) {
    if (length == 0) return true;
    if (s->funcs == nullptr || s->funcs->recv == nullptr) return false;
    return s->funcs->recv(s->connection, into, static_cast<int>(length)) == static_cast<int>(length);
}

// Reads one whole frame into the raw buffer; every length is checked before use.
bool ReadFrame(CsStream* s) {
    auto& in = s->receive;
    in.readLeft = 0;
    unsigned char head[CS_FRAME_PLAIN_HEADER];
    if (!Receive(s, head, sizeof head)) return Fail(s);
    const uint32_t first = QelGetBE32(head);
    const uint32_t length = QelGetBE32(head + 4);
    const bool compressed = first == CS_FRAME_COMPRESSED_MARK;
    const uint32_t header = compressed ? CS_FRAME_COMPRESSED_HEADER : CS_FRAME_PLAIN_HEADER;
    const uint32_t limit = compressed ? CS_FRAME_MAX : CS_FRAME_PLAIN_LIMIT;
    if (length < header || length > limit) return Fail(s);
    if (in.raw.size() < length) {
        try {
            in.raw.resize(length);
        } catch (const std::bad_alloc&) {
            return Fail(s);
        }
    }
    std::memcpy(in.raw.data(), head, sizeof head);
    if (!Receive(s, in.raw.data() + sizeof head, length - sizeof head)) return Fail(s);
    in.compressedForm = compressed;
    if (compressed) {
        in.number = QelGetBE32(in.raw.data() + 8);
        in.letter = static_cast<char>(QelGetBE32(in.raw.data() + 12) & 0xFF);
        in.flags = QelGetBE32(in.raw.data() + 16);
    } else {
        in.number = first;
        in.letter = 'N';
        in.flags = 0;
    }
    const int compresses = ArcCMP_IsCompressType(in.letter);
    if (compresses < 0) return Fail(s);  // a letter nobody knows
    in.compresses = compresses == 1;
    in.readPos = header;
    in.readLeft = length - header;
    return true;
}

void CloseMessage(CsStream* s) {
    auto& in = s->receive;
    ArcCMP_End(in.pipe);
    in.pipe = nullptr;
    in.pipeDone = false;
    in.messageOpen = false;
    in.decodedPos = in.decodedLeft = 0;
    in.readLeft = 0;
}

// The frame just read starts the current message.
bool OpenMessage(CsStream* s) {
    auto& in = s->receive;
    in.messageOpen = true;
    in.messageCompressedForm = in.compressedForm;
    in.messageLetter = in.letter;
    in.decodedPos = in.decodedLeft = 0;
    in.pipeDone = false;
    if (in.compresses) {
        try {
            if (in.decoded.size() < CS_FRAME_MAX) in.decoded.resize(CS_FRAME_MAX);
        } catch (const std::bad_alloc&) {
            return Fail(s);
        }
        if (ArcCMP_Begin(in.letter, 'N', 0, 0, nullptr, &in.pipe) != 0) return Fail(s);
    }
    s->xdr.op = QELXDR_DECODE;
    qel_cswire::detail::StartMessageCounts(&s->xdr);
    s->xdr.error = 0;
    return true;
}

// A frame that cannot start a message: the rest of an earlier one with the same number.
bool IsLeftover(const CsStream* s) {
    const auto& in = s->receive;
    if (in.compressedForm) return (in.flags & CS_FRAME_CONTINUATION) != 0;
    return in.readLeft == 0;
}

bool ReadStart(CsStream* s, bool anyNumber) {
    CloseMessage(s);
    for (;;) {
        if (!ReadFrame(s)) return false;
        const uint32_t number = s->receive.number;
        if (!anyNumber) {
            if (number < s->send.number) continue;  // a reply to a message given up
            if (number > s->send.number) return Fail(s);
        }
        if (IsLeftover(s)) continue;
        if (anyNumber) s->send.number = number;
        return OpenMessage(s);
    }
}

// The next frame of the current message: same number, same form, same letter.
bool NextFrame(CsStream* s) {
    auto& in = s->receive;
    if (in.messageCompressedForm && (in.flags & CS_FRAME_LAST)) return false;  // message ended
    const uint32_t number = in.number;
    if (!ReadFrame(s)) return false;
    if (in.number != number || in.compressedForm != in.messageCompressedForm) return Fail(s);
    if (in.compressedForm && (!(in.flags & CS_FRAME_CONTINUATION) || in.letter != in.messageLetter))
        return Fail(s);
    return true;
}

// Decompresses more of the current frame into the decoded buffer.
bool Inflate(CsStream* s) {
    auto& in = s->receive;
    if (in.pipeDone) return false;  // the record wants more than the message holds
    if (in.readLeft == 0 && !(in.flags & CS_FRAME_LAST)) return NextFrame(s);
    const unsigned char* input = in.readLeft > 0 ? in.raw.data() + in.readPos : nullptr;
    size_t produced = 0;
    const int state =
        ArcCMP_Run(in.pipe, input, in.readLeft, in.decoded.data(), in.decoded.size(), &produced);
    switch (state) {
        case ARCCMP_NEED_INPUT:
            if (in.readLeft == 0) return Fail(s);  // the compressed data ended early
            in.readPos += in.readLeft;
            in.readLeft = 0;
            return true;
        case ARCCMP_OUTPUT_READY:
            in.decodedPos = 0;
            in.decodedLeft = produced;
            return true;
        case ARCCMP_FINISHED:
            in.decodedPos = 0;
            in.decodedLeft = produced;
            in.pipeDone = true;
            return true;
        default: return Fail(s);
    }
}

}  // namespace

void CsStreamResetReceive(CsStream* stream) { CloseMessage(stream); }

bool CsStreamReadMessageStart(CsStream* stream) { return ReadStart(stream, false); }

bool CsStreamReadAnyMessage(CsStream* stream) { return ReadStart(stream, true); }

bool CsStreamGetBytes(CsStream* stream, void* bytes, uint32_t count) {
    auto& in = stream->receive;
    auto* out = static_cast<unsigned char*>(bytes);
    if (!in.messageOpen) return false;
    while (count > 0) {
        if (in.decodedLeft > 0) {
            const size_t n = std::min<size_t>(count, in.decodedLeft);
            std::memcpy(out, in.decoded.data() + in.decodedPos, n);
            in.decodedPos += n;
            in.decodedLeft -= n;
            out += n;
            count -= static_cast<uint32_t>(n);
        } else if (!in.compresses) {
            if (in.readLeft == 0) {
                if (!NextFrame(stream)) return false;
                continue;
            }
            const size_t n = std::min<size_t>(count, in.readLeft);
            std::memcpy(out, in.raw.data() + in.readPos, n);
            in.readPos += n;
            in.readLeft -= n;
            out += n;
            count -= static_cast<uint32_t>(n);
        } else if (!Inflate(stream)) {
            return false;
        }
    }
    return true;
}

bool CsStreamGetHook(QelXdr* xdr, void* bytes, uint32_t count) {
    return CsStreamGetBytes(static_cast<CsStream*>(xdr->owner), bytes, count);
}
