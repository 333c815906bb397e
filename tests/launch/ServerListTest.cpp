#include "launch/ServerList.h"

#include "tests/support/TempDir.h"
#include "tests/support/WholeFile.h"

#include <gtest/gtest.h>
namespace qbk {
namespace {
namespace fs = std::filesystem;
using test::readWholeFile;
// servers.dat with one entry as the NBT format lays it out, written apart from the writer: an
// uncompressed root compound holding the list "servers" of one compound of string tags (type
// byte, then name and value after 16-bit big-endian lengths); no icon tag without an icon.
std::string serversDatBytes(const std::string& name, const std::string& ip,
                            const std::string& icon) {
    const auto tag = [](const std::string& key, const std::string& value) {
        const auto length = [](std::size_t n) {
            return std::string{char(n >> 8), char(n & 255)};
        };
        return '\x08' + length(key.size()) + key + length(value.size()) + value;
    };
    return std::string("\x0A\0\0\x09\0\x07servers\x0A\0\0\0\x01", 18) + tag("name", name) +
           tag("ip", ip) + (icon.empty() ? "" : tag("icon", icon)) + std::string(2, '\0');
}
// Lengths count UTF-8 bytes; without an icon the tag is left out; the old list is replaced; a
// value past 16-bit lengths or an unwritable target keeps the old file.
TEST(ServerList, BytesFollowTheNbtLayoutAndBadValuesOrTargetsKeepTheOldFile) {
    test::TempDir dir("qbk-servers");
    ASSERT_TRUE(WriteServersDat(dir.path(), "Quellbrook", "mc.test", "QUJD"));
    const std::string expected = serversDatBytes("Quellbrook", "mc.test", "QUJD");
    EXPECT_EQ(readWholeFile(dir / "servers.dat"), expected);
    const std::string tooLong(65536, 'A'), longest(65535, 'A');
    EXPECT_FALSE(WriteServersDat(dir.path(), "Quellbrook", "mc.test", tooLong));
    EXPECT_FALSE(WriteServersDat(dir.path(), tooLong, "mc.test", ""));
    EXPECT_FALSE(WriteServersDat(dir.path(), "Quellbrook", tooLong, ""));
    EXPECT_EQ(readWholeFile(dir / "servers.dat"), expected);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1); // no temporary file
    ASSERT_TRUE(WriteServersDat(dir.path(), longest, longest, longest));
    EXPECT_EQ(readWholeFile(dir / "servers.dat"), serversDatBytes(longest, longest, longest));
    fs::create_directories(dir / "game" / "servers.dat"); // a folder is not replaced by the file
    EXPECT_FALSE(WriteServersDat(dir / "game", "Quellbrook", "mc.test", ""));
    EXPECT_TRUE(fs::is_directory(dir / "game" / "servers.dat"));
    EXPECT_FALSE(WriteServersDat(dir / "servers.dat", "Quellbrook", "mc.test", ""));
    const fs::path gameDir = dir / fs::path(u8"Новая игра") / "minecraft";
    test::writeWholeFile(gameDir / "servers.dat",
                         readWholeFile(fs::path(QBK_TESTDATA_DIR) / "other" / "servers.dat"));
    ASSERT_TRUE(WriteServersDat(gameDir, "Квеллбрук", "play.example.org", ""));
    EXPECT_EQ(readWholeFile(gameDir / "servers.dat"),
              serversDatBytes("Квеллбрук", "play.example.org", ""));
    ASSERT_TRUE(WriteServersDat(dir / fs::path(u8"ещё нет") / "mc", "Q", "mc.test", ""));
    EXPECT_TRUE(fs::is_regular_file(dir / fs::path(u8"ещё нет") / "mc" / "servers.dat"));
}
} // namespace
} // namespace qbk
