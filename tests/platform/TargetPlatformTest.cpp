#include "platform/TargetPlatform.h"

#include <filesystem>
#include <gtest/gtest.h>
using qbk::TargetPlatform;
TEST(TargetPlatform, ChosenByNameOrLeftAsItWasAndTheHostIsTheBuildsOwn) {
    TargetPlatform t = TargetPlatform::linuxX64();
    EXPECT_TRUE(TargetPlatform::fromName("windows", t));
    EXPECT_TRUE(t.runtimeArchiveName() == "java21_temp.zip" && t.caseInsensitiveFileNames &&
                t.classpathSeparator == ';');
    EXPECT_TRUE(!TargetPlatform::fromName("osx", t) && t.osName == "windows");
    EXPECT_TRUE(TargetPlatform::fromName("linux", t));
    EXPECT_TRUE(t.runtimeArchiveName() == "java21_temp.tar.gz" && !t.caseInsensitiveFileNames &&
                t.classpathSeparator == ':');
    const bool windows = std::filesystem::path::preferred_separator == '\\';
    EXPECT_EQ(TargetPlatform::host().osName, windows ? "windows" : "linux");
}
