#include "mods/ModArchiveImport.h"

#include "platform/Platform.h"
#include "tests/mods/ArchiveBuilder.h"
#include "tests/mods/ScratchDir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <set>
#include <sstream>

namespace qbk {
namespace {

namespace fs = std::filesystem;

std::set<std::string> namesIn(const fs::path& dir) {
    std::set<std::string> names;
    if (fs::exists(dir)) {
        for (const auto& entry : fs::directory_iterator(dir))
            names.insert(platform::pathToUtf8(entry.path().filename()));
    }
    return names;
}

std::string contentOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class ModArchiveImportTest : public ::testing::Test {
protected:
    fs::path modsDir() const { return dir / "minecraft" / "mods"; }
    fs::path archive() const { return dir / fs::u8path("Мои моды.zip"); }

    test::ScratchDir dir{"qbk-import-Моды"};
};

TEST_F(ModArchiveImportTest, NestedJarsLandFlatAndEachDistinctFileCountsOnce) {
    ASSERT_TRUE(test::ArchiveBuilder(RuntimeArchiveFormat::Zip)
                    .directory("mods/")
                    .file("mods/a.jar", "first a")
                    .file("mods/deeper/b.JAR", "b")
                    .file("other/a.jar", "second a")
                    .file("__MACOSX/mods/._a.jar", "fork")
                    .file("readme.txt", "text")
                    .file("mods/CON.jar", "device")
                    .file("mods/aux.jar", "device")
                    .file("mods/Ботаника.jar", "botanika")
                    .write(archive()));
    fs::create_directories(modsDir());
    std::ofstream(modsDir().parent_path() / "keep.txt");
    std::ofstream(modsDir() / "old.jar") << "old";

    EXPECT_EQ(importModArchive(archive(), modsDir()), 3);
    EXPECT_EQ(namesIn(modsDir()),
              (std::set<std::string>{"a.jar", "b.JAR", "old.jar", "Ботаника.jar"}));
    EXPECT_EQ(contentOf(modsDir() / "a.jar"), "second a");
    EXPECT_EQ(contentOf(modsDir() / "old.jar"), "old");
    EXPECT_EQ(namesIn(modsDir().parent_path()), (std::set<std::string>{"keep.txt", "mods"}));
}

TEST_F(ModArchiveImportTest, ExistingFileOfTheSameNameIsReplaced) {
    fs::create_directories(modsDir());
    std::ofstream(modsDir() / "a.jar") << "old";
    ASSERT_TRUE(
        test::ArchiveBuilder(RuntimeArchiveFormat::Zip).file("a.jar", "new").write(archive()));
    EXPECT_EQ(importModArchive(archive(), modsDir()), 1);
    EXPECT_EQ(contentOf(modsDir() / "a.jar"), "new");
}

TEST_F(ModArchiveImportTest, ResourceForksAndOtherFilesAloneInstallNothing) {
    ASSERT_TRUE(test::ArchiveBuilder(RuntimeArchiveFormat::Zip)
                    .file("._a.jar", "fork")
                    .file("mods/._b.jar", "fork")
                    .file("a.jar.txt", "text")
                    .write(archive()));
    EXPECT_EQ(importModArchive(archive(), modsDir()), 0);
    EXPECT_TRUE(namesIn(modsDir()).empty());
    EXPECT_TRUE(namesIn(modsDir().parent_path()).empty());
}

TEST_F(ModArchiveImportTest, BrokenOrForeignArchivesWriteNothing) {
    std::string zip;
    ASSERT_TRUE(test::ArchiveBuilder(RuntimeArchiveFormat::Zip)
                    .file("a.jar", test::incompressibleBytes(40000, 1))
                    .file("b.jar", test::incompressibleBytes(40000, 2))
                    .write(archive()));
    zip = contentOf(archive());
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"empty", ""},
        {"text", "this is not an archive at all"},
        {"7z", std::string("7z\xBC\xAF\x27\x1C\x00\x04", 8) + std::string(200, 'x')},
        {"rar", std::string("Rar!\x1A\x07\x01\x00", 8) + std::string(200, 'x')},
        {"truncated", zip.substr(0, zip.size() / 2)},
    };
    fs::create_directories(modsDir());
    std::ofstream(modsDir() / "old.jar") << "old";
    for (const auto& [label, bytes] : cases) {
        std::ofstream(archive(), std::ios::binary | std::ios::trunc) << bytes;
        EXPECT_EQ(importModArchive(archive(), modsDir()), -1) << label;
        EXPECT_EQ(namesIn(modsDir()), std::set<std::string>{"old.jar"}) << label;
        EXPECT_EQ(namesIn(modsDir().parent_path()), std::set<std::string>{"mods"}) << label;
    }
    EXPECT_EQ(importModArchive(dir / "absent.zip", modsDir()), -1);
}

} // namespace
} // namespace qbk
