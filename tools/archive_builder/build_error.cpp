// build_error.cpp - a refusal as one line.
#include "build_error.h"

namespace arcbuild {

std::string FormatError(const BuildError& error) {
    return "error " + std::to_string(error.number) + ": " + error.where + ": " + error.text;
}

}  // namespace arcbuild
