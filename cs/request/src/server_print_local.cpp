// server_print_local.cpp - server print and text search on a local handle: the request
// layer's records handed to the storage manager's print run, with the request layer's
// document retrieval, resources, user exits and page tables as its services; and the
// local server's printer list, read from the server configuration.
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "arc_profile.h"
#include "doc_detail.h"
#include "qel_cs.h"
#include "qel_cswire.h"
#include "qel_sm_bulk.h"
#include "qel_smprint.h"
#include "server_print_local.h"

namespace csreq::detail {

namespace {

constexpr const char* kSource = "Qelcs";

SmPrintValue ValueOf(const CsXdrValue& value, char type) {
    switch (type) {
        case 'B': return int64_t(value.v.big);
        case 'I': return int64_t(value.v.integer);
        case 'N': return int64_t(value.v.small);
        case 'D': return value.v.real;
        case 'S':
        case 'T': return std::string(value.v.text != nullptr ? value.v.text : "");
        default: return std::monostate{};
    }
}

SmPrintObject ObjectOf(const CsXdrObjectRef& o) {
    SmPrintObject out;
    out.name = o.name != nullptr ? o.name : "";
    out.offset = o.offset;
    out.length = o.length;
    out.compressedOffset = o.compressedOffset;
    out.compressedLength = o.compressedLength;
    out.annotations = o.location;
    out.compression = o.compression;
    out.resourceId = o.resourceId;
    out.primaryNode = o.primaryNode;
    out.secondaryNode = o.secondaryNode;
    return out;
}

// A hit of a part object: the document's values with an object reference of its own.
struct PartHit {
    CsXdrHitRow row{};
    CsXdrObjectRef object{};
    std::string name;
};

// What the run's records stand for in the request layer's terms.
class Adapter {
public:
    explicit Adapter(CsHandle* handle) : handle_(handle) {}
    ~Adapter() {
        for (auto& [number, set] : sets_) CsFreeStorageSet(set);
    }

    // Converts the next item of the caller's source.
    int Next(CsHitItemFn items, void* context, SmPrintItem* out) {
        CsXdrApplGroup* group = nullptr;
        CsXdrApplEntry* appl = nullptr;
        CsXdrHitRow* hit = nullptr;
        uint32_t word = 0;
        if (items(context, &group, &appl, &hit, &word) != 0) return CS_CANCELLED;
        if (hit == nullptr) return CS_OK;
        if (group != nullptr) current_ = group;
        // Only documents the user could find in the folder are printed or searched (a first
        // item without a group fails the run).
        if (current_ != nullptr) refused_ = Check(*current_, *hit);
        if (refused_ != CS_OK) return refused_;
        out->group = group != nullptr ? Group(group) : nullptr;
        out->appl = appl != nullptr ? Appl(appl) : nullptr;
        auto doc = std::make_shared<SmPrintDoc>();
        doc->native = hit;
        if (hit->object != nullptr) doc->object = ObjectOf(*hit->object);
        const CsXdrApplGroup* typed = current_;
        for (uint16_t i = 0; i < hit->valueCount && hit->values != nullptr; ++i) {
            const char type =
                typed != nullptr && i < typed->fieldCount ? typed->fields[i].type : hit->values[i].type;
            doc->values.push_back(ValueOf(hit->values[i], type));
        }
        out->doc = std::move(doc);
        out->word = word;
        return CS_OK;
    }

    // Why the item source stopped the run: CS_OK when it did not.
    int Refused() const { return refused_; }

    SmPrintServices Services(void* textSearch) {
        SmPrintServices s;
        s.bulkRetrieve = [this](CsHandle*, SmBulkFeed& feed) { return Retrieve(feed); };
        s.resources = [this](CsHandle*, const SmPrintGroup& g, const SmPrintDoc& doc,
                             const SmPrintSink& sink) { return Resources(g, doc, sink); };
        s.searchExit = [this, textSearch](CsHandle*, const SmPrintGroup& g, const SmPrintAppl& a,
                                          const std::string& file, int32_t* answer) {
            return CsCallSearchExit(handle_, g.native, a.native, textSearch, file.c_str(), answer);
        };
        s.extractExit = [this](CsHandle*, const SmPrintGroup& g, const SmPrintAppl& a,
                               const std::string& pages, const std::string& file, const std::string& out) {
            return CsCallExtractExit(handle_, g.native, a.native, pages.c_str(), file.c_str(), out.c_str());
        };
        s.expandParts = [this](const SmPrintObject& first, std::string_view table,
                               std::vector<SmPrintObject>* parts) { return Expand(first, table, parts); };
        s.pollCancel = [](CsHandle* h) { return CsPollCancel(h); };
        return s;
    }

private:
    int Check(const CsXdrApplGroup& group, const CsXdrHitRow& hit) {
        csdoc::LocalGroup local;
        int rc = csdoc::ReadLocalGroup(handle_, group.number, &local);
        if (rc == CS_OK)
            rc = csdoc::CheckRow(handle_, local, group.restriction, hit, csdoc::RowMatch::kDocument);
        return rc;
    }

