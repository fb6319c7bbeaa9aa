// The outside e-mail program: it reads the expanded message from a file and writes the
// message's HTML and an index of its parts into two more files of the cache directory.
#include <cerrno>

#include "converter_settings.h"
#include "converters.h"
#include "outside_program.h"
#include "temp_files.h"

namespace qelwww::detail {

bool RunEmailProgram(const QelWWWConfig* config, QelWWWSession*, std::string* data, std::string* index,
                     std::string* program, int* error) {
    *program = ConverterInstallDir(config, "email") + "qelemail";
    *error = 0;
    ConversionFile message;
    ConversionFile output;
    ConversionFile indexFile;
    int rc = message.Create(config->cacheDir, "eml", *data);
    if (rc == 0) rc = output.Create(config->cacheDir, "eml");
    if (rc == 0) rc = indexFile.Create(config->cacheDir, "eml");
    if (rc != 0) {
        if (config->traceOn) QelWWW_Trace(config, "email: temporary file not written, errno = %d", rc);
        *error = rc;
        return false;
    }
    const std::vector<std::string> argv = {*program,      "-m", message.Path(),  "-o",
                                           output.Path(), "-i", indexFile.Path()};
    if (config->traceOn) QelWWW_Trace(config, "email: invoking command '%s'", CommandLineText(argv).c_str());
    const ProgramResult result = RunOutsideProgram(argv);
    if (!result.Ok()) {
        if (config->traceOn)
            QelWWW_Trace(config, "email: unable to invoke qelemail, rc = %d, errno = %d", result.exitStatus,
                         result.startError);
        // The message's errno insert: why it did not start, else how it ended.
        *error = result.startError != 0 ? result.startError : result.exitStatus;
        return false;
    }
    std::string html;
    std::string parts;
    rc = ReadProgramOutput(output.Path(), &html);
    if (rc == 0) rc = ReadProgramOutput(indexFile.Path(), &parts);
    if (rc != 0) {
        if (config->traceOn) QelWWW_Trace(config, "email: output not read, errno = %d", rc);
        *error = rc;
        return false;
    }
    *data = std::move(html);
    *index = std::move(parts);
    return true;
}

}  // namespace qelwww::detail
