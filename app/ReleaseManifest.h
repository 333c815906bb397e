#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace qbk {

// One downloadable build of the launcher as the release manifest names it.
struct ReleasePackage {
    std::string url;
    std::int64_t size = -1;
    std::string sha256; // 64 lower-case hex digits
};

// "latest.json": {"version", "notes", "packages": {"windows-x64": {...}, "linux-x64": {...}}}.
struct ReleaseManifest {
    std::string version;
    std::string notes;
    std::map<std::string, ReleasePackage> packages;
};

// Nullopt with a reason when the text is no manifest or a field is missing or malformed.
std::optional<ReleaseManifest> parseReleaseManifest(std::string_view json, std::string& error);

// Dot-separated decimal numbers compared as numbers (1.0.10 after 1.0.9; 1.0 equals 1.0.0);
// nullopt when either is not such a version.
std::optional<int> compareVersions(std::string_view a, std::string_view b);

// The uncompressed P-256 point every manifest must be signed for: the release key, or the
// test key in a build made with QBK_TRUST_TEST_UPDATE_KEY. Never read from the INI.
std::string_view trustedUpdateKey();
// "windows-x64" or "linux-x64": the package this build installs.
std::string_view ownPackageName();

// What a fetched manifest means for this launcher.
struct UpdateOffer {
    enum class Verdict { Newer, NotNewer, Rejected };
    Verdict verdict = Verdict::Rejected;
    std::string reason; // why it was rejected or ignored (for the log)
    std::string version;
    std::string notes;
    ReleasePackage package;
};

// The signature (Base64 of the DER) is checked over the exact manifest bytes before anything
// of them is read; then the version and the package of the given platform are picked.
UpdateOffer evaluateRelease(std::string_view manifest, std::string_view signatureBase64,
                            std::string_view publicPoint, std::string_view currentVersion,
                            std::string_view packageName);

} // namespace qbk
