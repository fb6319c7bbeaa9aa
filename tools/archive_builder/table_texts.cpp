// table_texts.cpp - renders the description as the local server's INI-form tables.
#include "table_texts.h"

namespace arcbuild {
namespace {

class TableText {
public:
    void Section(const std::string& name) { text_ += (text_.empty() ? "[" : "\n[") + name + "]\n"; }
    // Every value quoted, as the server writes them; the reader drops one pair.
    void Key(const std::string& key, const std::string& value) { text_ += key + "=\"" + value + "\"\n"; }
    void Key(const std::string& key, int64_t value) { Key(key, std::to_string(value)); }
    void Keys(const RowKeys& keys) {
        for (const auto& [key, value] : keys) Key(key, value);
    }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

template <typename T>
std::string List(const std::vector<T>& items) {
    std::string out;
    for (const T& item : items) {
        if (!out.empty()) out += ',';
        if constexpr (std::is_same_v<T, std::string>)
            out += item;
        else
            out += std::to_string(item);
    }
    return out;
}

std::string Row(int64_t a, int64_t b) { return std::to_string(a) + "|" + std::to_string(b); }

void UserTables(const Description& d, int64_t now, std::map<std::string, std::string>* out) {
    TableText users, groups;
    std::vector<std::string> names;
    for (const UserDef& u : d.users) names.push_back(u.name);
    users.Section("USERS");
    users.Key("USERS", List(names));
    for (const GroupDef& g : d.groups) {
        std::vector<std::string> members;
        for (const UserDef& u : d.users)
            for (int32_t gid : u.groups)
                if (gid == g.gid) members.push_back(u.name);
        users.Section(std::to_string(g.gid));
        users.Key("USERS", List(members));
    }
    for (const UserDef& u : d.users) {
        users.Section(u.name);
        users.Key("UID", u.uid);
        users.Key("PASSWD", u.passwordHash);
        users.Key("ADMIN", u.admin);
        users.Key("PID", 0);
        users.Key("LAST_UPDATE", now);
        users.Key("TIMEOUT", u.timeout);
        users.Keys(u.info);
    }
    std::vector<int32_t> gids;
    for (const GroupDef& g : d.groups) gids.push_back(g.gid);
    groups.Section("GROUPS");
    groups.Key("GROUPS", List(gids));
    for (const GroupDef& g : d.groups) {
        groups.Section(std::to_string(g.gid));
        groups.Key("NAME", g.name);
        groups.Key("DESCRIPTION", g.description);
        groups.Key("UID", g.owner);
    }
    for (const UserDef& u : d.users) {
        if (u.groups.empty()) continue;
        groups.Section(std::to_string(u.uid));
        groups.Key("GROUPS", List(u.groups));
    }
    (*out)["table/user.tbl"] = users.Text();
    (*out)["table/group.tbl"] = groups.Text();
}

void GroupTables(const Description& d, std::map<std::string, std::string>* out) {
    TableText ag, agfld, agperms, app;
    std::vector<int32_t> agids;
    for (const AppGroupDef& g : d.appGroups) agids.push_back(g.agid);
    ag.Section("APPLICATION_GROUPS");
    ag.Key("APPLICATION_GROUPS", List(agids));
    for (const AppGroupDef& g : d.appGroups) {
        std::vector<int32_t> apps;
        for (const AppDef& a : g.apps) apps.push_back(a.appid);
        ag.Section(std::to_string(g.agid));
        ag.Keys({{"NAME", g.name}, {"DESCRIPTION", g.description}, {"AGID_NAME", g.storageId}});
        ag.Key("DB_SEG", 0);
        ag.Key("ANN_TYPE", g.annType);
        ag.Key("SM_CACHE_DOC", g.cacheDays);
        ag.Key("MGRT_CACHE_DATE", -1);
        ag.Key("LOG", g.log);
        ag.Key("SID", kStorageSet);
        ag.Key("SEG_ROWS", g.segmentRows);
        ag.Key("TYPE", 0);
        ag.Key("FLDS_NUM", static_cast<int64_t>(g.fields.size()));
        ag.Key("LOAD_ID", g.loadId);
        ag.Key("LOAD_ID_SUFFIX", "FAA");
        ag.Key("SEG_ID", 1);
        ag.Key("APPLICATIONS", List(apps));
        for (size_t n = 0; n < g.fields.size(); ++n) {
            const FieldDef& f = g.fields[n];
            agfld.Section(Row(g.agid, static_cast<int64_t>(n)));
            agfld.Key("NAME", f.name);
            agfld.Key("TYPE", std::string(1, f.type));
            agfld.Key("QUAL", f.qual);
            agfld.Key("MASK", f.mask);
            if (f.stringType) agfld.Key("STRING_TYPE", std::string(1, f.stringType));
            if (f.type == 'S' || f.length > 0) agfld.Key("STRING_LEN", f.length);
            if (f.stringCase) agfld.Key("STRING_CASE", std::string(1, f.stringCase));
        }
        std::vector<int32_t> ids;
        for (const PermDef& p : g.perms) ids.push_back(p.id);
        if (!ids.empty()) {
            agperms.Section(std::to_string(g.agid));
            agperms.Key("IDS", List(ids));
        }
        for (const PermDef& p : g.perms) {
            agperms.Section(Row(p.id, g.agid));
            agperms.Keys(p.keys);
        }
        for (const AppDef& a : g.apps) {
            app.Section(std::to_string(a.appid));
            app.Keys({{"NAME", a.name}, {"DESCRIPTION", a.description}});
            app.Key("DOC_TYPE", a.docType);
            app.Key("DOC_COMP_TYPE", std::string(1, a.compression));
            app.Key("RES_COMP_TYPE", std::string(1, a.compression));
            if (!a.parameters.empty()) {
                const std::string view = std::to_string(a.appid) + ".vw";
                app.Key("FIXED_VIEW", view);
                (*out)["view/" + view] = a.parameters;
            }
        }
    }
    (*out)["table/ag.tbl"] = ag.Text();
    (*out)["table/agfld.tbl"] = agfld.Text();
    (*out)["table/agperms.tbl"] = agperms.Text();
    (*out)["table/app.tbl"] = app.Text();
}

void FolderTables(const Description& d, std::map<std::string, std::string>* out) {
    TableText fol, folfld, folfldus, folagapp, ag2fol, folperms;
    std::vector<int32_t> fids;
    for (const FolderDef& f : d.folders) fids.push_back(f.fid);
    fol.Section("FOLDERS");
    fol.Key("FOLDERS", List(fids));
    for (const FolderDef& f : d.folders) {
        fol.Section(std::to_string(f.fid));
        fol.Keys({{"NAME", f.name}, {"DESCRIPTION", f.description}});
        fol.Key("ANN_SEARCH", f.annSearch);
        fol.Key("FLDS_NUM", static_cast<int64_t>(f.fields.size()));
        fol.Key("APPLICATION_GROUPS", List(f.groups));
        for (size_t n = 0; n < f.fields.size(); ++n) {
            const FolderFieldDef& field = f.fields[n];
            folfld.Section(Row(f.fid, static_cast<int64_t>(n)));
            folfld.Keys({{"NAME", field.name}, {"DESCRIPTION", field.description}});
            folfld.Key("TYPE", std::string(1, field.type));
            folfld.Key("QUAL", field.qual);
            folfld.Key("MAP_TYPE", field.mapType);
            for (const auto& [uid, keys] : field.users) {
                folfldus.Section(std::to_string(f.fid) + "|" + Row(uid, static_cast<int64_t>(n)));
                folfldus.Keys(keys);
            }
        }
        for (int32_t agid : f.groups) {
            for (const AppGroupDef& g : d.appGroups) {
                if (g.agid != agid) continue;
                std::vector<int32_t> apps;
                for (const AppDef& a : g.apps) apps.push_back(a.appid);
                folagapp.Section(Row(f.fid, agid));
                folagapp.Key("APPLICATIONS", List(apps));
            }
            bool mapped = false;
            for (size_t n = 0; n < f.fields.size(); ++n) {
                const auto it = f.fields[n].maps.find(agid);
                if (it == f.fields[n].maps.end()) continue;
                if (!mapped) ag2fol.Section(Row(agid, f.fid));
                mapped = true;
                ag2fol.Key(std::to_string(n), std::to_string(it->second) + ",0");
            }
        }
        std::vector<int32_t> ids;
        for (const PermDef& p : f.perms) ids.push_back(p.id);
        if (!ids.empty()) {
            folperms.Section(std::to_string(f.fid));
            folperms.Key("IDS", List(ids));
        }
        for (const PermDef& p : f.perms) {
            folperms.Section(Row(p.id, f.fid));
            folperms.Keys(p.keys);
        }
    }
    (*out)["table/fol.tbl"] = fol.Text();
    (*out)["table/folfld.tbl"] = folfld.Text();
    (*out)["table/folfldus.tbl"] = folfldus.Text();
    (*out)["table/folagapp.tbl"] = folagapp.Text();
    (*out)["table/ag2fol.tbl"] = ag2fol.Text();
    (*out)["table/folperms.tbl"] = folperms.Text();
}

void StorageTables(const Description& d, std::map<std::string, std::string>* out) {
    TableText ss, snode, system;
    ss.Section("STORAGE_SETS");
    ss.Key("STORAGE_SETS", kStorageSet);
    ss.Section(std::to_string(kStorageSet));
    ss.Keys({{"NAME", "LOCALSET"}, {"DESCRIPTION", "Local storage set"}});
    ss.Key("LOAD_TYPE", 0);
    ss.Key("NODE_NUM", 1);
    ss.Key("STORAGE_NODES", kStorageNode);
    snode.Section(Row(kStorageSet, kStorageNode));
    snode.Keys({{"NAME", "NODE1." + d.volumeLabel}, {"DESCRIPTION", "Primary node"}});
    snode.Key("LOGON", kVolumeNumber);
    snode.Keys({{"PASSWORD", ""}, {"SERVER", "LOCAL"}});
    snode.Key("STATUS", 0);
    snode.Key("SEC_NID", 0);
    system.Section("SYSTEM");
    system.Keys(d.system);
    (*out)["table/ss.tbl"] = ss.Text();
    (*out)["table/snode.tbl"] = snode.Text();
    (*out)["table/system.tbl"] = system.Text();
    // The storage-node rows of the resources: the client asks for one by the group and
    // the resource id.
    TableText res;
    for (const AppGroupDef& g : d.appGroups) {
        for (const ResourceDef& r : g.resources) {
            res.Section(Row(g.agid, r.id));
            res.Key("PRI_NID", kStorageNode);
            res.Key("SEC_NID", 0);
            res.Key("RID", r.id);
            res.Key("COMP_TYPE", std::string(1, r.compression));
        }
    }
    (*out)["table/res.tbl"] = res.Text();
    for (const char* empty : {"agfldal", "appusr", "seg", "ann", "note", "ugid"})
        (*out)[std::string("table/") + empty + ".tbl"] = "";
}

// The field layout of a group's segment profile; segments are added by the load.
void SegmentProfiles(const Description& d, std::map<std::string, std::string>* out) {
    for (const AppGroupDef& g : d.appGroups) {
        TableText seg;
        seg.Section("INDEXES");
        seg.Key("COUNT", 1);
        seg.Section(std::to_string(g.agid));
        seg.Key("FLDS_NUM", static_cast<int64_t>(g.fields.size()));
        seg.Key("AGID_NAME", g.storageId);
        for (size_t n = 0; n < g.fields.size(); ++n) {
            seg.Section(Row(g.agid, static_cast<int64_t>(n)));
            seg.Key("NAME", g.fields[n].name);
        }
        (*out)["index/" + g.name + ".seg"] = seg.Text();
    }
}

}  // namespace

std::map<std::string, std::string> ArchiveTexts(const Description& d, int64_t now) {
    std::map<std::string, std::string> out;
    UserTables(d, now, &out);
    GroupTables(d, &out);
    FolderTables(d, &out);
    StorageTables(d, &out);
    SegmentProfiles(d, &out);
    out["volume"] = d.volumeLabel + "\n" + std::to_string(kVolumeNumber) + "\n";
    return out;
}

}  // namespace arcbuild
