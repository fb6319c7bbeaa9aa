// Internal: running an outside program of the converters and reading what it wrote.
#pragma once

#include <string>
#include <vector>

namespace qelwww::detail {

// How an outside program ended.
struct ProgramResult {
    int startError = 0;  // the errno when it could not be started; 0 when it ran
    int exitStatus = 0;  // its exit status; 128 + the signal that ended it
    bool Ok() const { return startError == 0 && exitStatus == 0; }
};

// Starts argv[0] (an absolute path) with the argument vector, never through a shell, and
// waits for it. Its standard input and output are /dev/null: the gateway's standard output
// may be the reply.
ProgramResult RunOutsideProgram(const std::vector<std::string>& argv);

// The argument vector as one line for a trace; an argument holding anything beyond
// letters, digits and "/._-=" is shell-quoted, so the line shows where each one ends.
std::string CommandLineText(const std::vector<std::string>& argv);

// The largest output file taken from an outside program.
inline constexpr size_t kMaxProgramOutput = size_t{1} << 30;

// Reads a program's output file whole. 0 with *data; else the errno: EFBIG when it is
// larger than kMaxProgramOutput, EIO when it changed size while read.
int ReadProgramOutput(const std::string& path, std::string* data);

}  // namespace qelwww::detail
