#include "game/NeoForgeInstaller.h"

#include "game/FileBytes.h"
#include "game/NeoForgeVersionList.h"
#include "launch/HttpClient.h"
#include "platform/ChildProcess.h"
#include "platform/Platform.h"

#include <algorithm>
#include <iostream>

namespace qbk {

namespace fs = std::filesystem;

namespace {

constexpr const char* kVersionListPath = "/api/maven/versions/releases/net/neoforged/neoforge";
constexpr const char* kLauncherProfilesStub = R"({"profiles":{},"version":3})";

void report(const StatusFn& status, const std::string& utf8Text, int percent) {
    if (status)
        status(platform::utf8ToWide(utf8Text), percent);
}

void writeToConsole(LogStream stream, const std::wstring& text) {
    std::ostream& out = stream == LogStream::Output ? std::cout : std::cerr;
    out << platform::wideToUtf8(text) << std::flush;
}

std::string neoForgeId(const std::string& version) {
    return "neoforge-" + version;
}

} // namespace

NeoForgeInstaller::NeoForgeInstaller(MinecraftInstaller& installer, std::string mavenBase,
                                     TargetPlatform target, LogFn log,
                                     std::chrono::milliseconds installerTimeLimit,
                                     TransferLimits limits)
    : installer_(installer), mavenBase_(std::move(mavenBase)), target_(std::move(target)),
      log_(log ? std::move(log) : LogFn(writeToConsole)), installerTimeLimit_(installerTimeLimit),
      limits_(limits) {}

fs::path NeoForgeInstaller::javaExecutable() const {
    return installer_.javaHome / "bin" / target_.javaExecutable;
}

bool NeoForgeInstaller::fail(const std::string& utf8Text) {
    installer_.lastError = platform::utf8ToWide(utf8Text);
    return false;
}

bool NeoForgeInstaller::InstallNeoForge(const std::string& mcVersion,
                                        const std::string& pinnedVersion, const StatusFn& status) {
    report(status,
           pinnedVersion.empty() ? "Поиск последней версии NeoForge..."
                                 : "Проверка версии NeoForge...",
           66);
    if (!ResolveNeoForgeVersion(mcVersion, pinnedVersion, installer_.neoForgeVersion))
        return false;
    const std::string& version = installer_.neoForgeVersion;
    const fs::path versionJson = installer_.VersionJsonPath(neoForgeId(version));
    // Present while an installer runs: a run stopped or killed midway may have written the
    // version file before its libraries, so that file is not trusted then.
    const fs::path unfinished =
        installer_.gameDir / platform::pathFromUtf8(neoForgeId(version) + ".unfinished");
    if (platform::pathExists(versionJson) && !platform::pathExists(unfinished))
        return true;
    platform::removeFile(versionJson);

    const std::string url = mavenBase_ + "/releases/net/neoforged/neoforge/" + version +
                            "/neoforge-" + version + "-installer.jar";
    const fs::path jar =
        installer_.gameDir / platform::pathFromUtf8("neoforge-installer-" + version + ".jar");
    report(status, "Скачивание установщика NeoForge " + version + "...", 67);
    if (limits_.watch)
        limits_.watch->beginDownloads(L"Скачивание установщика NeoForge", 0, 70);
    platform::createDirectories(installer_.gameDir);
    HttpClient http(limits_);
    if (!http.DownloadFile(url, jar))
        return fail(stopRequested() ? kStoppedText
                                    : "Не удалось скачать установщик NeoForge: " + http.LastError);

    WriteFileBytes(unfinished, version);
    const bool ran = RunNeoForgeInstaller(jar, status);
    platform::removeFile(jar);
    if (!ran)
        return false;
    platform::removeFile(unfinished);
    if (!platform::pathExists(versionJson))
        return fail("Установщик отработал, но " + platform::pathToUtf8(versionJson) +
                    " не появился.");
    return true;
}

bool NeoForgeInstaller::ResolveNeoForgeVersion(const std::string& mcVersion,
                                               const std::string& pinnedVersion,
                                               std::string& version) {
    std::string prefix;
    if (!releasePrefix(mcVersion, prefix))
        return false;
    std::vector<std::string> versions;
    if (!fetchVersionList(versions))
        return useInstalledAfterListFailure(pinnedVersion, version);

    if (!pinnedVersion.empty()) {
        for (const std::string& listed : versions)
            if (listed == pinnedVersion) {
                version = pinnedVersion;
                return true;
            }
        return fail("NeoForge " + pinnedVersion +
                    " не найден в репозитории. Проверь версию сервера.");
    }
    const std::string pick = LatestNeoForgeRelease(versions, prefix);
    if (pick.empty())
        return fail("Не найдено сборок NeoForge для Minecraft " + mcVersion);
    version = pick;
    return true;
}

// "1.21.1" gives "21.1.", "1.21" gives "21.0.".
bool NeoForgeInstaller::releasePrefix(const std::string& mcVersion, std::string& prefix) {
    const auto firstDot = mcVersion.find('.');
    if (firstDot == std::string::npos)
        return fail("Некорректная версия Minecraft \"" + mcVersion +
                    "\": ожидается вид 1.21.1, по ней выбирается ветка NeoForge.");
    const auto secondDot = mcVersion.find('.', firstDot + 1);
    const std::string minor =
        mcVersion.substr(firstDot + 1, secondDot == std::string::npos ? std::string::npos
                                                                      : secondDot - firstDot - 1);
    const std::string patch =
        secondDot == std::string::npos ? "0" : mcVersion.substr(secondDot + 1);
    prefix = minor + "." + patch + ".";
    return true;
}

bool NeoForgeInstaller::fetchVersionList(std::vector<std::string>& versions) {
    HttpClient http(limits_);
    std::string body;
    if (!http.DownloadToString(mavenBase_ + kVersionListPath, body))
        return fail("Не удалось получить список версий NeoForge: " + http.LastError);
    std::string error;
    if (!ParseNeoForgeVersionList(body, versions, error))
        return fail("Некорректный список версий NeoForge: " + error);
    return true;
}

// An unreachable repository must not keep an installed game from starting.
bool NeoForgeInstaller::useInstalledAfterListFailure(const std::string& pinnedVersion,
                                                     std::string& version) {
    if (pinnedVersion.empty() ||
        !platform::pathExists(installer_.VersionJsonPath(neoForgeId(pinnedVersion))))
        return false;
    log_(LogStream::Error, L"[NeoForge] " + installer_.lastError +
                               L" Использую установленный NeoForge " +
                               platform::utf8ToWide(pinnedVersion) + L".\n");
    installer_.lastError.clear();
    version = pinnedVersion;
    return true;
}

bool NeoForgeInstaller::RunNeoForgeInstaller(const fs::path& installerJar, const StatusFn& status) {
    report(status, "Установка NeoForge (это займёт минуту)...", 70);
    if (limits_.watch) // the installer downloads in its own process: no bytes to show
        limits_.watch->beginStep(L"Установка NeoForge: установщик скачивает и собирает файлы", 99);
    const fs::path java = javaExecutable();
    if (!platform::pathExists(java))
        return fail("Не найден " + target_.javaExecutable + ": " + platform::pathToUtf8(java));
    writeLauncherProfilesStub();
    for (const char* flag : {"--install-client", "--installClient"}) {
        switch (runInstallerOnce(installerJar, flag)) {
        case RunOutcome::Succeeded:
            return true;
        case RunOutcome::Failed:
            return false;
        case RunOutcome::Rejected:
            break;
        }
    }
    return fail("Установщик NeoForge завершился с ошибкой.");
}

NeoForgeInstaller::RunOutcome NeoForgeInstaller::runInstallerOnce(const fs::path& installerJar,
                                                                  const std::string& flag) {
    platform::ChildProcessSpec setup;
    setup.program = javaExecutable();
    setup.arguments = {"-jar", platform::pathToUtf8(installerJar), flag,
                       platform::pathToUtf8(installer_.gameDir)};
    setup.workingDirectory = installer_.gameDir;
    // Kept for diagnosis; the launcher has no console to show the installer's output.
    setup.outputFile = installer_.gameDir / "logs" / "neoforge-installer.log";
    platform::createDirectories(setup.outputFile.parent_path());
    platform::ChildProcess process;
    std::string startError;
    int systemError = 0;
    if (!process.start(setup, startError, systemError)) {
        fail("Не удалось запустить установщик NeoForge (код " + std::to_string(systemError) + ")");
        return RunOutcome::Failed;
    }
    int exitCode = 1; // also when the code cannot be read
    // Waited in short slices, so a stop ends the child within a slice.
    const auto deadline = std::chrono::steady_clock::now() + installerTimeLimit_;
    auto waited = platform::ChildProcess::WaitResult::StillRunning;
    while (waited == platform::ChildProcess::WaitResult::StillRunning && !stopRequested()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        waited = process.waitFor(std::min(left, std::chrono::milliseconds(100)), exitCode);
    }
    if (waited == platform::ChildProcess::WaitResult::StillRunning && stopRequested()) {
        process.kill();
        fail(kStoppedText);
        return RunOutcome::Failed;
    }
    if (waited == platform::ChildProcess::WaitResult::StillRunning) {
        process.kill();
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(installerTimeLimit_);
        fail("Установщик NeoForge не завершился за " + std::to_string(seconds.count()) +
             " с и был остановлен.");
        return RunOutcome::Failed;
    }
    if (waited == platform::ChildProcess::WaitResult::Failed)
        exitCode = 1;
    log_(LogStream::Output, L"[NeoForge] Установщик с " + platform::utf8ToWide(flag) +
                                L" завершился с кодом " + std::to_wstring(exitCode) + L"\n");
    return exitCode == 0 ? RunOutcome::Succeeded : RunOutcome::Rejected;
}

void NeoForgeInstaller::writeLauncherProfilesStub() const {
    const fs::path profiles = installer_.gameDir / "launcher_profiles.json";
    if (!platform::pathExists(profiles))
        WriteFileBytes(profiles, kLauncherProfilesStub); // the installer reports a missing one
}

} // namespace qbk
