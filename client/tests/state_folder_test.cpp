// The open-folder blob: round trips of a rich folder, blobs of another logon or folder,
// and blobs that are cut, flipped or hold values no writer of ours makes.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "arc_platform.h"
#include "blob_frame.h"
#include "client_test_support.h"
#include "folder_fixture.h"
#include "session_list.h"
#include "state_format.h"

namespace {

using clienttest::Blob;
using clienttest::ClientTest;
using clienttest::FolderSpec;

using clienttest::Frame;
using clienttest::PayloadOf;
using clienttest::PutLe32;

// A payload framed as an open-folder blob.
Blob Frame(const Blob& payload) { return clienttest::Frame("QFLD", payload); }

// Every folder field type, date kinds, defaults, user rows, two groups with value pairs,
// formats, applications and a partial map.
FolderSpec RichSpec() {
    FolderSpec spec;
    spec.number = 42;
    spec.name = "Loans";
    spec.flags = 0x10 | 0x80;
    spec.hitLimit = 500;
    spec.fields = {
        {.name = "Name",
         .type = 'S',
         .flags = FOLDER_FIELD_HAS_DEFAULT | FOLDER_FIELD_REQUIRED,
         .criteriaOrder = 1,
         .displayOrder = 1,
         .sortOrder = 2,
         .wildcard = 'B',
         .ascending = 'D',
         .default1 = "Smith"},
        {.name = "Amount",
         .type = 'D',
         .criteriaOrder = 2,
         .displayOrder = 3,
         .defaultOperator = 0x400,
         .minimumReal = -5.5,
         .maximumReal = 1e6,
         .precision = 2,
         .default1 = "1.25",
         .default2 = "99.5"},
        {.name = "Count", .type = 'N', .minimum = -100, .maximum = 100, .default1 = "-7"},
        {.name = "Big", .type = 'B', .sortOrder = 1, .default1 = "-9000000000"},
        {.name = "Day",
         .type = 'I',
         .dateType = 'D',
         .criteriaOrder = 3,
         .dateFormat = "%Y-%m-%d",
         .displayFormat = "%d.%m.%Y",
         .default1 = "19000"},
        {.name = "Time", .type = 'I', .dateType = 'T'},
        {.name = "Stamp", .type = 'C', .dateType = 'Z', .displayOrder = 2},
        {.name = "Appl", .type = 'A', .flags = FOLDER_FIELD_COPIED},
        {.name = "Group", .type = 'G', .criteriaOrder = 4},
        {.name = "Segment", .type = 'R', .criteriaOrder = 5, .sortOrder = 3},
        {.name = "Note", .type = 'T', .flags = FOLDER_FIELD_SECOND_LIST, .default1 = "free text"},
        {.name = "Id", .type = 'I', .displayOrder = 4},
    };
    clienttest::GroupSpec loans;
    loans.number = 7;
    loans.name = "LoanGroup";
    loans.fields = {
        {.name = "name",
         .type = 'S',
         .flags = 0x20,
         .textLength = 40,
         .textCase = 'U',
         .strip = "-",
         .leading = "0",
         .trailing = " "},
        {.name = "amount", .type = 'D'},
        {.name = "count", .type = 'N'},
        {.name = "big", .type = 'B'},
        {.name = "day", .type = 'I', .flags = 0x04, .dateType = 'D'},
        {.name = "state",
         .type = 'S',
         .textLength = 1,
         .textCase = 'L',
         .values = {{"A", "Active"}, {"C", "Closed"}}},
        {.name = "grp", .type = 'S', .flags = CS_FIELD_GROUP_NAME},
    };
    loans.applications = {{"Letters", 3, 'A', "CC=Yes;FONT=2"}, {"Images", 4, 'T', ""}};
    loans.map = {0, 1, 2, 3, 4, FOLDER_FIELD_UNMAPPED, FOLDER_FIELD_UNMAPPED, 6, 6, FOLDER_FIELD_UNMAPPED,
                 5, 0};
    loans.permissions = 0x09;
    clienttest::GroupSpec bills;
    bills.number = 8;
    bills.name = "BillGroup";
    bills.fields = {{.name = "name", .type = 'S'}, {.name = "day", .type = 'I', .dateType = 'D'}};
    bills.map = {0, FOLDER_FIELD_UNMAPPED, FOLDER_FIELD_UNMAPPED, FOLDER_FIELD_UNMAPPED, 1};
    spec.groups = {loans, bills};
    return spec;
}

ClientSegmentRow* AddSegmentRow(ClientSession* s, uint16_t number, const char* name, uint32_t group) {
    auto row = std::make_unique<ClientSegmentRow>();
    row->segment.number = number;
    row->segment.status = 0x01;
    std::strncpy(row->segment.name, name, sizeof row->segment.name - 1);
    row->segment.startDate = 1000 + number;
    row->segment.stopDate = 2000 + number;
    row->segment.rows = 300 + number;
    row->groupNumber = group;
    row->dateLetter = 'D';
    ClientSegmentRow* p = row.get();
    s->segmentRows.insert(s->segmentRows.begin(), std::move(row));
    return p;
}

char* Dup(const char* text) {
    char* p = static_cast<char*>(std::malloc(std::strlen(text) + 1));
    std::strcpy(p, text);
    return p;
}

// What the fixture leaves unset: the rest of the definition, and a search form with
// values, segment choices and named queries.
OpenFolder* OpenRichFolder(ClientSession* s) {
    OpenFolder* f = clienttest::OpenTestFolder(s, RichSpec());
    CsXdrFolder* d = f->entry->definition.get();
    std::strcpy(d->description, "Loans of the branch");
    d->type = 2;
    CsXdrFolderField& name = d->fields[0];
    std::strcpy(name.description, "Customer name");
    name.number = 17;
    name.display[2] = 5;
    CsXdrApplGroup& g = d->groups[0];
    std::strcpy(g.description, "Loan documents");
    std::strcpy(g.prefix, "LN");
    g.notePermissions = 0x0102;
    g.rowsPerSegment = 50000;
    g.logging = 3;
    g.storageSet = 11;
    g.words[0] = 1;
    g.words[6] = 0xFEEDFACE;
    g.flags = 0x2004;
    g.textSearch.values[0] = 1;
    g.textSearch.values[2] = 9;
    std::strcpy(g.textSearch.folder, "TSF");
    g.restriction = Dup("amount > 5");
    CsXdrApplEntry& a = g.appls[0];
    std::strcpy(a.description, "Letters sent");
    a.flags[1] = 0x11;
    a.flags[3] = 0xFF;
    a.options = 0x80000001;
    a.texts[0] = Dup("first");
    a.texts[2] = Dup("third");
    std::free(g.fields[5].displayValues[1].text);
    g.fields[5].displayValues[1].text = nullptr;  // a list entry without text

    f->criteria[0].value1 = "Sm%";
    f->criteria[0].op = 0x100;
    f->criteria[1].value1 = "1.5";
    f->criteria[1].value2 = "20";
    f->criteria[1].op = 0x400;
    f->criteria[1].fixedLength = true;
    f->criteria[1].columnStart = 12;
    f->criteria[1].valuePosition = 3;
    f->criteria[4].value1 = "T-7";
    FolderCriterion& segment = f->criteria[9];
    segment.segments = {AddSegmentRow(s, 1, "LN1", 7), AddSegmentRow(s, 2, "LN2", 7),
                        AddSegmentRow(s, 3, "BL1", 8)};
    segment.choices = {"LN1 (1000)", "LN2 (1002)", "BL1 (1003)"};
    segment.segmentChoice = 1;
    f->criteria[8].choices.push_back(std::string(300, 'x'));
    f->hitLimit = 250;
    f->namedQueries = {{5, "Open loans", "state = 'A'", 0x01}, {6, "Mine", "", 0x02}};
    f->publicQueries = 1;
    f->privateQueries = 1;
    return f;
}

template <size_t N>
std::string_view Slot(const char (&slot)[N]) {
    return std::string_view(slot, strnlen(slot, N));
}

std::string_view Text(const char* p) { return p ? std::string_view(p) : std::string_view("<null>"); }

void ExpectSameValue(const CsXdrValue& x, const CsXdrValue& y) {
    ASSERT_EQ(x.type, y.type);
    switch (x.type) {
        case 'B': EXPECT_EQ(x.v.big, y.v.big); break;
        case 'D': EXPECT_EQ(x.v.real, y.v.real); break;
        case 'I': EXPECT_EQ(x.v.integer, y.v.integer); break;
        case 'N': EXPECT_EQ(x.v.small, y.v.small); break;
        case 'S':
        case 'T': EXPECT_EQ(Text(x.v.text), Text(y.v.text)); break;
        default: break;
    }
}

void ExpectSameEntries(const CsXdrTextEntry* x, uint16_t xn, const CsXdrTextEntry* y, uint16_t yn) {
    ASSERT_EQ(xn, yn);
    for (uint16_t i = 0; i < xn; ++i) EXPECT_EQ(Text(x[i].text), Text(y[i].text)) << i;
}

// Every field of two definitions, walked independently of the blob's order.
void ExpectSameDefinition(const CsXdrFolder& x, const CsXdrFolder& y) {
    EXPECT_EQ(x.number, y.number);
    EXPECT_EQ(Slot(x.name), Slot(y.name));
    EXPECT_EQ(Slot(x.description), Slot(y.description));
    EXPECT_EQ(x.type, y.type);
    EXPECT_EQ(x.fieldTotal, y.fieldTotal);
    EXPECT_EQ(x.flags, y.flags);
    EXPECT_EQ(x.hitLimit, y.hitLimit);
    ASSERT_EQ(x.fieldCount, y.fieldCount);
    for (uint16_t i = 0; i < x.fieldCount; ++i) {
        SCOPED_TRACE("folder field " + std::to_string(i));
        const CsXdrFolderField& a = x.fields[i];
        const CsXdrFolderField& b = y.fields[i];
        EXPECT_EQ(Slot(a.name), Slot(b.name));
        EXPECT_EQ(Slot(a.description), Slot(b.description));
        EXPECT_EQ(a.type[0], b.type[0]);
        EXPECT_EQ(a.type[1], b.type[1]);
        EXPECT_EQ(a.number, b.number);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(a.attributes[k], b.attributes[k]);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(a.display[k], b.display[k]);
        EXPECT_EQ(a.flags, b.flags);
        ExpectSameValue(a.defaults[0], b.defaults[0]);
        ExpectSameValue(a.defaults[1], b.defaults[1]);
        EXPECT_EQ(a.user.minimum, b.user.minimum);
        EXPECT_EQ(a.user.maximum, b.user.maximum);
        EXPECT_EQ(a.user.minimumReal, b.user.minimumReal);
        EXPECT_EQ(a.user.maximumReal, b.user.maximumReal);
        EXPECT_EQ(a.user.precision, b.user.precision);
        EXPECT_EQ(Slot(a.user.dateFormat), Slot(b.user.dateFormat));
        EXPECT_EQ(Slot(a.user.displayFormat), Slot(b.user.displayFormat));
        EXPECT_EQ(a.user.wildcard, b.user.wildcard);
        EXPECT_EQ(a.user.defaultUnit, b.user.defaultUnit);
        EXPECT_EQ(a.user.ascending, b.user.ascending);
        EXPECT_EQ(a.user.limitsSet, b.user.limitsSet);
    }
    ASSERT_EQ(x.groupCount, y.groupCount);
    ASSERT_EQ(x.maps == nullptr, y.maps == nullptr);
    for (uint16_t g = 0; g < x.groupCount; ++g) {
        SCOPED_TRACE("group " + std::to_string(g));
        const CsXdrApplGroup& a = x.groups[g];
        const CsXdrApplGroup& b = y.groups[g];
        EXPECT_EQ(a.number, b.number);
        EXPECT_EQ(Slot(a.name), Slot(b.name));
        EXPECT_EQ(Slot(a.description), Slot(b.description));
        EXPECT_EQ(Slot(a.prefix), Slot(b.prefix));
        EXPECT_EQ(a.notePermissions, b.notePermissions);
        EXPECT_EQ(a.segmentKind, b.segmentKind);
        EXPECT_EQ(a.rowsPerSegment, b.rowsPerSegment);
        EXPECT_EQ(a.logging, b.logging);
        EXPECT_EQ(a.storageSet, b.storageSet);
        EXPECT_EQ(a.permissions, b.permissions);
        for (int k = 0; k < 7; ++k) EXPECT_EQ(a.words[k], b.words[k]);
        EXPECT_EQ(a.flags, b.flags);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(a.textSearch.values[k], b.textSearch.values[k]);
        EXPECT_EQ(Slot(a.textSearch.folder), Slot(b.textSearch.folder));
        EXPECT_EQ(Text(a.restriction), Text(b.restriction));
        ASSERT_EQ(a.fieldCount, b.fieldCount);
        for (uint16_t i = 0; i < a.fieldCount; ++i) {
            SCOPED_TRACE("group field " + std::to_string(i));
            const CsXdrFieldDef& p = a.fields[i];
            const CsXdrFieldDef& q = b.fields[i];
            EXPECT_EQ(Slot(p.name), Slot(q.name));
            EXPECT_EQ(p.type, q.type);
            EXPECT_EQ(p.flags, q.flags);
            EXPECT_EQ(p.textLength, q.textLength);
            EXPECT_EQ(p.textCase, q.textCase);
            EXPECT_EQ(p.number, q.number);
            EXPECT_EQ(p.dateType, q.dateType);
            for (int k = 0; k < 3; ++k) EXPECT_EQ(Slot(p.formats[k]), Slot(q.formats[k]));
            ExpectSameEntries(p.mapValues, p.mapCount, q.mapValues, q.mapCount);
            ExpectSameEntries(p.displayValues, p.displayCount, q.displayValues, q.displayCount);
        }
        ASSERT_EQ(a.applCount, b.applCount);
        for (uint16_t i = 0; i < a.applCount; ++i) {
            SCOPED_TRACE("application " + std::to_string(i));
            const CsXdrApplEntry& p = a.appls[i];
            const CsXdrApplEntry& q = b.appls[i];
            EXPECT_EQ(Slot(p.name), Slot(q.name));
            EXPECT_EQ(Slot(p.description), Slot(q.description));
            EXPECT_EQ(Text(p.value), Text(q.value));
            EXPECT_EQ(0, std::memcmp(p.flags, q.flags, sizeof p.flags));
            EXPECT_EQ(p.number, q.number);
            EXPECT_EQ(p.options, q.options);
            for (int k = 0; k < 3; ++k) EXPECT_EQ(Text(p.texts[k]), Text(q.texts[k]));
            EXPECT_EQ(Text(p.parameters.text), Text(q.parameters.text));
        }
        if (x.maps != nullptr) {
            ASSERT_EQ(x.maps[g].count, y.maps[g].count);
            for (uint16_t i = 0; i < x.maps[g].count; ++i)
                EXPECT_EQ(x.maps[g].numbers[i], y.maps[g].numbers[i]);
        }
    }
}

void ExpectSameSegment(const ClientSegmentRow* x, const ClientSegmentRow* y) {
    ASSERT_TRUE(x && y);
    EXPECT_EQ(x->groupNumber, y->groupNumber);
    EXPECT_EQ(x->dateLetter, y->dateLetter);
    EXPECT_EQ(x->segment.number, y->segment.number);
    EXPECT_EQ(x->segment.status, y->segment.status);
    EXPECT_EQ(Slot(x->segment.name), Slot(y->segment.name));
    EXPECT_EQ(x->segment.startDate, y->segment.startDate);
    EXPECT_EQ(x->segment.stopDate, y->segment.stopDate);
    EXPECT_EQ(x->segment.rows, y->segment.rows);
}

void ExpectSameOpenFolder(const OpenFolder& x, const OpenFolder& y) {
    EXPECT_EQ(x.fieldCount, y.fieldCount);
    ASSERT_EQ(x.criteria.size(), y.criteria.size());
    for (size_t i = 0; i < x.criteria.size(); ++i) {
        SCOPED_TRACE("criterion " + std::to_string(i));
        const FolderCriterion& a = x.criteria[i];
        const FolderCriterion& b = y.criteria[i];
        EXPECT_EQ(a.kind, b.kind);
        EXPECT_EQ(a.operatorCount, b.operatorCount);
        EXPECT_EQ(a.operatorMask, b.operatorMask);
        EXPECT_EQ(a.defaultOperator, b.defaultOperator);
        EXPECT_EQ(a.copied, b.copied);
        EXPECT_EQ(a.fixedLength, b.fixedLength);
        EXPECT_EQ(a.inputWidth, b.inputWidth);
        EXPECT_EQ(a.displayWidth, b.displayWidth);
        EXPECT_EQ(a.isDate, b.isDate);
        EXPECT_EQ(a.isDecimal, b.isDecimal);
        EXPECT_EQ(a.choices, b.choices);
        ASSERT_EQ(a.segments.size(), b.segments.size());
        for (size_t k = 0; k < a.segments.size(); ++k) ExpectSameSegment(a.segments[k], b.segments[k]);
        EXPECT_EQ(a.op, b.op);
        EXPECT_EQ(a.value1, b.value1);
        EXPECT_EQ(a.value2, b.value2);
        EXPECT_EQ(a.segmentChoice, b.segmentChoice);
        EXPECT_EQ(a.columnStart, b.columnStart);
        EXPECT_EQ(a.valuePosition, b.valuePosition);
    }
    EXPECT_EQ(x.criteriaOrder, y.criteriaOrder);
    EXPECT_EQ(x.displayOrder, y.displayOrder);
    ASSERT_EQ(x.sortList.size(), y.sortList.size());
    for (size_t i = 0; i < x.sortList.size(); ++i) {
        EXPECT_EQ(x.sortList[i].field, y.sortList[i].field);
        EXPECT_EQ(x.sortList[i].ascending, y.sortList[i].ascending);
    }
    EXPECT_EQ(x.hitLimit, y.hitLimit);
    ASSERT_EQ(x.namedQueries.size(), y.namedQueries.size());
    for (size_t i = 0; i < x.namedQueries.size(); ++i) {
        EXPECT_EQ(x.namedQueries[i].number, y.namedQueries[i].number);
        EXPECT_EQ(x.namedQueries[i].name, y.namedQueries[i].name);
        EXPECT_EQ(x.namedQueries[i].text, y.namedQueries[i].text);
        EXPECT_EQ(x.namedQueries[i].flags, y.namedQueries[i].flags);
    }
    EXPECT_EQ(x.publicQueries, y.publicQueries);
    EXPECT_EQ(x.privateQueries, y.privateQueries);
}

std::string Shown(std::string_view text) { return text.empty() ? "-" : std::string(text); }
std::string Shown(const char* text) { return text == nullptr ? "-" : Shown(std::string_view(text)); }

std::string Real(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string Letter(char c) { return c == 0 ? "-" : std::string(1, c); }

std::string ShownValue(const CsXdrValue& v) {
    std::string held = "-";
    switch (v.type) {
        case 'B': held = std::to_string(v.v.big); break;
        case 'D': held = Real(v.v.real); break;
        case 'I': held = std::to_string(v.v.integer); break;
        case 'N': held = std::to_string(v.v.small); break;
        case 'S':
        case 'T': held = Shown(v.v.text); break;
        default: break;
    }
    return Letter(v.type) + ":" + held;
}

template <typename T, typename Fn>
std::string Joined(const T* items, size_t count, Fn show) {
    std::string out;
    for (size_t i = 0; i < count; ++i) out += (i ? "," : "") + show(items[i]);
    return out;
}

template <typename Container, typename Fn>
std::string Joined(const Container& items, Fn show) {
    return Joined(items.data(), items.size(), show);
}

// What the blob of f must say, in the oracle's words (folder_blob_oracle.py).
std::vector<std::string> Facts(const OpenFolder& f, const ClientSession& s) {
    const CsXdrFolder& d = *f.definition;
    std::vector<std::string> out;
    out.push_back("folder " + f.entry->row.name + " on " + s.handle.serverName + " for " + s.user.userId +
                  ": " + std::to_string(d.number) + " " + d.name + " " + std::to_string(d.hitLimit));
    for (uint16_t i = 0; i < d.fieldCount; ++i) {
        const CsXdrFolderField& x = d.fields[i];
        out.push_back("field " + std::to_string(i) + " " + x.name + " " + x.type[0] + Letter(x.type[1]) +
                      " " + ShownValue(x.defaults[0]) + " " + ShownValue(x.defaults[1]) + " " +
                      Shown(x.user.dateFormat) + " " + Shown(x.user.displayFormat) + " " +
                      Letter(x.user.wildcard) + " " + Real(x.user.maximumReal));
    }
    const auto text = [](const CsXdrTextEntry& e) { return Shown(e.text); };
    const auto set = [](const char(&format)[CS_XDR_PREFIX_SIZE]) { return Shown(format); };
    for (uint16_t g = 0; g < d.groupCount; ++g) {
        const CsXdrApplGroup& group = d.groups[g];
        const std::string at = std::to_string(g) + " ";
        out.push_back("group " + at + group.name + " " + Shown(group.restriction));
        for (uint16_t i = 0; i < group.fieldCount; ++i) {
            const CsXdrFieldDef& x = group.fields[i];
            out.push_back("gfield " + at + std::to_string(i) + " " + x.name + " " + x.type +
                          Letter(x.dateType) + " " + Joined(x.mapValues, x.mapCount, text) + " " +
                          Joined(x.displayValues, x.displayCount, text) + " " + Joined(x.formats, 3, set));
        }
        for (uint16_t i = 0; i < group.applCount; ++i) {
            const CsXdrApplEntry& a = group.appls[i];
            out.push_back("appl " + at + std::to_string(i) + " " + a.name + " " + std::to_string(a.number) +
                          " " + Shown(a.parameters.text) + " " +
                          Joined(a.texts, 3, [](const char* t) { return Shown(t); }));
        }
        if (d.maps != nullptr)
            out.push_back("map " + at + Joined(d.maps[g].numbers, d.maps[g].count, [](uint16_t n) {
                              return std::to_string(n);
                          }));
    }
    for (size_t i = 0; i < f.criteria.size(); ++i) {
        const FolderCriterion& c = f.criteria[i];
        const std::string names = Joined(
            c.segments, [](const ClientSegmentRow* r) { return std::string(r ? r->segment.name : "-"); });
        out.push_back("criterion " + std::to_string(i) + " " + c.kind + " " + std::to_string(c.op) + " " +
                      Shown(c.value1) + " " + Shown(c.value2) + " " + Shown(names) + " choice=" +
                      std::to_string(c.segmentChoice) + " of " + std::to_string(c.choices.size()));
    }
    const auto number = [](int n) { return std::to_string(n); };
    out.push_back("orders " + Joined(f.criteriaOrder, number) + " / " + Joined(f.displayOrder, number));
    out.push_back("sort " + Joined(f.sortList, [](const FolderSortKey& k) {
                      return std::to_string(k.field) + (k.ascending ? "+" : "-");
                  }));
    out.push_back("limit " + std::to_string(f.hitLimit));
    for (const ClientNamedQuery& q : f.namedQueries)
        out.push_back("query " + std::to_string(q.number) + " " + q.name + " " + Shown(q.text) + " " +
                      std::to_string(q.flags));
    out.push_back("counts " + std::to_string(f.publicQueries) + " " + std::to_string(f.privateQueries));
    return out;
}

// What the oracle prints for the blob (with args), one line each; empty when it refused
// the blob.
std::vector<std::string> Oracle(const Blob& blob, const std::vector<std::string>& args = {}) {
    const std::string path = ::testing::TempDir() + "state_folder_oracle.fld";
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(blob.data()), static_cast<std::streamsize>(blob.size()));
    }
    std::vector<std::string> argv = {QEL_PYTHON, FOLDER_BLOB_ORACLE, path};
    argv.insert(argv.end(), args.begin(), args.end());
    ArcOSPipe pipe;
    if (ArcOS_PipeOpen(argv, "r", &pipe) != 0) return {};
    std::vector<std::string> lines;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe.stream) != nullptr) {
        std::string line(buffer);
        if (!line.empty() && line.back() == '\n') line.pop_back();
        lines.push_back(line);
    }
    if (ArcOS_PipeClose(&pipe) != 0) lines.clear();
    std::remove(path.c_str());
    return lines;
}

