// The viewer container: the packers of its lead, header and line-data run, and the
// full container and segment lead as they go into the response (docs/container.md).
#include <algorithm>
#include <bit>
#include <cstring>

#include "arc_compress.h"
#include "documents.h"
#include "qel_client.h"
#include "utf8_text.h"

namespace qelwww::detail {

namespace {

void PutU32(unsigned char* out, uint32_t value) {
    out[0] = static_cast<unsigned char>(value >> 24);
    out[1] = static_cast<unsigned char>(value >> 16);
    out[2] = static_cast<unsigned char>(value >> 8);
    out[3] = static_cast<unsigned char>(value);
}

void PutFloat(unsigned char* out, float value) { PutU32(out, std::bit_cast<uint32_t>(value)); }

uint32_t Unsigned(int32_t value) { return static_cast<uint32_t>(value); }

// The information piece: the block with the segment URL, stored when small, else
// compressed with the letter the size asks for. Empty (letter 0) when the block cannot be
// built or compressed.
struct InfoPiece {
    uint8_t letter = 0;
    std::vector<unsigned char> bytes;
};

InfoPiece BuildInfoPiece(const OpenDocument* document, const std::string& segmentUrl) {
    InfoPiece piece;
    size_t length = 0;
    // The block walks the document's page tables (cursors, converted texts); the documents
    // come from Doc_Retrieve and are never const objects.
    std::vector<unsigned char> block =
        Doc_BuildAppletInfo(const_cast<OpenDocument*>(document), segmentUrl.c_str(), nullptr, &length);
    if (length == 0 || length > block.size()) return piece;
    block.resize(length);
    ArcCmpType chosen = 'N';
    ArcCmpType second = 'N';
    if (ArcCMP_ChooseType('N', &chosen, &second, length) != 0) return piece;
    if (chosen == 'N') {
        piece.letter = 'N';
        piece.bytes = std::move(block);
        return piece;
    }
    std::vector<unsigned char> compressed;
    if (QelWWW_CompressBuffer(block.data(), block.size(), 'N', chosen, &compressed) != 1) return piece;
    piece.letter = static_cast<uint8_t>(chosen);
    piece.bytes = std::move(compressed);
    return piece;
}

}  // namespace

void QelWWW_PackLeadHeader(const ViewerDataLead& lead, unsigned char out[kLeadSize]) {
    std::memcpy(out, lead.magic, 4);
    PutU32(out + 4, lead.version);
    PutU32(out + 8, Unsigned(lead.segment));
}

void QelWWW_PackDocHeader(const ViewerDataHeader& header, unsigned char out[kHeaderSize]) {
    out[0] = header.infoLetter;
    out[1] = header.resourceLetter;
    out[2] = header.documentLetter;
    PutU32(out + 3, header.infoLength);
    PutU32(out + 7, header.resourceLength);
    out[11] = header.documentType;
    out[12] = header.orientation;
    PutU32(out + 13, header.number);
    PutFloat(out + 17, header.pageWidth);
    PutFloat(out + 21, header.pageLength);
    std::memcpy(out + 25, header.attributes, 3);
}

void QelWWW_PackLineDataHeader(const LineDataHeader& block, unsigned char out[kLineDataRunSize]) {
    PutU32(out, block.blockLength);
    unsigned char* b = out + 4;
    b[0] = block.shiftKind;
    b[1] = block.recordFormat;
    PutU32(b + 2, block.recordLength);
    b[6] = block.carriageControl;
    b[7] = block.trc;
    PutU32(b + 8, block.codePage);
    PutU32(b + 12, block.pageHeaderRows);
    PutU32(b + 16, block.fieldHeaderRows);
    std::memcpy(b + 20, block.recordDelimiter, sizeof block.recordDelimiter);
}

ViewerDataHeader HeaderOfDocument(const OpenDocument* document) {
    ViewerDataHeader header;
    if (document == nullptr) {
        // A local file without a document: the viewer's own defaults.
        header.documentType = 'A';
        header.attributes[0] = 'M';
        header.attributes[1] = 'B';
        header.attributes[2] = 'W';
        return header;
    }
    header.documentType = static_cast<uint8_t>(document->viewer);
    header.orientation = static_cast<uint8_t>(document->orientation);
    header.number = Unsigned(document->view.zoom);
    header.pageWidth = document->pageWidth;
    header.pageLength = document->pageLength;
    header.attributes[0] = static_cast<uint8_t>(document->view.imageIntensity);
    header.attributes[1] = static_cast<uint8_t>(document->view.imageColour);
    header.attributes[2] = static_cast<uint8_t>(document->view.background);
    return header;
}

LineDataHeader LineDataOfDocument(const OpenDocument* document) {
    LineDataHeader block;
    if (document == nullptr) return block;
    block.shiftKind = static_cast<uint8_t>(document->shiftKind);
    block.recordFormat = static_cast<uint8_t>(document->recordFormat);
    block.recordLength = Unsigned(document->recordLength);
    block.carriageControl = static_cast<uint8_t>(document->carriageControl);
    block.trc = document->trc;
    block.codePage = Unsigned(document->dataCodePage);
    block.pageHeaderRows = Unsigned(document->pageHeaderRows);
    block.fieldHeaderRows = Unsigned(document->fieldHeaderRows);
    // At most 16 characters and the zero byte; the rest of the array stays zero.
    const size_t length = std::min(document->recordDelimiter.size(), sizeof block.recordDelimiter - 1);
    std::memcpy(block.recordDelimiter, document->recordDelimiter.data(), length);
    return block;
}

std::string SegmentUrl(const QelWWWConfig* config, const QelWWWSession* session, char documentType,
                       std::string_view docId) {
    std::string url = session->scriptName;
    if (documentType == 'A') {
        const uint32_t mode = session->view.afpViewMode;
        if (mode & QELWWW_VIEW_PDF)
            url += "/.pdf";
        else if (mode & (QELWWW_VIEW_NATIVE | QELWWW_VIEW_PLUGIN))
            url += "/.afp";
    }
    url += "?_f=";
    url += Utf8UrlValue(config, session, session->folder);
    if (!session->pageAsGiven.empty()) {
        url += "&_h=";
        url += QelWWW_UrlEncode(session, session->pageAsGiven, true);
    }
    url += "&_d=";
    url += QelWWW_UrlEncode(session, docId, true);
    url += "&_a=g&_seg=";
    return url;
}

void WriteContainer(QelWWWSession* session, ContainerPieces& pieces) {
    const OpenDocument* document = pieces.document;
    const bool oneSegment = document == nullptr || document->segmentCount == 1;

    ViewerDataLead lead;
    lead.segment = oneSegment ? kWholeWithoutInfo : kWholeWithInfo;
    InfoPiece info;
    if (!oneSegment && (pieces.documentType == 'A' || pieces.documentType == 'L'))
        info = BuildInfoPiece(document, pieces.segmentUrl);

    ViewerDataHeader header = HeaderOfDocument(document);
    // Every piece's letter is the letter of the bytes that follow.
    char resourceLetter = pieces.resourceLetter;
    if (pieces.resources.empty()) Doc_GetConvertFlags(document, &resourceLetter, nullptr);
    header.infoLetter = info.letter;
    header.infoLength = static_cast<uint32_t>(info.bytes.size());
    header.resourceLetter = static_cast<uint8_t>(resourceLetter);
    header.documentLetter = static_cast<uint8_t>(pieces.documentLetter);
    header.resourceLength = static_cast<uint32_t>(pieces.resources.size());
    header.documentType = static_cast<uint8_t>(pieces.documentType);

    unsigned char packed[kLeadSize + kHeaderSize + kLineDataRunSize];
    QelWWW_PackLeadHeader(lead, packed);
    QelWWW_PackDocHeader(header, packed + kLeadSize);
    size_t packedLength = kLeadSize + kHeaderSize;
    if (pieces.documentType == 'L') {
        QelWWW_PackLineDataHeader(LineDataOfDocument(document), packed + packedLength);
        packedLength += kLineDataRunSize;
    }
    QelWWWResponse& response = *session->response;
    if (pieces.ownedData != nullptr && response.Binary().empty()) {
        // Everything before the document goes in front of it, in its own buffer.
        std::string head(reinterpret_cast<const char*>(packed), packedLength);
        head.append(reinterpret_cast<const char*>(info.bytes.data()), info.bytes.size());
        head.append(pieces.resources.data(), pieces.resources.size());
        // Exactly the room needed: a growing string would double the document's size.
        if (pieces.ownedData->capacity() < pieces.ownedData->size() + head.size())
            pieces.ownedData->reserve(pieces.ownedData->size() + head.size());
        pieces.ownedData->insert(0, head);
        response.AppendBinary(std::move(*pieces.ownedData));
        pieces.ownedData->clear();
        return;
    }
    const std::string_view data =
        pieces.ownedData != nullptr ? std::string_view(*pieces.ownedData) : pieces.data;
    response.AppendBinary(packed, packedLength);
    if (!info.bytes.empty()) response.AppendBinary(info.bytes.data(), info.bytes.size());
    if (!pieces.resources.empty()) response.AppendBinary(pieces.resources.data(), pieces.resources.size());
    if (!data.empty()) response.AppendBinary(data.data(), data.size());
}

void WriteSegmentLead(QelWWWSession* session, int32_t segment) {
    ViewerDataLead lead;
    lead.segment = segment;
    unsigned char packed[kLeadSize];
    QelWWW_PackLeadHeader(lead, packed);
    session->response->AppendBinary(packed, sizeof packed);
}

}  // namespace qelwww::detail
