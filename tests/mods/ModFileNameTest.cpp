#include "mods/ModFileName.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace qbk {
namespace {

// Plain names that stay in the mods folder on every system, and those that leave it, name a
// Windows device (in any case, with any extension) or cannot be stored as given.
TEST(ModFileNameTest, AcceptsPlainNamesAndRefusesEscapesDevicesAndUnstorableNames) {
    for (const char* name :
         {"sodium-neoforge-0.6.0+mc1.21.1.jar", "Mod With Spaces.jar", "мод-кириллица.jar",
          "jei_1.21.1-19.21.0.247.jar", "console.jar", "nul-ish.jar", "COM10.jar", "LPT0.jar",
          "auxiliary.jar", ".hidden.jar"})
        EXPECT_TRUE(IsSafeModFileName(name)) << name;
    const std::vector<std::vector<std::string>> unsafe = {
        {"", ".", "..", "../evil.jar", "..\\evil.jar", "sub/mod.jar", "sub\\mod.jar",
         "/etc/passwd"},
        {"C:evil.jar", "C:\\Windows\\evil.jar", "mod.jar:stream", "mod..jar", {"mod\0.jar", 8}},
        {"CON", "con.jar", "Prn.txt", "aux.tar.gz", "NUL", "nul.jar", "COM1.jar", "com9",
         "LPT1.jar"},
        {"lpt9.zip", "NUL .jar", "Con .jar", "mod.jar.", "mod.jar ", "a<b.jar", "a>b.jar"},
        {"a\"b.jar", "a|b.jar", "a?b.jar", "a*b.jar", "tab\there.jar", "del\x7f.jar",
         "\xff\xfe.jar"}};
    for (const auto& row : unsafe)
        for (const std::string& name : row)
            EXPECT_FALSE(IsSafeModFileName(name)) << name;
}

} // namespace
} // namespace qbk
