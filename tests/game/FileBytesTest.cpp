#include "game/FileBytes.h"

#include "game/SafeRelativePath.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <iterator>
namespace qbk {
namespace {
namespace fs = std::filesystem;
TEST(FileBytes, WholeFileReplacedOrKeptNeverHalfWritten) {
    test::TempDir dir("qbk-bytes");
    const fs::path target = dir / "Новая папка" / "глубже" / "файл.json";
    const std::string big(64 * 1024 + 7, 'b'); // more than one read buffer
    ASSERT_TRUE(WriteFileBytes(target, "first version, long"));
    ASSERT_TRUE(WriteFileBytes(target, big));
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(target, bytes));
    EXPECT_EQ(bytes, big);
    EXPECT_EQ(std::distance(fs::directory_iterator(target.parent_path()), {}), 1); // no temp
    // A folder cannot be replaced by a file, nor can a file hold one; the old file stays.
    fs::create_directories(dir / "blocked");
    EXPECT_FALSE(WriteFileBytes(dir / "blocked", "new"));
    EXPECT_TRUE(fs::is_directory(dir / "blocked"));
    EXPECT_FALSE(WriteFileBytes(target / "under-a-file", "x"));
    EXPECT_TRUE(ReadFileBytes(target, bytes) && bytes == big);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 2);
    ASSERT_TRUE(WriteFileBytes(dir / "empty", ""));
    EXPECT_TRUE(fs::exists(dir / "empty"));
    EXPECT_FALSE(ReadFileBytes(dir / "empty", bytes)); // no byte at all counts as unreadable
    EXPECT_FALSE(ReadFileBytes(dir / "missing", bytes));
    EXPECT_TRUE(bytes.empty());
}
TEST(SafeRelativePath, AcceptsPlainPathsAndRefusesEscapes) {
    fs::path relative;
    ASSERT_TRUE(SafeRelativePath("org/lwjgl/3.3.3/lwjgl-3.3.3.jar", relative));
    EXPECT_EQ(relative, fs::path("org") / "lwjgl" / "3.3.3" / "lwjgl-3.3.3.jar");
    ASSERT_TRUE(SafeRelativePath("a\\b/./c..d/", relative));
    EXPECT_EQ(relative, fs::path("a") / "b" / "c..d");
    for (const std::string& bad : std::vector<std::string>{
             "", std::string("a\0b", 3), "/etc/passwd", "..", "\\\\server\\share", "C:/x.jar",
             "c:x.jar", "../x", "a/../../x", "a\\..\\x", "./", "a/b:stream", "a/.."}) {
        EXPECT_FALSE(SafeRelativePath(bad, relative)) << bad;
        EXPECT_TRUE(relative.empty()) << bad;
    }
}
} // namespace
} // namespace qbk
