// segments.cpp - segments of application groups: seg.tbl and the segment index profiles.
#include <cstring>
#include <limits>

#include "arc_platform.h"
#include "local_state.h"
#include "qel_local.h"
#include "write_lock.h"

using namespace qel::local::detail;

namespace {

constexpr int64_t kMin64 = std::numeric_limits<int64_t>::min();
constexpr int64_t kMax64 = std::numeric_limits<int64_t>::max();

// A segment name becomes a section name and an element of a comma list.
bool SafeSegmentName(const char* name) {
  if (name == nullptr || *name == '\0' || strnlen(name, 61) > 60) return false;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
    if (*p == ',' || *p == ']' || *p < 0x20 || *p == 0x7F) return false;
  }
  return true;
}

struct GroupNames {
  std::string name;      // NAME: names the segment index profile
  std::string agidName;  // AGID_NAME
  std::string profile;   // "index/<NAME>.seg"
};

int ReadGroupNames(int32_t agid, GroupNames* names) {
  TableFile ag;
  if (LoadTable(QELLOCAL_TBL_AG, &ag) != 0) return 6;
  std::string s = Row(agid);
  if (ag.LongText(s, "NAME", &names->name, 6, nullptr, 60) != 0 ||
      ag.LongText(s, "AGID_NAME", &names->agidName, 6, nullptr, 8) != 0) {
    return 6;
  }
  std::optional<std::string> profile = FileInFolder(QELLOCAL_DIR_INDEX, names->name + ".seg");
  if (!profile) return 6;
  names->profile = *profile;
  return 0;
}

int ReadSegmentSection(const TableFile& profile, int32_t agid, const std::string& name,
                       QelLocalSegment* record) {
  QelLocalSegment seg;
  seg.agid = agid;
  if (name.size() >= sizeof seg.name) return 6;
  std::memcpy(seg.name, name.c_str(), name.size() + 1);
  struct Key64 {
    const char* key;
    int64_t* value;
  };
  const Key64 keys[] = {{"START_DATE", &seg.startDate},
                        {"STOP_DATE", &seg.stopDate},
                        {"POST_DATE", &seg.postDate},
                        {"CLOSED_DATE", &seg.closedDate},
                        {"REIMPORTED_DATE", &seg.reimportedDate},
                        {"LAST_UPDATE", &seg.lastUpdate},
                        {"LAST_BACKUP", &seg.lastBackup},
                        {"LAST_STATS", &seg.lastStats},
                        {"INS_ROWS", &seg.insRows},
                        {"UPD_ROWS", &seg.updRows},
                        {"DEL_ROWS", &seg.delRows},
                        {"MOD_ROWS", &seg.modRows},
                        {"MAX_ROWS", &seg.maxRows},
                        {"TOTAL_ROWS", &seg.totalRows}};
  for (const Key64& k : keys) {
    if (profile.Number(name, k.key, kMin64, kMax64, k.value, 6, 0) != 0) return 6;
  }
  if (profile.Int32(name, "MASK", &seg.mask, 6, 0) != 0 ||
      profile.Int32(name, "INDEX_FILE", &seg.indexFile, 6, 0) != 0) {
    return 6;
  }
  // A fresh segment carries the empty range (greatest start, stop 1): no dates yet.
  bool keys2 = profile.Get(name, "START_DATE").has_value() || profile.Get(name, "STOP_DATE").has_value();
  seg.hasDates = keys2 && seg.startDate <= seg.stopDate;
  *record = seg;
  return 0;
}

// The dates and counts of a segment, in the order they are written.
int WriteSegmentKeys(const std::string& profile, const QelLocalSegment& seg) {
  const char* s = seg.name;
  std::string v[14] = {
      std::to_string(seg.startDate),  std::to_string(seg.stopDate),       std::to_string(seg.postDate),
      std::to_string(seg.closedDate), std::to_string(seg.reimportedDate), std::to_string(seg.lastUpdate),
      std::to_string(seg.lastBackup), std::to_string(seg.lastStats),      std::to_string(seg.mask),
      std::to_string(seg.insRows),    std::to_string(seg.updRows),        std::to_string(seg.delRows),
      std::to_string(seg.modRows),    std::to_string(seg.maxRows)};
  const char* keys[14] = {"START_DATE",  "STOP_DATE",   "POST_DATE",  "CLOSED_DATE", "REIMPORTED_DATE",
                          "LAST_UPDATE", "LAST_BACKUP", "LAST_STATS", "MASK",        "INS_ROWS",
                          "UPD_ROWS",    "DEL_ROWS",    "MOD_ROWS",   "MAX_ROWS"};
  QelTableValue values[14];
  for (int i = 0; i < 14; ++i) values[i] = {s, keys[i], v[i].c_str()};
  int rc = QelLocal_PutValues(profile.c_str(), values, 14);
  if (rc != 0) {
    // The index folder may not exist yet: make it and try once more.
    QelLocal_MakeDirs(profile.c_str());
    rc = QelLocal_PutValues(profile.c_str(), values, 14);
  }
  return rc;
}

bool Listed(const std::vector<std::string>& names, const char* name) {
  for (const std::string& n : names) {
    if (ArcOS_StrICmp(n.c_str(), name) == 0) return true;
  }
  return false;
}

}  // namespace

