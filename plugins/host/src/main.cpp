// qelview: shows one document of the gateway with its viewer plug-in.
#include <string>
#include <vector>

#include "viewer_main.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return QelViewMain(args);
}
