// The two libraries export every name the plug-in binds (from its own binding lists) and
// keep their internals hidden.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <span>
#include <string>

#include "engine_api.h"

TEST(Exports, EveryNameResolves) {
    struct Case {
        const char* library;
        std::span<const char* const> names;
    };
    const Case cases[] = {{"libknvwser.so", afpview::kServicesNames},
                          {"libknvwvsin.so", afpview::kEngineNames}};
    for (const auto& c : cases) {
        const std::string path = std::string(QEL_STAGE_DIR) + "/lib/" + c.library;
        void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
        for (const char* name : c.names) EXPECT_NE(dlsym(library, name), nullptr) << name;
        // Internal helpers stay inside.
        EXPECT_EQ(dlsym(library, "_ZN4knvw8Registry8InstanceEv"), nullptr);
        EXPECT_EQ(dlsym(library, "_ZN4knvw6Engine3GetEv"), nullptr);
        EXPECT_EQ(dlsym(library, "ArcICONV_EbcdicToLatin1Table"), nullptr);  // linked in from the code pages
        // Left loaded: the libraries' process-wide state stays reachable until exit.
    }
}
