// description_parts.cpp - what a document carries besides its data and index values:
// annotations, the resource it names, and the further segments of a paged document.
#include <limits>
#include <set>

#include "description_parser.h"

namespace arcbuild {
namespace {

constexpr int32_t kMaxInt = std::numeric_limits<int32_t>::max();
constexpr size_t kMaxNoteText = 32000;
constexpr size_t kMaxPageName = 127;  // readers of other makes take a length byte as signed

std::string Index(const std::string& path, size_t i) { return path + "[" + std::to_string(i) + "]"; }

// "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS" (UTC) as seconds since 1970.
std::optional<int64_t> SecondsOf(const std::string& text) {
    if (text.size() != 10 && text.size() != 19) return std::nullopt;
    const auto day = DaysOf(text.substr(0, 10));
    if (!day) return std::nullopt;
    int64_t seconds = (*day - 1) * 86400;
    if (text.size() == 10) return seconds;
    if (text[10] != ' ' || text[13] != ':' || text[16] != ':') return std::nullopt;
    for (size_t i : {11, 12, 14, 15, 17, 18})
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
    const int h = std::stoi(text.substr(11, 2)), min = std::stoi(text.substr(14, 2)),
              sec = std::stoi(text.substr(17, 2));
    if (h > 23 || min > 59 || sec > 59) return std::nullopt;
    return seconds + h * 3600 + min * 60 + sec;
}

}  // namespace

bool DescriptionParser::ReadNotes(const Members& m, DocumentDef* doc) {
    const Json* list = m.Array("notes", false);
    if (list == nullptr) return false;
    bool ok = true;
    for (size_t i = 0; i < list->size(); ++i) {
        Members n((*list)[i], Index(m.At("notes"), i), errors_);
        if (!n.IsObject()) {
            ok = false;
            continue;
        }
        n.OnlyThese({"user", "text", "public", "created", "page", "colour"});
        NoteDef note;
        const auto user = n.Text("user", 20, kTextNonEmpty, std::nullopt);
        const auto text = n.Text("text", kMaxNoteText, kTextPlain, std::nullopt);
        const auto page = n.Integer("page", 0, kMaxInt, 1);
        const auto colour = n.Integer("colour", 0, 255, 0);
        bool good = user && text && page && colour;
        if (const Json* shared = n.Find("public")) {
            if (!shared->is_boolean()) {
                errors_->Add(kErrWrongType, n.At("public"), "must be true or false");
                good = false;
            } else {
                note.isPublic = shared->get<bool>();
            }
        }
        note.created = -1;  // the build time
        if (const Json* created = n.Find("created")) {
            std::optional<int64_t> seconds;
            if (created->is_string()) {
                seconds = SecondsOf(created->get<std::string>());
                if (!seconds)
                    errors_->Add(kErrOutOfRange, n.At("created"),
                                 "a time is written YYYY-MM-DD or YYYY-MM-DD HH:MM:SS, from 1970 on");
            } else {
                seconds =
                    CheckInteger(*created, n.At("created"), 0, std::numeric_limits<int64_t>::max(), errors_);
            }
            good = good && seconds;
            if (seconds) note.created = *seconds;
        }
        if (user) {
            const auto uid = userIds_.find(Upper(*user));
            if (uid == userIds_.end()) {
                errors_->Add(kErrUnknownName, n.At("user"), "no user " + *user + " is described");
                good = false;
            } else {
                note.uid = uid->second;
                for (const UserDef& u : d_->users)
                    if (u.uid == uid->second) note.user = u.name;
            }
        }
        if (!good) {
            ok = false;
            continue;
        }
        note.text = *text;
        note.page = static_cast<int32_t>(*page);
        note.colour = static_cast<int32_t>(*colour);
        doc->notes.push_back(std::move(note));
    }
    return ok;
}

bool DescriptionParser::ReadResourceRef(const Members& m, const AppGroupDef& group, DocumentDef* doc) {
    if (m.Find("resource") == nullptr) return true;
    const auto id = m.Integer("resource", 1, 65535, std::nullopt);
    if (!id) return false;
    for (const ResourceDef& r : group.resources) {
        if (r.id == *id) {
            doc->resource = static_cast<uint32_t>(*id);
            return true;
        }
    }
    errors_->Add(kErrUnknownName, m.At("resource"),
                 "group " + group.name + " describes no resource " + std::to_string(*id));
    return false;
}

bool DescriptionParser::ReadSegments(const Members& m, const AppGroupDef& group, DocumentDef* doc) {
    const bool given = m.Find("segments") != nullptr;
    if (!given) {
        bool ok = true;
        for (const char* member : {"pages", "segment_pages", "page_names"}) {
            if (m.Find(member) != nullptr) {
                errors_->Add(kErrMissing, m.At("segments"),
                             std::string(member) + " belongs to a paged document");
                ok = false;
            }
        }
        return ok;
    }
    const Json* list = m.Array("segments", true);
    const auto pages = m.Integer("pages", 1, kMaxInt, std::nullopt);
    const auto perSegment = m.Integer("segment_pages", 1, kMaxInt, std::nullopt);
    const Json* names = m.Array("page_names", false);
    if (list == nullptr || !pages || !perSegment || names == nullptr) return false;
    bool ok = true;
    PagedDef& parts = doc->parts;
    if (list->empty() || list->size() > kMaxSegments - 1) {
        errors_->Add(kErrOutOfRange, m.At("segments"),
                     "a paged document has 1 to " + std::to_string(kMaxSegments - 1) + " further segments");
        ok = false;
    }
    for (size_t i = 0; i < list->size(); ++i) {
        Members s((*list)[i], Index(m.At("segments"), i), errors_);
        if (!s.IsObject()) {
            ok = false;
            continue;
        }
        s.OnlyThese({"file", "offset", "length"});
        if (auto range = ReadRange(s))
            parts.further.push_back(std::move(*range));
        else
            ok = false;
    }
    // Every segment but the last holds segment_pages pages, the last at least one.
    const int64_t segments = (*pages + *perSegment - 1) / *perSegment;
    if (segments != static_cast<int64_t>(list->size()) + 1) {
        errors_->Add(kErrOutOfRange, m.At("segment_pages"),
                     std::to_string(*pages) + " pages of " + std::to_string(*perSegment) +
                         " a segment make " + std::to_string(segments) + " segments, not " +
                         std::to_string(list->size() + 1));
        ok = false;
    }
    if (names->size() > static_cast<size_t>(*pages)) {
        errors_->Add(kErrOutOfRange, m.At("page_names"), "names more pages than the document has");
        ok = false;
    }
    for (size_t i = 0; i < names->size(); ++i) {
        const auto name =
            CheckText((*names)[i], Index(m.At("page_names"), i), kMaxPageName, kTextPlain, errors_);
        if (name)
            parts.pageNames.push_back(*name);
        else
            ok = false;
    }
    // The first object's name with '$' (at most 11 bytes) names the document; a further
    // object's name is its first four characters and a letter.
    const std::string& object = group.objects[doc->object].name;
    if (object.size() < 4 || object.size() > QELIDX_OBJECT_NAME_SIZE - 1) {
        errors_->Add(kErrBadText, m.At("object"),
                     "the object of a paged document has a name of 4 to 10 bytes");
        ok = false;
    }
    parts.pages = static_cast<int32_t>(*pages);
    parts.segmentPages = static_cast<int32_t>(*perSegment);
    doc->paged = true;
    return ok;
}

void DescriptionParser::CheckPagedObjects() {
    // Objects in use per group: by how many documents, and by a paged one.
    std::map<std::pair<size_t, size_t>, size_t> users;
    for (const DocumentDef& doc : d_->documents) ++users[{doc.group, doc.object}];
    std::vector<std::set<std::string>> names(d_->appGroups.size());
    for (size_t g = 0; g < d_->appGroups.size(); ++g)
        for (const ObjectDef& o : d_->appGroups[g].objects) names[g].insert(o.name);
    for (size_t i = 0; i < d_->documents.size(); ++i) {
        const DocumentDef& doc = d_->documents[i];
        if (!doc.paged) continue;
        const std::string& object = d_->appGroups[doc.group].objects[doc.object].name;
        // Its name with '$' is read from the object's start to its end.
        if (users[{doc.group, doc.object}] > 1)
            errors_->Add(kErrDuplicate, documentPaths_[i] + ".object",
                         "object " + object + " holds a paged document and so no other document");
        for (size_t k = 1; k <= doc.parts.further.size(); ++k) {
            const std::string further = FurtherObjectName(object, k);
            if (!names[doc.group].insert(further).second)
                errors_->Add(kErrDuplicate, documentPaths_[i] + ".segments",
                             "segment object " + further + " is another object of the group");
        }
    }
}

std::string FurtherObjectName(const std::string& object, size_t k) {
    return object.substr(0, 4) + static_cast<char>('A' + k);
}

}  // namespace arcbuild
