#include "cgi_command_line.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "arc_install.h"
#include "arc_platform.h"
#include "local_container.h"
#include "option_parser.h"

namespace qelwww::detail {

namespace {

constexpr const char* kOptionLetters = "a:p:o:v";
constexpr const char* kDefaultParameters = "qelwww.parms";
constexpr const char* kDefaultType = "application/afp";
constexpr int kAfpRelease = 2000;
// What a shell answers for a program it cannot start.
constexpr int kNotStarted = 127;

// A temporary file of this run, created exclusively (0600) and removed on every path.
class TempFile {
public:
    TempFile(const std::string& directory, const std::string& prefix) {
        if (char* made = ArcOS_TempName(directory.c_str(), prefix.c_str())) {
            path_ = made;
            std::free(made);
        }
    }
    ~TempFile() {
        if (!path_.empty()) ArcOS_Unlink(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    bool Made() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Copies a stream to standard error.
void CopyToStderr(std::FILE* stream) {
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0) std::fwrite(buffer, 1, got, stderr);
}

// Runs the resource program on the AFP file. Its exit code (127 when it cannot be
// started); whatever it writes on standard output goes to standard error, so that it
// never mixes with the container.
int RunResourceProgram(const QelWWWConfig* config, const std::string& parameters, const std::string& afpFile,
                       const std::string& resourceFile, const std::string& messageFile) {
    char program[4096];
    if (QelInst_ProgramPath(0, program, sizeof program) == 0) return kNotStarted;
    const std::vector<std::string> argv = {
        program,
        "PARMDD=" + parameters,
        "INPUTDD=" + afpFile,
        "RESOBJDD=" + resourceFile,
        "MSGDD=" + messageFile,
        "INDEXDD=/dev/null",
        "OUTPUTDD=/dev/null",
    };
    if (config->traceOn) QelWWW_Trace(config, "main: running resource program '%s'", program);
    ArcOSPipe pipe;
    if (ArcOS_PipeOpen(argv, "r", &pipe) != 0) return kNotStarted;
    CopyToStderr(pipe.stream);
    const int status = ArcOS_PipeClose(&pipe);
    return status < 0 ? 1 : status;
}

// The resources of the AFP file, packed. 0, or the exit code with the reason written.
int ExtractResources(const QelWWWConfig* config, const std::string& parameters, const std::string& afpFile,
                     PackedPiece* resources) {
    const std::string prefix = std::to_string(ArcOS_GetProcessId());
    TempFile resourceFile(config->cacheDir, prefix + ".res.");
    TempFile messageFile(config->cacheDir, prefix + ".msg.");
    if (!resourceFile.Made() || !messageFile.Made()) {
        std::fprintf(stderr, "Unable to create temporary files in '%s'.\n", config->cacheDir.c_str());
        return 1;
    }
    const int rc = RunResourceProgram(config, parameters, afpFile, resourceFile.Path(), messageFile.Path());
    if (rc != 0) {
        std::fprintf(stderr, "Resource failuer... rc=%d\n", rc);
        if (std::FILE* messages = std::fopen(messageFile.Path().c_str(), "rb")) {
            CopyToStderr(messages);
            std::fclose(messages);
        }
        return rc;
    }
    if (!PackFile(resourceFile.Path(), resources)) {
        std::fputs("Unable to compress resources!\n", stderr);
        return 1;
    }
    return 0;
}

// The content type of the standard-output form: QELWWW_MIMETYPE_AFP when it is a clean
// header value.
std::string ContentType() {
    std::optional<std::string> type = ArcOS_GetEnv("QELWWW_MIMETYPE_AFP");
    if (!type || type->empty() || type->find_first_of("\r\n") != std::string::npos) return kDefaultType;
    return *type;
}

int WriteToStdout(const std::string& container) {
    const std::string type = ContentType();
    std::fprintf(stdout, "Content-type: %s\r\nContent-length: %zu\r\n\r\n", type.c_str(), container.size());
    std::fwrite(container.data(), 1, container.size(), stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fputs("Unable to write the container to standard output.\n", stderr);
        return 1;
    }
    return 0;
}

}  // namespace

CommandLine ParseCommandLine(const QelWWWConfig* config, int argc, char** argv) {
    CommandLine line;
    OptionState state;  // printErrors off: the usage text answers every error
    for (int option; (option = NextOption(&state, argc, argv, kOptionLetters)) != -1;) {
        line.invoked = true;
        if (config->traceOn) QelWWW_Trace(config, "main: command line invoked");
        switch (option) {
            case 'a': line.afpFile = state.argument; break;
            case 'p':
                line.parameterFile = *state.argument != '\0' ? state.argument : kDefaultParameters;
                break;
            case 'o': line.outputFile = state.argument; break;
            case 'v': line.version = true; return line;
            default: line.usage = true; return line;
        }
    }
    if ((line.afpFile && line.afpFile->empty()) || (line.outputFile && line.outputFile->empty()))
        line.usage = true;
    return line;
}

void CommandLineUsage(const char* program) {
    std::fprintf(stderr, "\nUsage: %s -a [-p] [-o] [-v]\n", program != nullptr ? program : "qelwww");
    std::fputs("   -a <file>     AFP file\n", stderr);
    std::fputs("   -p <file>     Parameter file\n", stderr);
    std::fputs("   -o <file>     Output file\n", stderr);
    std::fputs("   -v            Version string\n", stderr);
    std::fputs(
        "\nPacks the AFP file (and, with -p, the resources the resource program extracts\n"
        "for it) into the viewer's container: on standard output after the HTTP\n"
        "headers, or into the -o file without them.\n",
        stderr);
}

int RunCommandLine(const QelWWWConfig* config, const CommandLine& line, const char* program) {
    if (line.version) {
        std::fputs("Netvara Version ", stdout);
        std::fprintf(stdout, "%s, AFP Plugin Release %d.\n", config->version.c_str(), kAfpRelease);
        std::fflush(stdout);
        return 1;
    }
    if (line.usage || !line.afpFile) {
        CommandLineUsage(program);
        return 1;
    }
    PackedPiece resources;
    if (line.parameterFile) {
        const int rc = ExtractResources(config, *line.parameterFile, *line.afpFile, &resources);
        if (rc != 0) return rc;
    }
    PackedPiece document;
    if (!PackFile(*line.afpFile, &document)) {
        std::fputs("Unable to compress input file!\n", stderr);
        return 1;
    }
    const std::string container = LocalContainer(resources, document);
    if (container.empty()) {
        std::fputs("Unable to compress resources!\n", stderr);
        return 1;
    }
    if (!line.outputFile) return WriteToStdout(container);
    if (ArcOS_WriteFileAtomic(line.outputFile->c_str(), container) != 0) {
        std::fprintf(stderr, "Unable to open output file '%s'.\n", line.outputFile->c_str());
        return 1;
    }
    return 0;
}

}  // namespace qelwww::detail
