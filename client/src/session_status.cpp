// Status records from request-layer results and local conditions.
#include <cstring>

#include "qel_client.h"
#include "status_area.h"

namespace {

// Results 6 and 8 by operation number (severity 9).
int FailureCode(int operation) {
    struct Range {
        int first, last, code;
    };
    static constexpr Range kRanges[] = {
        {0, 0, 0},    {1, 1, 8},    {3, 7, 10},   {8, 8, 13},   {9, 9, 14},   {10, 10, 15}, {11, 11, 16},
        {12, 12, 1},  {13, 13, 17}, {14, 14, 22}, {15, 15, 23}, {16, 17, 24}, {18, 18, 11}, {19, 19, 12},
        {20, 20, 18}, {21, 21, 19}, {22, 22, 88}, {23, 23, 89}, {24, 24, 20}, {25, 25, 90}, {26, 26, 91},
        {27, 30, 21}, {31, 31, 25}, {32, 32, 26}, {33, 35, 86}, {36, 36, 27}, {37, 42, 85}, {43, 49, 87},
    };
    for (const Range& r : kRanges) {
        if (operation >= r.first && operation <= r.last) return r.code;
    }
    return 9;
}

}  // namespace

void Session_MakeStatus(ClientStatus* status, ClientSession* session, int result, int operation) {
    using namespace qelclient;
    if (!status) return;
    ClientStatusArea& area = AreaOf(session);
    ClearInserts(area);
    const char* serverText = session ? session->handle.serverMessage : nullptr;
    int severity = 9;
    int code = 0;
    switch (result) {
        case 0: severity = 0; break;
        case 1: severity = 2; break;
        case 2:
        case 4:
            code = result == 2 ? 4 : 5;
            area.inserts[0] = ClientInsert{serverText ? serverText : "", 0, CLIENT_INSERT_TEXT};
            break;
        case 3: code = 34; break;
        case 5:
        case 11: code = 7; break;
        case 7: code = 33; break;
        case 9: code = 1; break;
        case 10:
            if (operation == 8) {
                severity = 4;
                code = 49;
            } else {
                code = 50;
            }
            break;
        case 12: severity = 3; break;
        case 13:
            severity = 6;
            code = 35;
            break;
        case 14: code = 36; break;
        case 15:
            severity = 7;
            code = 6;
            break;
        case 16: code = 2; break;
        default:
            if (result > 16) {
                severity = 0;
            } else {
                // 6, 8, and negative values that no request-layer call gives: a failure
                // must never read as success.
                code = FailureCode(operation);
            }
            break;
    }
    SetStatus(status, area, severity, code, serverText);
}

void Session_MakeLocalStatus(ClientStatus* status, ClientSession* session, int kind, const char* text) {
    using namespace qelclient;
    if (!status) return;
    ClientStatusArea& area = AreaOf(session);
    ClearInserts(area);
    int severity = 9;
    int code = 75;
    switch (kind) {
        case 3:
            code = 4;
            area.texts[0] = text ? text : "";
            area.inserts[0] = ClientInsert{area.texts[0].c_str(), 0, CLIENT_INSERT_TEXT};
            break;
        case 4:
            severity = 7;
            code = 6;
            break;
        case 5: code = 1; break;
        case 6:
            severity = 6;
            code = 35;
            break;
        case 7:
            severity = 2;
            code = 0;
            break;
        default: break;
    }
    SetStatus(status, area, severity, code, nullptr);
}