// Back to a session with nothing open.
void Close(ClientSession* s, OpenFolder* f) {
    ClientFolderEntry* entry = f->entry;
    entry->open.reset();
    entry->definition.reset();
    entry->openedInSession = false;
    s->openedFolders.clear();
    s->segmentRows.clear();
}

class StateFolderTest : public ClientTest {
protected:
    void SetUp() override {
        ClientTest::SetUp();
        server.folders = {
            {42, "Loans", "", 2, 12, 0}, {43, "loans", "", 0, 1, 0}, {44, "Bills", "", 0, 3, 0}};
    }

    // A session of the user with the server's folder list, no folder open.
    ClientSession* Target(const char* server = "ARCHIVE", const char* user = "ALICE",
                          const char* password = "SECRET") {
        ClientSession* s = LogOn(server, user, password);
        if (s != nullptr) {
            EXPECT_EQ(Folder_GetCount(s), 3);
        }
        return s;
    }

    Blob Save(const OpenFolder* f) {
        Blob blob;
        EXPECT_GT(State_SaveFolder(&blob, f), 0u);
        return blob;
    }

    OpenFolder* Restore(ClientSession* s, const Blob& blob) {
        return State_RestoreFolder(s, blob.data(), blob.size());
    }

    // Nothing of the target was touched by a refused blob.
    static void ExpectUntouched(const ClientSession* s, size_t segmentRows) {
        for (const auto& entry : s->folders) {
            EXPECT_EQ(entry->open, nullptr) << entry->row.name;
            EXPECT_EQ(entry->definition, nullptr) << entry->row.name;
            EXPECT_FALSE(entry->openedInSession) << entry->row.name;
        }
        EXPECT_TRUE(s->openedFolders.empty());
        EXPECT_EQ(s->segmentRows.size(), segmentRows);
    }
};

