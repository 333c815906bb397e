#include "game/AssetIndex.h"

#include "launch/HexDigest.h"

#include <cstdint>
#include <iostream>
#include <nlohmann/json.hpp>
#include <set>

namespace qbk {

namespace fs = std::filesystem;

namespace {

// Throws the JSON library's errors for malformed entries.
void collectTasks(const nlohmann::json& index, const std::string& objectsUrl,
                  const fs::path& objectsDir, std::vector<DownloadTask>& tasks) {
    std::set<std::string> taken;
    for (const auto& [name, entry] : index.at("objects").items()) {
        const std::string hash = entry.at("hash").get<std::string>();
        if (hash.size() < 2)
            continue;
        if (!IsSha1Hex(hash)) {
            // UTF-8 on the narrow stream: a wide stream in the C locale drops Cyrillic text.
            std::cerr << "[Minecraft] Пропущен ресурс с некорректным хешем: " << name << " ("
                      << hash << ")\n";
            continue;
        }
        if (!taken.insert(hash).second)
            continue;
        const std::string prefix = hash.substr(0, 2);
        tasks.push_back({objectsUrl + "/" + prefix + "/" + hash, objectsDir / prefix / hash,
                         entry.value("size", std::int64_t{-1}), hash});
    }
}

} // namespace

bool AssetTasksFromIndex(std::string_view indexBytes, const std::string& objectsUrl,
                         const fs::path& objectsDir, std::vector<DownloadTask>& tasks,
                         std::string& error) {
    const nlohmann::json index = nlohmann::json::parse(indexBytes, nullptr, false);
    if (!index.is_object()) {
        error = "индекс ресурсов не является JSON-объектом";
        return false;
    }
    std::vector<DownloadTask> collected;
    try {
        collectTasks(index, objectsUrl, objectsDir, collected);
    } catch (const nlohmann::json::exception& e) {
        error = e.what();
        return false;
    }
    tasks = std::move(collected);
    return true;
}

} // namespace qbk
