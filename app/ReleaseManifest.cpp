#include "app/ReleaseManifest.h"

#include "platform/Signature.h"

#include <charconv>
#include <nlohmann/json.hpp>
#include <vector>

namespace qbk {

namespace {

std::optional<std::vector<unsigned long>> versionNumbers(std::string_view text) {
    std::vector<unsigned long> numbers;
    std::size_t at = 0;
    while (true) {
        const std::size_t dot = std::min(text.find('.', at), text.size());
        unsigned long value = 0;
        const auto [end, error] = std::from_chars(text.data() + at, text.data() + dot, value);
        if (dot == at || error != std::errc() || end != text.data() + dot)
            return std::nullopt;
        numbers.push_back(value);
        if (dot == text.size())
            return numbers;
        at = dot + 1;
    }
}

bool isSha256Hex(const std::string& text) {
    return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

} // namespace

std::optional<int> compareVersions(std::string_view a, std::string_view b) {
    auto left = versionNumbers(a);
    auto right = versionNumbers(b);
    if (!left || !right)
        return std::nullopt;
    const std::size_t length = std::max(left->size(), right->size());
    left->resize(length);
    right->resize(length);
    return *left < *right ? -1 : *left > *right ? 1 : 0;
}

std::optional<ReleaseManifest> parseReleaseManifest(std::string_view json, std::string& error) {
    const auto document = nlohmann::json::parse(json, nullptr, false);
    if (!document.is_object() || !document.contains("version") ||
        !document["version"].is_string() || !document.contains("packages") ||
        !document["packages"].is_object()) {
        error = "not a release manifest";
        return std::nullopt;
    }
    ReleaseManifest manifest;
    manifest.version = document["version"].get<std::string>();
    if (!versionNumbers(manifest.version)) {
        error = "malformed version " + manifest.version;
        return std::nullopt;
    }
    if (document.contains("notes") && document["notes"].is_string())
        manifest.notes = document["notes"].get<std::string>();
    for (const auto& [name, entry] : document["packages"].items()) {
        ReleasePackage package;
        if (entry.is_object() && entry.value("url", nlohmann::json()).is_string() &&
            entry.value("size", nlohmann::json()).is_number_unsigned() &&
            entry.value("sha256", nlohmann::json()).is_string()) {
            package = {entry["url"].get<std::string>(), entry["size"].get<std::int64_t>(),
                       entry["sha256"].get<std::string>()};
        }
        if (package.url.rfind("https://", 0) != 0 && package.url.rfind("http://", 0) != 0) {
            error = "package " + name + " has no usable url, size and sha256";
            return std::nullopt;
        }
        if (!isSha256Hex(package.sha256) || package.size <= 0) {
            error = "package " + name + " has a malformed size or sha256";
            return std::nullopt;
        }
        manifest.packages.emplace(name, std::move(package));
    }
    return manifest;
}

std::string_view ownPackageName() {
#ifdef _WIN32
    return "windows-x64";
#else
    return "linux-x64";
#endif
}

UpdateOffer evaluateRelease(std::string_view manifest, std::string_view signatureBase64,
                            std::string_view publicPoint, std::string_view currentVersion,
                            std::string_view packageName) {
    UpdateOffer offer;
    const auto signature = platform::decodeBase64(signatureBase64);
    if (!signature || !platform::verifyEcdsaP256Sha256(manifest, *signature, publicPoint)) {
        offer.reason = "the manifest's signature does not verify against the trusted key";
        return offer;
    }
    auto parsed = parseReleaseManifest(manifest, offer.reason);
    if (!parsed)
        return offer;
    offer.version = parsed->version;
    offer.notes = parsed->notes;
    const auto package = parsed->packages.find(std::string(packageName));
    if (package == parsed->packages.end()) {
        offer.verdict = UpdateOffer::Verdict::NotNewer;
        offer.reason = "no " + std::string(packageName) + " package in release " + offer.version;
        return offer;
    }
    offer.package = package->second;
    const auto order = compareVersions(offer.version, currentVersion);
    offer.verdict =
        order && *order > 0 ? UpdateOffer::Verdict::Newer : UpdateOffer::Verdict::NotNewer;
    if (offer.verdict == UpdateOffer::Verdict::NotNewer)
        offer.reason =
            "release " + offer.version + " is not newer than " + std::string(currentVersion);
    return offer;
}

} // namespace qbk
