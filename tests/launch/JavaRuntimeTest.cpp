#include "launch/JavaRuntime.h"

#include "platform/Platform.h"
#include "tests/support/ArchiveBuilder.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace qbk {
namespace {

namespace fs = std::filesystem;
using test::ArchiveBuilder;
using test::readWholeFile;
using test::writeWholeFile;

const char* kJavaScript = "#!/bin/sh\necho 'openjdk version \"21.0.5\"' >&2\n";
const std::string kTop = "jdk-21.0.5+11-jre/";

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
    JavaRuntime makeRuntime() {
        return JavaRuntime(launcherDir, target(), [this](LogStream stream, const std::wstring& t) {
            (stream == LogStream::Output ? out : errors).push_back(t);
        });
    }

    // A release folder as Adoptium ships it, with the executables of the target's layout.
    ArchiveBuilder release(const std::string& top = kTop) const {
        ArchiveBuilder builder(target().runtimeArchiveFormat);
        builder.file(top + "bin/java", kJavaScript, 0755);
        if (target().javaExecutable != "java")
            builder.file(top + "bin/" + target().javaExecutable, kJavaScript, 0755)
                .file(top + "bin/" + target().javaWindowlessExecutable, kJavaScript, 0755);
        return builder.file(top + "lib/modules", test::incompressibleBytes(200000, 3))
            .file(top + "release", "JAVA_VERSION=\"21.0.5\"\n");
    }
    void serve(const ArchiveBuilder& builder) {
        ASSERT_TRUE(builder.write(dir / "served"));
        archiveBytes = readWholeFile(dir / "served");
    }

    fs::path runtimeDir() const { return launcherDir / "runtime"; }
    fs::path javaHome() const { return runtimeDir() / "java21"; }

    test::TestHttpServer server;
    test::TempDir dir;
    fs::path launcherDir = dir / "Лаунчер Квеллбрук";
    std::string archiveBytes;
    Serving serving = Serving::Whole;
    std::vector<std::wstring> out, errors;
};

INSTANTIATE_TEST_SUITE_P(Targets, JavaRuntimeTest,
                         ::testing::Values(TargetPlatform::windowsX64(),
                                           TargetPlatform::linuxX64()),
                         [](const auto& info) { return info.param.osName; });

TEST_P(JavaRuntimeTest, InstallClearsLeftoversMovesTheReleaseFolderAndIsThenFound) {
    // What an interrupted attempt leaves: an extraction folder and a half-moved Java home.
    writeWholeFile(runtimeDir() / "_extract_tmp" / "aaa-old-jdk" / "bin" / "stale", "old");
    writeWholeFile(runtimeDir() / "_extract_tmp" / "loose.txt", "old");
    writeWholeFile(javaHome() / "lib" / "half-moved", "partial");
    serve(release());
    JavaRuntime runtime = makeRuntime();
    EXPECT_FALSE(runtime.IsInstalled());
    ASSERT_TRUE(runtime.EnsureInstalled(url()));
    EXPECT_EQ(runtime.javaHome(), javaHome());
    EXPECT_EQ(runtime.javaExecutable(), javaHome() / "bin" / target().javaExecutable);
    EXPECT_EQ(readWholeFile(javaHome() / "release"), "JAVA_VERSION=\"21.0.5\"\n");
    EXPECT_TRUE(javaRuns(javaHome() / "bin" / "java"));
    EXPECT_FALSE(fs::exists(javaHome() / "lib" / "half-moved"));
    EXPECT_FALSE(fs::exists(javaHome() / "bin" / "stale"));
    // The archive and the extraction folder are gone; nothing else is left in runtime/.
    EXPECT_EQ(std::distance(fs::directory_iterator(runtimeDir()), fs::directory_iterator()), 1);
    ASSERT_GE(out.size(), 4u);
    EXPECT_EQ(out.front(), L"[Java] Java 21 не найдена, начинаю скачивание...\n");
    EXPECT_EQ(out[out.size() - 3], L"\r[Java] Скачивание: 100%   ");
    EXPECT_EQ(out[out.size() - 2], L"\n[Java] Скачивание завершено, распаковываю...\n");
    EXPECT_EQ(out.back(), L"[Java] Готово: " +
                              platform::utf8ToWide(platform::pathToUtf8(
                                  javaHome() / "bin" / target().javaWindowlessExecutable)) +
                              L"\n");
    EXPECT_TRUE(errors.empty());

    out.clear();
    archiveBytes.clear();
    EXPECT_TRUE(makeRuntime().EnsureInstalled(url()));
    EXPECT_EQ(out, std::vector<std::wstring>{
                       L"[Java] Найдена локальная Java 21, скачивание не требуется.\n"});
    EXPECT_EQ(server.requestsServed(), 1u);
}

TEST_P(JavaRuntimeTest, BrokenDownloadsInstallNothingAndTheNextAttemptRecovers) {
    serve(release());
    const std::string sound = archiveBytes;
    struct Case {
        std::string name, bytes, url;
        Serving serving;
        std::wstring error; // the start of the first error line
    };
    const std::wstring download = L"\n[Java] Ошибка скачивания: ";
    const std::wstring unpack = L"[Java] Ошибка распаковки архива.\n";
    serve(release().file("../escape.txt", "escaped"));
    const std::string escaping = archiveBytes;
    const Case cases[] = {
        {"truncated", sound.substr(0, sound.size() * 2 / 3), url(), Serving::Whole, unpack},
        {"escaping", escaping, url(), Serving::Whole, unpack},
        {"cut short", sound, url(), Serving::CutShort, download},
        {"not found", sound, server.url("/status/404"), Serving::Whole, download + L"HTTP"}};
    JavaRuntime runtime = makeRuntime();
    for (const Case& c : cases) {
        archiveBytes = c.bytes;
        serving = c.serving;
        errors.clear();
        EXPECT_FALSE(runtime.EnsureInstalled(c.url)) << c.name;
        EXPECT_FALSE(runtime.IsInstalled()) << c.name;
        EXPECT_FALSE(fs::exists(javaHome())) << c.name;
        EXPECT_FALSE(fs::exists(runtimeDir() / "_extract_tmp")) << c.name;
        ASSERT_FALSE(errors.empty()) << c.name;
        EXPECT_EQ(errors[0].rfind(c.error, 0), 0u) << c.name;
        if (c.error.rfind(download, 0) == 0) {
            EXPECT_GT(errors[0].size(), download.size() + 1) << c.name; // names the reason
            EXPECT_FALSE(fs::exists(runtimeDir() / target().runtimeArchiveName())) << c.name;
        }
    }
    EXPECT_FALSE(fs::exists(runtimeDir() / "escape.txt"));
    EXPECT_FALSE(fs::exists(launcherDir / "escape.txt"));
    archiveBytes = sound;
    serving = Serving::Whole;
    EXPECT_TRUE(runtime.EnsureInstalled(url()));
}

TEST_P(JavaRuntimeTest, ArchiveWithoutTopFolderAndWithoutLengthBecomesTheJavaHome) {
    serve(release(""));
    serving = Serving::Chunked;
    ASSERT_TRUE(makeRuntime().EnsureInstalled(url()));
    EXPECT_TRUE(javaRuns(javaHome() / "bin" / "java"));
    for (const auto& line : out)
        EXPECT_EQ(line.find(L"Скачивание:"), std::wstring::npos); // no percentages
}

} // namespace
} // namespace qbk
