#include "mods/ModDownloadJob.h"

#include "launch/HexDigest.h"
#include "launch/HttpClient.h"
#include "mods/ModDownloadCheck.h"
#include "mods/ModFileName.h"
#include "mods/ModsFolderLock.h"
#include "platform/Platform.h"

#include <QSet>
#include <algorithm>
#include <atomic>
#include <iostream>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace qbk {

namespace {

DownloadCheck checkFor(const ServerMod& entry) {
    const std::string sha256 = entry.sha256.toStdString();
    if (!sha256.empty() && !IsSha256Hex(sha256))
        std::cerr << "[Mods] У " << entry.fileName.toStdString()
                  << " поле sha256 не является SHA-256, проверка пропущена\n";
    return ModDownloadCheck(sha256, entry.sizeBytes);
}

// Two threads must never write the same file: a name listed twice is downloaded once.
QList<ServerMod> withoutRepeatedNames(QList<ServerMod> entries) {
    QSet<QString> seen;
    entries.removeIf([&seen](const ServerMod& entry) {
        const bool repeated = seen.contains(entry.fileName);
        seen.insert(entry.fileName);
        return repeated;
    });
    return entries;
}

} // namespace

ModDownloadJob::ModDownloadJob(QList<ServerMod> entries, std::filesystem::path modsDir,
                               TransferLimits limits)
    : entries_(withoutRepeatedNames(std::move(entries))), modsDir_(std::move(modsDir)),
      limits_(limits) {}

ModDownloadResult ModDownloadJob::run() const {
    ModDownloadResult result;
    if (entries_.isEmpty())
        return result;
    const auto lock = ModsFolderLock::acquire();
    platform::createDirectories(modsDir_);

    std::atomic<qsizetype> next{0};
    std::atomic<int> downloaded{0};
    std::atomic<bool> failed{false};
    std::mutex errorMutex;
    auto worker = [&] {
        for (qsizetype i = next++; i < entries_.size() && !failed; i = next++) {
            QString error;
            if (download(entries_.at(i), error)) {
                ++downloaded;
                continue;
            }
            std::lock_guard guard(errorMutex);
            if (!failed.exchange(true))
                result.firstError = error;
        }
    };
    const int threadCount = static_cast<int>(std::min<qsizetype>(kThreads, entries_.size()));
    std::vector<std::thread> threads;
    for (int i = 0; i < threadCount; ++i) {
        try {
            threads.emplace_back(worker);
        } catch (const std::system_error&) {
            break; // fewer threads then, or this one alone
        }
    }
    if (threads.empty())
        worker();
    for (std::thread& thread : threads)
        thread.join();
    result.ok = !failed;
    result.downloaded = downloaded;
    return result;
}

bool ModDownloadJob::download(const ServerMod& entry, QString& error) const {
    const std::string name = entry.fileName.toStdString();
    const std::string url = entry.url.toStdString();
    if (!IsSafeModFileName(name)) {
        error = entry.url + QStringLiteral(" -> недопустимое имя файла");
        return false;
    }
    const std::filesystem::path target = modsDir_ / platform::pathFromUtf8(name);
    const DownloadCheck check = checkFor(entry);
    HttpClient http(limits_);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (http.DownloadVerified(url, target, check))
            return true;
    }
    std::cerr << "[Mods] Ошибка скачивания " << name << ": " << http.LastError << "\n";
    error = entry.url + QStringLiteral(" -> ") + QString::fromStdString(http.LastError);
    return false;
}

} // namespace qbk