    std::shared_ptr<const SmPrintGroup> Group(const CsXdrApplGroup* group) {
        auto& kept = groups_[group];
        if (kept) return kept;
        auto g = std::make_shared<SmPrintGroup>();
        g->number = group->number;
        g->name = group->name;
        // The rights and logging bits are read again from the local tables, so that a record
        // the caller altered widens nothing; a group that does not read has no rights.
        csdoc::LocalGroup local;
        if (csdoc::ReadLocalGroup(handle_, group->number, &local) == CS_OK) {
            g->permissions = local.permissions;
            g->logging = local.record.logFlags;
        }
        for (uint16_t i = 0; i < group->fieldCount && group->fields != nullptr; ++i)
            g->fields.push_back(
                {group->fields[i].name, group->fields[i].type, (group->fields[i].flags & CS_FIELD_KEY) != 0});
        g->native = group;
        kept = g;
        return kept;
    }

    std::shared_ptr<const SmPrintAppl> Appl(const CsXdrApplEntry* appl) {
        auto& kept = appls_[appl];
        if (kept) return kept;
        auto a = std::make_shared<SmPrintAppl>();
        a->name = appl->name;
        a->dataType = appl->flags[0] != 0 ? char(appl->flags[0]) : 'A';
        if (appl->parameters.text != nullptr) {
            const char* body = ParmFindSectionLocal(appl->parameters.text, "@_FIXED_@");
            if (body != nullptr) a->norla = KeyOf(body, "SRVR_NORLA");
        }
        a->native = appl;
        kept = a;
        return kept;
    }

    static const char* ParmFindSectionLocal(const char* text, const char* name) {
        const std::string header = std::string("[") + name + "]";
        const char* at = std::strstr(text, header.c_str());
        if (at == nullptr) return nullptr;
        at = std::strchr(at, '\n');
        return at != nullptr ? at + 1 : nullptr;
    }
    static std::optional<std::string> KeyOf(const char* body, const char* key) {
        const size_t n = std::strlen(key);
        for (const char* line = body; *line != '\0' && *line != '[';) {
            const char* end = std::strchr(line, '\n');
            if (end == nullptr) end = line + std::strlen(line);
            if (size_t(end - line) > n && std::strncmp(line, key, n) == 0 && line[n] == '=')
                return std::string(line + n + 1, end);
            line = *end != '\0' ? end + 1 : end;
        }
        return std::nullopt;
    }

    int Nodes(const CsXdrApplGroup* group, const CsXdrObjectRef* object, CsStorageNode** primary,
              CsStorageNode** secondary) {
        *primary = *secondary = nullptr;
        CsStorageSet*& set = sets_[group->number];
        if (set == nullptr && group->storageSet != 0 && opened_.insert(group->number).second) {
            if (CsOpenStorageSet(handle_, group->storageSet, CsResolveServerDef, &set) != CS_OK)
                set = nullptr;
        }
        if (set == nullptr) return CS_OK;
        return CsPickStorageNode(set, object ? object->primaryNode : 0, object ? object->secondaryNode : 0, 0,
                                 primary, secondary);
    }

    struct Sink {
        const std::function<int(const unsigned char*, size_t)>* data;
        static int Take(void* context, const unsigned char* data, size_t length) {
            (*static_cast<Sink*>(context)->data)(data, length);
            return 1;
        }
    };

    // What the bulk retrieval's callbacks reach through the handle's callback context.
    struct Bridge {
        Adapter* adapter;
        SmBulkFeed* feed;
    };
    static int NextItem(void* context, CsXdrApplGroup** group, CsXdrHitRow** row, uint32_t* word) {
        auto* bridge = static_cast<Bridge*>(context);
        const SmPrintGroup* g = nullptr;
        const SmPrintDoc* doc = nullptr;
        int entry = 0;
        *group = nullptr;
        *row = nullptr;
        if (!bridge->feed->next(&g, &doc, &entry)) return CS_OK;
        auto* hit = static_cast<CsXdrHitRow*>(const_cast<void*>(doc->native));
        if (hit == nullptr) return CS_FAILED;
        // A part of a multi-part document shares the document's hit but not its object.
        if (hit->object != nullptr && doc->object.name != (hit->object->name ? hit->object->name : ""))
            hit = bridge->adapter->PartOf(doc, *hit);
        if (g != nullptr) *group = static_cast<CsXdrApplGroup*>(const_cast<void*>(g->native));
        *row = hit;
        *word = uint32_t(entry);
        return CS_OK;
    }
    static int Announce(void* context, uint64_t, uint64_t length, char, uint32_t word) {
        static_cast<Bridge*>(context)->feed->expect(length, int(word));
        return 0;
    }
    static int Data(void* context, const unsigned char* data, size_t length) {
        return static_cast<Bridge*>(context)->feed->data(data, length);
    }

