#include "launch/ServerList.h"

#include "tests/launch/NbtTestReader.h"
#include "tests/support/TempDir.h"
#include "tests/support/WholeFile.h"

#include <gtest/gtest.h>
namespace qbk {
namespace {
namespace fs = std::filesystem;
using test::readWholeFile;
using Names = std::vector<std::string>;
NbtTag entryOf(const fs::path& gameDir) {
    std::string rootName = "unset";
    const NbtTag root = NbtTestReader::readFile(gameDir / "servers.dat", rootName);
    EXPECT_TRUE(rootName.empty() && root.names == Names{"servers"} &&
                root.child("servers").items.size() == 1);
    return root.child("servers").items.at(0);
}
// Lengths count UTF-8 bytes; without an icon the tag is left out; the old list is replaced; a
// value past 16-bit lengths or an unwritable target keeps the old file.
TEST(ServerList, BytesFollowTheHandCheckedLayoutAndBadValuesOrTargetsKeepTheOldFile) {
    test::TempDir dir("qbk-servers");
    ASSERT_TRUE(WriteServersDat(dir.path(), "Quellbrook", "mc.test", "QUJD"));
    const std::string expected("\x0A\0\0"                        // root compound, no name
                               "\x09\0\x07servers\x0A\0\0\0\x01" // list of one compound
                               "\x08\0\x04name\0\x0AQuellbrook"  // strings: type, name,
                               "\x08\0\x02ip\0\x07mc.test"       // 16-bit length, text
                               "\x08\0\x04icon\0\x04QUJD\0\0",   // ends: entry, root
                               66);
    EXPECT_EQ(readWholeFile(dir / "servers.dat"), expected);
    const std::string tooLong(65536, 'A'), longest(65535, 'A');
    EXPECT_FALSE(WriteServersDat(dir.path(), "Quellbrook", "mc.test", tooLong));
    EXPECT_FALSE(WriteServersDat(dir.path(), tooLong, "mc.test", ""));
    EXPECT_FALSE(WriteServersDat(dir.path(), "Quellbrook", tooLong, ""));
    EXPECT_EQ(readWholeFile(dir / "servers.dat"), expected);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1); // no temporary file
    ASSERT_TRUE(WriteServersDat(dir.path(), longest, longest, longest));
    EXPECT_EQ(entryOf(dir.path()).child("icon").text, longest);
    fs::create_directories(dir / "game" / "servers.dat"); // a folder is not replaced by the file
    EXPECT_FALSE(WriteServersDat(dir / "game", "Quellbrook", "mc.test", ""));
    EXPECT_TRUE(fs::is_directory(dir / "game" / "servers.dat"));
    EXPECT_FALSE(WriteServersDat(dir / "servers.dat", "Quellbrook", "mc.test", ""));
    const fs::path gameDir = dir / fs::path(u8"Новая игра") / "minecraft";
    test::writeWholeFile(gameDir / "servers.dat",
                         readWholeFile(fs::path(QBK_TESTDATA_DIR) / "other" / "servers.dat"));
    ASSERT_TRUE(WriteServersDat(gameDir, "Квеллбрук", "play.example.org", ""));
    const NbtTag entry = entryOf(gameDir);
    EXPECT_EQ(entry.names, (Names{"name", "ip"}));
    EXPECT_EQ(entry.child("name").text + entry.child("ip").text, "Квеллбрукplay.example.org");
    EXPECT_EQ(readWholeFile(gameDir / "servers.dat").size(), 36u + 18u + 16u);
    ASSERT_TRUE(WriteServersDat(dir / fs::path(u8"ещё нет") / "mc", "Q", "mc.test", ""));
    EXPECT_TRUE(fs::is_regular_file(dir / fs::path(u8"ещё нет") / "mc" / "servers.dat"));
}
} // namespace
} // namespace qbk
