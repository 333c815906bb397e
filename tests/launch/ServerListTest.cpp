#include "launch/ServerList.h"

#include "tests/launch/NbtTestReader.h"
#include "tests/support/TempDir.h"

#include <cstdint>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace qbk {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string bytesOf(std::initializer_list<int> values) {
    std::string bytes;
    for (const int v : values)
        bytes += static_cast<char>(v);
    return bytes;
}

std::size_t filesIn(const fs::path& dir) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(ServerList, BytesFollowTheHandCheckedLayout) {
    test::TempDir dir("qbk-servers");
    ASSERT_TRUE(WriteServersDat(dir.path(), "Quellbrook", "mc.test", "QUJD"));
    // clang-format off
    const std::string expected = bytesOf({
        0x0A, 0x00, 0x00,                                         // root compound, no name
        0x09, 0x00, 0x07, 's', 'e', 'r', 'v', 'e', 'r', 's',      // list "servers"
        0x0A, 0x00, 0x00, 0x00, 0x01,                             // of one compound
        0x08, 0x00, 0x04, 'n', 'a', 'm', 'e',
        0x00, 0x0A, 'Q', 'u', 'e', 'l', 'l', 'b', 'r', 'o', 'o', 'k',
        0x08, 0x00, 0x02, 'i', 'p',
        0x00, 0x07, 'm', 'c', '.', 't', 'e', 's', 't',
        0x08, 0x00, 0x04, 'i', 'c', 'o', 'n',
        0x00, 0x04, 'Q', 'U', 'J', 'D',
        0x00,                                                     // end of the entry
        0x00});                                                   // end of the root
    // clang-format on
    const std::string written = readFile(dir / "servers.dat");
    EXPECT_EQ(written, expected);
    EXPECT_EQ(written.size(), 45u + 10u + 7u + 4u);
    EXPECT_EQ(filesIn(dir.path()), 1u); // no temporary file left beside it
}

TEST(ServerList, WithoutIconTheTagIsLeftOutAndTheReaderAgrees) {
    test::TempDir dir("qbk-servers");
    const std::string name = "Квеллбрук"; // lengths count UTF-8 bytes
    ASSERT_TRUE(WriteServersDat(dir.path(), name, "play.example.org", ""));
    const std::string written = readFile(dir / "servers.dat");
    EXPECT_EQ(written.size(), 36u + name.size() + 16u);
    EXPECT_EQ(written.substr(0, 6), bytesOf({0x0A, 0x00, 0x00, 0x09, 0x00, 0x07}));
    EXPECT_EQ(written.substr(written.size() - 2), bytesOf({0x00, 0x00}));

    std::string rootName = "unset";
    const NbtTag root = NbtTestReader::readFile(dir / "servers.dat", rootName);
    EXPECT_EQ(rootName, "");
    ASSERT_EQ(root.children.size(), 1u);
    const NbtTag& servers = root.child("servers");
    ASSERT_EQ(servers.type, 9);
    ASSERT_EQ(servers.items.size(), 1u);
    const NbtTag& entry = servers.items[0];
    ASSERT_EQ(entry.children.size(), 2u);
    EXPECT_EQ(entry.child("name").text, name);
    EXPECT_EQ(entry.child("ip").text, "play.example.org");
    EXPECT_FALSE(entry.hasChild("icon"));
}

TEST(ServerList, ReplacesAnExistingListAndCreatesAMissingFolder) {
    test::TempDir dir("qbk-servers");
    const fs::path gameDir = dir / "Новая игра" / "minecraft";
    fs::create_directories(gameDir);
    fs::copy_file(fs::path(QBK_TESTDATA_DIR) / "other" / "servers.dat", gameDir / "servers.dat");
    fs::permissions(gameDir / "servers.dat", fs::perms::owner_write, fs::perm_options::add);

    ASSERT_TRUE(WriteServersDat(gameDir, "Quellbrook", "play.quellbrook.net", "QUJD"));
    std::string rootName;
    const NbtTag root = NbtTestReader::readFile(gameDir / "servers.dat", rootName);
    ASSERT_EQ(root.child("servers").items.size(), 1u);
    EXPECT_EQ(root.child("servers").items[0].child("ip").text, "play.quellbrook.net");

    const fs::path fresh = dir / "ещё нет" / "minecraft";
    ASSERT_TRUE(WriteServersDat(fresh, "Quellbrook", "play.quellbrook.net", ""));
    EXPECT_TRUE(fs::is_regular_file(fresh / "servers.dat"));
}

