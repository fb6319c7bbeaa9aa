// table_oracle.h - a table file as Python's configparser reads it; shared by the cs test folders.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "arc_platform.h"

namespace cstest {

// (section, KEY) -> value, as testdata/local/table_oracle.py prints them.
using TableValues = std::map<std::pair<std::string, std::string>, std::string>;

inline TableValues ReadWithConfigParser(const std::string& table) {
    std::string out = table + ".oracle";
    std::vector<std::string> argv = {"python3", std::string(QEL_TESTDATA_DIR) + "/local/table_oracle.py",
                                     table, out};
    int status = -1;
    EXPECT_EQ(ArcOS_RunProgram(argv, &status), 0) << "python3 could not be started";
    EXPECT_EQ(status, 0) << "configparser could not read " << table;
    TableValues values;
    std::ifstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        size_t a = line.find('\t'), b = line.find('\t', a + 1);
        if (a == std::string::npos || b == std::string::npos) continue;
        values[{line.substr(0, a), line.substr(a + 1, b - a - 1)}] = line.substr(b + 1);
    }
    std::remove(out.c_str());
    return values;
}

}  // namespace cstest
