#include "platform/Digest.h"
#include "platform/Platform.h"

#include <algorithm>
#include <gtest/gtest.h>
using namespace qbk::platform;
namespace fs = std::filesystem;
static void write(const fs::path& path, const std::string& bytes) {
    std::FILE* f = openFile(path, "wb");
    ASSERT_TRUE(f && std::fputs(bytes.c_str(), f) >= 0 && std::fclose(f) == 0) << pathToUtf8(path);
}
// Cyrillic names and, on Windows, a tree past MAX_PATH (260), through every file call.
TEST(FileSystem, DeepCyrillicTreeIsWrittenMovedListedAndRemoved) {
    const fs::path root = fs::temp_directory_path() / pathFromUtf8("qbk-платформа");
    removeTree(root);
    fs::path deep = root;
    while (deep.native().size() < 400)
        deep /= pathFromUtf8("очень-длинная-папка");
    const fs::path mod = deep / pathFromUtf8("мод.jar"), old = deep / pathFromUtf8("старый.jar");
    ASSERT_TRUE(createDirectories(deep) && isDirectory(deep));
    write(mod, "new bytes");
    write(old, "old");
    EXPECT_EQ(fileSize(mod), 9u);
    EXPECT_FALSE(fileSize(deep).has_value()); // a folder has no file size
    ASSERT_TRUE(moveReplace(mod, old));
    EXPECT_FALSE(pathExists(mod) || moveReplace(deep / "missing", old));
    EXPECT_EQ(hashFileHex(old, HashAlgorithm::Sha1),
              "7caea6a9de4cd6aa537d67969910e0d7179ab7d7"); // "new bytes"
    ASSERT_TRUE(createDirectories(deep / "sub"));
    auto entries = listDirectory(deep);
    std::sort(entries.begin(), entries.end(), [](auto& l, auto& r) { return l.name < r.name; });
    std::string listed;
    for (const auto& e : entries)
        listed += pathToUtf8(e.name) + (e.isDirectory ? "/ " : ":" + std::to_string(e.size) + " ");
    EXPECT_EQ(listed, "sub/ старый.jar:9 ");
    EXPECT_TRUE(listDirectory(deep / "missing").empty());
    EXPECT_TRUE(removeFile(old) && removeFile(old)); // already gone counts as removed
    EXPECT_TRUE(removeTree(root) && !pathExists(root));
    EXPECT_TRUE(executablePath().stem().string().ends_with("_test") &&
                pathExists(executablePath()));
    EXPECT_GT(totalPhysicalMemoryBytes().value_or(0), 256ull << 20);
}
#ifndef _WIN32
// From /dev/shm (its own file system) a move must copy; a copy left by an interrupted earlier
// move must not leak into the target.
TEST(FileSystem, MoveBetweenFileSystemsGivesExactlyTheNewTree) {
    const fs::path from = fs::path("/dev/shm") / pathFromUtf8("qbk-перенос"),
                   to = fs::temp_directory_path() / pathFromUtf8("qbk-перенос-цель");
    for (const fs::path& dir : {from, to, fs::path(to.string() + ".qbk-move")})
        removeTree(dir);
    ASSERT_TRUE(createDirectories(from / "lib") && createDirectories(to.string() + ".qbk-move"));
    write(from / "lib" / "a.jar", "new");
    write(to.string() + ".qbk-move/stale.jar", "old");
    ASSERT_TRUE(moveReplace(from, to));
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(to))
        names.push_back(pathToUtf8(entry.path().lexically_relative(to)));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"lib", "lib/a.jar"}));
    EXPECT_FALSE(pathExists(from));
    removeTree(to);
    removeTree(to.string() + ".qbk-move");
}
#endif
TEST(TextConversion, CyrillicAndAstralTextRoundTripsAndInvalidInputGivesNothing) {
    const std::string utf8 = "Лаунчер \xF0\x9F\x8E\xAE игра";
    EXPECT_EQ(utf8ToWide(utf8).substr(0, 7), L"Лаунчер");
    EXPECT_EQ(wideToUtf8(utf8ToWide(utf8)), utf8);
    EXPECT_EQ(pathToUtf8(pathFromUtf8("папка/файл.jar").filename()), "файл.jar");
    // Cut, overlong, surrogate, past U+10FFFF, invalid; cut where the view ends before its buffer.
    for (const char* bad :
         {"", "abc\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "ok\xFFno"})
        EXPECT_TRUE(utf8ToWide(bad).empty()) << bad;
    EXPECT_TRUE(utf8ToWide(std::string_view("\xC3\xA9", 1)).empty());
    for (const wchar_t lone : {wchar_t(0xD800), wchar_t(0xDFFF)})
        EXPECT_TRUE(wideToUtf8(std::wstring(1, lone)).empty()) << int(lone);
}
