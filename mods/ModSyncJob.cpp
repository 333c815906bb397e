#include "mods/ModSyncJob.h"

#include "launch/HexDigest.h"
#include "mods/ModDownloadCheck.h"
#include "mods/ModFileName.h"
#include "platform/Platform.h"

#include <iostream>

namespace qbk {

namespace fs = std::filesystem;

namespace {

std::wstring wide(const std::string& utf8) {
    return platform::utf8ToWide(utf8);
}

void writeToConsole(LogStream stream, const std::wstring& text) {
    std::ostream& out = stream == LogStream::Output ? std::cout : std::cerr;
    out << platform::wideToUtf8(text) << std::flush;
}

// A name that is not valid UTF-8 still gets a readable log line.
std::wstring printableName(const std::string& utf8) {
    const std::wstring converted = wide(utf8);
    return converted.empty() && !utf8.empty() ? L"<некорректный UTF-8>" : converted;
}

} // namespace

ModSyncJob::ModSyncJob(std::string manifestUrl, fs::path modsDir, LogFn log, TransferLimits limits)
    : manifestUrl_(std::move(manifestUrl)), modsDir_(std::move(modsDir)),
      log_(log ? std::move(log) : LogFn(writeToConsole)), http_(limits), watch_(limits.watch) {}

bool ModSyncJob::fetchModManifest(std::vector<ModManifestEntry>& entries) {
    entries.clear();
    std::string body;
    if (!http_.DownloadToString(manifestUrl_, body)) {
        error(L"[Mods] Не удалось скачать манифест: " + wide(http_.LastError) + L"\n");
        return false;
    }
    std::string reason;
    switch (ParseModManifest(body, entries, reason)) {
    case ManifestParseResult::Ok:
        return true;
    case ManifestParseResult::NotJson:
        error(L"[Mods] Манифест содержит некорректный JSON: " + wide(reason) + L"\n");
        return false;
    case ManifestParseResult::WrongShape:
        error(L"[Mods] Манифест неожиданного формата: " + wide(reason) + L"\n");
        return false;
    }
    return false;
}

int ModSyncJob::syncMods(const std::vector<ModManifestEntry>& entries) {
    platform::createDirectories(modsDir_);
    if (watch_) {
        std::int64_t bytes = 0;
        for (const ModManifestEntry& entry : entries) {
            const auto size =
                IsSafeModFileName(entry.fileName)
                    ? platform::fileSize(modsDir_ / platform::pathFromUtf8(entry.fileName))
                    : std::nullopt;
            if (IsSafeModFileName(entry.fileName) && !(size && *size == entry.sizeBytes))
                bytes += static_cast<std::int64_t>(entry.sizeBytes);
        }
        watch_->beginDownloads(L"Скачивание модов", bytes, 100);
    }
    int downloaded = 0;
    for (const ModManifestEntry& entry : entries) {
        const EntryOutcome outcome = syncEntry(entry);
        if (outcome == EntryOutcome::Failed)
            return -1;
        if (outcome == EntryOutcome::Downloaded)
            ++downloaded;
    }
    output(L"[Mods] Синхронизация завершена, скачано файлов: " + std::to_wstring(downloaded) +
           L"\n");
    return downloaded;
}

ModSyncJob::EntryOutcome ModSyncJob::syncEntry(const ModManifestEntry& entry) {
    const std::wstring name = printableName(entry.fileName);
    if (!IsSafeModFileName(entry.fileName)) {
        error(L"[Mods] Пропускаю мод с недопустимым именем файла: " + name + L"\n");
        return EntryOutcome::Skipped;
    }
    const fs::path target = modsDir_ / platform::pathFromUtf8(entry.fileName);
    const auto size = platform::fileSize(target);
    if (size && *size == entry.sizeBytes)
        return EntryOutcome::UpToDate;

    output(L"[Mods] Скачиваю: " + name + L" (" + (size ? L"устарел" : L"отсутствует") + L")\n");
    // The download goes to target + ".part" and replaces the target in one rename, so a file
    // that cannot be replaced (say, held open by a running game) stays as it was.
    if (!http_.DownloadVerified(entry.url, target, checkFor(entry, name))) {
        failure_ = name + L": " + wide(http_.LastError);
        error(L"[Mods] Ошибка скачивания " + failure_ + L"\n");
        return EntryOutcome::Failed;
    }
    return EntryOutcome::Downloaded;
}

DownloadCheck ModSyncJob::checkFor(const ModManifestEntry& entry, const std::wstring& name) const {
    if (!entry.sha256.empty() && !IsSha256Hex(entry.sha256))
        error(L"[Mods] У " + name + L" поле sha256 не является SHA-256, проверка пропущена: " +
              printableName(entry.sha256) + L"\n");
    // With the size checked too, a body cut short without a transport error is not installed.
    return ModDownloadCheck(entry.sha256, static_cast<std::int64_t>(entry.sizeBytes));
}

} // namespace qbk
