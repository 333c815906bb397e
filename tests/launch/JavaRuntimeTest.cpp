#include "launch/JavaRuntime.h"

#include "tests/support/ArchiveBuilder.h"
#include "tests/support/QuietWatch.h"
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
const auto javaRuns = [](const fs::path& java) {
#ifdef _WIN32 // no shell runs the script there: its bytes arrived whole
    return readWholeFile(java) == kJavaScript;
#else
    return std::system(("'" + java.string() + "' -version 2>/dev/null").c_str()) == 0;
#endif
};
// Serves archiveBytes at the target's Adoptium path, with or without a length.
class JavaRuntimeTest : public ::testing::TestWithParam<TargetPlatform> {
protected:
    void SetUp() override {
        server.get(target().runtimeDownloadPath, [this](const auto&, auto& response, const auto&) {
            if (!chunked)
                return response.set_content(archiveBytes, "application/octet-stream");
            response.set_chunked_content_provider(
                "application/octet-stream", [this](auto, auto& s) {
                    return s.write(archiveBytes.data(), archiveBytes.size()) && (s.done(), true);
                });
        });
    }
    const TargetPlatform& target() const { return GetParam(); }
    std::string url() const { return JavaRuntime::downloadUrl(server.baseUrl(), target()); }
    // Without a top folder, only folders at the root: no order of listing them hides one.
    std::string release(const std::string& top, const std::string& extra = "") const {
        test::ArchiveBuilder builder(target().runtimeArchiveFormat);
        for (const std::string& name : std::set<std::string>{"java", target().javaExecutable,
                                                             target().javaWindowlessExecutable})
            builder.file(top + "bin/" + name, kJavaScript, 0755);
        builder.file(top + "lib/modules", test::incompressibleBytes(200000, 3));
        if (!top.empty())
            builder.file(top + "release", "21");
        if (!extra.empty())
            builder.file(extra, "escaped");
        EXPECT_TRUE(builder.write(dir / "served"));
        return readWholeFile(dir / "served");
    }
    void serve(std::string bytes, bool withoutLength = false) {
        archiveBytes = std::move(bytes);
        chunked = withoutLength;
        errors.clear();
    }
    fs::path runtimeDir() const { return launcherDir / "runtime"; }
    fs::path javaHome() const { return runtimeDir() / "java21"; }
    test::TestHttpServer server;
    test::TempDir dir;
    fs::path launcherDir = dir / "Лаунчер Квеллбрук";
    std::string archiveBytes;
    bool chunked = false;
    std::vector<std::wstring> out, errors;
    JavaRuntime runtime{launcherDir, target(), [this](LogStream stream, const std::wstring& t) {
                            (stream == LogStream::Output ? out : errors).push_back(t);
                        }};
};
INSTANTIATE_TEST_SUITE_P(Targets, JavaRuntimeTest,
                         ::testing::Values(TargetPlatform::windowsX64(),
                                           TargetPlatform::linuxX64()),
                         [](const auto& info) { return info.param.osName; });
// (An installed runtime is used without a download: the e2e warm second start.)
TEST_P(JavaRuntimeTest, BrokenDownloadsInstallNothingAndAWholeReleaseIsMovedInPlace) {
    const std::string top = "jdk-21.0.5+11-jre/", sound = release(top);
    const std::wstring download = L"\n[Java] Ошибка скачивания: ",
                       unpack = L"[Java] Ошибка распаковки архива.\n";
    // served bytes, URL, the start of the first error line
    const std::tuple<std::string, std::string, std::wstring> cases[] = {
        {sound.substr(0, sound.size() * 2 / 3), url(), unpack},
        {release(top, "../escape.txt"), url(), unpack},
        {sound, server.url("/status/404"), download + L"HTTP"}};
    for (const auto& [bytes, from, error] : cases) {
        serve(bytes);
        EXPECT_FALSE(runtime.EnsureInstalled(from) || runtime.IsInstalled() ||
                     fs::exists(javaHome()) || fs::exists(runtimeDir() / "_extract_tmp"))
            << from;
        // A download error names why, and leaves no archive behind.
        EXPECT_TRUE(!errors.empty() && errors[0].starts_with(error) &&
                    (error == unpack || !fs::exists(runtimeDir() / target().runtimeArchiveName())))
            << from;
    }
    EXPECT_FALSE(fs::exists(runtimeDir() / "escape.txt") || fs::exists(launcherDir / "escape.txt"));
    // Without a top folder and without a length, the archive's root becomes the Java home.
    serve(release(""), true);
    ASSERT_TRUE(runtime.EnsureInstalled(url()));
    EXPECT_TRUE(javaRuns(javaHome() / "bin" / "java") && fs::exists(javaHome() / "lib/modules"));
    // What an interrupted attempt leaves: an extraction folder and a half-moved Java home.
    fs::remove(javaHome() / "bin" / target().javaWindowlessExecutable); // no longer installed
    writeWholeFile(javaHome() / "lib" / "half-moved", "partial");
    writeWholeFile(runtimeDir() / "_extract_tmp" / "aaa-old-jdk" / "bin" / "stale", "old");
    writeWholeFile(runtimeDir() / "_extract_tmp" / "loose.txt", "old");
    serve(sound);
    ASSERT_TRUE(runtime.EnsureInstalled(url()));
    EXPECT_TRUE(javaRuns(javaHome() / "bin" / "java"));
    EXPECT_FALSE(fs::exists(javaHome() / "bin" / "stale") ||
                 fs::exists(javaHome() / "lib" / "half-moved"));
    // The archive and the extraction folder are gone; nothing else is left in runtime/.
    EXPECT_EQ(std::distance(fs::directory_iterator(runtimeDir()), fs::directory_iterator()), 1);
    EXPECT_TRUE(errors.empty());
}
// A stop seen once unpacking began leaves runtime/ empty, and the next run installs.
TEST_P(JavaRuntimeTest, AStopDuringUnpackingLeavesNothingAndTheNextRunInstalls) {
    struct StopOnUnpacking : test::QuietWatch {
        bool stopRequested() const override { return unpacking; }
        void beginStep(const std::wstring&, int) override { unpacking = true; }
        bool unpacking = false;
    } watch;
    serve(release("jdk-21/"));
    JavaRuntime stopped(launcherDir, target(), [](auto, const auto&) {}, {.watch = &watch});
    EXPECT_FALSE(stopped.EnsureInstalled(url()));
    EXPECT_TRUE(watch.unpacking && fs::is_empty(runtimeDir()) && stopped.failure().empty());
    EXPECT_TRUE(runtime.EnsureInstalled(url()) && javaRuns(javaHome() / "bin" / "java"));
}
} // namespace
} // namespace qbk
