// Descriptions damaged on purpose: cut at every byte, and every value of the small
// description swapped for numbers at the edges and for values of other JSON types. The
// reader never crashes, and refuses with numbered messages naming a member or accepts.
#include <string>
#include <vector>

#include "builder_fixture.h"

namespace {

using buildertest::BuilderScratch;
using buildertest::Json;

void ExpectSane(const arcbuild::Errors& errors, bool ok, const std::string& what) {
    EXPECT_EQ(ok, errors.Empty()) << what;
    for (const arcbuild::BuildError& e : errors.List()) {
        EXPECT_GE(e.number, arcbuild::kErrUnreadable) << what;
        EXPECT_LE(e.number, arcbuild::kErrIndex) << what;
        EXPECT_FALSE(e.where.empty()) << what;
    }
}

TEST(BuilderHostile, EveryCutIsUnreadable) {
    BuilderScratch scratch;
    const std::string text = buildertest::SmallDescription("statements.txt").dump();
    for (size_t cut = 0; cut < text.size(); ++cut) {
        arcbuild::Errors errors;
        arcbuild::Description d;
        ASSERT_FALSE(arcbuild::ParseDescription(text.substr(0, cut), scratch.Dir(), &d, &errors)) << cut;
        ASSERT_EQ(errors.Count(), 1u) << cut;
        EXPECT_EQ(errors.List()[0].number, arcbuild::kErrUnreadable) << cut;
    }
}

// The JSON pointers of every value of the description that is no object or array.
void Leaves(const Json& value, const std::string& at, std::vector<std::string>* out) {
    if (value.is_object()) {
        for (const auto& item : value.items()) Leaves(item.value(), at + "/" + item.key(), out);
    } else if (value.is_array()) {
        for (size_t i = 0; i < value.size(); ++i) Leaves(value[i], at + "/" + std::to_string(i), out);
    } else {
        out->push_back(at);
    }
}

TEST(BuilderHostile, EveryValueSwapped) {
    BuilderScratch scratch;
    const Json base = buildertest::SmallDescription("statements.txt");
    std::vector<std::string> leaves;
    Leaves(base, "", &leaves);
    const Json swaps[] = {0,
                          -1,
                          1,
                          2147483648LL,
                          9223372036854775807LL,
                          18446744073709551615ULL,
                          -9223372036854775807LL - 1,
                          1e300,
                          -0.5,
                          "",
                          std::string(40000, 'x'),
                          "\u00ff\u0100",
                          nullptr,
                          true,
                          Json::object(),
                          Json::array(),
                          Json::array({1, "a"})};
    for (const std::string& leaf : leaves) {
        for (const Json& swap : swaps) {
            Json description = base;
            description[Json::json_pointer(leaf)] = swap;
            arcbuild::Errors errors;
            arcbuild::Description d;
            const bool ok = arcbuild::ParseDescription(description.dump(), scratch.Dir(), &d, &errors);
            ExpectSane(errors, ok, leaf + " = " + swap.dump().substr(0, 40));
        }
    }
}

}  // namespace