int QelLocal_AddSegment(CsHandle*, int32_t agid, const QelLocalSegment* segment) {
  if (segment == nullptr || !SafeSegmentName(segment->name)) return 6;
  Request request;
  if (!request.Ready()) return 6;
  LocalState& state = request.state();
  WriteLock lock(state.directory);
  if (!lock.Held()) return 6;
  GroupNames group;
  if (ReadGroupNames(agid, &group) != 0) return 6;
  TableFile seg;
  if (LoadTable(QELLOCAL_TBL_SEG, &seg) != 0) return 6;
  std::string section = Row(agid);
  std::vector<std::string> names;
  int rc = seg.NameList(section, "SEGMENTS", &names);
  if (rc != 0 && rc != 11) return rc;
  const std::string& table = state.tables[QELLOCAL_TBL_SEG];
  if (rc == 0) {
    if (Listed(names, segment->name) || names.size() >= size_t(QELLOCAL_MAX_IDS)) return 6;
    std::string list = *seg.Get(section, "SEGMENTS") + "," + segment->name;
    rc = QelLocal_PutValue(section.c_str(), "SEGMENTS", list.c_str(), table.c_str());
  } else {
    const QelTableValue values[] = {{section.c_str(), "SEGMENTS", segment->name},
                                    {section.c_str(), "AGID_NAME", group.agidName.c_str()}};
    rc = QelLocal_PutValues(table.c_str(), values, 2);
  }
  if (rc != 0) return rc;
  return WriteSegmentKeys(group.profile, *segment);
}

int QelLocal_UpdateSegment(CsHandle*, int32_t agid, const QelLocalSegment* segment) {
  if (segment == nullptr || !SafeSegmentName(segment->name)) return 6;
  Request request;
  if (!request.Ready()) return 6;
  WriteLock lock(request.state().directory);
  if (!lock.Held()) return 6;
  GroupNames group;
  if (ReadGroupNames(agid, &group) != 0) return 6;
  TableFile seg;
  if (LoadTable(QELLOCAL_TBL_SEG, &seg) != 0) return 6;
  std::vector<std::string> names;
  if (int rc = seg.NameList(Row(agid), "SEGMENTS", &names); rc != 0) return rc;
  if (!Listed(names, segment->name)) return 11;
  return WriteSegmentKeys(group.profile, *segment);
}

int QelLocal_ReadSegment(CsHandle*, int32_t agid, const char* name, QelLocalSegment* record) {
  if (record == nullptr || !SafeSegmentName(name)) return 6;
  Request request;
  if (!request.Ready()) return 6;
  GroupNames group;
  if (ReadGroupNames(agid, &group) != 0) return 6;
  TableFile profile;
  if (profile.Load(group.profile) != 0) return 6;
  if (!profile.HasSection(name)) return 11;
  return ReadSegmentSection(profile, agid, name, record);
}

int QelLocal_ReadSegmentRange(CsHandle* handle, int32_t agid, const char* name, int64_t* start,
                              int64_t* stop) {
  if (start == nullptr || stop == nullptr) return 6;
  QelLocalSegment seg;
  if (int rc = QelLocal_ReadSegment(handle, agid, name, &seg); rc != 0) return rc;
  *start = seg.startDate;
  *stop = seg.stopDate;
  return 0;
}

int QelLocal_ReadSegmentFields(CsHandle*, int32_t agid, QelLocalSegmentFields* fields) {
  if (fields == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  GroupNames group;
  if (ReadGroupNames(agid, &group) != 0) return 6;
  TableFile profile;
  if (profile.Load(group.profile) != 0) return 6;
  QelLocalSegmentFields f;
  std::string s = Row(agid);
  if (!profile.HasSection(s)) return 11;
  if (profile.Int32(s, "FLDS_NUM", &f.fieldCount, 6, 0) != 0 || f.fieldCount < 0 ||
      f.fieldCount > QELLOCAL_MAX_IDS ||
      profile.Text(s, "AGID_NAME", f.agidName, sizeof f.agidName, 6, "") != 0) {
    return 6;
  }
  for (int32_t i = 0; i < f.fieldCount; ++i) {
    std::string name;
    if (profile.LongText(Row(agid, i), "NAME", &name, 6, nullptr, 60) != 0) return 6;
    f.names.push_back(std::move(name));
  }
  *fields = std::move(f);
  return 0;
}

int QelLocal_ListSegmentTableFirst(CsHandle*, int32_t agid, int64_t from, int64_t to, const char* name,
                                   int undatedOnly, QelLocalSegment* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  Cursor<QelLocalSegment>& cursor = request.state().segments;
  cursor.Reset({});
  GroupNames group;
  if (ReadGroupNames(agid, &group) != 0) return 6;
  TableFile seg, profile;
  if (LoadTable(QELLOCAL_TBL_SEG, &seg) != 0 || profile.Load(group.profile) != 0) return 6;
  std::vector<std::string> names;
  if (int rc = seg.NameList(Row(agid), "SEGMENTS", &names); rc != 0) return rc;
  std::vector<QelLocalSegment> kept;
  for (const std::string& n : names) {
    if (name != nullptr && *name != '\0' && ArcOS_StrICmp(n.c_str(), name) != 0) continue;
    QelLocalSegment s;
    if (ReadSegmentSection(profile, agid, n, &s) != 0) return 6;
    bool keep = undatedOnly ? !s.hasDates : s.hasDates && s.startDate <= to && s.stopDate >= from;
    if (keep) kept.push_back(s);
  }
  cursor.Reset(std::move(kept));
  const QelLocalSegment* first = cursor.Take();
  if (first == nullptr) return 11;
  *record = *first;
  return 0;
}

int QelLocal_NextSegment(CsHandle*, QelLocalSegment* record) {
  if (record == nullptr) return 6;
  Request request;
  if (!request.Ready()) return 6;
  const QelLocalSegment* next = request.state().segments.Take();
  if (next == nullptr) return 11;
  *record = *next;
  return 0;
}

int QelLocal_ListSegmentTableNext(CsHandle* handle, QelLocalSegment* record) {
  if (CancelFlag().load() != 0) return 1;
  return QelLocal_NextSegment(handle, record);
}
