// description_documents.cpp - document rows: their group and object, the file range that
// holds their data and one index value per field of the group.
#include <cstring>
#include <filesystem>
#include <limits>

#include "description_parser.h"

namespace arcbuild {
namespace {

constexpr int32_t kSegmentDateMask = 0x04;
constexpr uint64_t kMaxDocument = 0xFFFFFFFFu;  // a row header's lengths are 32-bit
constexpr int32_t kMaxKeyText = 254;

}  // namespace

// The archive's day number of a "YYYY-MM-DD" text (proleptic Gregorian): 1970-01-01 is
// day 1, as day 0 means no date. None when malformed or before 1970.
std::optional<int64_t> DaysOf(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
    int y = std::stoi(text.substr(0, 4)), m = std::stoi(text.substr(5, 2)), d = std::stoi(text.substr(8, 2));
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (y < 1 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1] + (m == 2 && leap ? 1 : 0)) return std::nullopt;
    // Civil-from-days inverse (era arithmetic), exact for every year.
    y -= m <= 2;
    const int64_t era = y / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t day = era * 146097 + doe - 719468 + 1;
    if (day < 1) return std::nullopt;
    return day;
}

namespace {

struct IntRange {
    int64_t low, high;
};
IntRange RangeOf(char type) {
    switch (type) {
        case 'N': return {std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()};
        case 'I': return {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()};
        default: return {std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max()};
    }
}

// A segment keys every stored field; a key holds at most 254 bytes.
bool Indexable(const AppGroupDef& group) {
    for (const FieldDef& f : group.fields)
        if (f.type == 'S' && f.length > kMaxKeyText) return false;
    return true;
}

bool Stored(char type) { return std::strchr("BDINS", type) != nullptr; }

}  // namespace

void DescriptionParser::ReadDocuments(const Json& list, const std::string& path) {
    objectIndex_.assign(d_->appGroups.size(), {});
    for (size_t g = 0; g < d_->appGroups.size(); ++g)
        for (size_t o = 0; o < d_->appGroups[g].objects.size(); ++o)
            objectIndex_[g][d_->appGroups[g].objects[o].name] = o;
    d_->documents.reserve(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        Members m(list[i], path + "[" + std::to_string(i) + "]", errors_);
        if (m.IsObject()) ReadDocument(m);
        // A broken generator repeats one fault thousands of times: stop listing early.
        if (errors_->Count() > 200) return;
    }
    CheckPagedObjects();
}

void DescriptionParser::ReadDocument(const Members& m) {
    m.OnlyThese({"group", "object", "file", "offset", "length", "values", "notes", "resource", "segments",
                 "pages", "segment_pages", "page_names"});
    DocumentDef doc;
    const auto group = m.Text("group", 60, kTextNonEmpty, std::nullopt);
    const auto object = m.Text("object", QELIDX_OBJECT_NAME_SIZE, kTextNonEmpty, std::nullopt);
    const auto range = ReadRange(m);
    const Json* values = m.Find("values");
    if (values == nullptr) errors_->Add(kErrMissing, m.At("values"), "is required");
    if (!group || !object || !range || values == nullptr) return;
    const auto index = GroupIndex(*group);
    if (!index)
        return errors_->Add(kErrUnknownName, m.At("group"),
                            "no application group " + *group + " is described");
    doc.group = *index;
    const AppGroupDef& def = d_->appGroups[*index];
    if (!Indexable(def))
        return errors_->Add(
            kErrOutOfRange, m.At("group"),
            "group " + *group + " has a text field longer than 254 bytes, which no segment indexes");
    const auto found = objectIndex_[*index].find(*object);
    if (found == objectIndex_[*index].end())
        return errors_->Add(kErrUnknownName, m.At("object"),
                            "group " + *group + " describes no object " + *object);
    doc.object = found->second;
    doc.file = range->file;
    doc.offset = range->offset;
    doc.length = range->length;
    // Every part is checked, so that one description shows all its faults.
    bool ok = ReadValues(*values, m.At("values"), def, &doc);
    ok = ReadNotes(m, &doc) && ok;
    ok = ReadResourceRef(m, def, &doc) && ok;
    ok = ReadSegments(m, def, &doc) && ok;
    if (!ok) return;
    documentPaths_.push_back(m.Path());
    d_->documents.push_back(std::move(doc));
}

