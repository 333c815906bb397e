#include "game/LibraryRules.h"

#include <gtest/gtest.h>

namespace qbk {
namespace {

using nlohmann::json;

TEST(LibraryRules, LastApplicableRuleDecidesAndFeatureRulesNeverApply) {
    const struct {
        const char* entry;
        bool windows;
        bool linux;
    } cases[] = {
        {R"({"name":"a"})", true, true},
        {R"("not an object")", true, true},
        {R"({"rules":[]})", false, false},
        {R"({"rules":[{}]})", true, true}, // action absent means allow
        {R"({"rules":[{"action":"deny"}]})", false, false},
        {R"({"rules":[{"action":"allow","os":"windows"}]})", true, true},
        {R"({"rules":[{"action":"allow"},{"action":"disallow","os":{"name":"osx"}}]})", true, true},
        {R"({"rules":[{"action":"allow","os":{"name":"osx"}}]})", false, false},
        {R"({"rules":[{"action":"allow","os":{"name":"windows","arch":"x86"}}]})", false, false},
        {R"({"rules":[{"action":"allow","os":{"arch":"x86_64"}}]})", true, true},
        {R"({"rules":[{"action":"allow"},{"action":"disallow","os":{"name":"windows"}}]})", false,
         true},
        {R"({"rules":[{"action":"allow","os":{"name":"Windows"}}]})", false, false},
        {R"({"rules":[{"action":"allow","os":{"name":"windows","version":"^10\\."}}]})", true,
         false},
        {R"({"rules":[{"action":"allow","os":{"name":"linux"}}]})", false, true},
        {R"({"rules":[{"action":"allow","features":{"is_demo_user":true}}]})", false, false},
        {R"({"rules":[{"action":"allow"},{"action":"disallow","features":{"x":true}}]})", true,
         true},
        {R"({"rules":[{"action":"allow","os":{"name":"windows"},"features":{"x":true}}]})", false,
         false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsLibraryAllowed(json::parse(c.entry), TargetPlatform::windowsX64()), c.windows)
            << c.entry;
        EXPECT_EQ(IsLibraryAllowed(json::parse(c.entry), TargetPlatform::linuxX64()), c.linux)
            << c.entry;
    }
    for (const char* malformed :
         {R"({"rules":[{"os":{"name":7}}]})", R"({"rules":[{"os":{"arch":false}}]})",
          R"({"rules":[{"action":1}]})", R"({"rules":["allow"]})"})
        EXPECT_THROW(IsLibraryAllowed(json::parse(malformed), TargetPlatform::windowsX64()),
                     json::type_error)
            << malformed;
}

} // namespace
} // namespace qbk
