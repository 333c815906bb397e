#include "platform/Platform.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>

using namespace qbk::platform;
namespace fs = std::filesystem;

namespace {

class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               pathFromUtf8("qbk-платформа-" +
                            std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        removeTree(root);
        ASSERT_TRUE(createDirectories(root));
    }
    void TearDown() override { EXPECT_TRUE(removeTree(root)); }

    static void write(const fs::path& path, const std::string& bytes) {
        std::FILE* f = openFile(path, "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    static std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    fs::path root;
};

} // namespace

TEST_F(FileSystemTest, DeepCyrillicFoldersAreCreatedAndUsed) {
    fs::path deep = root;
    while (deep.native().size() < 400)
        deep /= pathFromUtf8("очень-длинная-папка");
    ASSERT_TRUE(createDirectories(deep));
    EXPECT_TRUE(isDirectory(deep));
    const fs::path file = deep / pathFromUtf8("мод.jar");
    write(file, "12345");
    EXPECT_TRUE(pathExists(file));
    EXPECT_EQ(fileSize(file), 5u);
    EXPECT_FALSE(fileSize(deep).has_value()); // a folder has no file size
}

TEST_F(FileSystemTest, MoveReplacesAnExistingTarget) {
    write(root / "new", "new bytes");
    write(root / "old", "old");
    ASSERT_TRUE(moveReplace(root / "new", root / "old"));
    EXPECT_EQ(read(root / "old"), "new bytes");
    EXPECT_FALSE(pathExists(root / "new"));
    EXPECT_FALSE(moveReplace(root / "missing", root / "old"));
    EXPECT_EQ(read(root / "old"), "new bytes");
}

TEST_F(FileSystemTest, RemoveFileAndTree) {
    write(root / "a", "x");
    EXPECT_TRUE(removeFile(root / "a"));
    EXPECT_TRUE(removeFile(root / "a")); // already gone counts as removed
    ASSERT_TRUE(createDirectories(root / "t" / "u"));
    write(root / "t" / "u" / "f", "y");
    EXPECT_TRUE(removeTree(root / "t"));
    EXPECT_FALSE(pathExists(root / "t"));
}

TEST_F(FileSystemTest, ListsOneFolderWithKindsAndSizes) {
    write(root / "b.jar", "123");
    ASSERT_TRUE(createDirectories(root / "sub"));
    auto entries = listDirectory(root);
    std::sort(entries.begin(), entries.end(),
              [](const DirEntry& l, const DirEntry& r) { return l.name < r.name; });
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, fs::path("b.jar"));
    EXPECT_FALSE(entries[0].isDirectory);
    EXPECT_EQ(entries[0].size, 3u);
    EXPECT_EQ(entries[1].name, fs::path("sub"));
    EXPECT_TRUE(entries[1].isDirectory);
    EXPECT_TRUE(listDirectory(root / "missing").empty());
}

TEST(Machine, ReportsItsExecutableAndMemory) {
    const fs::path exe = executablePath();
    ASSERT_FALSE(exe.empty());
    EXPECT_TRUE(pathExists(exe));
    EXPECT_EQ(exe.stem(), fs::path("platform_test"));
    const auto memory = totalPhysicalMemoryBytes();
    ASSERT_TRUE(memory.has_value());
    EXPECT_GT(*memory, 256ull * 1024 * 1024);
}
