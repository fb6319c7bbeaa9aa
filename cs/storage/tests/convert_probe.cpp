// Runs the CONVERT filter on standard input and writes the command's output to standard
// output, for the Python oracle. usage: sm_convert_probe <owed> <command> [options]
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <string>

#include "qel_sm.h"

namespace {

int Write(void*, const unsigned char* data, size_t length) {
    return std::fwrite(data, 1, length, stdout) == length ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    std::string input((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    CsHandle handle{};
    handle.def.flags1 |= CS_F1_MESSAGES;
    SmConvertState state;
    state.owed = std::strtoull(argv[1], nullptr, 10);
    state.command = argv[2];
    state.options = argc > 3 ? argv[3] : "";
    state.handle = &handle;
    state.output = &Write;
    SmConvertStep(&state, 0);
    SmConvertStep(&state, 1);
    // Pieces of an odd size, so that no piece boundary falls where the owed bytes end.
    for (size_t at = 0; at < input.size(); at += 997) {
        std::string piece = input.substr(at, 997);
        SmConvertDataCallback(&state, reinterpret_cast<const unsigned char*>(piece.data()), piece.size());
    }
    SmConvertStep(&state, 3);
    SmConvertStep(&state, 4);
    int rc = SmConvertStep(&state, 5);
    std::fflush(stdout);
    return rc;
}