TEST_F(StateFolderTest, RoundTripKeepsTheWholeFolderAndTheSearchForm) {
    ClientSession* a = LogOn();
    ASSERT_NE(a, nullptr);
    const OpenFolder* saved = OpenRichFolder(a);
    const Blob blob = Save(saved);

    ClientSession* b = Target();
    ASSERT_NE(b, nullptr);
    OpenFolder* restored = Restore(b, blob);
    ASSERT_NE(restored, nullptr);

    ClientFolderEntry* entry = nullptr;
    for (const auto& e : b->folders)
        if (e->row.name == "Loans") entry = e.get();  // the exact name, not "loans"
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(restored->entry, entry);
    EXPECT_EQ(entry->open.get(), restored);
    EXPECT_EQ(restored->definition, entry->definition.get());
    EXPECT_TRUE(entry->openedInSession);
    EXPECT_EQ(b->openedFolders, std::vector<ClientFolderEntry*>{entry});
    EXPECT_TRUE(entry->hits.hits.empty());
    for (const auto& other : b->folders)
        if (other.get() != entry) {
            EXPECT_EQ(other->open, nullptr);
        }

    ExpectSameDefinition(*saved->definition, *restored->definition);
    ExpectSameOpenFolder(*saved, *restored);
    // The segment rows are the session's own rows now.
    ASSERT_EQ(b->segmentRows.size(), 3u);
    for (const ClientSegmentRow* row : restored->criteria[9].segments) {
        bool owned = false;
        for (const auto& kept : b->segmentRows) owned = owned || kept.get() == row;
        EXPECT_TRUE(owned);
    }
    EXPECT_EQ(Blob(Save(restored)), blob);
}

