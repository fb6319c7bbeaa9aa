// A stand-in for the resource program of the CGI program's command line, for tests only:
// it records its arguments and does what its parameter file (PARMDD=) asks, one
// "key=value" a line:
//   resources=N   writes N bytes of a fixed pattern to RESOBJDD
//   message=TEXT  appends the line to MSGDD
//   stdout=TEXT   writes the line to standard output
//   exit=N        ends with exit code N
//   signal=N      ends by that signal
// The record, beside the parameter file: "<PARMDD>.argv" with every argument after the
// first, each ended by a zero byte, and "<PARMDD>.modes" with the permission bits of
// RESOBJDD and MSGDD as they were found ("0600 0600").
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>

namespace {

std::string Value(int argc, char** argv, const std::string& name) {
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word.rfind(name + "=", 0) == 0) return word.substr(name.size() + 1);
    }
    return {};
}

std::string Mode(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return "missing";
    char text[16];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string parameters = Value(argc, argv, "PARMDD");
    const std::string resources = Value(argc, argv, "RESOBJDD");
    const std::string messages = Value(argc, argv, "MSGDD");
    {
        std::ofstream record(parameters + ".argv", std::ios::binary);
        for (int i = 1; i < argc; ++i) record << argv[i] << '\0';
        std::ofstream(parameters + ".modes") << Mode(resources) << ' ' << Mode(messages);
    }
    std::ifstream in(parameters);
    std::string line;
    int exitCode = 0;
    while (std::getline(in, line)) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        if (key == "resources") {
            std::ofstream out(resources, std::ios::binary | std::ios::trunc);
            const long size = std::stol(value);
            for (long i = 0; i < size; ++i) out.put(static_cast<char>("resource group "[i % 15]));
        } else if (key == "message") {
            std::ofstream(messages, std::ios::app) << value << '\n';
        } else if (key == "stdout") {
            std::printf("%s\n", value.c_str());
        } else if (key == "exit") {
            exitCode = std::stoi(value);
        } else if (key == "signal") {
            std::fflush(stdout);
            std::raise(std::stoi(value));
        }
    }
    return exitCode;
}
