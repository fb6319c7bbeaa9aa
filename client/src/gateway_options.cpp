// The options the gateway starts the client library with, shared by the gateway and
// the tests that stand in for it.
#include <cstring>

#include "qel_client.h"

namespace {

template <size_t N>
void PutFormat(char (&slot)[N], const char* text) {
    std::memset(slot, 0, N);
    std::memcpy(slot, text, strnlen(text, N - 1));
}

}  // namespace

void Client_SetGatewayOptions(ClientInitOptions* options) {
    if (options == nullptr) return;
    ClientInitOptions& o = *options;
    o.charKind = 'C';
    o.folderListSwitch = 1;
    o.namedQuerySwitch = 0;
    o.searchLetterSwitch = 1;
    o.retrieveOption = 1;
    o.sortByField = 1;
    o.unused6 = 0;
    o.folderFlagSwitch = 1;
    PutFormat(o.dateFormat, "%m/%d/%y");
    PutFormat(o.timeFormat, "%H:%M:%S");
    PutFormat(o.dateTimeFormat, "%m/%d/%y %H:%M:%S");
    o.decimalChar = '.';
    o.thousandsChar = ',';
}
