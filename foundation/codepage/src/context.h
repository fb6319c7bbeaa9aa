// context.h - the process-wide code-page context shared by the service and the engine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "table_cache.h"

namespace qel::codepage {

struct CcsidName {
    int32_t ccsid = 0;
    std::string name;  // at most 64 characters, never empty
};

}  // namespace qel::codepage

struct ArcIconvContext {
    qel::codepage::TableCache tables;
    std::string localePath;                       // at most 260 characters, no ';'
    int ignoreErrors = 0;                         // QEL_IGN_ICONV_ERR
    std::vector<qel::codepage::CcsidName> names;  // qelcpcs.cfg, in file order
};
