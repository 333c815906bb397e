#include "mods/ModFileName.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace qbk {
namespace {

TEST(ModFileNameTest, AcceptsOrdinaryModFileNames) {
    const std::vector<std::string> names = {"sodium-neoforge-0.6.0+mc1.21.1.jar",
                                            "Mod With Spaces.jar",
                                            "мод-кириллица.jar",
                                            "jei_1.21.1-19.21.0.247.jar",
                                            "console.jar",
                                            "nul-ish.jar",
                                            "COM10.jar",
                                            "LPT0.jar",
                                            "auxiliary.jar",
                                            ".hidden.jar"};
    for (const auto& name : names)
        EXPECT_TRUE(IsSafeModFileName(name)) << name;
}

TEST(ModFileNameTest, RefusesNamesThatLeaveTheModsFolder) {
    const std::vector<std::string> names = {"",
                                            ".",
                                            "..",
                                            "../evil.jar",
                                            "..\\evil.jar",
                                            "sub/mod.jar",
                                            "sub\\mod.jar",
                                            "/etc/passwd",
                                            "C:evil.jar",
                                            "C:\\Windows\\evil.jar",
                                            "mod.jar:stream",
                                            "mod..jar",
                                            std::string("mod\0.jar", 8)};
    for (const auto& name : names)
        EXPECT_FALSE(IsSafeModFileName(name)) << name;
}

TEST(ModFileNameTest, RefusesReservedWindowsDeviceNamesInAnyCaseAndWithAnyExtension) {
    const std::vector<std::string> names = {"CON",      "con.jar",  "Prn.txt",  "aux.tar.gz",
                                            "NUL",      "nul.jar",  "COM1.jar", "com9",
                                            "LPT1.jar", "lpt9.zip", "NUL .jar", "Con .jar"};
    for (const auto& name : names)
        EXPECT_FALSE(IsSafeModFileName(name)) << name;
}

TEST(ModFileNameTest, RefusesWhatWindowsCannotStoreAsGiven) {
    const std::vector<std::string> names = {"mod.jar.",      "mod.jar ",    "a<b.jar", "a>b.jar",
                                            "a\"b.jar",      "a|b.jar",     "a?b.jar", "a*b.jar",
                                            "tab\there.jar", "\xff\xfe.jar"};
    for (const auto& name : names)
        EXPECT_FALSE(IsSafeModFileName(name)) << name;
}

} // namespace
} // namespace qbk
