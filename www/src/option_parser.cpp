#include "option_parser.h"

#include <cstdio>
#include <cstring>

namespace qelwww::detail {

int NextOption(OptionState* state, int argc, char* const* argv, const char* letters) {
    state->argument = nullptr;
    if (state->next == nullptr || *state->next == '\0') {
        if (state->index >= argc || argv[state->index] == nullptr) return -1;
        const char* word = argv[state->index];
        if (word[0] != '-' || word[1] == '\0') return -1;
        if (std::strcmp(word, "--") == 0) {
            ++state->index;
            return -1;
        }
        state->next = word + 1;
    }
    const char letter = *state->next++;
    state->option = static_cast<unsigned char>(letter);
    const char* known = letter != ':' ? std::strchr(letters, letter) : nullptr;
    const bool wordDone = *state->next == '\0';
    if (known == nullptr) {
        if (wordDone) ++state->index;
        if (state->printErrors) std::fprintf(stderr, "%s: illegal option -- %c\n", argv[0], letter);
        return '?';
    }
    if (known[1] != ':') {
        if (wordDone) ++state->index;
        return letter;
    }
    // The rest of this word, else the next word, is the argument.
    ++state->index;
    if (!wordDone) {
        state->argument = state->next;
    } else if (state->index < argc && argv[state->index] != nullptr) {
        state->argument = argv[state->index++];
    } else {
        state->next = nullptr;
        if (state->printErrors)
            std::fprintf(stderr, "%s: option requires an argument -- %c\n", argv[0], letter);
        return ':';
    }
    state->next = nullptr;
    return letter;
}

}  // namespace qelwww::detail
