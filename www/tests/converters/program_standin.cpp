// Stand-in outside programs for the tests, one source for both:
//   afp2pdf  -o <output> -r <resources> <input>
//   qelemail -m <message> -o <output> -i <index>
// Each checks its argument vector strictly, reads its input files (noting their modes, which
// must be 0600), chats on standard output, and writes an output that describes them and lists its arguments
// between
// '|'. QEL_STANDIN_FAILURE 1 writes part of the output and exits with 3; 2 writes part of it
// and kills itself with SIGKILL.
#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "standin_text.h"

#ifndef QEL_STANDIN_FAILURE
#define QEL_STANDIN_FAILURE 0
#endif

namespace {

bool Read(const std::string& path, std::string* content, std::string* modes) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return false;
    char mode[8];
    std::snprintf(mode, sizeof mode, "%o", static_cast<unsigned>(st.st_mode & 07777));
    *modes += (modes->empty() ? "" : ",") + std::string(mode);
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    *content = text.str();
    return static_cast<bool>(in);
}

bool Write(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    return static_cast<bool>(out);
}

std::string ArgumentList(int argc, char** argv) {
    std::string list;
    for (int i = 1; i < argc; ++i) list += std::string(argv[i]) + "|";
    return list;
}

// Writes the output, then fails as the build says.
int Finish(const std::string& path, const std::string& content) {
    if (QEL_STANDIN_FAILURE != 0) {
        Write(path, content.substr(0, content.size() / 2));
        if (QEL_STANDIN_FAILURE == 2) std::raise(SIGKILL);
        return 3;
    }
    return Write(path, content) ? 0 : 4;
}

int Afp2Pdf(int argc, char** argv) {
    if (argc != 6 || std::string(argv[1]) != "-o" || std::string(argv[3]) != "-r") return 2;
    std::string resources, input, modes;
    if (!Read(argv[4], &resources, &modes) || !Read(argv[5], &input, &modes)) return 5;
    std::string output;
    if (!Read(argv[2], &output, &modes)) return 5;
    return Finish(argv[2], "%PDF-1.4\n% program resources " + standin::Describe(resources) + "\n% input " +
                               standin::Describe(input) + "\n% modes=" + modes +
                               "\n% args=" + ArgumentList(argc, argv) + "\n%%EOF\n");
}

int Email(int argc, char** argv) {
    if (argc != 7 || std::string(argv[1]) != "-m" || std::string(argv[3]) != "-o" ||
        std::string(argv[5]) != "-i")
        return 2;
    std::string message, modes, ignored;
    if (!Read(argv[2], &message, &modes) || !Read(argv[4], &ignored, &modes) ||
        !Read(argv[6], &ignored, &modes))
        return 5;
    if (!Write(argv[6], "MESSAGE " + standin::Describe(message) + "\nMODES " + modes + "\n")) return 4;
    return Finish(argv[4], "<html><body><p>e-mail " + standin::Describe(message) +
                               "</p><p>args=" + ArgumentList(argc, argv) + "</p></body></html>\n");
}

}  // namespace

int main(int argc, char** argv) {
    // A chatty program: the gateway must keep this out of its reply.
    std::printf("%s stand-in: converting\n", argv[0]);
    std::fflush(stdout);
    const std::string name = argv[0];
    const std::string base = name.substr(name.rfind('/') + 1);
    if (base == "afp2pdf") return Afp2Pdf(argc, argv);
    if (base == "qelemail") return Email(argc, argv);
    return 2;
}
