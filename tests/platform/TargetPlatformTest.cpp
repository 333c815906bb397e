#include "platform/TargetPlatform.h"

#include <gtest/gtest.h>

using qbk::TargetPlatform;

// The descriptions' values are observed where they are used (runtime, classpath, natives).
TEST(TargetPlatform, ChosenByNameOrLeftAsItWasAndTheHostIsTheBuildsOwn) {
    TargetPlatform t = TargetPlatform::linuxX64();
    EXPECT_TRUE(TargetPlatform::fromName("windows", t));
    EXPECT_TRUE(t.runtimeArchiveName() == "java21_temp.zip" && t.caseInsensitiveFileNames &&
                t.classpathSeparator == ';');
    EXPECT_FALSE(TargetPlatform::fromName("osx", t));
    EXPECT_EQ(t.osName, "windows");
    EXPECT_TRUE(TargetPlatform::fromName("linux", t));
    EXPECT_TRUE(t.runtimeArchiveName() == "java21_temp.tar.gz" && !t.caseInsensitiveFileNames &&
                t.classpathSeparator == ':');
#ifdef _WIN32
    EXPECT_EQ(TargetPlatform::host().osName, "windows");
#else
    EXPECT_EQ(TargetPlatform::host().osName, "linux");
#endif
}
