// The mirror's runtime archives, as tools/mirror/runtime_archive.py writes them, unpacked by
// the launcher's extraction.

#include "mods/ZipUtils.h"
#include "tests/support/TempDir.h"
#include "tests/support/WholeFile.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace qbk {
namespace {

namespace fs = std::filesystem;

std::string quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

bool runScript(const fs::path& out, const std::string& target, const std::string& extra = "") {
    const std::string command = std::string(QBK_PYTHON3) + " " + QBK_RUNTIME_ARCHIVE_SCRIPT + " " +
                                quoted(out) + " --target " + target + " --scale 200 " + extra +
                                " >/dev/null";
    return std::system(command.c_str()) == 0;
}

TEST(RuntimeArchiveScript, BothTargetsUnpackToOneRunnableRuntimeAndRepeatByteForByte) {
    test::TempDir dir;
    for (const std::string target : {"linux", "windows"}) {
        SCOPED_TRACE(target);
        const bool windows = target == "windows";
        const fs::path archive = dir / (target + (windows ? ".zip" : ".tar.gz"));
        ASSERT_TRUE(runScript(archive, target));
        ASSERT_TRUE(runScript(dir / "again", target));
        EXPECT_EQ(sha1FileHex(archive), sha1FileHex(dir / "again"));
        std::string error;
        const fs::path out = dir / ("out-" + target);
        ASSERT_TRUE(extractRuntimeArchive(
            archive, out, windows ? RuntimeArchiveFormat::Zip : RuntimeArchiveFormat::TarGz,
            &error))
            << error;
        // One top-level folder, as the runtime provisioning expects.
        ASSERT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);
        const fs::path home = fs::directory_iterator(out)->path();
        EXPECT_EQ(home.filename(), "jdk-21.0.5+11-jre");
        const std::string banner = (dir / "banner.txt").string();
        EXPECT_EQ(std::system((quoted(home / "bin/java") + " -version 2>'" + banner + "'").c_str()),
                  0);
        EXPECT_NE(test::readWholeFile(banner).find("openjdk version \"21."), std::string::npos);
        EXPECT_EQ(fs::is_regular_file(home / "bin/javaw.exe"), windows);
        // Zip holds no links: the Windows runtime carries a copy of the licence.
        const fs::path licence = home / "legal/java.desktop/LICENSE";
        EXPECT_EQ(fs::is_symlink(licence), !windows);
        EXPECT_EQ(test::readWholeFile(licence),
                  test::readWholeFile(home / "legal/java.base/LICENSE"));
        EXPECT_GT(fs::file_size(home / "lib/modules"), 100000u);
    }
    test::writeWholeFile(dir / "program", "#!/bin/sh\necho custom\n");
    ASSERT_TRUE(runScript(dir / "c.zip", "windows", "--java " + quoted(dir / "program")));
    ASSERT_TRUE(extractZip(dir / "c.zip", dir / "custom"));
    EXPECT_EQ(test::readWholeFile(dir / "custom/jdk-21.0.5+11-jre/bin/java"),
              "#!/bin/sh\necho custom\n");
}

} // namespace
} // namespace qbk
