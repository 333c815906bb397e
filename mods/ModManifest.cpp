#include "mods/ModManifest.h"

#include <cmath>
#include <nlohmann/json.hpp>

namespace qbk {

namespace {

using nlohmann::json;

bool readString(const json& element, const char* key, std::string& out, std::string& error) {
    const auto it = element.find(key);
    if (it == element.end())
        return true;
    if (!it->is_string()) {
        error = std::string("поле ") + key + " не строка";
        return false;
    }
    out = it->get<std::string>();
    return true;
}

bool readSize(const json& element, std::uint64_t& out, std::string& error) {
    const auto it = element.find("sizeBytes");
    if (it == element.end())
        return true;
    if (it->is_number_unsigned()) {
        out = it->get<std::uint64_t>();
        return true;
    }
    // Some writers put every number as a double: 1048576.0 is still a whole size.
    const double value = it->is_number_float() ? it->get<double>() : -1.0;
    if (value < 0 || value >= 18446744073709551616.0 || value != std::floor(value)) {
        error = "поле sizeBytes не целое неотрицательное число";
        return false;
    }
    out = static_cast<std::uint64_t>(value);
    return true;
}

bool readEntry(const json& element, ModManifestEntry& entry, std::string& error) {
    if (!element.is_object()) {
        error = "элемент mods не объект";
        return false;
    }
    return readString(element, "fileName", entry.fileName, error) &&
           readString(element, "url", entry.url, error) &&
           readSize(element, entry.sizeBytes, error) &&
           readString(element, "sha256", entry.sha256, error);
}

} // namespace

ManifestParseResult ParseModManifest(std::string_view body, std::vector<ModManifestEntry>& entries,
                                     std::string& error) {
    entries.clear();
    json root;
    try {
        root = json::parse(body.begin(), body.end(), nullptr, true, false);
    } catch (const json::exception& e) { // a number too large for a double is out_of_range
        error = e.what();
        return ManifestParseResult::NotJson;
    }
    const auto mods = root.is_object() ? root.find("mods") : root.end();
    if (!root.is_object() || mods == root.end() || !mods->is_array()) {
        error = "ожидался объект с массивом mods";
        return ManifestParseResult::WrongShape;
    }
    std::vector<ModManifestEntry> parsed;
    for (const json& element : *mods) {
        ModManifestEntry entry;
        if (!readEntry(element, entry, error))
            return ManifestParseResult::WrongShape;
        if (!entry.fileName.empty() && !entry.url.empty())
            parsed.push_back(std::move(entry));
    }
    entries = std::move(parsed);
    return ManifestParseResult::Ok;
}

} // namespace qbk
