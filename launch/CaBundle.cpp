#include "launch/CaBundle.h"

#include "platform/Platform.h"

#include <array>
#include <cstdio>
#include <curl/curl.h>
#include <iostream>
#include <mutex>
#include <optional>

namespace qbk {

namespace {

std::mutex& bundleMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<const CaBundle::Blob>& sharedBlob() {
    static std::shared_ptr<const CaBundle::Blob> blob;
    return blob;
}

std::optional<std::string> readWholeFile(const std::filesystem::path& path) {
    std::FILE* file = platform::openFile(path, "rb");
    if (!file)
        return std::nullopt;
    std::string content;
    std::array<char, 64 * 1024> buffer{};
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), file)) > 0)
        content.append(buffer.data(), n);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return std::nullopt;
    return content;
}

void appendPem(std::string& blob, const std::string& pem) {
    blob += pem;
    if (!blob.empty() && blob.back() != '\n')
        blob += '\n';
}

std::shared_ptr<const CaBundle::Blob> buildBlob(const std::filesystem::path& extraFile) {
    const auto extra = readWholeFile(extraFile);
    if (!extra) {
        std::wcerr << L"[Launch] Не удалось прочитать файл сертификатов: "
                   << platform::utf8ToWide(platform::pathToUtf8(extraFile)) << std::endl;
        return nullptr;
    }
    auto blob = std::make_shared<CaBundle::Blob>();
    const auto systemPath = CaBundle::systemBundlePath();
    auto system = systemPath.empty() ? std::nullopt : readWholeFile(systemPath);
    if (!system) {
        // Windows: the ROOT store exported, as Schannel trusts only the blob once it is set.
        std::string store = platform::systemRootCertificatesPem();
        if (!store.empty())
            system = std::move(store);
    }
    if (system)
        appendPem(blob->pem, *system);
    else
        blob->needsNativeStore = true;
    appendPem(blob->pem, *extra);
    return blob;
}

} // namespace

void CaBundle::setExtraFile(const std::filesystem::path& pemFile) {
    auto blob = pemFile.empty() ? nullptr : buildBlob(pemFile);
    std::lock_guard lock(bundleMutex());
    sharedBlob() = std::move(blob);
}

std::shared_ptr<const CaBundle::Blob> CaBundle::current() {
    std::lock_guard lock(bundleMutex());
    return sharedBlob();
}

std::filesystem::path CaBundle::systemBundlePath() {
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    if (info && info->age >= CURLVERSION_SEVENTH && info->cainfo) {
        const std::filesystem::path builtIn = platform::pathFromUtf8(info->cainfo);
        if (platform::pathExists(builtIn))
            return builtIn;
    }
#ifdef _WIN32
    // No bundle file on Windows; a rooted POSIX path would name one on the current drive.
    return {};
#else
    static const char* const kKnownBundles[] = {
        "/etc/ssl/certs/ca-certificates.crt",                // Debian, Ubuntu
        "/etc/pki/tls/certs/ca-bundle.crt",                  // Fedora, RHEL
        "/etc/pki/ca-trust/extracted/pem/tls-ca-bundle.pem", // newer RHEL
        "/etc/ssl/ca-bundle.pem",                            // openSUSE
        "/etc/ssl/cert.pem",                                 // Alpine, macOS
    };
    for (const char* candidate : kKnownBundles) {
        const std::filesystem::path path = platform::pathFromUtf8(candidate);
        if (platform::pathExists(path))
            return path;
    }
    return {};
#endif
}

} // namespace qbk