TEST_F(StateFolderTest, AnIndependentReaderFindsWhatTheFolderHolds) {
    ClientSession* a = LogOn();
    ASSERT_NE(a, nullptr);
    const OpenFolder* saved = OpenRichFolder(a);
    const std::vector<std::string> expected = Facts(*saved, *a);
    const std::vector<std::string> found = Oracle(Save(saved));
    ASSERT_FALSE(found.empty()) << "the oracle refused the blob";
    EXPECT_EQ(found, expected);
    // Spot checks that the facts are the rich folder's and not empty words.
    EXPECT_NE(std::find(found.begin(), found.end(), "criterion 9 S 1 - - LN1,LN2,BL1 choice=1 of 3"),
              found.end());
    EXPECT_NE(std::find(found.begin(), found.end(), "group 0 LoanGroup amount > 5"), found.end());
}

TEST_F(StateFolderTest, RoundTripOfAnEmptyFolder) {
    ClientSession* a = LogOn();
    ASSERT_NE(a, nullptr);
    FolderSpec spec;
    spec.name = "Bills";
    const OpenFolder* saved = clienttest::OpenTestFolder(a, spec);
    const Blob blob = Save(saved);
    ClientSession* b = Target();
    ASSERT_NE(b, nullptr);
    OpenFolder* restored = Restore(b, blob);
    ASSERT_NE(restored, nullptr);
    EXPECT_EQ(restored->entry->row.name, "Bills");
    EXPECT_EQ(restored->definition->fieldCount, 0);
    EXPECT_EQ(restored->definition->groupCount, 0);
    EXPECT_EQ(restored->definition->maps, nullptr);
    EXPECT_EQ(restored->fieldCount, 0);
    EXPECT_EQ(Save(restored), blob);
}

