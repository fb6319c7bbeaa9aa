#include "local_container.h"

#include <cstdint>
#include <limits>
#include <vector>

#include "arc_compress.h"
#include "arc_platform.h"
#include "documents.h"

namespace qelwww::detail {

bool PackBytes(std::string bytes, PackedPiece* piece) {
    ArcCmpType chosen = 'N';
    ArcCmpType second = 'N';
    if (ArcCMP_ChooseType('N', &chosen, &second, bytes.size()) != 0) return false;
    if (chosen != 'N') {
        std::vector<unsigned char> compressed;
        if (QelWWW_CompressBuffer(bytes.data(), bytes.size(), 'N', chosen, &compressed) != 1) return false;
        if (compressed.size() < bytes.size()) {
            piece->letter = chosen;
            piece->bytes.assign(compressed.begin(), compressed.end());
            return true;
        }
    }
    piece->letter = 'N';
    piece->bytes = std::move(bytes);
    return true;
}

bool PackFile(const std::string& path, PackedPiece* piece) {
    std::string content;
    if (ArcOS_ReadFile(path.c_str(), &content) != 0) return false;
    return PackBytes(std::move(content), piece);
}

std::string LocalContainer(const PackedPiece& resources, const PackedPiece& document) {
    if (resources.bytes.size() > std::numeric_limits<uint32_t>::max()) return {};
    ViewerDataLead lead;
    lead.segment = kWholeWithoutInfo;
    ViewerDataHeader header = HeaderOfDocument(nullptr);
    header.infoLetter = 0;
    header.infoLength = 0;
    header.resourceLetter = static_cast<uint8_t>(resources.bytes.empty() ? 'N' : resources.letter);
    header.resourceLength = static_cast<uint32_t>(resources.bytes.size());
    header.documentLetter = static_cast<uint8_t>(document.letter);

    unsigned char packed[kLeadSize + kHeaderSize];
    QelWWW_PackLeadHeader(lead, packed);
    QelWWW_PackDocHeader(header, packed + kLeadSize);
    std::string out;
    out.reserve(sizeof packed + resources.bytes.size() + document.bytes.size());
    out.append(reinterpret_cast<const char*>(packed), sizeof packed);
    out += resources.bytes;
    out += document.bytes;
    return out;
}

}  // namespace qelwww::detail
