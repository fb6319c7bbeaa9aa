// Internal: a re-entrant option parser in the manner of the classic getopt, over a state
// record instead of globals.
#pragma once

namespace qelwww::detail {

struct OptionState {
    const char* argument = nullptr;  // the argument of the last option, when it takes one
    int index = 1;                   // the next argument to look at
    int option = 0;                  // the last option letter met (also an unknown one)
    bool printErrors = false;        // write the classic messages to standard error
    const char* next = nullptr;      // the rest of an argument holding several letters
};

// The next option of argv under letters ("a:p:o:v": a letter followed by ':' takes an
// argument, the rest of its word or the next word). '?' for a letter not in letters, ':'
// for a missing argument, -1 at the end of the options: a word that does not start with
// '-', a lone "-", or "--" (which is skipped).
int NextOption(OptionState* state, int argc, char* const* argv, const char* letters);

}  // namespace qelwww::detail
