// The client library's callbacks are exports of both gateway deliverables: a client-exit
// library loaded into the servlet library's process or into the CGI program finds them
// with dlsym, and nothing else of the client library is exported.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

const char* const kCallbacks[] = {"CsYieldControlCallback", "ExitSearchFolderCallback", "ExitDataCallback",
                                  "ExitNoteCallback"};
// Linked into both, but never exported.
const char* const kInternal = "Client_Init";

TEST(Exports, TheServletLibraryExportsTheCallbacks) {
    // Kept mapped after dlclose, as a JVM keeps it: what its static objects hold stays
    // reachable for the leak checker.
    void* library = dlopen(QELWWW_SERVLET_LIBRARY, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char* name : kCallbacks) EXPECT_NE(dlsym(library, name), nullptr) << name;
    EXPECT_EQ(dlsym(library, kInternal), nullptr);
    using Yield = int (*)();
    const auto yield = reinterpret_cast<Yield>(dlsym(library, "CsYieldControlCallback"));
    ASSERT_NE(yield, nullptr);
    EXPECT_EQ(yield(), 0) << "no yield function set: nothing to call";
    dlclose(library);
}

TEST(Exports, TheCgiProgramExportsTheCallbacks) {
    // The probe is preloaded as an exit library would be loaded, and reports before the
    // program starts; a sanitizer runtime accepts a library ahead of it.
    const std::string command = std::string("env LD_PRELOAD=") + EXIT_PROBE +
                                " ASAN_OPTIONS=verify_asan_link_order=0 " + QELWWW_PROGRAM + " </dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::map<std::string, std::string> seen;
    char name[128];
    char state[16];
    while (std::fscanf(pipe, "%127s %15s", name, state) == 2) seen[name] = state;
    EXPECT_EQ(pclose(pipe), 0);
    for (const char* callback : kCallbacks) EXPECT_EQ(seen[callback], "found") << callback;
    EXPECT_EQ(seen[kInternal], "missing");
}

}  // namespace
