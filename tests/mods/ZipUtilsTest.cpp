#include "mods/ZipUtils.h"

#include "mods/GzipStream.h"
#include "platform/Platform.h"
#include "tests/support/ArchiveBuilder.h"
#include "tests/support/TempDir.h"
#include "tests/support/WholeFile.h"

#include <functional>
#include <gtest/gtest.h>
#include <zlib.h>

namespace qbk {
namespace {

namespace fs = std::filesystem;
using test::ArchiveBuilder;
using test::incompressibleBytes;
using test::readWholeFile;
using test::writeWholeFile;
using Build = std::function<void(ArchiveBuilder&)>;
using Damage = std::function<void(std::string&)>;

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

INSTANTIATE_TEST_SUITE_P(Formats, RuntimeExtraction,
                         ::testing::Values(RuntimeArchiveFormat::Zip, RuntimeArchiveFormat::TarGz),
                         [](const auto& info) {
                             return info.param == RuntimeArchiveFormat::Zip ? "Zip" : "TarGz";
                         });

TEST_P(RuntimeExtraction, UnpacksIntoAnAbsentOrEmptyFolderButNeverAFilledOne) {
    ArchiveBuilder builder(GetParam());
    // What "tar czf rt.tar.gz ./jdk" writes; a repeated entry replaces the earlier one.
    builder.directory("./")
        .file("./jdk/bin//java", "#!/bin/sh\n", 0755)
        .file("jdk/lib/jspawnhelper", "helper", 04755)
        .file("jdk/lib/private", "key", 0600)
        .file("jdk/release", "first")
        .file("jdk/./release", "second")
        .file("jdk/Файл.txt", "привет")
        .file("jdk/legal/java.base/LICENSE", "GPL")
        .symlink("jdk/legal/java.desktop/LICENSE", "../java.base/LICENSE")
        .symlink("jdk/lib/current", ".")
        .directory("empty/");
    if (!zip())
        builder.hardlink("jdk/lib/copy", "jdk/release");
    ASSERT_TRUE(builder.write(archive()));
    fs::create_directories(dir / "empty-folder");
    for (const fs::path& target : {dir / "Игры Квеллбрук" / "среда", dir / "empty-folder"}) {
        dest = target;
        std::string error;
        ASSERT_TRUE(extract(error)) << error;
        const auto mode = [&](const char* name) {
            return fs::status(dest / name).permissions();
        };
        EXPECT_NE(mode("jdk/bin/java") & fs::perms::owner_exec, fs::perms::none);
        EXPECT_EQ(mode("jdk/lib/jspawnhelper") & fs::perms::set_uid, fs::perms::none);
        EXPECT_EQ(mode("jdk/lib/private") & fs::perms::mask,
                  fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_EQ(readWholeFile(dest / "jdk/release"), "second");
        EXPECT_EQ(readWholeFile(dest / "jdk" / "Файл.txt"), "привет");
        EXPECT_EQ(fs::read_symlink(dest / "jdk/legal/java.desktop/LICENSE"),
                  "../java.base/LICENSE");
        EXPECT_EQ(readWholeFile(dest / "jdk/legal/java.desktop/LICENSE"), "GPL");
        EXPECT_EQ(readWholeFile(dest / "jdk/lib/copy"), zip() ? "" : "second");
        EXPECT_EQ(std::distance(fs::directory_iterator(dest), fs::directory_iterator()), 2);
        EXPECT_FALSE(fs::exists(dest.string() + ".partial"));
    }
    std::string error;
    EXPECT_FALSE(extract(error));
    EXPECT_NE(error.find("не пуста"), std::string::npos) << error;
    EXPECT_EQ(readWholeFile(dest / "jdk/release"), "second");
}

// Every refused archive leaves no destination, no staging folder and nothing outside.
TEST_P(RuntimeExtraction, RefusesEscapesLinksOutAndDamageWithoutWritingAnything) {
    const auto name = [](std::string n) -> Build {
        return [n](ArchiveBuilder& b) {
            b.file(n, "x");
        };
    };
    const auto link = [](std::string n, std::string t) -> Build {
        return [n, t](ArchiveBuilder& b) {
            b.symlink(n, t);
        };
    };
    const auto hard = [](std::string t) -> Build {
        return [t](ArchiveBuilder& b) {
            b.symlink("jdk/link", "lib").hardlink("jdk/copy", t);
        };
    };
    const auto at = [](double share, char flip) -> Damage {
        return [share, flip](std::string& bytes) {
            const auto from = static_cast<std::size_t>(bytes.size() * share);
            for (std::size_t i = from; i < from + 64; ++i)
                bytes[i] = static_cast<char>(bytes[i] ^ flip);
        };
    };
    struct Case {
        Build entries;
        Damage damage;
        std::string inError;
        int only = -1; // a RuntimeArchiveFormat the case needs, or -1
    };
    const std::string outside = (dir / "escape.txt").string();
    const std::vector<Case> cases = {
        {name("../escape.txt"), {}, "escape.txt"},
        {name("jdk/../../escape.txt"), {}, "escape.txt"},
        {name(outside), {}, "escape.txt"},
        {name("C:\\escape.txt"), {}, "escape.txt"},
        {name("c:escape.txt"), {}, "escape.txt"},
        {name("..\\escape.txt"), {}, "escape.txt"},
        {name("jdk\\..\\..\\escape.txt"), {}, "escape.txt"},
        {name("\\\\server\\share\\escape.txt"), {}, "escape.txt"},
        {name("jdk/escape.txt:stream"), {}, "escape.txt"},
        {link("jdk/escape", "../../outside"), {}, "../../outside"},
        {link("jdk/escape", "/etc"), {}, "/etc"},
        {link("jdk/escape", "C:\\Windows"), {}, "C:\\Windows"},
        {link("escape", ".."), {}, ".."},
        {link("jdk/escape", "sub/../../.."), {}, "sub/../../.."}, // ".." after a possible link
        {[](ArchiveBuilder& b) {
             b.symlink("a/up", "..").symlink("a/up/b", "..").file("a/up/b/escape.txt", "x");
         },
         {},
         "a/up/b"},
        {hard("../outside"), {}, "../outside", 1},
        {hard("/etc/passwd"), {}, "/etc/passwd", 1},
        {hard("jdk/link"), {}, "jdk/link", 1},
        {{}, [](std::string& b) { b.clear(); }, ""},
        {{}, [](std::string& b) { b = "plain text, not an archive"; }, ""},
        {{}, [](std::string& b) { b.resize(b.size() / 2); }, ""},
        {{}, at(0.5, 0x5A), "повреждён"},
        {{},
         [](std::string& b) { b.resize(b.find(std::string("PK\x01\x02", 4))); },
         "не удалось открыть",
         0},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        if (c.only >= 0 && c.only != static_cast<int>(GetParam()))
            continue;
        SCOPED_TRACE(i);
        ArchiveBuilder builder(GetParam());
        builder.file("jdk/bin/java", "#!/bin/sh\n", 0755);
        if (c.entries)
            c.entries(builder);
        ASSERT_TRUE(builder.file("jdk/lib/after", incompressibleBytes(400000, 7)).write(archive()));
        if (c.damage) {
            std::string bytes = readWholeFile(archive());
            c.damage(bytes);
            writeWholeFile(archive(), bytes);
        }
        dest = dir / "runtime" / "_extract_tmp";
        std::string error;
        EXPECT_FALSE(extract(error));
        // Zip readers turn "\" into "/", so the message may show the other separator.
        EXPECT_NE(error.find(c.inError), std::string::npos) << error;
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(fs::exists(dest));
        EXPECT_FALSE(fs::exists(dest.string() + ".partial"));
        EXPECT_FALSE(fs::exists(dir / "escape.txt") || fs::exists(dir / "runtime" / "escape.txt"));
    }
    EXPECT_FALSE(extractRuntimeArchive(dir / "missing", dest, GetParam()));
}

std::string gzip(const std::string& data, int level) {
    z_stream zs{};
    deflateInit2(&zs, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
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

// Everything the stream gives; false when it reported damage.
bool readAllOf(GzipStream& stream, std::string& out) {
    const void* block = nullptr;
    long long n = 0;
    while ((n = stream.read(&block)) > 0)
        out.append(static_cast<const char*>(block), static_cast<std::size_t>(n));
    return n == 0;
}

TEST(GzipStreamTest, InflatesEveryMemberAndReportsDamageTruncationAndTrailingBytes) {
    test::TempDir dir;
    const auto open = [&](const std::string& bytes) {
        writeWholeFile(dir / "data.gz", bytes);
        return GzipStream(platform::openFile(dir / "data.gz", "rb"));
    };
    // Larger than one output block; stored blocks carry no check but the trailer's CRC-32.
    const std::string data = incompressibleBytes(1500000, 1) + std::string(1500000, 'z');
    const std::string packed = gzip(data, 6);
    std::string flipped = gzip(data, 0);
    flipped[flipped.size() / 3] ^= 0x01;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {packed + gzip("second member", 9), ""},
        {flipped, "повреждены"},
        {packed.substr(0, packed.size() - 3), "обрезан"},
        {packed.substr(0, packed.size() / 2), "обрезан"},
        {packed + "junk!", "повреждены"},
        {"", "обрезан"},
    };
    for (const auto& [bytes, error] : cases) {
        GzipStream stream = open(bytes);
        std::string out;
        EXPECT_EQ(readAllOf(stream, out), error.empty()) << error;
        EXPECT_NE(stream.error().find(error), std::string::npos) << stream.error();
        EXPECT_EQ(out == data + "second member", error.empty());
    }
    // A consumer that stops after one block still learns of the damage at the end.
    const void* block = nullptr;
    for (const auto& [bytes, sound] : {std::pair{flipped, false}, std::pair{packed, true}}) {
        GzipStream stream = open(bytes);
        ASSERT_GT(stream.read(&block), 0);
        EXPECT_EQ(stream.drain(), sound);
    }
}

TEST(GzipStreamTest, TarGzDamagedInThePaddingAfterTheEndMarkerFails) {
    // A tar reader stops at its end marker; only reading on to the trailer finds this damage.
    test::TempDir dir;
    const fs::path archive = dir / "rt.tar.gz";
    ASSERT_TRUE(ArchiveBuilder(RuntimeArchiveFormat::TarGz)
                    .file("jdk/modules", std::string(200000, 'm'))
                    .write(archive));
    GzipStream tarStream(platform::openFile(archive, "rb"));
    std::string tar;
    ASSERT_TRUE(readAllOf(tarStream, tar));
    std::string stored = gzip(tar + std::string(3 << 20, '\0'), 0);
    stored[stored.find("mmmm") + 1000] = 'X';
    writeWholeFile(archive, stored);
    std::string error;
    EXPECT_FALSE(extractTarGz(archive, dir / "out", &error));
    EXPECT_NE(error.find("повреждены"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST(ZipUtilsTest, Sha1AndFileNameOf) {
    test::TempDir dir;
    writeWholeFile(dir / "пусто.bin", "");
    fs::create_directories(dir / "folder.jar"); // opens like a file on POSIX, but reads fail
    EXPECT_EQ(sha1FileHex(dir / "пусто.bin"), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(sha1FileHex(dir / "missing.bin"), "");
    EXPECT_EQ(sha1FileHex(dir / "folder.jar"), "");
    EXPECT_EQ(fileNameOf("mods/Sub\\Example.jar"), "Example.jar");
    EXPECT_EQ(fileNameOf("a\\b/c.jar"), "c.jar");
    EXPECT_EQ(fileNameOf("plain.jar"), "plain.jar");
    EXPECT_EQ(fileNameOf("folder/"), "");
}

} // namespace
} // namespace qbk
