#include "launch/ServerList.h"
#include "tests/launch/NbtTestReader.h"
#include "tests/support/TempDir.h"

#include <QByteArray>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

static void registerLauncherResources() {
    Q_INIT_RESOURCE(resources);
}

namespace qbk {
namespace {

namespace fs = std::filesystem;

std::string fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ServerIcon, CompiledInIconRoundTripsToThePngBytes) {
    registerLauncherResources();
    const std::string icon = LoadServerIconBase64();
    const std::string png = fileBytes(fs::path(QBK_SOURCE_DIR) / "resources" / "server-icon.png");
    ASSERT_FALSE(png.empty());
    EXPECT_EQ(icon.find_first_of("\r\n"), std::string::npos);

    test::TempDir dir("qbk-servers");
    ASSERT_TRUE(WriteServersDat(dir.path(), "Quellbrook", "play.quellbrook.net", icon));
    std::string rootName;
    const NbtTag root = NbtTestReader::readFile(dir / "servers.dat", rootName);
    const std::string stored = root.child("servers").items.at(0).child("icon").text;
    const QByteArray decoded = QByteArray::fromBase64(QByteArray::fromStdString(stored),
                                                      QByteArray::AbortOnBase64DecodingErrors);
    EXPECT_EQ(decoded.toStdString(), png);
    EXPECT_EQ(stored.size() % 4, 0u); // padded with "="
}

} // namespace
} // namespace qbk
