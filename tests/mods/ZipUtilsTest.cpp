#include "mods/ZipUtils.h"

#include "tests/support/ArchiveBuilder.h"
#include "tests/support/QuietWatch.h"
#include "tests/support/TempDir.h"
#include "tests/support/WholeFile.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <zlib.h>
namespace qbk {
namespace {
namespace fs = std::filesystem;
using test::readWholeFile;
// Windows keeps no POSIX modes, and its C++ library reads no symbolic links.
#ifdef _WIN32
constexpr bool kPosixTree = false;
#else
constexpr bool kPosixTree = true;
#endif
// A Windows path is wide and may hold letters outside the ANSI code page.
gzFile openGzip(const fs::path& path, const char* mode) {
#ifdef _WIN32
    return gzopen_w(path.c_str(), mode);
#else
    return gzopen(path.c_str(), mode);
#endif
}
class RuntimeExtraction : public ::testing::TestWithParam<RuntimeArchiveFormat> {
protected:
    bool zip() const { return GetParam() == RuntimeArchiveFormat::Zip; }
    fs::path archive() const { return dir / (zip() ? "rt.zip" : "rt.tar.gz"); }
    bool extract(std::string& error) const {
        return extractRuntimeArchive(archive(), dest, GetParam(), &error);
    }
    test::TempDir dir{"qbk-zip"};
    fs::path dest;
};
// Asks to stop from its `at`-th question on (never when 0), and counts the questions.
struct StopAt : test::QuietWatch {
    explicit StopAt(int at) : at(at) {}
    bool stopRequested() const override { return ++asked >= at && at > 0; }
    int at;
    mutable int asked = 0;
};
INSTANTIATE_TEST_SUITE_P(Formats, RuntimeExtraction,
                         ::testing::Values(RuntimeArchiveFormat::Zip, RuntimeArchiveFormat::TarGz),
                         [](const auto& info) {
                             return info.param == RuntimeArchiveFormat::Zip ? "Zip" : "TarGz";
                         });
TEST_P(RuntimeExtraction, UnpacksIntoAnAbsentOrEmptyFolderButNeverAFilledOne) {
    test::ArchiveBuilder builder(GetParam());
    // What "tar czf rt.tar.gz ./jdk" writes; a repeated entry replaces the earlier one.
    builder.directory("./")
        .file("./jdk/bin//java", "#!/bin/sh\n", 0755)
        .file("jdk/lib/jspawnhelper", "helper", 04755)
        .file("jdk/lib/private", "key", 0600)
        .file("jdk/release", "first")
        .file("jdk/./release", "second")
        .file("jdk/Файл.txt", "привет")
        .file("jdk/legal/java.base/LICENSE", "GPL")
        .directory("empty/");
    if (kPosixTree)
        builder.symlink("jdk/legal/java.desktop/LICENSE", "../java.base/LICENSE")
            .symlink("jdk/lib/current", ".");
    if (!zip())
        builder.hardlink("jdk/lib/copy", "jdk/Файл.txt");
    ASSERT_TRUE(builder.write(archive()));
    fs::create_directories(dir / "empty-folder");
    for (const fs::path& target : {dir / "Игры Квеллбрук" / "среда", dir / "empty-folder"}) {
        dest = target;
        std::string error;
        ASSERT_TRUE(extract(error)) << error;
        if (kPosixTree) {
            const auto mode = [&](const char* name) {
                return fs::status(dest / name).permissions();
            };
            EXPECT_NE(mode("jdk/bin/java") & fs::perms::owner_exec, fs::perms::none);
            EXPECT_EQ(mode("jdk/lib/jspawnhelper") & fs::perms::set_uid, fs::perms::none);
            EXPECT_EQ(mode("jdk/lib/private") & fs::perms::mask,
                      fs::perms::owner_read | fs::perms::owner_write);
        }
        EXPECT_EQ(readWholeFile(dest / "jdk/release") + readWholeFile(dest / "jdk" / u8"Файл.txt") +
                      readWholeFile(dest / "jdk/legal" /
                                    (kPosixTree ? "java.desktop" : "java.base") / "LICENSE") +
                      readWholeFile(dest / "jdk/lib/copy"),
                  zip() ? "secondприветGPL" : "secondприветGPLпривет");
        if (kPosixTree) {
            EXPECT_EQ(fs::read_symlink(dest / "jdk/legal/java.desktop/LICENSE"),
                      "../java.base/LICENSE");
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(dest), fs::directory_iterator()), 2);
        EXPECT_FALSE(fs::exists(dest.string() + ".partial"));
    }
    std::string error;
    EXPECT_FALSE(extract(error));
    EXPECT_NE(error.find("не пуста"), std::string::npos) << error;
    EXPECT_EQ(readWholeFile(dest / "jdk/release"), "second");
}
// A stop at the first, a middle or the last check, between entries or inside the large one,
// fails as stopped and leaves neither the destination nor the staging folder.
TEST_P(RuntimeExtraction, AStopAtAnyCheckLeavesNothing) {
    ASSERT_TRUE(test::ArchiveBuilder(GetParam())
                    .file("jdk/bin/java", "#!/bin/sh\n", 0755)
                    .file("jdk/lib/modules", test::incompressibleBytes(3 << 20, 5))
                    .file("jdk/release", "21")
                    .write(archive()));
    dest = dir / "_extract_tmp";
    StopAt count(0);
    std::string error;
    ASSERT_TRUE(extractRuntimeArchive(archive(), dest, GetParam(), &error, &count)) << error;
    EXPECT_GT(count.asked, 8); // also between the large entry's blocks, not only entries
    fs::remove_all(dest);
    for (const int at : {1, count.asked / 2, count.asked}) {
        StopAt stop(at);
        EXPECT_FALSE(extractRuntimeArchive(archive(), dest, GetParam(), &error, &stop)) << at;
        EXPECT_EQ(error, kStoppedText) << at;
        EXPECT_FALSE(fs::exists(dest) || fs::exists(dest.string() + ".partial")) << at;
    }
}
// Every refused archive leaves no destination, no staging folder and nothing outside. Kinds:
// a file named a, a link a -> b (".." after a name may climb from a link), a hard link to b
// (tar only), an entry below the link "a/up" (its name folded to lower case), damaged bytes.
TEST_P(RuntimeExtraction, RefusesEscapesLinksOutAndDamageWithoutWritingAnything) {
    const std::string outside = (dir / "escape.txt").string();
    // clang-format off
    const std::vector<std::vector<std::string>> cases = {
        {"file", "../escape.txt"}, {"file", "jdk/../../escape.txt"}, {"file", outside},
        {"file", "C:\\escape.txt"}, {"file", "c:escape.txt"}, {"file", "..\\escape.txt"},
        {"file", "jdk\\..\\..\\escape.txt"}, {"file", "\\\\server\\share\\escape.txt"},
        {"file", "jdk/escape.txt:stream"}, {"link", "jdk/escape", "../../outside"},
        {"link", "jdk/escape", "/etc"}, {"link", "jdk/escape", "C:\\Windows"},
        {"link", "escape", ".."}, {"link", "jdk/escape", "sub/../../.."},
        {"through", "a/up/b"}, {"through", "a/UP/b"}, {"hard", "", "../outside"},
        {"hard", "", "/etc/passwd"}, {"hard", "", "jdk/link"}, {"empty", ""}, {"text", ""},
        {"half", ""}, {"flip", "повреждён"}, {"no directory", "не удалось открыть"},
        {"padding", "повреждены"}, {"root", ".", "пустое имя"}};
    // clang-format on
    for (const auto& c : cases) {
        const bool tarOnly = c[0] == "hard" || c[0] == "padding";
        if ((tarOnly && zip()) || (c[0] == "no directory" && !zip()))
            continue;
        SCOPED_TRACE(c[0] + " " + c[1]);
        test::ArchiveBuilder builder(GetParam());
        builder.file("jdk/bin/java", "#!/bin/sh\n", 0755);
        if (c[0] == "file" || c[0] == "root")
            builder.file(c[1], "x");
        else if (c[0] == "link" || c[0] == "hard")
            builder.symlink(c[0] == "link" ? c[1] : "jdk/link", c[0] == "link" ? c[2] : "lib");
        if (c[0] == "hard")
            builder.hardlink("jdk/copy", c[2]);
        if (c[0] == "through") // "a/up" itself stays inside; what goes below it does not
            builder.symlink("a/up", "..").symlink(c[1], "..");
        ASSERT_TRUE(
            builder.file("jdk/lib/after", test::incompressibleBytes(400000, 7)).write(archive()));
        std::string bytes = readWholeFile(archive());
        if (c[0] == "empty" || c[0] == "text")
            bytes = c[0] == "text" ? "plain text, not an archive" : "";
        if (c[0] == "half")
            bytes.resize(bytes.size() / 2);
        for (std::size_t i = bytes.size() / 2; c[0] == "flip" && i < bytes.size() / 2 + 64; ++i)
            bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
        if (c[0] == "no directory")
            bytes.resize(bytes.find(std::string("PK\x01\x02", 4)));
        if (c[0] == "padding") { // a tar reader stops at its end marker, before this damage
            gzFile gz = openGzip(archive(), "rb");
            bytes.assign(1 << 20, '\0');
            bytes.resize(static_cast<std::size_t>(gzread(gz, bytes.data(), 1 << 20)) + (3 << 20));
            gzclose(gz);
            gz = openGzip(archive(), "wb0"); // stored: no block check before the end
            gzwrite(gz, bytes.data(), static_cast<unsigned>(bytes.size()));
            gzclose(gz);
            bytes = readWholeFile(archive());
            bytes[bytes.size() / 2] ^= 0x01;
        }
        test::writeWholeFile(archive(), bytes);
        dest = dir / "runtime" / "_extract_tmp";
        std::string error;
        EXPECT_FALSE(extract(error));
        // Readers may turn "\" into "/", so the message may show the other separator.
        const auto slashed = [](std::string text) {
            std::replace(text.begin(), text.end(), '\\', '/');
            return text;
        };
        EXPECT_NE(slashed(error).find(slashed(c[0] == "file" ? "escape.txt" : c.back())),
                  std::string::npos)
            << error;
        EXPECT_FALSE(fs::exists(dest) || fs::exists(dest.string() + ".partial"));
        EXPECT_FALSE(fs::exists(dir / "escape.txt") || fs::exists(dir / "runtime/escape.txt"));
    }
    EXPECT_FALSE(extractRuntimeArchive(dir / "missing", dest, GetParam()));
}
} // namespace
} // namespace qbk
