#include "game/FileBytes.h"

#include "game/SafeRelativePath.h"
#include "tests/support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>

namespace qbk {
namespace {

namespace fs = std::filesystem;

TEST(FileBytes, WriteCreatesFoldersReplacesWholeAndLeavesNoTemporary) {
    test::TempDir dir("qbk-bytes");
    const fs::path target = dir / "Новая папка" / "глубже" / "файл.json";
    ASSERT_TRUE(WriteFileBytes(target, std::string("first version, long")));
    ASSERT_TRUE(WriteFileBytes(target, std::string("second")));
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(target, bytes));
    EXPECT_EQ(bytes, "second");
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(target.parent_path()))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 1u);

    ASSERT_TRUE(WriteFileBytes(dir / "empty", std::string()));
    EXPECT_TRUE(fs::exists(dir / "empty"));
    EXPECT_FALSE(ReadFileBytes(dir / "empty", bytes)); // below one byte counts as unreadable
    EXPECT_FALSE(ReadFileBytes(dir / "missing", bytes));
}

TEST(FileBytes, FailedWriteKeepsTheOldFile) {
    test::TempDir dir("qbk-bytes");
    const fs::path target = dir / "keep.txt";
    ASSERT_TRUE(WriteFileBytes(target, std::string("old")));
    fs::create_directories(dir / "blocked");
    // A folder where the file should go cannot be replaced by a file.
    EXPECT_FALSE(WriteFileBytes(dir / "blocked", std::string("new")));
    EXPECT_TRUE(fs::is_directory(dir / "blocked"));
    EXPECT_FALSE(WriteFileBytes(target / "under-a-file", std::string("x")));
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(target, bytes));
    EXPECT_EQ(bytes, "old");
}

TEST(SafeRelativePath, AcceptsPlainPathsAndRefusesEscapes) {
    fs::path relative;
    ASSERT_TRUE(SafeRelativePath("org/lwjgl/lwjgl/3.3.3/lwjgl-3.3.3.jar", relative));
    EXPECT_EQ(relative, fs::path("org") / "lwjgl" / "lwjgl" / "3.3.3" / "lwjgl-3.3.3.jar");
    ASSERT_TRUE(SafeRelativePath("a\\b/./c..d", relative));
    EXPECT_EQ(relative, fs::path("a") / "b" / "c..d");
    for (const char* bad : {"", "/etc/passwd", "\\\\server\\share", "C:/x.jar", "c:x.jar", "../x",
                            "a/../../x", "a\\..\\x", "..", "./", "a/b:stream"}) {
        EXPECT_FALSE(SafeRelativePath(bad, relative)) << bad;
        EXPECT_TRUE(relative.empty()) << bad;
    }
    EXPECT_FALSE(SafeRelativePath(std::string("a\0b", 3), relative));
}

} // namespace
} // namespace qbk
