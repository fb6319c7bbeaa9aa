// The container split: a downloaded reply becomes the piece files the view engine reads,
// all in the instance's own directory (docs/afp-viewer.md).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "afp_split.h"
#include "arc_byteorder.h"
#include "split_internal.h"

namespace afp {

namespace {

namespace fs = std::filesystem;

constexpr size_t kLeadSize = 12;
constexpr size_t kHeaderEnd = 40;
constexpr uint64_t kMaxInfoBlock = uint64_t{64} << 20;

int32_t Twips(uint32_t bits) {
    float inches = 0;
    std::memcpy(&inches, &bits, sizeof inches);
    return TwipsFromInches(inches);
}

int32_t DisplayMode(uint8_t code) {
    switch (code) {
        case '1': return 2;
        case '2': return 4;
        case '9': return 3;
        default: return 1;
    }
}

bool ReadAt(std::FILE* file, uint64_t offset, uint8_t* out, size_t length) {
    if (fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
    return std::fread(out, 1, length, file) == length;
}

class Splitter {
public:
    Splitter(SplitInstance& instance, const fs::path& file, const EngineSink& sink)
        : inst_(instance), file_(file), sink_(sink) {}

    int Run();

private:
    // The piece file "<name without extension><suffix>" in the instance directory. While a
    // print collection fetches, its pieces get names of their own, so the document on
    // show is never overwritten.
    fs::path Piece(const char* suffix) const {
        std::string stem = file_.stem().string();
        if (inst_.fetching) stem += "-print";
        return inst_.tempDir / (stem + suffix);
    }
    // A damaged container says where; anything else names the piece it could not write.
    int Fail(const fs::path& piece) {
        if (damagedAt_) return Damaged(*damagedAt_);
        if (sink_.showMessage) sink_.showMessage(kMsgCannotWrite, piece.string());
        return 0;
    }
    int Damaged(uint64_t at) {
        if (sink_.showMessage) sink_.showMessage(kMsgDamaged, std::to_string(at));
        return 0;
    }
    bool WritePiece(const fs::path& piece, uint64_t offset, std::optional<uint64_t> length, char letter,
                    uint64_t limit);
    int SplitFull(int32_t segment);
    int ReadInformation(uint64_t offset, uint32_t length, char letter);
    int WriteDocument(uint64_t start, char letter, bool lineData, bool keepSegmentZero);
    int ConvertLineData(fs::path& document);
    bool AppendToPrintFile(const fs::path& document);
    bool KeepSegmentZero(uint64_t start);

    SplitInstance& inst_;
    fs::path file_;
    const EngineSink& sink_;
    File in_;
    uint64_t size_ = 0;
    std::optional<uint64_t> damagedAt_;  // where the last piece written was damaged
};

bool Splitter::WritePiece(const fs::path& piece, uint64_t offset, std::optional<uint64_t> length, char letter,
                          uint64_t limit) {
    // Writing over the file being split would destroy it.
    std::error_code error;
    if (fs::equivalent(piece, file_, error)) return false;
    uint64_t at = 0;
    const int result = CopyPiece(in_.get(), piece, offset, length, letter, limit, &at);
    damagedAt_.reset();
    if (result == 3) damagedAt_ = at;
    return result == 0;
}

int Splitter::Run() {
    // The reply has come, whatever it holds (an empty or unreadable one too): otherwise
    // every later request would wait for it.
    const bool pending = inst_.requestPending;
    inst_.requestPending = false;
    if (inst_.tempDir.empty()) return 0;  // no directory of its own: nowhere to write
    in_.reset(std::fopen(file_.c_str(), "rb"));
    if (!in_) return 0;
    if (fseeko(in_.get(), 0, SEEK_END) != 0) return 0;
    const off_t end = ftello(in_.get());
    if (end < 0) return 0;
    size_ = static_cast<uint64_t>(end);
    uint8_t lead[kLeadSize];
    if (size_ < 4 || !ReadAt(in_.get(), 0, lead, 4)) return 0;
    if (std::memcmp(lead, "VOD#", 4) != 0) return WriteDocument(0, 'N', false, false);  // a plain document

    if (!ReadAt(in_.get(), 4, lead + 4, 8)) return 0;
    const uint32_t version = QelGetBE32(lead + 4);
    if (version >= kVersionLimit) {
        if (sink_.showMessage)
            sink_.showMessage(kMsgVersion,
                              " (C-" + std::to_string(kPluginLevel) + ", S-" + std::to_string(version) + ")");
        return 0;
    }
    const auto segment = static_cast<int32_t>(QelGetBE32(lead + 8));
    inst_.currentSegment = segment;
    // A segment 0 that answers a request (a kept ".ZE0" copy, or the gateway's reply to
    // segment 0) has no header either.
    if ((segment != 0 && segment != -1) || (segment == 0 && pending))
        return WriteDocument(kLeadSize, static_cast<char>(inst_.documentLetter), inst_.documentType == 'L',
                             false);
    return SplitFull(segment);
}

int Splitter::SplitFull(int32_t segment) {
    uint8_t h[kHeaderEnd];
    if (!ReadAt(in_.get(), 0, h, kHeaderEnd)) return 0;
    const char infoLetter = static_cast<char>(h[12]);
    const char resourceLetter = static_cast<char>(h[13]);
    inst_.documentLetter = h[14];
    const uint32_t infoLength = QelGetBE32(h + 15);
    const uint32_t resourceLength = QelGetBE32(h + 19);
    inst_.documentType = h[23];
    inst_.displayMode = DisplayMode(h[24]);
    const uint32_t number = QelGetBE32(h + 25);
    inst_.displayNumber = number != 100 && number <= INT32_MAX ? static_cast<int32_t>(number) : -1;
    inst_.pageWidth = Twips(QelGetBE32(h + 29));
    inst_.pageHeight = Twips(QelGetBE32(h + 33));
    std::memcpy(inst_.attributes.data(), h + 37, 3);

    uint64_t offset = kHeaderEnd;
    inst_.lineDataDescription.clear();
    if (inst_.documentType == 'L') {
        uint8_t k[4];
        if (!ReadAt(in_.get(), kHeaderEnd, k, 4)) return 0;
        const uint32_t blockLength = QelGetBE32(k);
        if (blockLength < kLineDataHeaderSize || blockLength > size_ - (kHeaderEnd + 4)) return 0;
        inst_.lineDataDescription.resize(blockLength);
        if (!ReadAt(in_.get(), kHeaderEnd + 4, inst_.lineDataDescription.data(), blockLength)) return 0;
        offset = kHeaderEnd + 4 + blockLength;
    }
    if (segment == 0 && infoLength > 0 && ReadInformation(offset, infoLength, infoLetter) == 0) return 0;
    offset += infoLength;
    if (resourceLength > 0) {
        const fs::path resources = Piece(".ZER");
        if (!WritePiece(resources, offset, resourceLength, resourceLetter, inst_.pieceLimit)) {
            inst_.resourceFile.clear();
            return Fail(resources);
        }
        inst_.resourceFile = resources.string();
    }
    offset += resourceLength;
    return WriteDocument(offset, static_cast<char>(inst_.documentLetter), inst_.documentType == 'L',
                         segment == 0);
}

int Splitter::ReadInformation(uint64_t offset, uint32_t length, char letter) {
    const fs::path info = Piece(".AII");
    // A block above the largest one read is refused as it is expanded, not after.
    if (!WritePiece(info, offset, length, letter, std::min(inst_.pieceLimit, kMaxInfoBlock))) {
        std::error_code error;
        if (!fs::equivalent(info, file_, error)) fs::remove(info, error);  // the part written
        return Fail(info);
    }
    std::vector<uint8_t> block;
    {
        File file(std::fopen(info.c_str(), "rb"));
        std::error_code error;
        const uint64_t size = fs::file_size(info, error);
        if (!file || error || size > kMaxInfoBlock) {
            fs::remove(info, error);
            return Fail(info);
        }
        block.resize(static_cast<size_t>(size));
        if (std::fread(block.data(), 1, block.size(), file.get()) != block.size()) {
            fs::remove(info, error);
            return Fail(info);
        }
    }
    std::error_code error;
    fs::remove(info, error);  // only a scratch file for the reading
    std::optional<DocInfo> parsed = ParseDocInfo(block);
    if (!parsed) return Damaged(offset);  // the block as a whole does not hold together
    inst_.totalPages = parsed->totalPages;
    inst_.segmentCount = parsed->segmentCount;
    inst_.pagesPerSegment = parsed->pagesPerSegment;
    inst_.pagesInLastSegment = parsed->pagesInLastSegment;
    inst_.segmentUrl = std::move(parsed->segmentUrl);
    inst_.segmentFormData = std::move(parsed->formData);
    if (inst_.segmentCount > 0) inst_.segments.Make(inst_.segmentCount);
    if (sink_.addPageName) {
        for (const std::string& name : parsed->pageNames) sink_.addPageName(name);
    }
    if (sink_.addIndexEntry) {
        for (const DocInfo::Entry& entry : parsed->entries)
            sink_.addIndexEntry(entry.group, entry.value, entry.kind, entry.page);
    }
    return 1;
}

int Splitter::WriteDocument(uint64_t start, char letter, bool lineData, bool keepSegmentZero) {
    fs::path document = Piece(".VOD");
    if (start > size_ || !WritePiece(document, start, std::nullopt, letter, inst_.pieceLimit)) {
        // A damaged document is said once and shown as far as it could be decoded.
        if (damagedAt_) {
            Damaged(*damagedAt_);
        } else {
            if (!inst_.fetching) inst_.documentFile.clear();
            return Fail(document);
        }
    }
    if (lineData && ConvertLineData(document) == 0) {
        if (!inst_.fetching) inst_.documentFile.clear();
        return 0;
    }
    if (!inst_.fetching) inst_.documentFile = document.string();
    if (inst_.fetching) {
        if (!AppendToPrintFile(document)) return Fail(fs::path(inst_.printFile));
        std::error_code error;
        fs::remove(document, error);
    } else if (keepSegmentZero && inst_.segments.Exists() && !inst_.segments.Get(0)) {
        if (!KeepSegmentZero(start)) return Fail(Piece(".ZE0"));
    }
    return 1;
}

// The text density of a line-data document: characters per inch across the page less an
// inch, lines per inch down it. Pages without a usable size take 8.5 inches across and a
// tenth of an inch per line; a document without text keeps the engine's own density.
void PassDensity(const SplitInstance& inst, const EngineSink& sink, uint32_t lines, uint32_t widest) {
    if (!sink.setLineDataParms || widest == 0) return;
    double width = static_cast<double>(inst.pageWidth) / kTwipsPerInch;
    if (width <= 1.0) width = 900.0 / 120.0 + 1.0;
    const double height = static_cast<double>(inst.pageHeight) / kTwipsPerInch;
    const double across = (width - 1.0) * 120.0 / widest;
    const double down = height > 1.0 ? lines / (height - 1.0) + 0.5 : lines * 0.1 + 0.5;
    const auto clamp = [](double value) { return static_cast<int32_t>(std::min(value, 1.0e6)); };
    const int32_t charsPerInch = clamp(across);
    const int32_t linesPerInch = clamp(down);
    if (charsPerInch != 0 && linesPerInch != 0) sink.setLineDataParms(lines, charsPerInch, linesPerInch);
}

int Splitter::ConvertLineData(fs::path& document) {
    if (inst_.lineDataDescription.size() < kLineDataHeaderSize) return Fail(document);
    const fs::path text = Piece(".ZEL");
    uint32_t lines = 0;
    uint32_t widest = 0;
    {
        File input(std::fopen(document.c_str(), "rb"));
        File output(std::fopen(text.c_str(), "wb"));
        if (!input || !output) return Fail(text);
        const std::span<const uint8_t, kLineDataHeaderSize> header(inst_.lineDataDescription.data(),
                                                                   kLineDataHeaderSize);
        if (LineData_ConvertToText(input.get(), output.get(), inst_.mapDirectory, header, lines, widest) == 0)
            return Fail(text);
        if (std::fclose(output.release()) != 0) return Fail(text);
    }
    PassDensity(inst_, sink_, lines, widest);
    std::error_code error;
    fs::remove(document, error);
    document = text;
    return 1;
}

bool Splitter::AppendToPrintFile(const fs::path& document) {
    if (inst_.printFile.empty())
        inst_.printFile = (inst_.tempDir / (file_.stem().string() + ".PRN")).string();
    File out(std::fopen(inst_.printFile.c_str(), "ab"));
    File in(std::fopen(document.c_str(), "rb"));
    if (!out || !in) return false;
    std::vector<unsigned char> buffer(kPieceChunk);
    size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0) {
        if (std::fwrite(buffer.data(), 1, got, out.get()) != got) return false;
    }
    if (std::ferror(in.get())) return false;
    return std::fclose(out.release()) == 0;
}

// Segment 0 as a reply of its own (the lead and the document bytes as they came), so that
// it can be shown again without asking the gateway.
bool Splitter::KeepSegmentZero(uint64_t start) {
    const fs::path copy = Piece(".ZE0");
    File out(std::fopen(copy.c_str(), "wb"));
    uint8_t lead[kLeadSize];
    if (!out || !ReadAt(in_.get(), 0, lead, kLeadSize)) return false;
    if (std::fwrite(lead, 1, kLeadSize, out.get()) != kLeadSize) return false;
    if (fseeko(in_.get(), static_cast<off_t>(start), SEEK_SET) != 0) return false;
    std::vector<unsigned char> buffer(kPieceChunk);
    size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), in_.get())) > 0) {
        if (std::fwrite(buffer.data(), 1, got, out.get()) != got) return false;
    }
    if (std::ferror(in_.get()) || std::fclose(out.release()) != 0) return false;
    return inst_.segments.Set(0, copy.string());
}

}  // namespace

int32_t TwipsFromInches(float inches) {
    const double twips = static_cast<double>(inches) * kTwipsPerInch + 0.5;
    if (!(twips >= 0.0) || twips >= kMaxPageTwips + 1.0) return 0;
    return static_cast<int32_t>(twips);
}

int Split(SplitInstance& instance, const std::filesystem::path& file, const EngineSink& sink) {
    return Splitter(instance, file, sink).Run();
}

}  // namespace afp
