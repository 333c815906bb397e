#include "platform/TargetPlatform.h"

#include <filesystem>
#include <gtest/gtest.h>
using qbk::TargetPlatform;
TEST(TargetPlatform, ChosenByNameOrLeftAsItWasAndTheHostIsTheBuildsOwn) {
    TargetPlatform t = TargetPlatform::linuxX64();
    EXPECT_TRUE(TargetPlatform::fromName("windows", t) && t.caseInsensitiveFileNames);
    EXPECT_TRUE(!TargetPlatform::fromName("osx", t) && t.osName == "windows");
    const bool windows = std::filesystem::path::preferred_separator == '\\';
    EXPECT_EQ(TargetPlatform::host().osName, windows ? "windows" : "linux");
}
