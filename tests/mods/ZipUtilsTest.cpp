#include "mods/ZipUtils.h"

#include "tests/mods/ArchiveBuilder.h"
#include "tests/mods/ScratchDir.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace fs = std::filesystem;
using qbk::RuntimeArchiveFormat;
using qbk::test::ArchiveBuilder;
using qbk::test::ScratchDir;

namespace {

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeAll(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

const char* kJavaScript = "#!/bin/sh\n"
                          "echo 'openjdk version \"21.0.5\" 2024-10-15 LTS' >&2\n"
                          "exit 0\n";

class RuntimeExtraction : public ::testing::TestWithParam<RuntimeArchiveFormat> {
protected:
    fs::path archivePath() const {
        return dir / (GetParam() == RuntimeArchiveFormat::Zip ? "rt.zip" : "rt.tar.gz");
    }
    ArchiveBuilder builder() const { return ArchiveBuilder(GetParam()); }
    bool extract(std::string* error = nullptr) const {
        return qbk::extractRuntimeArchive(archivePath(), dest, GetParam(), error);
    }
    // Nothing of a refused archive may be visible: no destination, no staging folder.
    void expectNothingLeft() const {
        EXPECT_FALSE(fs::exists(dest));
        EXPECT_FALSE(fs::exists(fs::path(dest.string() + ".partial")));
    }

    ScratchDir dir;
    fs::path dest = dir / "runtime" / "_extract_tmp";
};

INSTANTIATE_TEST_SUITE_P(Formats, RuntimeExtraction,
                         ::testing::Values(RuntimeArchiveFormat::Zip, RuntimeArchiveFormat::TarGz),
                         [](const auto& info) {
                             return info.param == RuntimeArchiveFormat::Zip ? "Zip" : "TarGz";
                         });

TEST_P(RuntimeExtraction, UnpacksTreeAndExecutableRuns) {
    ASSERT_TRUE(builder()
                    .directory("jdk-21+11-jre/")
                    .file("jdk-21+11-jre/bin/java", kJavaScript, 0755)
                    .file("jdk-21+11-jre/lib/modules", std::string(100000, 'm'))
                    .file("jdk-21+11-jre/release", "")
                    .file("jdk-21+11-jre/lib/jspawnhelper", "helper", 04755)
                    .file("jdk-21+11-jre/lib/security/private", "key", 0600)
                    .write(archivePath()));
    std::string error;
    ASSERT_TRUE(extract(&error)) << error;
    const fs::path java = dest / "jdk-21+11-jre" / "bin" / "java";
    // Mode bits are kept, set-user-ID is not.
    const auto helper = fs::status(dest / "jdk-21+11-jre/lib/jspawnhelper").permissions();
    EXPECT_NE(helper & fs::perms::owner_exec, fs::perms::none);
    EXPECT_EQ(helper & fs::perms::set_uid, fs::perms::none);
    EXPECT_EQ(fs::status(dest / "jdk-21+11-jre/lib/security/private").permissions() &
                  fs::perms::mask,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(readAll(dest / "jdk-21+11-jre/lib/modules"), std::string(100000, 'm'));
    EXPECT_TRUE(fs::is_regular_file(dest / "jdk-21+11-jre/release"));
    EXPECT_NE(fs::status(java).permissions() & fs::perms::owner_exec, fs::perms::none);
    const fs::path banner = dir / "banner.txt";
    const std::string command = "'" + java.string() + "' -version 2>'" + banner.string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_NE(readAll(banner).find("\"21."), std::string::npos);
    EXPECT_FALSE(fs::exists(fs::path(dest.string() + ".partial")));
}

TEST_P(RuntimeExtraction, CyrillicDestination) {
    dest = dir / "Игры Квеллбрук" / "среда";
    ASSERT_TRUE(builder().file("jdk/Файл.txt", "привет").write(archivePath()));
    std::string error;
    ASSERT_TRUE(extract(&error)) << error;
    EXPECT_EQ(readAll(dest / "jdk" / "Файл.txt"), "привет");
}

TEST_P(RuntimeExtraction, DotPrefixedAndRepeatedNamesAreFine) {
    // What "tar czf runtime.tar.gz ./jdk" writes; a repeated entry replaces the earlier one.
    ASSERT_TRUE(builder()
                    .directory("./")
                    .directory("./jdk/")
                    .file("./jdk/bin//java", kJavaScript, 0755)
                    .file("./jdk/release", "first")
                    .file("jdk/./release", "second")
                    .write(archivePath()));
    std::string error;
    ASSERT_TRUE(extract(&error)) << error;
    EXPECT_EQ(readAll(dest / "jdk" / "bin" / "java"), kJavaScript);
    EXPECT_EQ(readAll(dest / "jdk" / "release"), "second");
    EXPECT_EQ(std::distance(fs::directory_iterator(dest), fs::directory_iterator()), 1);
}

TEST_P(RuntimeExtraction, OnlyDirectoriesAndEmptyDestinationAreFine) {
    fs::create_directories(dest);
    ASSERT_TRUE(builder().directory("a/").directory("a/b/").directory("c/").write(archivePath()));
    ASSERT_TRUE(extract());
    EXPECT_TRUE(fs::is_directory(dest / "a" / "b"));
    EXPECT_TRUE(fs::is_directory(dest / "c"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dest), fs::directory_iterator()), 2);
}

TEST_P(RuntimeExtraction, NonEmptyDestinationIsRefusedAndKept) {
    fs::create_directories(dest);
    writeAll(dest / "old.txt", "old");
    ASSERT_TRUE(builder().file("new.txt", "new").write(archivePath()));
    std::string error;
    EXPECT_FALSE(extract(&error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(readAll(dest / "old.txt"), "old");
    EXPECT_FALSE(fs::exists(dest / "new.txt"));
}

TEST_P(RuntimeExtraction, NotAnArchiveOrEmptyFileFailsWithoutDestination) {
    for (const std::string& bytes : {std::string(), std::string("plain text, not an archive")}) {
        writeAll(archivePath(), bytes);
        std::string error;
        EXPECT_FALSE(extract(&error));
        EXPECT_FALSE(error.empty());
        expectNothingLeft();
    }
    EXPECT_FALSE(qbk::extractRuntimeArchive(dir / "missing", dest, GetParam()));
    expectNothingLeft();
}

TEST_P(RuntimeExtraction, EscapingNamesAreRefusedAndNothingIsWritten) {
    const std::vector<std::string> names = {"../escape.txt",
                                            "jdk/../../escape.txt",
                                            (dir / "escape.txt").string(),
                                            "C:\\escape.txt",
                                            "c:escape.txt",
                                            "..\\escape.txt",
                                            "jdk\\..\\..\\escape.txt",
                                            "\\\\server\\share\\escape.txt",
                                            "jdk/escape.txt:stream"};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(builder()
                        .file("jdk/bin/java", kJavaScript, 0755)
                        .file(name, "escaped")
                        .file("jdk/lib/after", "after")
                        .write(archivePath()));
        std::string error;
        EXPECT_FALSE(extract(&error));
        // Zip readers turn "\" into "/", so the message may show the other separator.
        EXPECT_NE(error.find("escape.txt"), std::string::npos) << error;
        expectNothingLeft();
        EXPECT_FALSE(fs::exists(dir / "escape.txt"));
        EXPECT_FALSE(fs::exists(dir / "runtime" / "escape.txt"));
    }
}

TEST_P(RuntimeExtraction, RelativeLinksInsideAreKept) {
    ASSERT_TRUE(builder()
                    .file("jdk/legal/java.base/LICENSE", "GPLv2+CE")
                    .symlink("jdk/legal/java.desktop/LICENSE", "../java.base/LICENSE")
                    .symlink("jdk/lib/current", ".")
                    .write(archivePath()));
    std::string error;
    ASSERT_TRUE(extract(&error)) << error;
    const fs::path link = dest / "jdk/legal/java.desktop/LICENSE";
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), fs::path("../java.base/LICENSE"));
    EXPECT_EQ(readAll(link), "GPLv2+CE");
}

TEST_P(RuntimeExtraction, LinksLeadingOutsideAreRefused) {
    struct Case {
        std::string name;
        std::string target;
    };
    const std::vector<Case> cases = {{"jdk/escape", "../../outside"},
                                     {"jdk/escape", "/etc"},
                                     {"jdk/escape", "C:\\Windows"},
                                     {"escape", ".."},
                                     // ".." after a name that may itself be a link
                                     {"jdk/escape", "sub/../../.."}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + " -> " + c.target);
        ASSERT_TRUE(builder().file("jdk/ok", "ok").symlink(c.name, c.target).write(archivePath()));
        std::string error;
        EXPECT_FALSE(extract(&error));
        EXPECT_NE(error.find(c.target), std::string::npos) << error;
        expectNothingLeft();
    }
}