TEST_F(StateFolderTest, RestoringAgainReplacesTheOpenFolderAndItsHits) {
    ClientSession* a = LogOn();
    ASSERT_NE(a, nullptr);
    const Blob blob = Save(OpenRichFolder(a));
    ClientSession* b = Target();
    ASSERT_NE(b, nullptr);
    // The session already shows one of the rows; the criteria share it.
    ClientSegmentRow* shown = AddSegmentRow(b, 2, "LN2", 7);
    OpenFolder* first = Restore(b, blob);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(b->segmentRows.size(), 3u);
    EXPECT_EQ(first->criteria[9].segments[1], shown);

    ClientFolderEntry* entry = first->entry;
    auto hit = std::make_unique<SearchHit>();
    hit->groupIndex = 0;
    hit->group = &entry->definition->groups[0];
    hit->row =
        clienttest::MakeRow(entry->definition->groups[0], {"SMITH", "1.5", "2", "3", "19000", "A", "x"});
    entry->hits.hits.push_back(std::move(hit));
    entry->hits.sorted = false;
    b->search.folder = first;
    b->search.groupIndex = 0;

    OpenFolder* second = Restore(b, blob);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->entry, entry);
    EXPECT_TRUE(entry->hits.hits.empty());
    EXPECT_TRUE(entry->hits.sorted);
    EXPECT_EQ(b->search.folder, nullptr);
    EXPECT_EQ(b->search.groupIndex, -1);
    EXPECT_EQ(b->openedFolders.size(), 1u);
    EXPECT_EQ(b->segmentRows.size(), 3u);
    EXPECT_EQ(Save(second), blob);
}