TEST(ServerList, ValuesBeyondSixteenBitLengthsAreRefusedAndTheOldFileStays) {
    test::TempDir dir("qbk-servers");
    ASSERT_TRUE(WriteServersDat(dir.path(), "Old", "old.example", ""));
    const std::string before = readFile(dir / "servers.dat");

    const std::string longest(65535, 'A');
    const std::string tooLong(65536, 'A');
    EXPECT_FALSE(WriteServersDat(dir.path(), "Quellbrook", "mc.test", tooLong));
    EXPECT_FALSE(WriteServersDat(dir.path(), tooLong, "mc.test", ""));
    EXPECT_FALSE(WriteServersDat(dir.path(), "Quellbrook", tooLong, ""));
    EXPECT_EQ(readFile(dir / "servers.dat"), before);
    EXPECT_EQ(filesIn(dir.path()), 1u);

    ASSERT_TRUE(WriteServersDat(dir.path(), "Quellbrook", "mc.test", longest));
    std::string rootName;
    const NbtTag root = NbtTestReader::readFile(dir / "servers.dat", rootName);
    EXPECT_EQ(root.child("servers").items.at(0).child("icon").text, longest);
}

TEST(ServerList, UnwritableTargetGivesFalse) {
    test::TempDir dir("qbk-servers");
    fs::create_directories(dir / "servers.dat"); // a folder cannot be replaced by the file
    EXPECT_FALSE(WriteServersDat(dir.path(), "Quellbrook", "mc.test", ""));
    EXPECT_TRUE(fs::is_directory(dir / "servers.dat"));
    writeFile(dir / "plain-file", "x");
    EXPECT_FALSE(WriteServersDat(dir / "plain-file", "Quellbrook", "mc.test", ""));
}

TEST(ServerList, IndependentReaderParsesARealServerList) {
    std::string rootName = "unset";
    const NbtTag root =
        NbtTestReader::readFile(fs::path(QBK_TESTDATA_DIR) / "other" / "servers.dat", rootName);
    EXPECT_EQ(rootName, "");
    const NbtTag& servers = root.child("servers");
    ASSERT_EQ(servers.items.size(), 8u);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"hypixel", "mc.hypixel.net"},
        {"eco-manage", "Ecomanages6YC.aternos.me:56798"},
        {"mineplex", "eu.mineplex.com"},
        {"Minecraft Server", "akumamc.net"},
        {"Minecraft Server", "play.llamacraft.fun"},
        {"Minecraft Server", "LLAMACRAFT.FUN"},
        {"Minecraft Server", "herobine.org"},
        {"Minecraft Server", "62.68.182.111"}};
    int withIcon = 0;
    int hidden = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const NbtTag& entry = servers.items[i];
        EXPECT_EQ(entry.child("name").text, expected[i].first) << i;
        EXPECT_EQ(entry.child("ip").text, expected[i].second) << i;
        if (entry.hasChild("icon")) {
            ++withIcon;
            EXPECT_EQ(entry.child("icon").text.rfind("iVBORw0KGgo", 0), 0u); // a PNG
        }
        if (entry.hasChild("hidden") && entry.child("hidden").integer == 1)
            ++hidden;
    }
    EXPECT_EQ(withIcon, 3);
    EXPECT_EQ(hidden, 5);
}

} // namespace
} // namespace qbk