    // The run's documents through the bulk retrieval: each stored object read once, the
    // data handed over in object order with each document announced before its bytes.
    int Retrieve(SmBulkFeed& feed) {
        Bridge bridge{this, &feed};
        SmBulkRequest request;
        request.readOnce = true;
        request.items = &NextItem;
        request.announce = &Announce;
        request.sink = &Data;
        request.printSink = true;
        void* saved = handle_->callbackContext;
        handle_->callbackContext = &bridge;
        const int rc = SmBulkRetrieve(handle_, request);
        handle_->callbackContext = saved;
        return rc;
    }

    // The resource object of the document: where and how it is stored comes from its
    // storage-node row (the resource id as node number), asked of the secondary handle.
    int Resources(const SmPrintGroup& g, const SmPrintDoc& doc, const SmPrintSink& out) {
        const auto* native = static_cast<const CsXdrApplGroup*>(g.native);
        const auto* hit = static_cast<const CsXdrHitRow*>(doc.native);
        if (native == nullptr || hit == nullptr || hit->object == nullptr) return CS_FAILED;
        const uint32_t rid = hit->object->resourceId;
        if (rid == 0 || rid > 0xFFFFu) return CS_FAILED;  // the node number is 16 bits wide
        CsHandle* secondary = CsRouteSecondary(handle_);
        CsXdrNodeInfo* info = nullptr;
        int rc = CsGetStorageNodes(secondary != nullptr ? secondary : handle_, native->number, uint16_t(rid),
                                   &info);
        if (rc != CS_OK) return rc;
        CsXdrObjectRef object = *hit->object;
        object.compression = info->compression;
        object.primaryNode = info->primaryNode;
        object.secondaryNode = info->secondaryNode;
        CsFreeStorageNodes(info);
        CsStorageNode* primary = nullptr;
        CsStorageNode* second = nullptr;
        rc = Nodes(native, &object, &primary, &second);
        if (rc != CS_OK) return rc;
        std::function<int(const unsigned char*, size_t)> data = [&out](const unsigned char* d, size_t n) {
            out(d, n);
            return 1;
        };
        Sink sink{&data};
        CsDocRequest request;
        request.compressType = 'N';
        request.callback = &Sink::Take;
        request.context = &sink;
        return CsGetDocResourcesRouted(handle_, native, primary, second, 0, &object, &request);
    }

    int Expand(const SmPrintObject& first, std::string_view table, std::vector<SmPrintObject>* parts) {
        CsDocTables* tables = nullptr;
        int rc = CsConvertDocument(handle_->iconv, table.data(), table.size(), 1, &tables);
        if (rc == CS_OK) rc = CsEndDocTables(&tables);
        if (rc != CS_OK) return rc;
        std::unique_ptr<CsDocTables, void (*)(CsDocTables*)> owned(
            tables, [](CsDocTables* t) { CsFreeDocTables(t, 1); });
        const CsObjectPages view = tables->objects.View();
        CsXdrObjectRef templ{};
        std::string name = first.name;
        templ.offset = first.offset;
        templ.length = first.length;
        templ.compressedOffset = first.compressedOffset;
        templ.compressedLength = first.compressedLength;
        templ.compression = first.compression;
        templ.resourceId = first.resourceId;
        templ.primaryNode = first.primaryNode;
        templ.secondaryNode = first.secondaryNode;
        templ.name = name.data();
        for (uint32_t n = 1; n <= view.count; ++n) {
            CsXdrObjectRef made{};
            rc = CsMakeObjectRef(&view, int(n), &templ, &made);
            if (rc != CS_OK) return rc;
            SmPrintObject o = ObjectOf(made);
            std::free(made.name);
            parts->push_back(o);
        }
        return CS_OK;
    }

    // A part document the run made: the hit the retrieval reads for it.
    CsXdrHitRow* PartOf(const SmPrintDoc* doc, const CsXdrHitRow& base) {
        auto part = std::make_unique<PartHit>();
        part->row = base;
        part->name = doc->object.name;
        const SmPrintObject& o = doc->object;
        part->object = base.object != nullptr ? *base.object : CsXdrObjectRef{};
        part->object.offset = o.offset;
        part->object.length = o.length;
        part->object.compressedOffset = o.compressedOffset;
        part->object.compressedLength = o.compressedLength;
        part->object.name = part->name.data();
        part->row.object = &part->object;
        CsXdrHitRow* row = &part->row;
        parts_[doc] = std::move(part);
        return row;
    }

