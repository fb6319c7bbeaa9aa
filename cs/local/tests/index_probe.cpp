// Test driver for index_sqlite_test.py: loads rows into the segments of an
// application group of a local archive and runs document queries over them.
//
//   qel_idx_probe <archive directory> <agid> <segment>[,<segment>...]
//
// stdin, one command a line:
//   ROW <segment> <value>...   a row for the next FLUSH, one value per field of the
//                              group: integers for B, I and N, a decimal for D, and
//                              "x" + hex for S
//   FLUSH                      loads the pending rows, one AddIndexRows per segment in
//                              the order they first appeared; prints
//                              "LOADED <segment> <result> <rows added>" for each
//   QUERY x<hex where> x<hex restriction>
//                              prints "OK <ID>..." (the ID field of every hit over all
//                              segments, in the order they came) or "ERR <result>"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "qel_cshandle.h"
#include "qel_local.h"

namespace {

std::string FromHex(const std::string& word) {
    std::string out;
    for (size_t i = 1; i + 1 < word.size(); i += 2) {  // word[0] is the "x"
        out += static_cast<char>(std::stoi(word.substr(i, 2), nullptr, 16));
    }
    return out;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
    return parts;
}

struct Probe {
    CsHandle handle{};
    QelLocalAppGroup group;
    std::vector<std::string> segments;
    int idField = -1;
    std::vector<std::string> order;  // segments with pending rows, first seen first
    std::map<std::string, std::vector<QelLocalIdxRow>> pending;
    int64_t rowCount = 0;

    bool ReadRow(std::istringstream& in) {
        std::string segment;
        in >> segment;
        QelLocalIdxRow row;
        row.header.objName = "DOC" + std::to_string(rowCount % 100000000);
        row.header.off = uint32_t(rowCount);
        row.header.len = 100;
        row.header.compType = 'Z';
        ++rowCount;
        for (const QelLocalAgField& field : group.fields) {
            std::string word;
            if (!(in >> word)) return false;
            QelLocalIdxValue value;
            switch (field.type) {
                case 'S': value.text = FromHex(word); break;
                case 'D': value.dbl = std::strtod(word.c_str(), nullptr); break;
                default: value.integer = std::strtoll(word.c_str(), nullptr, 10); break;
            }
            row.values.push_back(std::move(value));
        }
        if (pending.find(segment) == pending.end()) order.push_back(segment);
        pending[segment].push_back(std::move(row));
        return true;
    }

    void Flush() {
        for (const std::string& name : order) {
            QelLocalSegment segment;
            std::snprintf(segment.name, sizeof segment.name, "%s", name.c_str());
            segment.agid = group.agid;
            int64_t added = -1;
            const int rc = QelLocal_AddIndexRows(&handle, group, segment, pending[name], &added);
            std::cout << "LOADED " << name << ' ' << rc << ' ' << added << '\n';
        }
        order.clear();
        pending.clear();
    }

    void Query(const std::string& where, const std::string& restriction) {
        QelLocalQueryFolder folder;
        folder.owner = 1;
        folder.restriction = restriction;
        const std::vector<QelLocalQueryGroup> query = {QelLocalQueryGroup{&group, segments}};
        QelLocalHit hit;
        std::string answer = "OK";
        int rc = QelLocal_QueryDocsFirst(&handle, &folder, &query, where.c_str(), &hit);
        for (; rc == CS_OK; rc = QelLocal_QueryDocsNext(&handle, &hit)) {
            if (hit.row.values.size() != group.fields.size()) {
                rc = -1;
                break;
            }
            answer += ' ' + std::to_string(hit.row.values[size_t(idField)].integer);
        }
        if (rc != CS_NOT_FOUND) answer = "ERR " + std::to_string(rc);
        std::cout << answer << '\n';
    }
};

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    if (argc != 4) {
        std::cerr << "usage: qel_idx_probe <archive directory> <agid> <segment>[,<segment>...] < commands\n";
        return 2;
    }
    Probe probe;
    std::snprintf(probe.handle.serverName, sizeof probe.handle.serverName, "IDXPROBE");
    probe.handle.def.kind = CS_KIND_LOCAL;
    probe.handle.def.profile = std::string("[@SRV@_IDXPROBE]\nDIRECTORY=") + argv[1] + "\n";
    probe.segments = Split(argv[3], ',');
    if (QelLocal_Open(&probe.handle) != CS_OK) {
        std::cerr << "the archive " << argv[1] << " does not open\n";
        return 1;
    }
    if (QelLocal_ReadAppGroup(&probe.handle, std::atoi(argv[2]), &probe.group) != CS_OK) {
        std::cerr << "no application group " << argv[2] << "\n";
        return 1;
    }
    for (size_t i = 0; i < probe.group.fields.size(); ++i) {
        if (std::strcmp(probe.group.fields[i].name, "ID") == 0) probe.idField = int(i);
    }
    if (probe.idField < 0) {
        std::cerr << "the group has no field ID\n";
        return 1;
    }
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream in(line);
        std::string command;
        in >> command;
        if (command == "ROW") {
            if (!probe.ReadRow(in)) {
                std::cerr << "a row with too few values: " << line << "\n";
                return 1;
            }
        } else if (command == "FLUSH") {
            probe.Flush();
        } else if (command == "QUERY") {
            std::string where, restriction;
            in >> where >> restriction;
            probe.Query(FromHex(where), FromHex(restriction));
        }
    }
    std::cout.flush();
    QelLocal_Close(&probe.handle);
    return 0;
}
