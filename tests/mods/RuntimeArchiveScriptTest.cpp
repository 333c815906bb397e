// The mirror's runtime archives, as tools/mirror/runtime_archive.py writes them, unpacked by
// the launcher's extraction.

#include "mods/ZipUtils.h"
#include "tests/mods/ScratchDir.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace fs = std::filesystem;
using qbk::RuntimeArchiveFormat;
using qbk::test::ScratchDir;

namespace {

const std::string kTop = "jdk-21.0.5+11-jre";

std::string quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

bool runScript(const fs::path& out, const std::string& target, const std::string& extra = "") {
    const std::string command = std::string(QBK_PYTHON3) + " " + QBK_RUNTIME_ARCHIVE_SCRIPT + " " +
                                quoted(out) + " --target " + target + " --scale 200 " + extra +
                                " >/dev/null";
    return std::system(command.c_str()) == 0;
}

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool javaPrintsBanner(const fs::path& java, const fs::path& scratch) {
    const fs::path banner = scratch / "banner.txt";
    const std::string command = quoted(java) + " -version 2>" + quoted(banner);
    return std::system(command.c_str()) == 0 &&
           readAll(banner).find("openjdk version \"21.") != std::string::npos;
}

TEST(RuntimeArchiveScript, LinuxTarGzHasRunnableJavaAndLegalLinks) {
    ScratchDir dir;
    const fs::path archive = dir / "linux.tar.gz";
    ASSERT_TRUE(runScript(archive, "linux"));
    std::string error;
    ASSERT_TRUE(qbk::extractTarGz(archive, dir / "out", &error)) << error;
    const fs::path home = dir / "out" / kTop;
    EXPECT_TRUE(javaPrintsBanner(home / "bin" / "java", dir.path()));
    EXPECT_FALSE(fs::exists(home / "bin" / "java.exe"));
    const fs::path link = home / "legal" / "java.desktop" / "LICENSE";
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), fs::path("../java.base/LICENSE"));
    EXPECT_EQ(readAll(link), readAll(home / "legal" / "java.base" / "LICENSE"));
    EXPECT_GT(fs::file_size(home / "lib" / "modules"), 100000u);
}

TEST(RuntimeArchiveScript, WindowsZipHasBothLaunchersWithExecutableBits) {
    ScratchDir dir;
    const fs::path archive = dir / "windows.zip";
    ASSERT_TRUE(runScript(archive, "windows"));
    std::string error;
    ASSERT_TRUE(qbk::extractZip(archive, dir / "out", &error)) << error;
    const fs::path home = dir / "out" / kTop;
    EXPECT_TRUE(fs::is_regular_file(home / "bin" / "java.exe"));
    EXPECT_TRUE(fs::is_regular_file(home / "bin" / "javaw.exe"));
    EXPECT_TRUE(javaPrintsBanner(home / "bin" / "java", dir.path()));
    EXPECT_FALSE(fs::is_symlink(home / "legal" / "java.desktop" / "LICENSE"));
    // One top-level folder, as the runtime provisioning expects.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator()), 1);
}

TEST(RuntimeArchiveScript, SameArgumentsGiveSameBytesAndCustomJavaIsStored) {
    ScratchDir dir;
    ASSERT_TRUE(runScript(dir / "a.tar.gz", "linux"));
    ASSERT_TRUE(runScript(dir / "b.tar.gz", "linux"));
    EXPECT_EQ(qbk::sha1FileHex(dir / "a.tar.gz"), qbk::sha1FileHex(dir / "b.tar.gz"));
    ASSERT_TRUE(runScript(dir / "a.zip", "windows"));
    ASSERT_TRUE(runScript(dir / "b.zip", "windows"));
    EXPECT_EQ(qbk::sha1FileHex(dir / "a.zip"), qbk::sha1FileHex(dir / "b.zip"));

    std::ofstream(dir / "program") << "#!/bin/sh\necho custom\n";
    ASSERT_TRUE(runScript(dir / "c.zip", "windows", "--java " + quoted(dir / "program")));
    ASSERT_TRUE(qbk::extractZip(dir / "c.zip", dir / "out"));
    EXPECT_EQ(readAll(dir / "out" / kTop / "bin" / "java"), "#!/bin/sh\necho custom\n");
}

} // namespace