std::optional<FileRange> DescriptionParser::ReadRange(const Members& m) {
    const auto file = m.Text("file", 4096, kTextNonEmpty, std::nullopt);
    const auto offset = m.Integer("offset", 0, std::numeric_limits<int64_t>::max(), 0);
    const auto length = m.Integer("length", 0, kMaxDocument, -1);
    if (!file || !offset || !length) return std::nullopt;
    FileRange range;
    range.file = (*file)[0] == '/' ? *file : baseDir_ + *file;
    auto size = fileSizes_.find(range.file);
    if (size == fileSizes_.end()) {
        std::error_code ec;
        const uintmax_t bytes = std::filesystem::file_size(range.file, ec);
        size = fileSizes_.emplace(range.file, ec ? -1 : static_cast<int64_t>(bytes)).first;
    }
    if (size->second < 0) {
        errors_->Add(kErrDataFile, m.At("file"), range.file + " cannot be read");
        return std::nullopt;
    }
    range.offset = static_cast<uint64_t>(*offset);
    const int64_t rest = size->second - *offset;
    if (rest < 0 || (*length >= 0 && *length > rest)) {
        errors_->Add(kErrDataFile, m.At("length"), "the range lies outside " + range.file);
        return std::nullopt;
    }
    range.length = static_cast<uint64_t>(*length >= 0 ? *length : rest);
    // A stored block of length 0 would read to the object's end.
    if (range.length == 0) {
        errors_->Add(kErrDataFile, m.At("length"), "a document holds at least one byte");
        return std::nullopt;
    }
    if (range.length > kMaxDocument) {
        errors_->Add(kErrDataFile, m.At("length"), "a document holds at most 4 GiB");
        return std::nullopt;
    }
    return range;
}

bool DescriptionParser::ReadValues(const Json& values, const std::string& where, const AppGroupDef& group,
                                   DocumentDef* doc) {
    Members m(values, where, errors_);
    if (!m.IsObject()) return false;
    bool ok = true;
    for (const auto& item : values.items()) {
        bool known = false;
        for (const FieldDef& f : group.fields) known = known || Upper(f.name) == Upper(item.key());
        if (!known) {
            errors_->Add(kErrUnknownName, m.At(item.key()), "group " + group.name + " has no such field");
            ok = false;
        }
    }
    doc->values.resize(group.fields.size());
    for (size_t n = 0; n < group.fields.size(); ++n) {
        const FieldDef& field = group.fields[n];
        const Json* value = nullptr;
        for (const auto& item : values.items())
            if (Upper(item.key()) == Upper(field.name)) value = &item.value();
        const std::string at = m.At(field.name);
        if (!Stored(field.type)) {
            if (value != nullptr) {
                errors_->Add(kErrBadValue, at,
                             "a field of type " + std::string(1, field.type) + " stores no value");
                ok = false;
            }
            continue;
        }
        if (value == nullptr || value->is_null()) {
            errors_->Add(kErrMissing, at, "every field of the group needs a value");
            ok = false;
            continue;
        }
        QelLocalIdxValue& v = doc->values[n];
        if (field.type == 'S') {
            const auto text = CheckText(*value, at, 1u << 20, kTextPlain, errors_);
            if (text && text->size() > size_t(field.length)) {
                errors_->Add(kErrBadValue, at,
                             "is longer than the field's " + std::to_string(field.length) + " bytes");
                ok = false;
            } else if (!text) {
                ok = false;
            } else {
                v.text = *text;
            }
        } else if (field.type == 'D') {
            if (!value->is_number()) {
                errors_->Add(kErrWrongType, at, "must be a number");
                ok = false;
            } else {
                v.dbl = value->get<double>();
            }
        } else {
            std::optional<int64_t> n64;
            if (value->is_string() && (field.mask & kSegmentDateMask)) {
                n64 = DaysOf(value->get<std::string>());
                if (!n64) errors_->Add(kErrBadValue, at, "a date is written YYYY-MM-DD, from 1970-01-01");
            } else {
                n64 = CheckInteger(*value, at, std::numeric_limits<int64_t>::min(),
                                   std::numeric_limits<int64_t>::max(), errors_);
            }
            if (!n64) {
                ok = false;
                continue;
            }
            const IntRange r = RangeOf(field.type);
            if (*n64 < r.low || *n64 > r.high) {
                errors_->Add(kErrBadValue, at, "does not fit a field of type " + std::string(1, field.type));
                ok = false;
                continue;
            }
            v.integer = *n64;
            if (field.mask & kSegmentDateMask) doc->segmentDate = *n64;
        }
    }
    return ok;
}

}  // namespace arcbuild
