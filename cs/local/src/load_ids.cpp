// load_ids.cpp - load names and segment numbers of application groups.
#include <cstdio>
#include <cstring>

#include "local_state.h"
#include "qel_local.h"
#include "write_lock.h"

using namespace qel::local::detail;

namespace {

constexpr int64_t kLoadIdWrap = 1000000;

// Advances the suffix like an odometer whose first letter is the lowest digit:
// the first letter that is not 'Z' goes up by one and every 'Z' before it
// becomes 'F'. False once all three are 'Z'.
bool AdvanceSuffix(std::string* suffix) {
    for (char& c : *suffix) {
        if (c != 'Z') {
            ++c;
            return true;
        }
        c = 'F';
    }
    return false;
}

bool IsSuffix(const std::string& suffix) {
    if (suffix.size() != 3) return false;
    for (char c : suffix) {
        if (c < 'A' || c > 'Z') return false;
    }
    return true;
}

// Runs `step` on the application group table under the archive's write lock, with the
// table's path for the rewrite; CS_FAILED when the request, the lock or the table fails.
template <class Step>
int WithGroupTable(Step&& step) {
    Request request;
    if (!request.Ready()) return CS_FAILED;
    WriteLock lock(request.state().directory);
    if (!lock.Held()) return CS_FAILED;
    TableFile ag;
    if (LoadTable(QELLOCAL_TBL_AG, &ag) != CS_OK) return CS_FAILED;
    return step(ag, request.state().tables[QELLOCAL_TBL_AG]);
}

}  // namespace

int QelLocal_NextLoadId(CsHandle*, int32_t agid, char loadName[QELLOCAL_LOAD_NAME_SIZE]) {
    if (loadName == nullptr) return CS_FAILED;
    loadName[0] = '\0';
    return WithGroupTable([&](TableFile& ag, const std::string& path) -> int {
        std::string section = Row(agid);
        int64_t counter = 0;
        if (ag.Number(section, "LOAD_ID", 1, kLoadIdWrap - 1, &counter, CS_FAILED, 1) != CS_OK)
            return CS_FAILED;
        std::string suffix;
        if (ag.LongText(section, "LOAD_ID_SUFFIX", &suffix, CS_FAILED, "FAA") != CS_OK || !IsSuffix(suffix)) {
            return CS_FAILED;
        }

        std::string name = std::to_string(counter) + suffix;
        std::string newSuffix = suffix;
        int64_t next = counter + 1;
        if (next >= kLoadIdWrap) {
            next = 1;
            if (!AdvanceSuffix(&newSuffix)) return CS_FAILED;
        }
        std::string nextText = std::to_string(next);
        // The suffix goes before the counter, in the same rewrite of the table.
        QelTableValue values[2] = {{section.c_str(), "LOAD_ID_SUFFIX", newSuffix.c_str()},
                                   {section.c_str(), "LOAD_ID", nextText.c_str()}};
        bool suffixChanged = newSuffix != suffix;
        int rc = QelLocal_PutValues(path.c_str(), suffixChanged ? values : values + 1, suffixChanged ? 2 : 1);
        if (rc != CS_OK) return rc;
        std::snprintf(loadName, QELLOCAL_LOAD_NAME_SIZE, "%s", name.c_str());
        return CS_OK;
    });
}

int QelLocal_NextSegmentId(CsHandle*, int32_t agid, int32_t* id) {
    if (id == nullptr) return CS_FAILED;
    return WithGroupTable([&](TableFile& ag, const std::string& path) -> int {
        std::string section = Row(agid);
        int64_t current = 0;
        if (ag.Number(section, "SEG_ID", 1, INT32_MAX - 1, &current, CS_FAILED, 1) != CS_OK) return CS_FAILED;
        std::string next = std::to_string(current + 1);
        int rc = QelLocal_PutValue(section.c_str(), "SEG_ID", next.c_str(), path.c_str());
        if (rc != CS_OK) return rc;
        *id = int32_t(current);
        return CS_OK;
    });
}

int QelLocal_FormatNoteRow(char* buffer, size_t size, int32_t agid, const char* objectName,
                           int32_t compOffset, int32_t compLength, int32_t docOffset, int32_t docLength,
                           const char* further) {
    if (buffer == nullptr || size == 0) return CS_FAILED;
    buffer[0] = '\0';
    // Row texts name sections of note tables and come from URLs: nothing in them may
    // end the section name, start a new line or shift the fields.
    auto clean = [](const char* text) {
        for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
            if (*p == '|' || *p == ']' || *p < 0x20 || *p == 0x7F) return false;
        }
        return true;
    };
    if (objectName == nullptr || !clean(objectName) || (further != nullptr && !clean(further))) {
        return CS_FAILED;
    }
    std::string row = Row(agid) + "|" + objectName + "|" + Row(compOffset, compLength, docOffset) + "|" +
                      std::to_string(docLength);
    if (further != nullptr) row += std::string("|") + further;
    if (row.size() + 1 > size) return CS_FAILED;
    std::memcpy(buffer, row.c_str(), row.size() + 1);
    return CS_OK;
}
