// afp_reader.cpp - AFP structured fields to pages: page size, presentation text (absolute
// and relative moves, transparent data, rules), overlays, and frames for objects (images,
// graphics, bar codes, page segments) that are not drawn.
#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_map>

#include "document.h"
#include "ebcdic.h"

namespace knvw {
namespace {

using FieldId = std::array<unsigned char, 3>;
constexpr FieldId kBPG{0xD3, 0xA8, 0xAF}, kEPG{0xD3, 0xA9, 0xAF};
constexpr FieldId kPGD{0xD3, 0xA6, 0xAF}, kPTD1{0xD3, 0xA6, 0x9B}, kPTD2{0xD3, 0xB1, 0x9B};
constexpr FieldId kPTX{0xD3, 0xEE, 0x9B};
constexpr FieldId kBMO{0xD3, 0xA8, 0xDF}, kEMO{0xD3, 0xA9, 0xDF};
constexpr FieldId kIPO{0xD3, 0xAF, 0xD8}, kIPS{0xD3, 0xAF, 0x5F}, kIOB{0xD3, 0xAF, 0xC3};
constexpr FieldId kMCF{0xD3, 0xAB, 0x8A};
constexpr FieldId kOBD{0xD3, 0xA6, 0x6B}, kOBP{0xD3, 0xAC, 0x6B};

// Objects drawn as frames: begin and end identifiers, with the label shown.
struct ObjectKind {
    FieldId begin, end;
    const char* label;
};
constexpr ObjectKind kObjects[] = {
    {{0xD3, 0xA8, 0xFB}, {0xD3, 0xA9, 0xFB}, "image"},
    {{0xD3, 0xA8, 0x7B}, {0xD3, 0xA9, 0x7B}, "image"},  // IM image
    {{0xD3, 0xA8, 0xBB}, {0xD3, 0xA9, 0xBB}, "graphics"},
    {{0xD3, 0xA8, 0xEB}, {0xD3, 0xA9, 0xEB}, "bar code"},
    {{0xD3, 0xA8, 0x92}, {0xD3, 0xA9, 0x92}, "object"},
};

constexpr double kDefaultUnitsPerInch = 1440;
// Overlays copied onto a page stop here (a hostile file could include one many times).
constexpr std::size_t kMaxCopiedItems = 200000;
// And all copies in a document together (onto pages and into other overlays) stop at this
// estimate of their memory, a base plus so much for each byte of the file: includes spread
// over many pages or nested in overlays cannot multiply a small file either.
constexpr std::size_t kCopyBudgetBase = 64u * 1024u * 1024u;
constexpr std::size_t kCopyBudgetPerByte = 32;

unsigned Read2(std::string_view d, std::size_t at) {
    if (at + 2 > d.size()) return 0;
    return (static_cast<unsigned char>(d[at]) << 8) | static_cast<unsigned char>(d[at + 1]);
}
unsigned Read3(std::string_view d, std::size_t at) {
    if (at + 3 > d.size()) return 0;
    return (static_cast<unsigned char>(d[at]) << 16) | (static_cast<unsigned char>(d[at + 1]) << 8) |
           static_cast<unsigned char>(d[at + 2]);
}
int Signed2(std::string_view d, std::size_t at) { return static_cast<int16_t>(Read2(d, at)); }
int Signed3(std::string_view d, std::size_t at) {
    const unsigned v = Read3(d, at);
    return (v & 0x800000) ? static_cast<int>(v) - 0x1000000 : static_cast<int>(v);
}

std::string EbcdicName(std::string_view d, EbcdicPage page) {
    std::string name;
    for (std::size_t i = 0; i < std::min<std::size_t>(8, d.size()); ++i) {
        name.push_back(static_cast<char>(EbcdicToLatin1(static_cast<unsigned char>(d[i]), page)));
    }
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}

struct Field {
    FieldId id{};
    std::string_view data;
};

// A field header that holds together: 0x5A, a length of at least 8 that ends inside the
// data, and an identifier of the 0xD3 class every structured field has.
bool PlausibleField(std::string_view all, std::size_t pos) {
    if (pos + 9 > all.size() || all[pos] != 0x5A || static_cast<unsigned char>(all[pos + 3]) != 0xD3)
        return false;
    const std::size_t length = Read2(all, pos + 1);
    return length >= 8 && pos + 1 + length <= all.size();
}

// One structured field at pos: 0x5A, length (counting itself), identifier, flags, two
// reserved bytes, an optional extension, data, optional padding. false at the end.
// Damage sets damagedAt (the first damaged byte) once: bytes between fields are skipped
// to the next 0x5A; a field whose length runs past the end gives what it holds up to the
// next plausible field (or the end), and the reading goes on from there.
bool NextField(std::string_view all, std::size_t& pos, Field& field, std::optional<std::size_t>& damagedAt) {
    const auto damage = [&](std::size_t at) {
        if (!damagedAt) damagedAt = at;
    };
    std::size_t length = 0, end = 0;
    for (;;) {
        while (pos < all.size() && all[pos] != 0x5A) {
            // Record separators some systems put between fields are skipped; anything
            // else is damage, and the reader resynchronises on the next 0x5A.
            const char c = all[pos];
            if (c != '\r' && c != '\n' && c != 0) damage(pos);
            ++pos;
        }
        if (pos + 9 > all.size()) {
            if (pos < all.size()) damage(pos);
            pos = all.size();
            return false;
        }
        length = Read2(all, pos + 1);
        end = pos + 1 + length;
        if (length >= 8 && end <= all.size()) break;
        damage(pos);
        if (length < 8) {
            ++pos;
            continue;
        }
        end = pos + 9;
        while (end < all.size() && !PlausibleField(all, end)) ++end;
        break;
    }
    std::memcpy(field.id.data(), all.data() + pos + 3, 3);
    const auto flags = static_cast<unsigned char>(all[pos + 6]);
    std::string_view data = all.substr(pos + 9, end - pos - 9);
    if ((flags & 0x08) && !data.empty()) {  // extension: its length byte counts itself
        const std::size_t ext = static_cast<unsigned char>(data[0]);
        data.remove_prefix(std::min(ext, data.size()));
    }
    if ((flags & 0x20) && !data.empty()) {  // padding: the last byte gives its length
        const std::size_t pad = static_cast<unsigned char>(data.back());
        if (pad > 0 && pad <= data.size()) data.remove_suffix(pad);
    }
    field.data = data;
    pos = end;
    return true;
}

// Collects the content of one page or overlay.
struct Canvas {
    double unitsPerInch = kDefaultUnitsPerInch;
    double width = 0, height = 0;
    std::vector<TextRun> runs;
    std::vector<Box> rules;
    std::vector<Box> frames;
};

// Presentation text state, kept across the PTX fields of one page.
struct TextState {
    double inlinePos = 0, baseline = 0;
    double lineSpacing = 0;  // 0: one cell height
    double margin = 0;
};

// Interprets the control sequences of one PTX field: 0x2BD3 starts a chain; an odd
// function type chains the next sequence, which then has no 0x2BD3 of its own.
void ReadPresentationText(std::string_view d, Canvas& canvas, TextState& state, EbcdicPage codePage) {
    const double cellWidth = canvas.unitsPerInch / 10;  // 10 characters per inch
    const double cellHeight = canvas.unitsPerInch / 6;  // 6 lines per inch
    std::size_t pos = 0;
    bool chained = false;
    while (pos < d.size()) {
        if (!chained) {
            if (pos + 2 > d.size()) return;
            if (static_cast<unsigned char>(d[pos]) != 0x2B ||
                static_cast<unsigned char>(d[pos + 1]) != 0xD3) {
                return;  // not a control sequence: the rest cannot be read
            }
            pos += 2;
        }
        if (pos + 2 > d.size()) return;
        const std::size_t length = static_cast<unsigned char>(d[pos]);
        const auto type = static_cast<unsigned char>(d[pos + 1]);
        if (length < 2) return;
        // A sequence cut by the end of the field ends the field; text cut so still shows
        // the characters before the cut.
        const bool cut = pos + length > d.size();
        if (cut && (type & 0xFE) != 0xDA) return;
        const std::string_view args = d.substr(pos + 2, cut ? std::string_view::npos : length - 2);
        chained = (type & 1) != 0 && !cut;
        switch (type & 0xFE) {
            case 0xC6: state.inlinePos = Signed2(args, 0); break;                 // AMI
            case 0xD2: state.baseline = Signed2(args, 0); break;                  // AMB
            case 0xC8: state.inlinePos += Signed2(args, 0); break;                // RMI
            case 0xD4: state.baseline += Signed2(args, 0); break;                 // RMB
            case 0xD0: state.lineSpacing = std::max(0, Signed2(args, 0)); break;  // SBI
            case 0xC0: state.margin = Signed2(args, 0); break;                    // SIM
            case 0xD8:                                                            // BLN
                state.baseline += state.lineSpacing > 0 ? state.lineSpacing : cellHeight;
                state.inlinePos = state.margin;
                break;
            case 0xDA: {  // TRN
                TextRun run;
                run.x = state.inlinePos;
                run.baseline = state.baseline;
                run.cellWidth = cellWidth;
                run.cellHeight = cellHeight;
                run.text.reserve(args.size());
                for (char c : args) {
                    run.text.push_back(
                        static_cast<char>(EbcdicToLatin1(static_cast<unsigned char>(c), codePage)));
                }
                state.inlinePos += cellWidth * static_cast<double>(args.size());
                if (!run.text.empty()) canvas.runs.push_back(std::move(run));
                break;
            }
            case 0xE4:    // DIR: a rule along the line
            case 0xE6: {  // DBR: a rule down the page
                const int len = Signed2(args, 0);
                double thickness = args.size() >= 4 ? Signed2(args, 2) : canvas.unitsPerInch / 100;
                if (thickness == 0) thickness = canvas.unitsPerInch / 100;
                Box rule;
                if ((type & 0xFE) == 0xE4) {
                    rule.x = std::min(state.inlinePos, state.inlinePos + len);
                    rule.y = std::min(state.baseline, state.baseline + thickness);
                    rule.width = std::abs(len);
                    rule.height = std::abs(thickness);
                } else {
                    rule.x = std::min(state.inlinePos, state.inlinePos + thickness);
                    rule.y = std::min(state.baseline, state.baseline + len);
                    rule.width = std::abs(thickness);
                    rule.height = std::abs(len);
                }
                canvas.rules.push_back(rule);
                break;
            }
            default: break;  // fonts, colours, orientation, no-ops: not used here
        }
        pos = cut ? d.size() : pos + length;
    }
}

// Page size and units from a page or text descriptor: base, units per ten inches for x
// and y, then the sizes (3 bytes each).
void ReadDescriptor(std::string_view d, Canvas& canvas) {
    const unsigned units = Read2(d, 2);
    if (units > 0) canvas.unitsPerInch = units / 10.0;
    if (d.size() >= 12) {
        canvas.width = Read3(d, 6);
        canvas.height = Read3(d, 9);
    }
}

// Object area size and position (object area descriptor and position) inside an object.
struct ObjectArea {
    double x = 0, y = 0, width = 0, height = 0;
    bool sized = false;
};
void ReadObjectDescriptor(std::string_view d, ObjectArea& area) {
    // Triplets: length, id, data. 0x4C is the object area size (type, x 3 bytes, y 3 bytes).
    std::size_t pos = 0;
    while (pos + 2 <= d.size()) {
        const std::size_t length = static_cast<unsigned char>(d[pos]);
        if (length < 2 || pos + length > d.size()) return;
        if (static_cast<unsigned char>(d[pos + 1]) == 0x4C && length >= 9) {
            area.width = Read3(d, pos + 3);
            area.height = Read3(d, pos + 6);
            area.sized = true;
        }
        pos += length;
    }
}
void ReadObjectPosition(std::string_view d, ObjectArea& area) {
    if (d.size() >= 8) {
        area.x = Signed3(d, 2);
        area.y = Signed3(d, 5);
    }
}

Box FrameOf(const ObjectArea& area, double unitsPerInch, std::string label) {
    Box frame;
    frame.x = area.x;
    frame.y = area.y;
    frame.width = area.sized && area.width > 0 ? area.width : unitsPerInch;  // unknown size: an inch
    frame.height = area.sized && area.height > 0 ? area.height : unitsPerInch;
    frame.label = std::move(label);
    return frame;
}

void AddOverlay(Canvas& canvas, const Overlay& overlay, double dx, double dy) {
    for (auto run : overlay.runs) {
        run.x += dx;
        run.baseline += dy;
        canvas.runs.push_back(std::move(run));
    }
    for (auto box : overlay.rules) {
        box.x += dx;
        box.y += dy;
        canvas.rules.push_back(std::move(box));
    }
    for (auto box : overlay.frames) {
        box.x += dx;
        box.y += dy;
        canvas.frames.push_back(std::move(box));
    }
}

std::size_t ItemCount(const std::vector<TextRun>& runs, const std::vector<Box>& rules,
                      const std::vector<Box>& frames) {
    return runs.size() + rules.size() + frames.size();
}

// The memory a copy of an overlay takes, roughly: its items and their text.
std::size_t CopyCost(const Overlay& overlay) {
    std::size_t bytes =
        overlay.runs.size() * sizeof(TextRun) + (overlay.rules.size() + overlay.frames.size()) * sizeof(Box);
    for (const auto& run : overlay.runs) bytes += run.text.size();
    for (const auto& frame : overlay.frames) bytes += frame.label.size();
    return bytes;
}

Page ToPage(Canvas&& canvas) {
    Page page;
    page.unitsPerInch = canvas.unitsPerInch;
    const double lo = kMinPageInches * canvas.unitsPerInch, hi = kMaxPageInches * canvas.unitsPerInch;
    page.width = canvas.width > 0 ? std::clamp(canvas.width, lo, hi) : 8.5 * canvas.unitsPerInch;
    page.height = canvas.height > 0 ? std::clamp(canvas.height, lo, hi) : 11 * canvas.unitsPerInch;
    page.runs = std::move(canvas.runs);
    page.rules = std::move(canvas.rules);
    page.frames = std::move(canvas.frames);
    return page;
}

// The reader: one pass over the fields, a page or an overlay being collected at a time.
class AfpReader {
public:
    AfpReader(std::vector<Overlay>& overlays) : overlays_(overlays) {
        for (std::size_t i = 0; i < overlays_.size(); ++i) Index(i);
    }

