// stream_state.h - the private state of a message stream (codec internals).
#pragma once

#include "qel_cswire.h"

#include "arc_compress.h"

#include <vector>

struct CsStream {
    QelXdr xdr{};
    const ArcCOM_Funcs* funcs = nullptr;
    ArcCOM_Connection* connection = nullptr;
    bool broken = false;

    struct Send {
        uint32_t number = 0;               // message being built (and last sent)
        std::vector<unsigned char> plain;  // header room, then payload
        size_t writePos = CS_FRAME_PLAIN_HEADER;
        bool compressing = false;          // a compressed run of this message is under way
        std::vector<unsigned char> frame;  // compressed frame, allocated per message
        uint32_t flags = 0;                // flags of the next compressed frame
        char letter = CS_FRAME_LETTER;
        ArcCmpPipeline* pipe = nullptr;
        bool compressionOn = false;
        bool framesSent = false;  // a frame of this message went out
        int lastSentCount = 0;    // what the last short Send moved
    } send;

    struct Receive {
        uint32_t number = 0;             // message being read
        std::vector<unsigned char> raw;  // the whole current frame
        bool compressedForm = false;     // frame had the 20-byte header
        char letter = 'N';
        uint32_t flags = 0;
        bool compresses = false;  // the frame's letter compresses
        size_t readPos = 0;
        size_t readLeft = 0;
        bool messageOpen = false;
        bool messageCompressedForm = false;
        char messageLetter = 'N';
        std::vector<unsigned char> decoded;  // decompression output
        size_t decodedPos = 0;
        size_t decodedLeft = 0;
        ArcCmpPipeline* pipe = nullptr;
        bool pipeDone = false;
    } receive;
};

// Frame sides (frame_send.cpp, frame_receive.cpp).
void CsStreamResetSend(CsStream* stream);
void CsStreamResetReceive(CsStream* stream);
bool CsStreamPutHook(QelXdr* xdr, const void* bytes, uint32_t count);
bool CsStreamGetHook(QelXdr* xdr, void* bytes, uint32_t count);
