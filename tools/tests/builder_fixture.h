// builder_fixture.h - a small archive description with its data file, built into a
// scratch folder by the archive builder.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "archive_build.h"
#include "description.h"
#include "request_test_support.h"

namespace buildertest {

using Json = nlohmann::json;

// One statement of the small archive: its index values and where its text lies.
struct Statement {
    const char* invno;
    const char* customer;
    int64_t date;  // days since 1970
    double amount;
    int pages;
    const char* object;
};

// A0001..A0003 in the zlib object 1FAA, A0004..A0006 in the plain object 2FAA; four rows
// a segment, so A0005 and A0006 lie in the group's second segment.
inline const std::vector<Statement>& Statements() {
    static const std::vector<Statement> kAll = {
        {"A0001", "ACME", 19723, 120.5, 1, "1FAA"}, {"A0002", "GLOBEX", 19724, 7.25, 2, "1FAA"},
        {"A0003", "ACME", 19725, 300.0, 1, "1FAA"}, {"A0004", "INITECH", 19726, 99.99, 3, "2FAA"},
        {"A0005", "ACME", 19727, 100.0, 2, "2FAA"}, {"A0006", "GLOBEX", 19728, 1000.0, 1, "2FAA"},
    };
    return kAll;
}

// The text of statement n (0-based): lines with carriage control, a different length each.
inline std::string StatementText(size_t n) {
    const Statement& s = Statements()[n];
    std::string text = "1STATEMENT " + std::string(s.invno) + " FOR " + s.customer + "\n";
    for (size_t line = 0; line <= n * 3; ++line)
        text += " LINE " + std::to_string(line) + " OF " + s.invno + "\n";
    return text + "0AMOUNT DUE " + std::to_string(s.amount) + "\n";
}

// The description: users ALICE (ADMINS, STAFF), BOB (STAFF), CAROL (no groups, no
// password, restricted to ACME); folder 1 Statements for STAFF and CAROL, folder 2
// Audit for ADMINS; group STATEMENTS (INVNO S10, CUSTOMER S20, STMTDATE I date,
// AMOUNT D, PAGES N) with the six statements.
inline Json SmallDescription(const std::string& dataFile, int sysMask = 2) {
    Json documents = Json::array();
    uint64_t offset = 0;
    for (size_t n = 0; n < Statements().size(); ++n) {
        const Statement& s = Statements()[n];
        const uint64_t length = StatementText(n).size();
        documents.push_back({{"group", "STATEMENTS"},
                             {"object", s.object},
                             {"file", dataFile},
                             {"offset", offset},
                             {"length", length},
                             {"values",
                              {{"INVNO", s.invno},
                               {"CUSTOMER", s.customer},
                               {"STMTDATE", s.date},
                               {"AMOUNT", s.amount},
                               {"PAGES", s.pages}}}});
        offset += length;
    }
    return Json{
        {"volume", "TESTVOL"},
        {"system", {{"SYS_MASK", sysMask}, {"PASSWD_EXP", -1}}},
        {"groups", {{{"gid", 10}, {"name", "ADMINS"}, {"owner", "ALICE"}}, {{"gid", 11}, {"name", "STAFF"}}}},
        {"users",
         {{{"name", "ALICE"},
           {"uid", 1},
           {"password", "Secret-1"},
           {"groups", {"ADMINS", "STAFF"}},
           {"info", {{"NAME", "Alice \u00c5ngstr\u00f6m"}, {"PHONE", "555-0101"}}}},
          {{"name", "BOB"}, {"uid", 2}, {"password", "Bob.Pass"}, {"timeout", 900}, {"groups", {"STAFF"}}},
          {{"name", "CAROL"}, {"uid", 3}}}},
        {"application_groups",
         {{{"agid", 100},
           {"name", "STATEMENTS"},
           {"storage_id", "STMT"},
           {"segment_rows", 4},
           {"fields",
            {{{"name", "INVNO"}, {"type", "S"}, {"length", 10}, {"mask", 32}},
             {{"name", "CUSTOMER"}, {"type", "S"}, {"length", 20}},
             {{"name", "STMTDATE"}, {"type", "I"}, {"mask", 4}},
             {{"name", "AMOUNT"}, {"type", "D"}},
             {{"name", "PAGES"}, {"type", "N"}}}},
           {"applications", {{{"appid", 200}, {"name", "STMTAPP"}}}},
           {"permissions",
            {{{"who", "STAFF"}, {"documents", 1}},
             {{"who", "CAROL"}, {"documents", 1}, {"restrict", "CUSTOMER = 'ACME'"}}}},
           {"objects",
            {{{"name", "1FAA"}, {"compression", "O"}}, {{"name", "2FAA"}, {"compression", "N"}}}}}}},
        {"folders",
         {{{"fid", 1},
           {"name", "Statements"},
           {"application_groups", {"STATEMENTS"}},
           {"fields",
            {{{"name", "Number"},
              {"type", "S"},
              {"maps", {{"STATEMENTS", "INVNO"}}},
              {"users",
               {{"*", {{"QUERY_ORDER", 1}, {"OPS", 3}}}, {"BOB", {{"OPS", 1027}, {"MIN", "A0000"}}}}}},
             {{"name", "CUSTOMER"}, {"type", "S"}}}},
           {"permissions", {{{"who", "STAFF"}, {"permissions", 1}}, {{"who", "CAROL"}, {"permissions", 1}}}}},
          {{"fid", 2},
           {"name", "Audit"},
           {"application_groups", {"STATEMENTS"}},
           {"fields", Json::array()},
           {"permissions", {{{"who", "ADMINS"}, {"permissions", 1}}}}}}},
        {"documents", documents},
    };
}

// Segment n (0-based) of the paged statement A0007: pages of two lines each, the last
// segment one page.
inline std::string PartText(int n) {
    std::string text;
    for (int page = 2 * n + 1; page <= std::min(2 * n + 2, 5); ++page)
        text += "1PAGE " + std::to_string(page) + " OF A0007\n LINE 2 OF PAGE " + std::to_string(page) + "\n";
    return text;
}
inline const char kResourceText[] = "RESOURCES OF THE STATEMENTS\n";
// When the first note was written: 2024-01-02 03:04:05 UTC.
inline constexpr int64_t kNoteTime = 19724 * 86400LL + 3 * 3600 + 4 * 60 + 5;  // 19724 days after 1970-01-01

// The small description with what a document may carry besides its data: notes of
// A0001 (ALICE public on page 2 in colour 3, ALICE private, BOB private; ADMINS read
// every note, STAFF and CAROL public ones and their own), resource 7
// (zlib) of the group named by A0004, the paged statement A0007 in object 3FAA (zlib,
// five pages, two a segment, pages 1, 2 and 4 named), and data type 'R'.
inline Json DocumentsDescription() {
    Json d = SmallDescription("statements.txt");
    Json& group = d["application_groups"][0];
    group["applications"][0]["data_type"] = "R";
    // Reading notes only: public ones and one's own; ADMINS may add, and their group
    // permission 0x04 reads every note.
    group["permissions"][0]["annotations"] = 1;
    group["permissions"][1]["annotations"] = 1;
    group["permissions"].push_back({{"who", "ADMINS"}, {"documents", 1 | 4}, {"annotations", 7}});
    group["resources"] = Json::array({{{"id", 7}, {"file", "resource.txt"}, {"compression", "O"}}});
    group["objects"].push_back({{"name", "3FAA"}, {"compression", "O"}});
    d["documents"][3]["resource"] = 7;
    d["documents"][0]["notes"] =
        Json::array({{{"user", "ALICE"},
                      {"text", "Alice public"},
                      {"created", "2024-01-02 03:04:05"},
                      {"page", 2},
                      {"colour", 3}},
                     {{"user", "alice"}, {"text", "Alice private"}, {"public", false}},
                     {{"user", "BOB"}, {"text", "Bob private"}, {"public", false}, {"created", 1700000000}}});
    d["documents"].push_back(
        {{"group", "STATEMENTS"},
         {"object", "3FAA"},
         {"file", "part1.txt"},
         {"segments", Json::array({{{"file", "part2.txt"}}, {{"file", "part3.txt"}}})},
         {"pages", 5},
         {"segment_pages", 2},
         {"page_names", Json::array({"One", "Two", "", "Four"})},
         {"values",
          {{"INVNO", "A0007"}, {"CUSTOMER", "PAGED"}, {"STMTDATE", 19730}, {"AMOUNT", 1.0}, {"PAGES", 5}}}});
    return d;
}

// A scratch folder with the statements' data file "statements.txt", the paged
// statement's parts "part1.txt".."part3.txt" and "resource.txt".
class BuilderScratch {
public:
    BuilderScratch() {
        std::string all;
        for (size_t n = 0; n < Statements().size(); ++n) all += StatementText(n);
        reqtest::WriteText(DataFile(), all);
        for (int n = 0; n < 3; ++n)
            reqtest::WriteText(dir_.Path() + "part" + std::to_string(n + 1) + ".txt", PartText(n));
        reqtest::WriteText(dir_.Path() + "resource.txt", kResourceText);
    }
    std::string Dir() const { return dir_.Path(); }
    std::string DataFile() const { return dir_.Path() + "statements.txt"; }
    // What the folder holds besides the data files (names).
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.Path()))
            if (entry.path().extension() != ".txt") names.push_back(entry.path().filename().string());
        return names;
    }
    // Parses and builds; the refusals, empty on success.
    std::vector<arcbuild::BuildError> Build(const Json& description, const std::string& target) const {
        arcbuild::Errors errors;
        arcbuild::Description d;
        if (arcbuild::ParseDescription(description.dump(), Dir(), &d, &errors))
            arcbuild::BuildArchive(d, target, &errors);
        return errors.List();
    }

private:
    reqtest::TempDir dir_;
};

}  // namespace buildertest
