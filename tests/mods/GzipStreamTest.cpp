#include "mods/GzipStream.h"

#include "mods/ZipUtils.h"
#include "platform/Platform.h"
#include "tests/mods/ArchiveBuilder.h"
#include "tests/mods/ScratchDir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace fs = std::filesystem;
using qbk::GzipStream;
using qbk::test::ScratchDir;

namespace {

std::string gzipBytes(const std::string& data, int level) {
    z_stream zs{};
    EXPECT_EQ(deflateInit2(&zs, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&zs, static_cast<uLong>(data.size())) + 64, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

std::string gunzipBytes(const std::string& data) {
    z_stream zs{};
    EXPECT_EQ(inflateInit2(&zs, 15 + 16), Z_OK);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    std::string out;
    char buffer[65536];
    int status = Z_OK;
    while (status == Z_OK) {
        zs.next_out = reinterpret_cast<Bytef*>(buffer);
        zs.avail_out = sizeof buffer;
        status = inflate(&zs, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - zs.avail_out);
    }
    EXPECT_EQ(status, Z_STREAM_END);
    inflateEnd(&zs);
    return out;
}

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeAll(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class GzipStreamTest : public ::testing::Test {
protected:
    GzipStream open(const std::string& bytes) {
        writeAll(dir / "data.gz", bytes);
        return GzipStream(qbk::platform::openFile(dir / "data.gz", "rb"));
    }
    // Everything the stream gives; false when it reported damage.
    static bool readAllOf(GzipStream& stream, std::string& out) {
        const void* block = nullptr;
        long long n = 0;
        while ((n = stream.read(&block)) > 0)
            out.append(static_cast<const char*>(block), static_cast<std::size_t>(n));
        return n == 0;
    }

    ScratchDir dir;
    // Larger than one output block, partly compressible.
    std::string data = qbk::test::incompressibleBytes(1500000, 1) + std::string(1500000, 'z');
};

TEST_F(GzipStreamTest, InflatesEveryMember) {
    GzipStream stream = open(gzipBytes(data, 6) + gzipBytes("second member", 9));
    std::string out;
    ASSERT_TRUE(readAllOf(stream, out)) << stream.error();
    EXPECT_EQ(out, data + "second member");
    const void* block = nullptr;
    EXPECT_EQ(stream.read(&block), 0);
}

TEST_F(GzipStreamTest, DamagedStoredBytesFailOnTheChecksum) {
    // Stored blocks carry no check of their own: only the trailer's CRC-32 can tell.
    std::string bytes = gzipBytes(data, 0);
    bytes[bytes.size() / 3] ^= 0x01;
    GzipStream stream = open(bytes);
    std::string out;
    EXPECT_FALSE(readAllOf(stream, out));
    EXPECT_NE(stream.error().find("повреждены"), std::string::npos) << stream.error();
}

TEST_F(GzipStreamTest, TruncatedOrTrailingGarbageFails) {
    const std::string bytes = gzipBytes(data, 6);
    for (const std::string& damaged :
         {bytes.substr(0, bytes.size() - 3), bytes.substr(0, bytes.size() / 2), bytes + "junk!"}) {
        GzipStream stream = open(damaged);
        std::string out;
        EXPECT_FALSE(readAllOf(stream, out));
        EXPECT_FALSE(stream.error().empty());
    }
    GzipStream empty = open("");
    std::string out;
    EXPECT_FALSE(readAllOf(empty, out));
    EXPECT_NE(empty.error().find("обрезан"), std::string::npos);
}

TEST_F(GzipStreamTest, DrainChecksTheEndAfterAnEarlyStop) {
    std::string bytes = gzipBytes(data, 0);
    bytes[bytes.size() / 3] ^= 0x01;
    GzipStream stream = open(bytes);
    const void* block = nullptr;
    ASSERT_GT(stream.read(&block), 0); // the consumer stops after one block
    EXPECT_FALSE(stream.drain());
    GzipStream sound = open(gzipBytes(data, 6));
    ASSERT_GT(sound.read(&block), 0);
    EXPECT_TRUE(sound.drain());
}

TEST_F(GzipStreamTest, TarGzDamagedBeforeUnreadPaddingFails) {
    // A tar reader stops at the end marker; padding after it is never pulled through the
    // stream, so the damage below shows only when the extraction reads on to the trailer.
    const fs::path archive = dir / "rt.tar.gz";
    ASSERT_TRUE(qbk::test::ArchiveBuilder(qbk::RuntimeArchiveFormat::TarGz)
                    .file("jdk/lib/modules", std::string(200000, 'm'))
                    .write(archive));
    const std::string tar = gunzipBytes(readAll(archive)) + std::string(3 << 20, '\0');
    std::string stored = gzipBytes(tar, 0);
    const auto at = stored.find("mmmm");
    ASSERT_NE(at, std::string::npos);
    stored[at + 1000] = 'X';
    writeAll(archive, stored);
    std::string error;
    EXPECT_FALSE(qbk::extractTarGz(archive, dir / "out", &error));
    EXPECT_NE(error.find("повреждены"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(dir / "out"));
}

} // namespace