    Document Read(std::string_view data) {
        copyBudget_ = kCopyBudgetBase + kCopyBudgetPerByte * data.size();
        std::size_t pos = 0;
        Field field;
        std::optional<std::size_t> damagedAt;
        while (NextField(data, pos, field, damagedAt)) {
            Handle(field);
            if (stop_) break;
        }
        // A page cut short by the end of the file is still shown.
        if (inPage_) FinishPage();
        document_.truncated = damagedAt.has_value() || stop_;
        document_.damagedAt = damagedAt;
        return std::move(document_);
    }

private:
    void Handle(const Field& f) {
        if (f.id == kMCF &&
            f.data.find(std::string_view("\xE3\xF1\xE5\xF1\xF0\xF0\xF3\xF7", 8)) != std::string_view::npos) {
            codePage_ = EbcdicPage::Cp37;  // T1V10037
        }
        if (f.id == kBMO) {
            inOverlay_ = true;
            overlay_ = Overlay{};
            overlay_.name = EbcdicName(f.data, codePage_);
            canvas_ = Canvas{};
            text_ = TextState{};
            return;
        }
        if (f.id == kEMO) {
            if (inOverlay_) {
                overlay_.runs = std::move(canvas_.runs);
                overlay_.rules = std::move(canvas_.rules);
                overlay_.frames = std::move(canvas_.frames);
                overlays_.push_back(std::move(overlay_));
                Index(overlays_.size() - 1);
                inOverlay_ = false;
            }
            return;
        }
        if (f.id == kBPG && !inOverlay_) {
            if (inPage_) FinishPage();
            if (document_.pages.size() >= kMaxPages) {
                stop_ = true;
                return;
            }
            inPage_ = true;
            canvas_ = Canvas{};
            text_ = TextState{};
            return;
        }
        if (f.id == kEPG && !inOverlay_) {
            if (inPage_) FinishPage();
            return;
        }
        if (!inPage_ && !inOverlay_) return;
        for (const auto& kind : kObjects) {
            if (f.id == kind.begin) {
                object_ = ObjectArea{};
                objectLabel_ = kind.label;
                inObject_ = true;
                return;
            }
            if (f.id == kind.end) {
                if (inObject_) canvas_.frames.push_back(FrameOf(object_, canvas_.unitsPerInch, objectLabel_));
                inObject_ = false;
                return;
            }
        }
        if (inObject_) {
            if (f.id == kOBD) ReadObjectDescriptor(f.data, object_);
            if (f.id == kOBP) ReadObjectPosition(f.data, object_);
            return;
        }
        if (f.id == kPGD) {
            ReadDescriptor(f.data, canvas_);
            sizedByPgd_ = true;
        } else if ((f.id == kPTD1 || f.id == kPTD2) && !sizedByPgd_) {
            ReadDescriptor(f.data, canvas_);
        } else if (f.id == kPTX) {
            ReadPresentationText(f.data, canvas_, text_, codePage_);
        } else if (f.id == kIPO) {
            const std::string name = EbcdicName(f.data, codePage_);
            const double dx = Signed3(f.data, 8), dy = Signed3(f.data, 11);
            const auto known = byName_.find(name);
            const Overlay* overlay = known == byName_.end() ? nullptr : &overlays_[known->second.index];
            if (overlay &&
                ItemCount(canvas_.runs, canvas_.rules, canvas_.frames) +
                        ItemCount(overlay->runs, overlay->rules, overlay->frames) <
                    kMaxCopiedItems &&
                known->second.cost <= copyBudget_) {
                AddOverlay(canvas_, *overlay, dx, dy);
                copyBudget_ -= known->second.cost;
            } else {
                ObjectArea area{dx, dy, canvas_.width - dx, canvas_.height - dy, canvas_.width > dx};
                canvas_.frames.push_back(FrameOf(area, canvas_.unitsPerInch, "overlay " + name));
            }
        } else if (f.id == kIPS) {
            ObjectArea area{static_cast<double>(Signed3(f.data, 8)),
                            static_cast<double>(Signed3(f.data, 11))};
            canvas_.frames.push_back(
                FrameOf(area, canvas_.unitsPerInch, "segment " + EbcdicName(f.data, codePage_)));
        } else if (f.id == kIOB) {
            ObjectArea area{static_cast<double>(Signed3(f.data, 10)),
                            static_cast<double>(Signed3(f.data, 13))};
            if (f.data.size() > 27) ReadObjectDescriptor(f.data.substr(27), area);
            canvas_.frames.push_back(
                FrameOf(area, canvas_.unitsPerInch, "object " + EbcdicName(f.data, codePage_)));
        }
    }