TEST_F(StateFolderTest, AnotherLogonOrAnUnknownNameChangesNothing) {
    ClientSession* a = LogOn();
    ASSERT_NE(a, nullptr);
    const Blob blob = Save(OpenRichFolder(a));
    ClientSession* bob = Target("ARCHIVE", "BOB", "HUNTER2");
    ClientSession* elsewhere = Target("OTHER");
    ASSERT_TRUE(bob && elsewhere);
    for (ClientSession* s : {bob, elsewhere}) {
        EXPECT_EQ(Restore(s, blob), nullptr);
        ExpectUntouched(s, 0);
    }
    server.folders = {{43, "loans", "", 0, 1, 0}, {42, "Loans ", "", 2, 12, 0}};
    ClientSession* other = LogOn();
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(Folder_GetCount(other), 2);
    AddSegmentRow(other, 1, "LN1", 7);
    EXPECT_EQ(Restore(other, blob), nullptr);
    ExpectUntouched(other, 1);
}

TEST_F(StateFolderTest, OnlyFoldersOfListedSessionsAreSavedOrRestored) {
    ClientSession loose;
    OpenFolder* f = clienttest::OpenTestFolder(&loose, RichSpec());
    Blob blob{1, 2, 3};
    EXPECT_EQ(State_SaveFolder(&blob, f), 0u);
    EXPECT_EQ(blob, (Blob{1, 2, 3}));
    EXPECT_EQ(State_SaveFolder(nullptr, f), 0u);
    EXPECT_EQ(State_SaveFolder(&blob, nullptr), 0u);

    ClientSession* a = LogOn();
    ASSERT_NE(a, nullptr);
    const Blob saved = Save(OpenRichFolder(a));
    EXPECT_EQ(State_RestoreFolder(&loose, saved.data(), saved.size()), nullptr);
    EXPECT_EQ(State_RestoreFolder(nullptr, saved.data(), saved.size()), nullptr);
    ClientSession* b = Target();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(State_RestoreFolder(b, nullptr, saved.size()), nullptr);
    ExpectUntouched(b, 0);
}

