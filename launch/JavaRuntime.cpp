#include "launch/JavaRuntime.h"

#include "mods/ZipUtils.h"
#include "platform/Platform.h"

#include <iostream>

namespace qbk {

namespace fs = std::filesystem;

namespace {

std::wstring wide(const std::string& utf8) {
    return platform::utf8ToWide(utf8);
}

std::wstring wide(const fs::path& path) {
    return platform::utf8ToWide(platform::pathToUtf8(path));
}

void writeToConsole(LogStream stream, const std::wstring& text) {
    std::ostream& out = stream == LogStream::Output ? std::cout : std::cerr;
    out << platform::wideToUtf8(text) << std::flush;
}

// The release folder when the archive holds exactly one top-level folder, as Adoptium's
// archives do; otherwise the whole extraction folder is the Java home.
fs::path folderToMove(const fs::path& extractDir) {
    const auto entries = platform::listDirectory(extractDir);
    if (entries.size() == 1 && entries.front().isDirectory)
        return extractDir / entries.front().name;
    return extractDir;
}

} // namespace

JavaRuntime::JavaRuntime(fs::path launcherDir, TargetPlatform target, LogFn log,
                         TransferLimits limits)
    : baseDir_(std::move(launcherDir)), javaHome_(baseDir_ / "runtime" / "java21"),
      target_(std::move(target)), http_(limits), log_(log ? std::move(log) : writeToConsole),
      watch_(limits.watch) {}

fs::path JavaRuntime::javaExecutable() const {
    return javaHome_ / "bin" / target_.javaExecutable;
}

fs::path JavaRuntime::windowlessExecutable() const {
    return javaHome_ / "bin" / target_.javaWindowlessExecutable;
}

bool JavaRuntime::IsInstalled() const {
    return platform::pathExists(windowlessExecutable()) &&
           !platform::isDirectory(windowlessExecutable());
}

std::string JavaRuntime::downloadUrl(const std::string& adoptiumBase,
                                     const TargetPlatform& target) {
    return adoptiumBase + target.runtimeDownloadPath;
}

bool JavaRuntime::EnsureInstalled(const std::string& url) {
    if (IsInstalled()) {
        output(L"[Java] Найдена локальная Java 21, скачивание не требуется.\n");
        return true;
    }
    output(L"[Java] Java 21 не найдена, начинаю скачивание...\n");
    platform::createDirectories(runtimeDir());
    const fs::path archive = runtimeDir() / target_.runtimeArchiveName();
    const fs::path extractDir = runtimeDir() / "_extract_tmp";
    if (!download(url, archive))
        return false;
    // A stopped run unpacks nothing; the archive is whole and the next run fetches it again.
    if (watch_ && watch_->stopRequested()) {
        platform::removeFile(archive);
        return false;
    }
    if (watch_)
        watch_->beginStep(L"Распаковка Java 21", 100);
    if (!unpack(archive, extractDir) || !moveIntoPlace(extractDir))
        return false;
    platform::removeFile(archive);
    platform::removeTree(extractDir);
    if (!IsInstalled())
        return false;
    output(L"[Java] Готово: " + wide(windowlessExecutable()) + L"\n");
    return true;
}

bool JavaRuntime::download(const std::string& url, const fs::path& archive) {
    int lastPercent = -1;
    auto progress = [this, &lastPercent](std::int64_t received, std::int64_t total) {
        if (total < 1)
            return true;
        const int percent = static_cast<int>(received * 100 / total);
        if (percent != lastPercent) {
            lastPercent = percent;
            output(L"\r[Java] Скачивание: " + std::to_wstring(percent) + L"%   ");
        }
        return true;
    };
    if (watch_)
        watch_->beginDownloads(L"Скачивание Java 21", 0, 85);
    if (!http_.DownloadFile(url, archive, progress)) {
        failure_ = wide(http_.LastError);
        error(L"\n[Java] Ошибка скачивания: " + failure_ + L"\n");
        return false;
    }
    output(L"\n[Java] Скачивание завершено, распаковываю...\n");
    return true;
}

bool JavaRuntime::unpack(const fs::path& archive, const fs::path& extractDir) {
    // A folder left by an earlier failed attempt would otherwise be taken for this one.
    platform::removeTree(extractDir);
    std::string reason;
    if (!extractRuntimeArchive(archive, extractDir, target_.runtimeArchiveFormat, &reason,
                               watch_)) {
        // Stopped midway: the staging folder is gone; the archive goes as after a stopped download.
        if (reason == kStoppedText) {
            platform::removeFile(archive);
            output(L"[Java] Распаковка прервана.\n");
            return false;
        }
        failure_ = L"Ошибка распаковки архива: " + wide(reason);
        error(L"[Java] Ошибка распаковки архива.\n");
        error(L"[Java] " + wide(reason) + L"\n");
        return false;
    }
    return true;
}

bool JavaRuntime::moveIntoPlace(const fs::path& extractDir) {
    // Only reached when the executable is missing: what is there is an interrupted move.
    if (platform::pathExists(javaHome_))
        platform::removeTree(javaHome_);
    if (!platform::moveReplace(folderToMove(extractDir), javaHome_)) {
        failure_ = L"Не удалось перенести распакованные файлы, код: " +
                   std::to_wstring(platform::lastSystemError());
        error(L"[Java] " + failure_ + L"\n");
        return false;
    }
    return true;
}

} // namespace qbk
