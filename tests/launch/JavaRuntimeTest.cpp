#include "launch/JavaRuntime.h"

#include "platform/Platform.h"
#include "tests/support/ArchiveBuilder.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <set>
#include <vector>

namespace qbk {
namespace {

namespace fs = std::filesystem;
using test::readWholeFile;
using test::writeWholeFile;
const char* kJavaScript = "#!/bin/sh\necho 'openjdk version \"21.0.5\"' >&2\n";
bool javaRuns(const fs::path& java) {
    return std::system(("'" + java.string() + "' -version 2>/dev/null").c_str()) == 0;
}

// Serves archiveBytes at the target's Adoptium path: whole, chunked (no length), or cut off
// after 1000 bytes. The launcher folder has a Cyrillic name, as a player's may.
class JavaRuntimeTest : public ::testing::TestWithParam<TargetPlatform> {
protected:
    enum class Serving { Whole, Chunked, CutShort };
    void SetUp() override {
        server.get(target().runtimeDownloadPath, [this](const auto&, auto& response, const auto&) {
            const std::string type = "application/octet-stream";
            if (serving == Serving::Whole)
                return response.set_content(archiveBytes, type);
            if (serving == Serving::Chunked)
                return response.set_chunked_content_provider(type, [this](auto, auto& sink) {
                    return sink.write(archiveBytes.data(), archiveBytes.size()) &&
                           (sink.done(), true);
                });
            response.set_content_provider(
                archiveBytes.size(), type, [this](auto, auto, auto& sink) {
                    return sink.write(archiveBytes.data(), 1000) && false; // then hangs up
                });
        });
    }
    const TargetPlatform& target() const { return GetParam(); }
    std::string url() const { return JavaRuntime::downloadUrl(server.baseUrl(), target()); }
    // A release folder as Adoptium ships it, with the executables of the target's layout.
    std::string release(const std::string& top, const std::string& extra = "") const {
        test::ArchiveBuilder builder(target().runtimeArchiveFormat);
        for (const std::string& name : std::set<std::string>{"java", target().javaExecutable,
                                                             target().javaWindowlessExecutable})
            builder.file(top + "bin/" + name, kJavaScript, 0755);
        builder.file(top + "lib/modules", test::incompressibleBytes(200000, 3))
            .file(top + "release", "21");
        if (!extra.empty())
            builder.file(extra, "escaped");
        EXPECT_TRUE(builder.write(dir / "served"));
        return readWholeFile(dir / "served");
    }
    fs::path runtimeDir() const { return launcherDir / "runtime"; }
    fs::path javaHome() const { return runtimeDir() / "java21"; }

    test::TestHttpServer server;
    test::TempDir dir;
    fs::path launcherDir = dir / "Лаунчер Квеллбрук";
    std::string archiveBytes;
    Serving serving = Serving::Whole;
    std::vector<std::wstring> out, errors;
    JavaRuntime runtime{launcherDir, target(), [this](LogStream stream, const std::wstring& t) {
                            (stream == LogStream::Output ? out : errors).push_back(t);
                        }};
};

INSTANTIATE_TEST_SUITE_P(Targets, JavaRuntimeTest,
                         ::testing::Values(TargetPlatform::windowsX64(),
                                           TargetPlatform::linuxX64()),
                         [](const auto& info) { return info.param.osName; });

TEST_P(JavaRuntimeTest, BrokenDownloadsInstallNothingAndAWholeReleaseIsMovedInPlaceAndKept) {
    const std::string top = "jdk-21.0.5+11-jre/", sound = release(top);
    const std::wstring download = L"\n[Java] Ошибка скачивания: ",
                       unpack = L"[Java] Ошибка распаковки архива.\n";
    struct Case {
        std::string bytes, url;
        Serving serving;
        std::wstring error; // the start of the first error line
    } const cases[] = {{sound.substr(0, sound.size() * 2 / 3), url(), Serving::Whole, unpack},
                       {release(top, "../escape.txt"), url(), Serving::Whole, unpack},
                       {sound, url(), Serving::CutShort, download},
                       {sound, server.url("/status/404"), Serving::Whole, download + L"HTTP"}};
    for (const Case& c : cases) {
        archiveBytes = c.bytes;
        serving = c.serving;
        errors.clear();
        EXPECT_FALSE(runtime.EnsureInstalled(c.url)) << c.url;
        EXPECT_FALSE(runtime.IsInstalled() || fs::exists(javaHome()) ||
                     fs::exists(runtimeDir() / "_extract_tmp"))
            << c.url;
        ASSERT_FALSE(errors.empty()) << c.url;
        EXPECT_EQ(errors[0].rfind(c.error, 0), 0u) << c.url;
        EXPECT_TRUE(c.error == unpack || errors[0].size() > download.size() + 1)
            << c.url; // names why
        EXPECT_TRUE(c.error == unpack || !fs::exists(runtimeDir() / target().runtimeArchiveName()))
            << c.url;
    }
    EXPECT_FALSE(fs::exists(runtimeDir() / "escape.txt") || fs::exists(launcherDir / "escape.txt"));
    // Without a top folder and without a length, the archive's root becomes the Java home.
    archiveBytes = release("");
    serving = Serving::Chunked;
    errors.clear();
    ASSERT_TRUE(runtime.EnsureInstalled(url()));
    EXPECT_TRUE(javaRuns(javaHome() / "bin" / "java"));
    // What an interrupted attempt leaves: an extraction folder and a half-moved Java home.
    fs::remove(javaHome() / "bin" / target().javaWindowlessExecutable); // no longer installed
    writeWholeFile(javaHome() / "lib" / "half-moved", "partial");
    writeWholeFile(runtimeDir() / "_extract_tmp" / "aaa-old-jdk" / "bin" / "stale", "old");
    writeWholeFile(runtimeDir() / "_extract_tmp" / "loose.txt", "old");
    archiveBytes = sound;
    serving = Serving::Whole;
    out.clear();
    ASSERT_TRUE(runtime.EnsureInstalled(url()));
    EXPECT_EQ(runtime.javaExecutable(), javaHome() / "bin" / target().javaExecutable);
    EXPECT_EQ(readWholeFile(javaHome() / "release"), "21");
    EXPECT_TRUE(javaRuns(javaHome() / "bin" / "java"));
    EXPECT_FALSE(fs::exists(javaHome() / "bin" / "stale") ||
                 fs::exists(javaHome() / "lib" / "half-moved"));
    // The archive and the extraction folder are gone; nothing else is left in runtime/.
    EXPECT_EQ(std::distance(fs::directory_iterator(runtimeDir()), fs::directory_iterator()), 1);
    const fs::path windowless = javaHome() / "bin" / target().javaWindowlessExecutable;
    EXPECT_EQ(out.back(),
              L"[Java] Готово: " + platform::utf8ToWide(platform::pathToUtf8(windowless)) + L"\n");
    EXPECT_TRUE(errors.empty());
    server.resetCounters();
    EXPECT_TRUE(runtime.EnsureInstalled(url()));
    EXPECT_EQ(out.back(), L"[Java] Найдена локальная Java 21, скачивание не требуется.\n");
    EXPECT_EQ(server.requestsServed(), 0u);
}

} // namespace
} // namespace qbk
