#include "game/LibraryRules.h"

#include <gtest/gtest.h>
#include <tuple>
namespace qbk {
namespace {
using nlohmann::json;
// Malformed rules throw, which the profile assembly turns into its message (LaunchProfileTest).
TEST(LibraryRules, LastApplicableRuleDecidesAndFeatureRulesNeverApply) {
    // An entry, then whether Windows and Linux admit it.
    const std::tuple<const char*, int, int> cases[] = {
        {R"({"name":"a"})", 1, 1},
        {R"("not an object")", 1, 1},
        {R"({"rules":[]})", 0, 0},
        {R"({"rules":[{}]})", 1, 1}, // action absent means allow
        {R"({"rules":[{"action":"deny"}]})", 0, 0},
        {R"({"rules":[{"action":"allow","os":"windows"}]})", 1, 1},
        {R"({"rules":[{"action":"allow"},{"action":"disallow","os":{"name":"osx"}}]})", 1, 1},
        {R"({"rules":[{"action":"allow","os":{"name":"windows","arch":"x86"}}]})", 0, 0},
        {R"({"rules":[{"action":"allow","os":{"arch":"x86_64"}}]})", 1, 1},
        {R"({"rules":[{"action":"allow"},{"action":"disallow","os":{"name":"windows"}}]})", 0, 1},
        {R"({"rules":[{"action":"allow","os":{"name":"Windows"}}]})", 0, 0},
        {R"({"rules":[{"action":"allow","os":{"name":"windows","version":"^10\\."}}]})", 1, 0},
        {R"({"rules":[{"action":"allow","os":{"name":"linux"}}]})", 0, 1},
        {R"({"rules":[{"action":"allow","features":{"is_demo_user":true}}]})", 0, 0},
        {R"({"rules":[{"action":"allow"},{"action":"disallow","features":{"x":true}}]})", 1, 1},
        {R"({"rules":[{"action":"allow","os":{"name":"windows"},"features":{"x":1}}]})", 0, 0},
    };
    for (const auto& [entry, win, lin] : cases) {
        EXPECT_EQ(IsLibraryAllowed(json::parse(entry), TargetPlatform::windowsX64()), win) << entry;
        EXPECT_EQ(IsLibraryAllowed(json::parse(entry), TargetPlatform::linuxX64()), lin) << entry;
    }
}
} // namespace
} // namespace qbk