TEST_P(RuntimeExtraction, EntriesThroughALinkAreRefused) {
    // "a/up" points at the folder itself, lexically inside; writing below it, or a second
    // link climbing from it, would leave the folder.
    ASSERT_TRUE(builder()
                    .symlink("a/up", "..")
                    .symlink("a/up/b", "..")
                    .file("a/up/b/escape.txt", "x")
                    .write(archivePath()));
    std::string error;
    EXPECT_FALSE(extract(&error));
    EXPECT_NE(error.find("a/up/b"), std::string::npos) << error;
    expectNothingLeft();
    EXPECT_FALSE(fs::exists(dir / "runtime" / "escape.txt"));
}

TEST_P(RuntimeExtraction, TruncatedArchiveFailsAndLeavesNoDestination) {
    ASSERT_TRUE(builder()
                    .file("jdk/bin/java", kJavaScript, 0755)
                    .file("jdk/lib/modules", qbk::test::incompressibleBytes(400000, 7))
                    .file("jdk/lib/tail", qbk::test::incompressibleBytes(100000, 8))
                    .write(archivePath()));
    const auto size = fs::file_size(archivePath());
    fs::resize_file(archivePath(), size / 2);
    std::string error;
    EXPECT_FALSE(extract(&error));
    EXPECT_FALSE(error.empty());
    expectNothingLeft();
}

