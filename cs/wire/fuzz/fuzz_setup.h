// Shared set-up of the wire fuzz targets: code pages and an application group.
#pragma once

#include "qel_cswire.h"

#include "arc_codepage.h"

#include <string>

namespace wire_fuzz {

inline ArcIconvContext* CodePages() {
    static ArcIconvContext* context = [] {
        ArcIconvContext* c = nullptr;
        const std::string locale = std::string(QEL_STAGE_DIR) + "/locale";
        return ArcICONV_Startup(&c, locale.c_str()) == 0 ? c : nullptr;
    }();
    return context;
}

// A group with one field of each value type, to type the slots of hit rows.
inline const CsXdrApplGroup* Group() {
    static CsXdrFieldDef fields[7] = {};
    static CsXdrApplGroup group = [] {
        static const char kTypes[] = "BDINSTX";
        for (int i = 0; i < 7; ++i) fields[i].type = kTypes[i];
        CsXdrApplGroup g{};
        g.fieldCount = 7;
        g.fields = fields;
        return g;
    }();
    return &group;
}

}  // namespace wire_fuzz
