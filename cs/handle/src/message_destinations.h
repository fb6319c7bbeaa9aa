// The destinations of a numbered message outside the handle: standard error, the event
// log and the message exit program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cshandle::detail {

// "text\n" on standard error; line breaks inside the text become blanks, so one
// message is one line.
void WriteStandardError(const std::string& text);

// One event under the message library's source: error for severity '1' and '2',
// warning for '3', information otherwise. 0, or 6 when it could not be written.
int WriteEventLog(char severity, uint32_t eventId, const std::string& text);

// Starts the message exit program (install program file 4) with exactly these eight
// arguments, no shell between, and waits for it. 0, or 6 when it could not be run.
int RunMessageExit(const std::vector<std::string>& args);

}  // namespace cshandle::detail
