// The getsegment action: refused segment numbers.
#include "document_test_support.h"

namespace {
[[maybe_unused]] ::testing::Environment* const kClientLayer =
    ::testing::AddGlobalTestEnvironment(new wwwtest::ClientLayer);
}  // namespace
