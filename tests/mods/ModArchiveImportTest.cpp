#include "mods/ModArchiveImport.h"

#include "platform/Platform.h"
#include "tests/support/ArchiveBuilder.h"
#include "tests/support/TempDir.h"
#include "tests/support/WholeFile.h"

#include <gtest/gtest.h>
namespace qbk {
namespace {
namespace fs = std::filesystem;
// The names in a folder with the content of each file, "name=content" in name order.
std::string contents(const fs::path& dir) {
    std::map<std::string, std::string> found;
    for (const auto& entry : fs::directory_iterator(dir))
        found[platform::pathToUtf8(entry.path().filename())] =
            entry.is_directory() ? "" : test::readWholeFile(entry.path());
    std::string text;
    for (const auto& [name, bytes] : found)
        text += name + "=" + bytes + " ";
    return text;
}
TEST(ModArchiveImportTest, JarsLandFlatBesideThePlayersOwnAndABrokenArchiveWritesNothing) {
    test::TempDir dir{"qbk-import-Моды"};
    const fs::path mods = dir / "minecraft/mods", archive = dir / fs::u8path("Мои моды.zip");
    test::writeWholeFile(mods / "old.jar", "old");
    test::writeWholeFile(mods / "a.jar", "replaced");
    ASSERT_TRUE(test::ArchiveBuilder(RuntimeArchiveFormat::Zip)
                    .directory("mods/")
                    .file("mods/a.jar", "first a")
                    .file("mods/deeper/b.JAR", "b")
                    .file("win\\c.jar", "c")
                    .file("other/a.jar", "second a")
                    .file("__MACOSX/mods/._a.jar", "fork")
                    .file("readme.txt", "text")
                    .file("x.ja", "short")
                    .file("mods/CON.jar", "device")
                    .file("mods/aux.jar", "device")
                    .file("mods/Ботаника.jar", "botanika")
                    .write(archive));
    EXPECT_EQ(importModArchive(archive, mods), 4);
    const std::string installed =
        "a.jar=second a b.JAR=b c.jar=c old.jar=old Ботаника.jar=botanika ";
    EXPECT_EQ(contents(mods), installed);
    EXPECT_EQ(contents(mods.parent_path()), "mods= "); // no staging folder left
    ASSERT_TRUE(test::ArchiveBuilder(RuntimeArchiveFormat::Zip)
                    .file("a.jar", test::incompressibleBytes(40000, 1))
                    .write(archive));
    const std::string zip = test::readWholeFile(archive);
    for (const std::string& bytes :
         {std::string(), std::string("7z\xBC\xAF\x27\x1C\x00\x04", 8) + std::string(200, 'x'),
          zip.substr(0, zip.size() / 2)}) {
        test::writeWholeFile(archive, bytes);
        EXPECT_EQ(importModArchive(archive, mods), -1);
        EXPECT_EQ(contents(mods.parent_path()), "mods= ");
    }
    EXPECT_EQ(importModArchive(dir / "absent.zip", mods), -1);
    EXPECT_EQ(contents(mods), installed);
}
} // namespace
} // namespace qbk
