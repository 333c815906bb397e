#include "launch/JavaRuntime.h"

#include "platform/Platform.h"
#include "tests/mods/ArchiveBuilder.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <utility>
#include <vector>

namespace qbk {
namespace {

namespace fs = std::filesystem;
using test::ArchiveBuilder;
using test::TempDir;
using test::TestHttpServer;

const char* kJavaScript = "#!/bin/sh\n"
                          "echo 'openjdk version \"21.0.5\" 2024-10-15 LTS' >&2\n";
const std::string kTop = "jdk-21.0.5+11-jre/";

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

std::wstring wide(const fs::path& path) {
    return platform::utf8ToWide(platform::pathToUtf8(path));
}

bool javaRuns(const fs::path& java) {
    const std::string command = "'" + java.string() + "' -version 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

// The server is declared first, so the runtime's client closes its connection before the
// server stops. The launcher folder has a Cyrillic name, as a player's may.
class JavaRuntimeTest : public ::testing::TestWithParam<TargetPlatform> {
protected:
    void SetUp() override {
        server.get(target().runtimeDownloadPath,
                   [this](const httplib::Request&, httplib::Response& response, const auto&) {
                       ++downloads;
                       response.set_content(archiveBytes, "application/octet-stream");
                   });
    }

    const TargetPlatform& target() const { return GetParam(); }
    RuntimeArchiveFormat format() const { return target().runtimeArchiveFormat; }
    std::string url() const { return JavaRuntime::downloadUrl(server.baseUrl(), target()); }

    JavaRuntime makeRuntime() {
        return JavaRuntime(
            launcherDir, target(),
            [this](LogStream stream, const std::wstring& text) { log.emplace_back(stream, text); });
    }

    // A release folder as Adoptium ships it, with the executables of the target's layout.
    ArchiveBuilder releaseArchive() const {
        ArchiveBuilder builder(format());
        builder.directory(kTop).file(kTop + "bin/java", kJavaScript, 0755);
        if (target().javaWindowlessExecutable != "java") {
            builder.file(kTop + "bin/" + target().javaExecutable, kJavaScript, 0755)
                .file(kTop + "bin/" + target().javaWindowlessExecutable, kJavaScript, 0755);
        }
        builder.file(kTop + "lib/modules", test::incompressibleBytes(200000, 3))
            .file(kTop + "release", "JAVA_VERSION=\"21.0.5\"\n");
        return builder;
    }

    void serve(const ArchiveBuilder& builder) {
        const fs::path file = dir / "served.archive";
        ASSERT_TRUE(builder.write(file));
        archiveBytes = readFile(file);
    }

    std::vector<std::wstring> lines(LogStream stream) const {
        std::vector<std::wstring> out;
        for (const auto& [s, text] : log)
            if (s == stream)
                out.push_back(text);
        return out;
    }

    bool logged(LogStream stream, const std::wstring& text) const {
        for (const auto& line : lines(stream))
            if (line == text)
                return true;
        return false;
    }

    fs::path runtimeDir() const { return launcherDir / "runtime"; }
    fs::path javaHome() const { return runtimeDir() / "java21"; }
    fs::path archiveFile() const { return runtimeDir() / target().runtimeArchiveName(); }

    TestHttpServer server;
    TempDir dir;
    fs::path launcherDir = dir / "Лаунчер Квеллбрук";
    std::string archiveBytes;
    std::atomic<int> downloads{0};
    std::vector<std::pair<LogStream, std::wstring>> log;
};

INSTANTIATE_TEST_SUITE_P(Targets, JavaRuntimeTest,
                         ::testing::Values(TargetPlatform::windowsX64(),
                                           TargetPlatform::linuxX64()),
                         [](const auto& info) { return info.param.osName; });

TEST_P(JavaRuntimeTest, FreshInstallDownloadsUnpacksAndMovesTheReleaseFolder) {
    serve(releaseArchive());
    JavaRuntime runtime = makeRuntime();
    EXPECT_FALSE(runtime.IsInstalled());
    ASSERT_TRUE(runtime.EnsureInstalled(url()));

    EXPECT_EQ(downloads, 1);
    EXPECT_TRUE(runtime.IsInstalled());
    EXPECT_EQ(runtime.javaHome(), javaHome());
    EXPECT_TRUE(fs::is_regular_file(javaHome() / "bin" / target().javaExecutable));
    EXPECT_EQ(readFile(javaHome() / "release"), "JAVA_VERSION=\"21.0.5\"\n");
    EXPECT_TRUE(javaRuns(javaHome() / "bin" / "java"));
    // The archive and the extraction folder are gone; nothing else is left in runtime/.
    EXPECT_FALSE(fs::exists(archiveFile()));
    EXPECT_FALSE(fs::exists(runtimeDir() / "_extract_tmp"));
    EXPECT_EQ(std::distance(fs::directory_iterator(runtimeDir()), fs::directory_iterator()), 1);

    const auto out = lines(LogStream::Output);
    ASSERT_GE(out.size(), 4u);
    EXPECT_EQ(out.front(), L"[Java] Java 21 не найдена, начинаю скачивание...\n");
    EXPECT_EQ(out[out.size() - 3], L"\r[Java] Скачивание: 100%   ");
    EXPECT_EQ(out[out.size() - 2], L"\n[Java] Скачивание завершено, распаковываю...\n");
    EXPECT_EQ(out.back(), L"[Java] Готово: " + wide(runtime.windowlessExecutable()) + L"\n");
    EXPECT_TRUE(lines(LogStream::Error).empty());
}

TEST_P(JavaRuntimeTest, InstalledRuntimeMakesNoRequest) {
    writeFile(javaHome() / "bin" / target().javaWindowlessExecutable, "present");
    JavaRuntime runtime = makeRuntime();
    EXPECT_TRUE(runtime.EnsureInstalled(url()));
    EXPECT_EQ(server.requestsServed(), 0u);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].second, L"[Java] Найдена локальная Java 21, скачивание не требуется.\n");
}

TEST_P(JavaRuntimeTest, StaleExtractionFolderIsClearedFirst) {
    writeFile(runtimeDir() / "_extract_tmp" / "aaa-old-jdk" / "bin" / "stale", "old");
    writeFile(runtimeDir() / "_extract_tmp" / "loose.txt", "old");
    serve(releaseArchive());
    JavaRuntime runtime = makeRuntime();
    ASSERT_TRUE(runtime.EnsureInstalled(url()));
    EXPECT_TRUE(fs::exists(javaHome() / "lib" / "modules"));
    EXPECT_FALSE(fs::exists(javaHome() / "bin" / "stale"));
    EXPECT_FALSE(fs::exists(runtimeDir() / "_extract_tmp"));
}

TEST_P(JavaRuntimeTest, JavaHomeWithoutExecutableIsReplaced) {
    // What an interrupted move leaves behind.
    writeFile(javaHome() / "lib" / "half-moved", "partial");
    serve(releaseArchive());
    JavaRuntime runtime = makeRuntime();
    ASSERT_TRUE(runtime.EnsureInstalled(url()));
    EXPECT_FALSE(fs::exists(javaHome() / "lib" / "half-moved"));
    EXPECT_TRUE(runtime.IsInstalled());
    EXPECT_TRUE(lines(LogStream::Error).empty());
}

TEST_P(JavaRuntimeTest, ArchiveWithoutTopFolderBecomesTheJavaHome) {
    ArchiveBuilder builder(format());
    builder.file("bin/" + target().javaWindowlessExecutable, kJavaScript, 0755)
        .file("bin/java", kJavaScript, 0755)
        .file("lib/modules", "m");
    serve(builder);
    JavaRuntime runtime = makeRuntime();
    ASSERT_TRUE(runtime.EnsureInstalled(url()));
    EXPECT_TRUE(fs::exists(javaHome() / "lib" / "modules"));
    EXPECT_TRUE(javaRuns(javaHome() / "bin" / "java"));
}

TEST_P(JavaRuntimeTest, TruncatedArchiveFailsAndInstallsNothing) {
    serve(releaseArchive());
    archiveBytes.resize(archiveBytes.size() * 2 / 3);
    JavaRuntime runtime = makeRuntime();
    EXPECT_FALSE(runtime.EnsureInstalled(url()));
    EXPECT_FALSE(runtime.IsInstalled());
    EXPECT_FALSE(fs::exists(javaHome()));
    EXPECT_FALSE(fs::exists(runtimeDir() / "_extract_tmp"));
    EXPECT_TRUE(logged(LogStream::Error, L"[Java] Ошибка распаковки архива.\n"));
    // The next attempt, with a sound archive, recovers.
    serve(releaseArchive());
    log.clear();
    EXPECT_TRUE(runtime.EnsureInstalled(url()));
    EXPECT_TRUE(runtime.IsInstalled());
}

TEST_P(JavaRuntimeTest, TransferCutShortIsADownloadError) {
    serve(releaseArchive());
    server.get(target().runtimeDownloadPath, [this](const httplib::Request&,
                                                    httplib::Response& response, const auto&) {
        response.set_content_provider(archiveBytes.size(), "application/octet-stream",
                                      [this](std::size_t, std::size_t, httplib::DataSink& sink) {
                                          sink.write(archiveBytes.data(), archiveBytes.size() / 2);
                                          return false; // drops the connection mid-body
                                      });
    });
    JavaRuntime runtime = makeRuntime();
    EXPECT_FALSE(runtime.EnsureInstalled(url()));
    EXPECT_FALSE(fs::exists(archiveFile()));
    EXPECT_FALSE(fs::exists(javaHome()));
    const auto errors = lines(LogStream::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind(L"\n[Java] Ошибка скачивания: ", 0), 0u);
    EXPECT_GT(errors[0].size(), std::wstring(L"\n[Java] Ошибка скачивания: \n").size());
}

TEST_P(JavaRuntimeTest, NotFoundIsADownloadError) {
    const std::string missing = server.url("/status/404");
    JavaRuntime runtime = makeRuntime();
    EXPECT_FALSE(runtime.EnsureInstalled(missing));
    EXPECT_FALSE(fs::exists(archiveFile()));
    EXPECT_FALSE(runtime.IsInstalled());
    const auto errors = lines(LogStream::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind(L"\n[Java] Ошибка скачивания: ", 0), 0u);
    EXPECT_NE(errors[0].find(L"404"), std::wstring::npos);
}

TEST_P(JavaRuntimeTest, UnknownLengthGivesNoPercentages) {
    serve(releaseArchive());
    server.get(target().runtimeDownloadPath,
               [this](const httplib::Request&, httplib::Response& response, const auto&) {
                   response.set_chunked_content_provider(
                       "application/octet-stream", [this](std::size_t, httplib::DataSink& sink) {
                           sink.write(archiveBytes.data(), archiveBytes.size());
                           sink.done();
                           return true;
                       });
               });
    JavaRuntime runtime = makeRuntime();
    ASSERT_TRUE(runtime.EnsureInstalled(url()));
    for (const auto& line : lines(LogStream::Output))
        EXPECT_EQ(line.find(L"Скачивание:"), std::wstring::npos);
}

TEST_P(JavaRuntimeTest, InstallsTheMirrorsRuntimeArchive) {
#ifndef QBK_PYTHON3
    GTEST_SKIP() << "python3 not found at configure time";
#else
    // The archives the local mirror serves at the Adoptium paths, at a hundredth of the size.
    const fs::path mirror = dir / "mirror";
    const std::string command = std::string(QBK_PYTHON3) +
                                " -c \"import sys; sys.path.insert(0, sys.argv[1]); "
                                "import runtime_archive; "
                                "runtime_archive.write_mirror_archives(sys.argv[2], 100)\" '" +
                                QBK_MIRROR_TOOL_DIR + "' '" + mirror.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_TRUE(server.mount("/mirror", mirror));
    JavaRuntime runtime = makeRuntime();
    ASSERT_TRUE(runtime.EnsureInstalled(JavaRuntime::downloadUrl(server.url("/mirror"), target())));
    EXPECT_TRUE(javaRuns(runtime.javaHome() / "bin" / "java"));
    const fs::path license = runtime.javaHome() / "legal" / "java.desktop" / "LICENSE";
    EXPECT_EQ(fs::is_symlink(license), target().osName == "linux");
    EXPECT_FALSE(readFile(license).empty());
#endif
}

TEST(JavaRuntimeUrl, AdoptiumBaseAndTargetPath) {
    EXPECT_EQ(JavaRuntime::downloadUrl("https://api.adoptium.net", TargetPlatform::windowsX64()),
              "https://api.adoptium.net/v3/binary/latest/21/ga/windows/x64/jre/hotspot/normal/"
              "eclipse");
    EXPECT_EQ(JavaRuntime::downloadUrl("http://127.0.0.1:8080", TargetPlatform::linuxX64()),
              "http://127.0.0.1:8080/v3/binary/latest/21/ga/linux/x64/jre/hotspot/normal/eclipse");
}

TEST(JavaRuntimePaths, ExecutablesFollowTheTarget) {
    const JavaRuntime windows("base", TargetPlatform::windowsX64(),
                              [](LogStream, const std::wstring&) {});
    EXPECT_EQ(windows.javaExecutable(), fs::path("base/runtime/java21/bin/java.exe"));
    EXPECT_EQ(windows.windowlessExecutable(), fs::path("base/runtime/java21/bin/javaw.exe"));
    const JavaRuntime linuxRuntime("base", TargetPlatform::linuxX64(),
                                   [](LogStream, const std::wstring&) {});
    EXPECT_EQ(linuxRuntime.windowlessExecutable(), fs::path("base/runtime/java21/bin/java"));
}

} // namespace
} // namespace qbk
