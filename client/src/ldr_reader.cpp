// ldr_reader.cpp - the line-data reader and its documents: making them, opening a
// document (carriage control, converter or table, page index) and reading one record.
#include <algorithm>

#include "arc_codepage.h"
#include "ldr_internal.h"

using namespace qelldr;

ArcLdrReader::~ArcLdrReader() = default;

void ArcLdrReaderDeleter::operator()(ArcLdrReader* reader) const { delete reader; }

bool ArcLDR_Create(ArcLdrReaderPtr* reader, ArcLdrCallbacks callbacks, ArcLdrDbcsTable dbcs,
                   int32_t outputCcsid, bool convert, ArcIconvContext* context) {
    if (reader == nullptr) return false;
    reader->reset();
    if (!callbacks.read || !callbacks.table || !callbacks.error) return false;
    ArcLdrReaderPtr made(new ArcLdrReader);
    made->callbacks = std::move(callbacks);
    const size_t count = std::min<size_t>(dbcs.codes.size(), 0xFFFF);
    made->dbcsCodes.assign(dbcs.codes.begin(), dbcs.codes.begin() + static_cast<ptrdiff_t>(count));
    made->dbcsMode = dbcs.mode;
    made->outputCcsid = outputCcsid;
    made->convert = convert;
    made->context = context;
    *reader = std::move(made);
    return true;
}

void ArcLDR_Destroy(ArcLdrReaderPtr* reader) {
    if (reader != nullptr) reader->reset();
}

size_t ArcLDR_DocumentCount(ArcLdrReader* reader) {
    if (reader == nullptr) return 0;
    std::lock_guard lock(reader->documentsLock);
    return reader->documents.size();
}

namespace {

void Report(ArcLdrDocument* document, int result) {
    document->reader->callbacks.error(document->options.user, result);
}

// Step 2 and 3 of opening: the service's converter when conversion is on and one opens,
// else the translation table of the (single-byte part of the) CCSID.
void ChooseConverter(ArcLdrDocument* document) {
    ArcLdrReader* reader = document->reader;
    const int32_t ccsid = document->options.dataCodePage;
    ArcIconvHandle* handle = nullptr;
    if (reader->convert) {
        const int result = ArcICONV_Open(reader->context, ccsid, reader->outputCcsid, &handle);
        if (result != ARC_ICONV_OK) {
            handle = nullptr;
            Report(document, result);
        }
    }
    if (handle == nullptr) document->table = TableFor(reader, document->kind.singleByte, document->ebcdic);
    ConverterSetup setup;
    setup.kind = document->kind.kind;
    setup.shiftKind = document->options.shiftKind;
    setup.ebcdic = document->ebcdic;
    setup.carriageControl = document->carriage != 0;
    setup.outputCcsid = reader->outputCcsid;
    document->converter =
        std::make_unique<LineConverter>(setup, handle, document->table, reader->dbcsCodes, reader->dbcsMode);
    document->info.charKind = setup.kind;
    document->info.converted = handle != nullptr;
}

}  // namespace

namespace qelldr {

bool ReadLine(ArcLdrDocument* document, RecordInfo* info, bool convert) {
    std::vector<unsigned char>& record = document->record;
    if (!document->source->Next(&record)) return false;
    const unsigned char blank = document->ebcdic ? 0x40 : 0x20;
    std::replace(record.begin(), record.end(), static_cast<unsigned char>(0), blank);
    *info = RecordInfo{};
    const char set = document->carriage;
    if (set != 0 && !record.empty()) info->control = record[0];
    info->noLine = MakesNoLine(set, record);
    info->overprint = set != 0 && !record.empty() && IsOverprint(set, document->ebcdic, info->control);
    // A record shorter than its prefix is a blank line.
    const size_t prefix = std::min(record.size(), static_cast<size_t>(document->prefix));
    const std::span<const unsigned char> text(record.data() + prefix, record.size() - prefix);
    info->formFeed = set == 0 && !text.empty() && text[0] == 0x0C;
    document->info.widestRecord = std::max(document->info.widestRecord, static_cast<int32_t>(record.size()));
    if (!convert) {
        // Single-byte text: one character a byte, less the form feeds that are dropped.
        const auto dropped = set == 0 ? std::count(text.begin(), text.end(), 0x0C) : 0;
        const auto chars = static_cast<int32_t>(static_cast<ptrdiff_t>(text.size()) - dropped);
        document->info.widestLine = std::max(document->info.widestLine, chars);
        return true;
    }
    ArcLdrReader* reader = document->reader;
    document->converter->Convert(
        text, &document->converted, [document](int result) { Report(document, result); },
        [document, reader]() { return TableFor(reader, document->kind.singleByte, document->ebcdic); });
    document->info.widestLine = std::max(document->info.widestLine, document->converted.Chars());
    return true;
}

}  // namespace qelldr

ArcLdrDocument* ArcLDR_OpenDocument(ArcLdrReader* reader, const ArcLdrOptions& options, int32_t pageLimit) {
    if (reader == nullptr) return nullptr;
    auto document = std::make_unique<ArcLdrDocument>();
    document->reader = reader;
    document->options = options;
    const char cc = options.carriageControl;
    document->carriage = cc == 'A' || cc == 'M' ? cc : 0;
    document->prefix = document->carriage != 0 ? 1 + (options.trc ? 1 : 0) : 0;
    document->kind = KindOfCcsid(options.dataCodePage);
    document->ebcdic = ArcICONV_IsEbcdicCcsid(options.dataCodePage) != 0;

    bool fellBack = false;
    std::vector<unsigned char> delimiter = ParseDelimiter(options.recordDelimiter, &fellBack);
    if (fellBack) Report(document.get(), ARC_ICONV_INVALID_INPUT);
    const char format =
        options.recordFormat == 'F' || options.recordFormat == 'V' ? options.recordFormat : 'S';
    document->source = std::make_unique<RecordSource>(&reader->callbacks, options.user, format,
                                                      options.recordLength, std::move(delimiter));
    ChooseConverter(document.get());
    if (!IndexPages(document.get(), pageLimit)) return nullptr;

    std::lock_guard lock(reader->documentsLock);
    reader->documents.push_back(std::move(document));
    return reader->documents.back().get();
}

void ArcLDR_CloseDocument(ArcLdrDocument* document) {
    if (document == nullptr) return;
    ArcLdrReader* reader = document->reader;
    std::unique_ptr<ArcLdrDocument> closing;
    {
        std::lock_guard lock(reader->documentsLock);
        auto it = std::find_if(reader->documents.begin(), reader->documents.end(),
                               [document](const auto& d) { return d.get() == document; });
        if (it == reader->documents.end()) return;
        closing = std::move(*it);
        reader->documents.erase(it);
    }
}

ArcLdrDocumentInfo ArcLDR_GetInfo(const ArcLdrDocument* document) {
    return document != nullptr ? document->info : ArcLdrDocumentInfo{};
}

const std::optional<std::string>& ArcLDR_LayoutText(const ArcLdrDocument* document) {
    static const std::optional<std::string> none;
    return document != nullptr ? document->layoutText : none;
}
