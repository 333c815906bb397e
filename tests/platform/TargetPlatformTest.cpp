#include "platform/TargetPlatform.h"

#include <gtest/gtest.h>

using qbk::RuntimeArchiveFormat;
using qbk::TargetPlatform;

TEST(TargetPlatform, WindowsDescription) {
    const auto t = TargetPlatform::windowsX64();
    EXPECT_EQ(t.osName, "windows");
    EXPECT_EQ(t.javaExecutable, "java.exe");
    EXPECT_EQ(t.javaWindowlessExecutable, "javaw.exe");
    EXPECT_EQ(t.classpathSeparator, ';');
    EXPECT_EQ(t.runtimeDownloadPath,
              "/v3/binary/latest/21/ga/windows/x64/jre/hotspot/normal/eclipse");
    EXPECT_EQ(t.runtimeArchiveFormat, RuntimeArchiveFormat::Zip);
    EXPECT_EQ(t.runtimeArchiveName(), "java21_temp.zip");
    EXPECT_TRUE(t.caseInsensitiveFileNames);
}

TEST(TargetPlatform, LinuxDescription) {
    const auto t = TargetPlatform::linuxX64();
    EXPECT_EQ(t.osName, "linux");
    EXPECT_EQ(t.javaExecutable, "java");
    EXPECT_EQ(t.classpathSeparator, ':');
    EXPECT_EQ(t.runtimeDownloadPath,
              "/v3/binary/latest/21/ga/linux/x64/jre/hotspot/normal/eclipse");
    EXPECT_EQ(t.runtimeArchiveFormat, RuntimeArchiveFormat::TarGz);
    EXPECT_EQ(t.runtimeArchiveName(), "java21_temp.tar.gz");
}

TEST(TargetPlatform, ChosenByName) {
    TargetPlatform t = TargetPlatform::linuxX64();
    EXPECT_TRUE(TargetPlatform::fromName("windows", t));
    EXPECT_EQ(t.osName, "windows");
    EXPECT_FALSE(TargetPlatform::fromName("osx", t));
    EXPECT_EQ(t.osName, "windows");
#ifdef _WIN32
    EXPECT_EQ(TargetPlatform::host().osName, "windows");
#else
    EXPECT_EQ(TargetPlatform::host().osName, "linux");
#endif
}
