#include "game/MinecraftInstaller.h"

#include "game/AssetIndex.h"
#include "game/FileBytes.h"
#include "game/SafeRelativePath.h"
#include "launch/HttpClient.h"
#include "platform/Digest.h"
#include "platform/Platform.h"

#include <cctype>
#include <thread>

namespace qbk {

namespace fs = std::filesystem;

namespace {

constexpr int kAssetThreads = 16;
constexpr int kDocumentAttempts = 3;

std::wstring wide(const std::string& utf8) {
    return platform::utf8ToWide(utf8);
}

void report(const StatusFn& status, const std::string& utf8Text, int percent) {
    if (status)
        status(wide(utf8Text), percent);
}

int jarThreadCount() {
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware == 0 ? 8 : static_cast<int>(hardware);
}

bool sameHex(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// A document id that becomes a single file name.
bool isPlainName(const std::string& id) {
    fs::path relative;
    return SafeRelativePath(id, relative) && id.find_first_of("/\\") == std::string::npos &&
           id != ".";
}

} // namespace

bool MinecraftInstaller::EnsureVanilla(const std::string& version, const StatusFn& status) {
    mcVersion = version;
    stats = {};
    nlohmann::json versionJson;
    if (!obtainVersionJson(status, versionJson))
        return false;
    if (!downloadGameFiles(versionJson, status))
        return false;
    if (!downloadAssets(versionJson, status))
        return false;
    platform::createDirectories(gameDir / "natives");
    return true;
}

bool MinecraftInstaller::obtainVersionJson(const StatusFn& status, nlohmann::json& versionJson) {
    const fs::path path = VersionJsonPath(mcVersion);
    if (!platform::pathExists(path) && !fetchVersionJson(status, path))
        return false;
    std::string bytes;
    if (!ReadFileBytes(path, bytes))
        return SetError("Не удалось прочитать " + platform::pathToUtf8(path));
    try {
        versionJson = nlohmann::json::parse(bytes);
    } catch (const nlohmann::json::exception& error) {
        return SetError(std::string("Битый JSON версии: ") + error.what());
    }
    return true;
}

bool MinecraftInstaller::fetchVersionJson(const StatusFn& status, const fs::path& path) {
    report(status, "Получение списка версий Minecraft...", 0);
    HttpClient client(limits_);
    std::string manifestBytes;
    if (!client.DownloadToString(endpoints_.mojangMeta + "/mc/game/version_manifest_v2.json",
                                 manifestBytes)) {
        return SetError("Не удалось получить список версий Minecraft: " + client.LastError);
    }
    ++stats.filesDownloaded;
    stats.bytesDownloaded += static_cast<std::int64_t>(manifestBytes.size());
    std::string url;
    std::string sha1;
    try {
        const auto manifest = nlohmann::json::parse(manifestBytes);
        for (const auto& entry : manifest.at("versions")) {
            if (entry.value("id", std::string()) == mcVersion) {
                url = entry.value("url", std::string());
                sha1 = entry.value("sha1", std::string());
                break;
            }
        }
    } catch (const nlohmann::json::exception& error) {
        return SetError(std::string("Некорректный список версий: ") + error.what());
    }
    if (url.empty())
        return SetError("Версия " + mcVersion + " не найдена у Mojang.");

    report(status, "Загрузка описания версии " + mcVersion + "...", 3);
    std::string body;
    std::string error;
    if (!fetchDocument(url, sha1, -1, body, error))
        return SetError("Не удалось скачать описание версии: " + error);
    if (!WriteFileBytes(path, body))
        return SetError("Не удалось сохранить описание версии на диск.");
    return true;
}

// Documents are checked before anyone writes them, so a bad answer never becomes the copy
// that later runs trust without a check.
bool MinecraftInstaller::fetchDocument(const std::string& url, const std::string& sha1,
                                       std::int64_t size, std::string& body, std::string& error) {
    HttpClient client(limits_);
    for (int attempt = 0; attempt < kDocumentAttempts && !stopRequested(); ++attempt) {
        if (!client.DownloadToString(url, body)) {
            error = client.LastError;
            continue;
        }
        ++stats.filesDownloaded;
        stats.bytesDownloaded += static_cast<std::int64_t>(body.size());
        if (size >= 0 && static_cast<std::int64_t>(body.size()) != size) {
            error = "размер " + std::to_string(body.size()) + " вместо " + std::to_string(size);
            continue;
        }
        if (!sha1.empty()) {
            platform::Digest digest(platform::HashAlgorithm::Sha1);
            digest.update(body);
            const std::string actual = digest.finishHex();
            if (actual.empty() || !sameHex(actual, sha1)) {
                error = "SHA-1 " + actual + " вместо " + sha1;
                continue;
            }
        }
        return true;
    }
    return false;
}

bool MinecraftInstaller::downloadGameFiles(const nlohmann::json& versionJson,
                                           const StatusFn& status) {
    std::vector<DownloadTask> tasks;
    if (!collectGameTasks(versionJson, tasks))
        return false;
    report(status, "Скачивание Minecraft " + mcVersion + "...", 5);
    beginDownloads(tasks, "Скачивание библиотек Minecraft", 25);
    // With a watch the bar and text follow bytes; file counts would only fight them.
    const PoolProgressFn progress = [this, &status](int done, int total) {
        if (status && total != 0 && !limits_.watch)
            report(status,
                   "Скачивание библиотек Minecraft (" + std::to_string(done) + "/" +
                       std::to_string(total) + ")",
                   done * 20 / total + 5);
    };
    std::string error;
    if (!runPool(tasks, jarThreadCount(), progress, error))
        return SetError("Ошибка загрузки Minecraft: " + error);
    return true;
}

bool MinecraftInstaller::downloadAssets(const nlohmann::json& versionJson, const StatusFn& status) {
    std::string indexBytes;
    try {
        if (!obtainAssetIndex(versionJson.at("assetIndex"), status, indexBytes))
            return false;
    } catch (const nlohmann::json::exception& error) {
        return SetError(std::string("Ошибка обработки ресурсов: ") + error.what());
    }
    std::vector<DownloadTask> tasks;
    std::string error;
    if (!AssetTasksFromIndex(indexBytes, endpoints_.mojangAssets, gameDir / "assets" / "objects",
                             tasks, error))
        return SetError("Ошибка обработки ресурсов: " + error);

    report(status, "Скачивание ресурсов игры (" + std::to_string(tasks.size()) + " файлов)...", 27);
    beginDownloads(tasks, "Скачивание ресурсов игры", 65);
    const PoolProgressFn progress = [this, &status](int done, int total) {
        if (status && total != 0 && !limits_.watch && (done % 50 == 0 || done == total))
            report(status,
                   "Скачивание ресурсов игры (" + std::to_string(done) + "/" +
                       std::to_string(total) + ")",
                   done * 38 / total + 27);
    };
    if (!runPool(tasks, kAssetThreads, progress, error))
        return SetError("Ошибка загрузки ресурсов: " + error);
    return true;
}

// Throws the JSON library's errors for a malformed assetIndex object.
bool MinecraftInstaller::obtainAssetIndex(const nlohmann::json& assetIndex, const StatusFn& status,
                                          std::string& indexBytes) {
    const std::string id = assetIndex.at("id").get<std::string>();
    if (!isPlainName(id))
        return SetError("Ошибка обработки ресурсов: недопустимый id индекса \"" + id + "\"");
    const fs::path path = gameDir / "assets" / "indexes" / platform::pathFromUtf8(id + ".json");
    if (ReadFileBytes(path, indexBytes))
        return true;

    report(status, "Загрузка списка ресурсов...", 26);
    std::string error;
    if (!fetchDocument(assetIndex.at("url").get<std::string>(),
                       assetIndex.value("sha1", std::string()),
                       assetIndex.value("size", std::int64_t{-1}), indexBytes, error))
        return SetError("Не удалось скачать индекс ресурсов: " + error);
    if (!WriteFileBytes(path, indexBytes))
        return SetError("Не удалось сохранить индекс ресурсов.");
    return true;
}

void MinecraftInstaller::beginDownloads(const std::vector<DownloadTask>& tasks,
                                        const std::string& text, int endPercent) {
    if (limits_.watch)
        limits_.watch->beginDownloads(wide(text), BytesToFetch(tasks), endPercent);
}

bool MinecraftInstaller::runPool(const std::vector<DownloadTask>& tasks, int threads,
                                 const PoolProgressFn& progress, std::string& error) {
    PoolRunResult run;
    const bool ok = DownloadAll(tasks, threads, progress, &run, {}, limits_);
    stats.filesDownloaded += run.downloaded;
    stats.filesSkipped += run.skipped;
    stats.bytesDownloaded += run.bytesDownloaded;
    error = run.firstError;
    return ok;
}

} // namespace qbk