TEST_P(RuntimeExtraction, CorruptEntryDataFails) {
    ASSERT_TRUE(builder()
                    .file("jdk/lib/first", std::string(300000, 'a'))
                    .file("jdk/lib/modules", qbk::test::incompressibleBytes(300000, 9))
                    .write(archivePath()));
    std::string bytes = readAll(archivePath());
    // The middle of the second file's data, away from the zip directory at the end.
    for (std::size_t i = bytes.size() / 2; i < bytes.size() / 2 + 64; ++i)
        bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    writeAll(archivePath(), bytes);
    std::string error;
    EXPECT_FALSE(extract(&error));
    EXPECT_FALSE(error.empty());
    expectNothingLeft();
}

TEST(ZipExtraction, MissingCentralDirectoryFailsAtOpen) {
    ScratchDir dir;
    const fs::path zip = dir / "rt.zip";
    ASSERT_TRUE(ArchiveBuilder(RuntimeArchiveFormat::Zip)
                    .file("jdk/bin/java", kJavaScript, 0755)
                    .file("jdk/lib/modules", std::string(50000, 'x'))
                    .write(zip));
    // Cut everything from the first central directory record on; the local entries stay.
    std::string bytes = readAll(zip);
    const auto directory = bytes.find(std::string("PK\x01\x02", 4));
    ASSERT_NE(directory, std::string::npos);
    writeAll(zip, bytes.substr(0, directory));
    std::string error;
    EXPECT_FALSE(qbk::extractZip(zip, dir / "out", &error));
    EXPECT_NE(error.find("не удалось открыть архив"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST(TarGzExtraction, HardLinksInsideKeptOutsideRefused) {
    ScratchDir dir;
    const fs::path archive = dir / "rt.tar.gz";
    ASSERT_TRUE(ArchiveBuilder(RuntimeArchiveFormat::TarGz)
                    .file("jdk/lib/a", "shared")
                    .hardlink("jdk/lib/b", "jdk/lib/a")
                    .write(archive));
    std::string error;
    ASSERT_TRUE(qbk::extractTarGz(archive, dir / "ok", &error)) << error;
    EXPECT_EQ(readAll(dir / "ok/jdk/lib/b"), "shared");

    for (const std::string target : {"../outside", "/etc/passwd", "jdk/link"}) {
        SCOPED_TRACE(target);
        ASSERT_TRUE(ArchiveBuilder(RuntimeArchiveFormat::TarGz)
                        .symlink("jdk/link", "lib")
                        .hardlink("jdk/copy", target)
                        .write(archive));
        EXPECT_FALSE(qbk::extractTarGz(archive, dir / "bad", &error));
        EXPECT_NE(error.find(target), std::string::npos) << error;
        EXPECT_FALSE(fs::exists(dir / "bad"));
    }
}

TEST(FlatJarExtraction, FlattensFiltersAndCounts) {
    ScratchDir dir;
    const fs::path zip = dir / "mods.zip";
    ASSERT_TRUE(ArchiveBuilder(RuntimeArchiveFormat::Zip)
                    .directory("mods/")
                    .file("mods/Sub/Example.JAR", "example")
                    .file("__MACOSX/mods/._Example.jar", "resource fork")
                    .file("readme.txt", "read me")
                    .file("a.jar", "first")
                    .file("other/a.jar", "second")
                    .file("x.ja", "short")
                    .write(zip));
    const fs::path dest = dir / "Моды";
    EXPECT_EQ(qbk::extractJarsFlat(zip, dest), 3);
    EXPECT_EQ(readAll(dest / "Example.JAR"), "example");
    EXPECT_EQ(readAll(dest / "a.jar"), "second");
    EXPECT_EQ(std::distance(fs::directory_iterator(dest), fs::directory_iterator()), 2);
}

TEST(FlatJarExtraction, UnopenableArchiveGivesMinusOneWithoutDestination) {
    ScratchDir dir;
    writeAll(dir / "empty.zip", "");
    writeAll(dir / "text.zip", "no zip here");
    EXPECT_EQ(qbk::extractJarsFlat(dir / "empty.zip", dir / "out"), -1);
    EXPECT_EQ(qbk::extractJarsFlat(dir / "text.zip", dir / "out"), -1);
    EXPECT_FALSE(fs::exists(dir / "out"));
    ASSERT_TRUE(
        ArchiveBuilder(RuntimeArchiveFormat::Zip).file("readme.txt", "x").write(dir / "none.zip"));
    EXPECT_EQ(qbk::extractJarsFlat(dir / "none.zip", dir / "out"), 0);
    EXPECT_TRUE(fs::is_directory(dir / "out"));
}

TEST(Sha1FileHex, KnownFilesEmptyMissingAndUnreadable) {
    EXPECT_EQ(qbk::sha1FileHex(fs::path(QBK_TESTDATA_DIR) / "minecraft" / "1.21.5.json"),
              "3bd9a435263080a3131582cf56884f8bfd9c2d26");
    EXPECT_EQ(qbk::sha1FileHex(fs::path(QBK_TESTDATA_DIR) / "minecraft" / "1.21.1.json"),
              "7defb5970be6fb69905e48480fbf723545e60fd0");
    ScratchDir dir;
    writeAll(dir / "пусто.bin", "");
    EXPECT_EQ(qbk::sha1FileHex(dir / "пусто.bin"), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(qbk::sha1FileHex(dir / "missing.bin"), "");
    // A folder opens like a file on POSIX but every read fails.
    fs::create_directories(dir / "folder.jar");
    EXPECT_EQ(qbk::sha1FileHex(dir / "folder.jar"), "");
}

TEST(FileNameOf, LastComponentOfEitherSeparator) {
    EXPECT_EQ(qbk::fileNameOf("mods/Sub\\Example.jar"), "Example.jar");
    EXPECT_EQ(qbk::fileNameOf("a\\b/c.jar"), "c.jar");
    EXPECT_EQ(qbk::fileNameOf("plain.jar"), "plain.jar");
    EXPECT_EQ(qbk::fileNameOf("folder/"), "");
}

} // namespace
