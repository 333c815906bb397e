#include "mods/ModFileName.h"

#include <gtest/gtest.h>
#include <string>
namespace qbk {
namespace {
// Names that stay in the mods folder on every system, then those that leave it, name a Windows
// device (in any case, with any extension, trailing spaces ignored) or cannot be stored as given.
TEST(ModFileNameTest, AcceptsPlainNamesAndRefusesEscapesDevicesAndUnstorableNames) {
    for (const char* name : {"sodium-neoforge-0.6.0+mc1.21.1.jar", "Mod With Spaces.jar",
                             "мод-кириллица.jar", "console.jar", "nul-ish.jar", "COM10.jar",
                             "LPT0.jar", "auxiliary.jar", ".hidden.jar", "x-1.0..jar", "mod..jar"})
        EXPECT_TRUE(IsSafeModFileName(name)) << name;
    // clang-format off
    for (const char* name : {"", ".", "..", "../evil.jar", "..\\evil.jar", "sub/mod.jar",
             "sub\\mod.jar", "/etc/passwd", "C:evil.jar", "C:\\Windows\\evil.jar", "mod.jar:stream",
             "a/../b.jar", "CON", "con.jar", "Prn.txt", "aux.tar.gz", "NUL", "COM1.jar", "com9",
             "LPT1.jar", "lpt9.zip", "NUL .jar", "Con .jar", "mod.jar.", "mod.jar ", "a<b.jar",
             "a>b.jar", "a\"b.jar", "a|b.jar", "a?b.jar", "a*b.jar", "tab\there.jar", "del\x7f.jar",
             "\xff\xfe.jar"})
        EXPECT_FALSE(IsSafeModFileName(name)) << name;
    // clang-format on
    EXPECT_FALSE(IsSafeModFileName(std::string("mod\0.jar", 8)));
}
} // namespace
} // namespace qbk
