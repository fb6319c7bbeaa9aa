// The server definition text reaches the transport from configuration files.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "server_def.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    qel::transport::ServerDefinition def;
    std::string why;
    int rc = qel::transport::ParseServerDefinition(text, &def, &why);
    if (rc == 0) {
        // What a successful read promises the connect step.
        if (def.host.empty() || def.host.size() > qel::transport::kMaxHostLength || def.port == 0 ||
            (def.kind != 2 && def.kind != 4) || def.connectTimeoutSeconds < 1 ||
            def.connectTimeoutSeconds > 86400 || def.idleTimeoutSeconds < 1 ||
            def.idleTimeoutSeconds > 86400) {
            std::abort();
        }
    } else if (rc != 2 || why.empty()) {
        std::abort();
    }
    return 0;
}