TEST_F(StateFolderTest, EveryCutAndEveryFlippedByteIsMissing) {
    ClientSession* a = LogOn();
    ASSERT_NE(a, nullptr);
    const Blob blob = Save(OpenRichFolder(a));
    ClientSession* b = Target();
    ASSERT_NE(b, nullptr);
    for (size_t n = 0; n < blob.size(); ++n)
        ASSERT_EQ(State_RestoreFolder(b, blob.data(), n), nullptr) << "cut at " << n;
    Blob longer = blob;
    longer.push_back(0);
    EXPECT_EQ(Restore(b, longer), nullptr);
    for (size_t i = 0; i < blob.size(); ++i) {
        for (unsigned char mask : {0x01, 0x80, 0xFF}) {
            Blob bad = blob;
            bad[i] ^= mask;
            ASSERT_EQ(Restore(b, bad), nullptr) << "byte " << i << " mask " << int(mask);
        }
    }
    ExpectUntouched(b, 0);
}

TEST_F(StateFolderTest, CutPayloadsInAValidFrameAreMissing) {
    ClientSession* a = LogOn();
    ASSERT_NE(a, nullptr);
    const Blob payload = PayloadOf(Save(OpenRichFolder(a)));
    ClientSession* b = Target();
    ASSERT_NE(b, nullptr);
    for (size_t n = 0; n < payload.size(); ++n)
        ASSERT_EQ(Restore(b, Frame(Blob(payload.begin(), payload.begin() + n))), nullptr) << n;
    Blob longer = payload;
    longer.push_back(0);
    EXPECT_EQ(Restore(b, Frame(longer)), nullptr);
    ExpectUntouched(b, 0);
    EXPECT_NE(Restore(b, Frame(payload)), nullptr) << "the frame itself is right";
}

TEST_F(StateFolderTest, FlippedPayloadsInAValidFrameNeverHalfRestore) {
    ClientSession* a = LogOn();
    ASSERT_NE(a, nullptr);
    const Blob payload = PayloadOf(Save(OpenRichFolder(a)));
    ClientSession* b = Target();
    ASSERT_NE(b, nullptr);
    int restored = 0;
    for (size_t i = 0; i < payload.size(); ++i) {
        for (unsigned char mask : {0x01, 0x80, 0xFF}) {
            Blob bad = payload;
            bad[i] ^= mask;
            OpenFolder* f = Restore(b, Frame(bad));
            if (f == nullptr) {
                ExpectUntouched(b, 0);
            } else {
                // A changed number or letter inside a text is a folder of its own, whole:
                // every index points into what it indexes.
                ++restored;
                ASSERT_EQ(f->entry->open.get(), f);
                ASSERT_EQ(f->definition, f->entry->definition.get());
                ASSERT_LE(f->fieldCount, f->definition->fieldCount);
                ASSERT_EQ(f->criteria.size(), static_cast<size_t>(f->fieldCount));
                for (int field : f->criteriaOrder) ASSERT_LT(field, f->fieldCount);
                for (int field : f->displayOrder) ASSERT_LT(field, f->fieldCount);
                for (const FolderSortKey& key : f->sortList) ASSERT_LT(key.field, f->fieldCount);
                for (const FolderCriterion& c : f->criteria)
                    ASSERT_LT(c.segmentChoice, static_cast<int>(c.segments.size()));
                const CsXdrFolder& d = *f->definition;
                for (uint16_t g = 0; g < d.groupCount && d.maps; ++g)
                    for (uint16_t k = 0; k < d.maps[g].count; ++k)
                        ASSERT_TRUE(d.maps[g].numbers[k] == FOLDER_FIELD_UNMAPPED ||
                                    d.maps[g].numbers[k] < d.groups[g].fieldCount);
                Close(b, f);
            }
        }
    }
    EXPECT_GT(restored, 0);
}

TEST_F(StateFolderTest, CountsThePayloadCannotHoldAreRefusedBeforeAllocating) {
    ClientSession* a = LogOn();
    ASSERT_NE(a, nullptr);
    const Blob blob = Save(OpenRichFolder(a));
    const Blob payload = PayloadOf(blob);
    const std::vector<std::string> lines = Oracle(blob, {"--counts"});
    ASSERT_EQ(lines.size(), 1u);
    std::istringstream in(lines[0]);
    std::vector<size_t> offsets;
    for (size_t at; in >> at;) offsets.push_back(at);
    ASSERT_GT(offsets.size(), 20u);
    ClientSession* b = Target();
    ASSERT_NE(b, nullptr);
    for (size_t at : offsets) {
        ASSERT_LE(at + 4, payload.size());
        for (uint32_t value : {0u, 1u, 65535u, 65536u, 0xFFFFFFFFu}) {
            Blob bad = payload;
            PutLe32(&bad[at], value);
            OpenFolder* f = Restore(b, Frame(bad));
            if (value >= 65535) {
                ASSERT_EQ(f, nullptr) << "count at " << at << " set to " << value;
            } else if (f != nullptr) {
                Close(b, f);  // the count it had, or one the rest of the bytes still match
            }
            ExpectUntouched(b, 0);
        }
    }
}

