// Bulk data delivery: the data pieces of a reply, under any letter, split anywhere,
// into buffers of any size, with a callback that keeps some of them.
//
// Input: the letter selector, the buffer size selector, the keep pattern, then the
// pieces, each a length byte and that many bytes (0xFF as length: the piece comes
// under another letter, which must fail).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "qel_cswire.h"

namespace {

struct Collected {
    std::string bytes;
    uint8_t keepPattern = 0;
    unsigned calls = 0;
};

int Collect(void* context, char* buffer, uint32_t length) {
    auto* c = static_cast<Collected*>(context);
    if (length == 0) std::abort();
    c->bytes.append(buffer, length);
    // Keeping a buffer makes it the callback's to free.
    const bool keep = (c->keepPattern >> (c->calls++ % 8)) & 1;
    if (keep) std::free(buffer);
    return keep ? 0 : 1;
}

struct Piece {
    bool otherLetter = false;
    std::string bytes;
};

// 0 delivered; otherwise the first failure. Out: what reached the callback.
int Deliver(char letter, uint32_t bufferSize, uint8_t keep, const std::vector<Piece>& pieces,
            std::string* out) {
    Collected collected;
    collected.keepPattern = keep;
    CsDelivery* delivery = CsDeliveryBegin(bufferSize, &Collect, &collected);
    if (delivery == nullptr) std::abort();
    int rc = 0;
    for (const Piece& piece : pieces) {
        const char pieceLetter = piece.otherLetter ? (letter == 'N' ? 'D' : 'N') : letter;
        char* data = static_cast<char*>(std::malloc(piece.bytes.size() + 1));
        std::memcpy(data, piece.bytes.data(), piece.bytes.size());
        rc = CsDeliveryPiece(delivery, pieceLetter, &data, static_cast<uint32_t>(piece.bytes.size()));
        std::free(data);  // null when the callback kept it
        if (rc != 0) break;
    }
    if (rc == 0) {
        rc = CsDeliveryEnd(delivery);
    } else {
        CsDeliveryAbort(delivery);
    }
    *out = std::move(collected.bytes);
    return rc;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char kLetters[] = {'N', 'D', 'O', 'L', '3', '4', '5', 'Z', 'Q', '\0'};
    if (size < 3) return 0;
    const char letter = kLetters[data[0] % sizeof kLetters];
    const uint32_t bufferSize = data[1] == 0 ? 0 : 1 + (uint32_t(data[1]) * 131) % 4096;
    const uint8_t keep = data[2];
    std::vector<Piece> pieces;
    std::string whole;
    bool changesLetter = false;
    for (size_t at = 3; at < size;) {
        Piece piece;
        uint8_t length = data[at++];
        if (length == 0xFF) {
            piece.otherLetter = true;
            changesLetter = true;
            length = at < size ? data[at++] : 0;
        }
        const size_t take = std::min<size_t>(length, size - at);
        piece.bytes.assign(reinterpret_cast<const char*>(data + at), take);
        at += take;
        whole += piece.bytes;
        pieces.push_back(std::move(piece));
    }

    std::string got;
    const int rc = Deliver(letter, bufferSize, keep, pieces, &got);
    if (rc != 0 && rc != 6 && rc != 9) std::abort();
    const bool plain = letter == 'N' || letter == 'D';
    if (plain && !changesLetter && (rc != 0 || got != whole)) std::abort();
    if (!plain && bufferSize != 0 && got.size() > 0 && rc == 0) {
        // Any buffer size and any split give the same bytes: all of it in one piece, default buffers.
        std::string once;
        const int again = Deliver(letter, 0, 0, {Piece{false, whole}}, &once);
        if (!changesLetter && (again != 0 || once != got)) std::abort();
    }
    return 0;
}