    CsHandle* handle_;
    const CsXdrApplGroup* current_ = nullptr;
    int refused_ = CS_OK;
    std::map<const CsXdrApplGroup*, std::shared_ptr<const SmPrintGroup>> groups_;
    std::map<const CsXdrApplEntry*, std::shared_ptr<const SmPrintAppl>> appls_;
    std::map<uint32_t, CsStorageSet*> sets_;
    std::set<uint32_t> opened_;
    std::map<const SmPrintDoc*, std::unique_ptr<PartHit>> parts_;
};

SmPrintOptions OptionsOf(const char* text) {
    SmPrintOptions options;
    std::vector<ArcPROFEntry> entries;
    if (text != nullptr && ArcPROF_ListSection("@_PRINT_OPTIONS_@", text, &entries) == 0)
        for (auto& e : entries) options[e.key] = e.value;
    return options;
}

}  // namespace

std::vector<LocalPrinter> LocalPrinters(const CsHandle* handle) {
    std::vector<LocalPrinter> printers;
    std::vector<ArcPROFEntry> entries;
    if (ArcPROF_ListSection("PRINTERS", handle->def.profile.c_str(), &entries) != 0) return printers;
    uint32_t number = 0;
    for (const ArcPROFEntry& e : entries) {
        LocalPrinter p;
        p.number = ++number;
        p.name = e.key;
        const size_t comma = e.value.find(',');
        const std::string type = e.value.substr(0, comma);
        p.type = type.size() == 1 && (type[0] == 'P' || type[0] == 'F' || type[0] == 'I') ? type[0] : 'P';
        if (comma != std::string::npos) p.description = e.value.substr(comma + 1);
        printers.push_back(std::move(p));
    }
    return printers;
}

int LocalServerPrint(CsHandle* handle, const CsXdrPrintRequest* print, const char* text, CsHitItemFn items) {
    if (items == nullptr) return CS_FAILED;
    const std::vector<LocalPrinter> printers = LocalPrinters(handle);
    const LocalPrinter* chosen = nullptr;
    for (const LocalPrinter& p : printers) {
        if (p.number == print->printer || (print->name != nullptr && p.name == print->name)) {
            chosen = &p;
            break;
        }
    }
    if (chosen == nullptr) return CS_NOT_FOUND;
    SmPrinter printer{chosen->name, chosen->type};
    SmPrintOptions options = OptionsOf(text);
    if (options.find("Copies") == options.end() && print->copies > 0)
        options["Copies"] = std::to_string(print->copies);
    Adapter adapter(handle);
    void* context = handle->callbackContext;
    SmPrintItemFn source = [&](SmPrintItem* item) { return adapter.Next(items, context, item); };
    int rc = SmServerPrint(handle, &printer, &options, nullptr, source, adapter.Services(nullptr));
    if (rc == CS_CANCELLED && adapter.Refused() != CS_OK) rc = adapter.Refused();
    if (rc != CS_OK && rc != CS_CANCELLED)
        CsIssueMessageV(handle, kMsgBulkPrintFailed, 'S', kSource, 'I', int32_t(__LINE__), 'V');
    return rc;
}

int LocalProcessHits(CsHandle* handle, CsXdrValueItem* values, CsHitItemFn items, CsEntryFn answer) {
    if (items == nullptr) return CS_FAILED;
    Adapter adapter(handle);
    void* context = handle->callbackContext;
    SmPrintItemFn source = [&](SmPrintItem* item) { return adapter.Next(items, context, item); };
    // Each matching job: a value list of one item, its number the answer, its text the item word.
    SmPrintAnswerFn reply = [&](uint32_t word, int32_t result) {
        auto* item = static_cast<CsXdrValueItem*>(std::calloc(1, sizeof(CsXdrValueItem)));
        if (item == nullptr) return;
        item->number = uint16_t(result);
        item->text = strdup(std::to_string(word).c_str());
        if (answer == nullptr || answer(context, item) != 0) CsFreeReplyEntry(CS_REQ_PROCESS_HITS, item);
    };
    int rc = SmTextSearchRun(handle, source, reply, adapter.Services(values));
    if (rc == CS_CANCELLED && adapter.Refused() != CS_OK) rc = adapter.Refused();
    if (rc != CS_OK && rc != CS_CANCELLED)
        CsIssueMessageV(handle, kMsgBulkTextSearchFailed, 'S', kSource, 'I', int32_t(__LINE__), 'V');
    return rc;
}

}  // namespace csreq::detail