    // Makes overlays_[index] findable by name; the first overlay of a name wins.
    void Index(std::size_t index) {
        const Overlay& overlay = overlays_[index];
        if (!byName_.contains(overlay.name)) byName_.emplace(overlay.name, Known{index, CopyCost(overlay)});
    }

    void FinishPage() {
        document_.pages.push_back(ToPage(std::move(canvas_)));
        canvas_ = Canvas{};
        inPage_ = false;
        sizedByPgd_ = false;
        inObject_ = false;
    }

    std::vector<Overlay>& overlays_;
    // A lookup per include: a file may hold and include many overlays.
    struct Known {
        std::size_t index;  // into overlays_
        std::size_t cost;   // of a copy
    };
    std::unordered_map<std::string, Known> byName_;
    std::size_t copyBudget_ = 0;  // what copies may still take
    Document document_;
    Canvas canvas_;
    TextState text_;
    Overlay overlay_;
    ObjectArea object_;
    std::string objectLabel_;
    EbcdicPage codePage_ = EbcdicPage::Cp500;
    bool inPage_ = false, inOverlay_ = false, inObject_ = false, sizedByPgd_ = false, stop_ = false;
};

}  // namespace

Document ReadAfp(std::string_view data, std::vector<Overlay>& overlays) {
    AfpReader reader(overlays);
    Document document = reader.Read(data);
    document.kind = Document::Kind::Afp;
    return document;
}

std::vector<Overlay> ReadAfpResources(std::string_view data) {
    std::vector<Overlay> overlays;
    AfpReader reader(overlays);
    reader.Read(data);  // pages in a resource file are not shown
    return overlays;
}

}  // namespace knvw