TEST_F(StateFolderTest, FramesOfAnotherKindVersionOrBuildAreMissing) {
    ClientSession* a = LogOn();
    ASSERT_NE(a, nullptr);
    const Blob blob = Save(OpenRichFolder(a));
    ClientSession* b = Target();
    ASSERT_NE(b, nullptr);
    struct Case {
        size_t offset;
        uint32_t value;
        const char* what;
    };
    const Case cases[] = {
        {0, 0x4D4E4651, "folder-list magic"},
        {0, 0x56525351, "session magic"},
        {4, 1, "version 1"},
        {4, 3, "version 3"},
        {8, qelclient::SchemaHash() ^ 1, "another build"},
    };
    for (const Case& c : cases) {
        Blob bad = blob;
        PutLe32(&bad[c.offset], c.value);
        // A header that is right but for this one field, with its CRC made good.
        uLong crc = crc32(0L, Z_NULL, 0);
        crc = crc32(crc, bad.data(), 16);
        crc = crc32(crc, bad.data() + 20, static_cast<uInt>(bad.size() - 20));
        PutLe32(&bad[16], static_cast<uint32_t>(crc));
        EXPECT_EQ(Restore(b, bad), nullptr) << c.what;
    }
    ExpectUntouched(b, 0);
}

TEST_F(StateFolderTest, ValuesNoWriterOfOursMakesAreRefused) {
    struct Case {
        const char* name;
        std::function<void(OpenFolder*, CsXdrFolder*)> spoil;
    };
    const Case cases[] = {
        {"folder field type", [](OpenFolder*, CsXdrFolder* d) { d->fields[2].type[0] = 'X'; }},
        {"date kind", [](OpenFolder*, CsXdrFolder* d) { d->fields[4].type[1] = 'Q'; }},
        {"value letter", [](OpenFolder*, CsXdrFolder* d) { d->fields[3].defaults[0].type = 'b'; }},
        {"wildcard", [](OpenFolder*, CsXdrFolder* d) { d->fields[0].user.wildcard = 'Q'; }},
        {"relative-date unit", [](OpenFolder*, CsXdrFolder* d) { d->fields[0].user.defaultUnit = 'W'; }},
        {"limits flag", [](OpenFolder*, CsXdrFolder* d) { d->fields[0].user.limitsSet = 2; }},
        {"group field type", [](OpenFolder*, CsXdrFolder* d) { d->groups[0].fields[1].type = 0; }},
        {"group field date kind", [](OpenFolder*, CsXdrFolder* d) { d->groups[0].fields[4].dateType = 'd'; }},
        {"map entry past the group's fields", [](OpenFolder*, CsXdrFolder* d) { d->maps[1].numbers[0] = 2; }},
        {"folder hit limit", [](OpenFolder*, CsXdrFolder* d) { d->hitLimit = -2; }},
        {"criterion kind", [](OpenFolder* f, CsXdrFolder*) { f->criteria[0].kind = 'Q'; }},
        {"operator count",
         [](OpenFolder* f, CsXdrFolder*) { f->criteria[0].operatorCount = SQL_OPERATOR_COUNT + 1; }},
        {"segment choice past the rows",
         [](OpenFolder* f, CsXdrFolder*) { f->criteria[9].segmentChoice = 3; }},
        {"segment choice below none", [](OpenFolder* f, CsXdrFolder*) { f->criteria[9].segmentChoice = -2; }},
        {"segment row date letter",
         [](OpenFolder* f, CsXdrFolder*) {
             const_cast<ClientSegmentRow*>(f->criteria[9].segments[0])->dateLetter = 0;
         }},
        {"criteria order past the fields",
         [](OpenFolder* f, CsXdrFolder*) { f->criteriaOrder.push_back(12); }},
        {"display order below zero", [](OpenFolder* f, CsXdrFolder*) { f->displayOrder[0] = -1; }},
        {"sort field past the fields", [](OpenFolder* f, CsXdrFolder*) { f->sortList[0].field = 12; }},
        {"more fields than the definition",
         [](OpenFolder* f, CsXdrFolder*) {
             f->fieldCount = 13;
             f->criteria.resize(13);
         }},
        {"a criterion short", [](OpenFolder* f, CsXdrFolder*) { f->criteria.pop_back(); }},
        {"open hit limit", [](OpenFolder* f, CsXdrFolder*) { f->hitLimit = -3; }},
        {"query count", [](OpenFolder* f, CsXdrFolder*) { f->publicQueries = -1; }},
    };
    ClientSession* a = LogOn();
    ClientSession* b = Target();
    ASSERT_TRUE(a && b);
    for (const Case& c : cases) {
        OpenFolder* f = OpenRichFolder(a);
        const size_t rows = b->segmentRows.size();
        c.spoil(f, f->entry->definition.get());
        Blob blob;
        ASSERT_GT(State_SaveFolder(&blob, f), 0u) << c.name;
        EXPECT_EQ(Restore(b, blob), nullptr) << c.name;
        ExpectUntouched(b, rows);
    }
    // The same folder unspoilt is read.
    EXPECT_NE(Restore(b, Save(OpenRichFolder(a))), nullptr);
}

}  // namespace
