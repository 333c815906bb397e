#pragma once

#include "launch/DownloadCheck.h"
#include "launch/TransferLimits.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace qbk {

// Bytes received so far and the announced total (0 while unknown); false aborts the transfer.
using ProgressFn = std::function<bool(std::int64_t received, std::int64_t total)>;

// Blocking HTTP(S) transfers on libcurl's easy interface. One instance serves one thread at a
// time and keeps one easy handle, so its consecutive transfers reuse the open connection.
// Only http and https are followed, for the request and for every redirect.
class HttpClient {
public:
    HttpClient();
    explicit HttpClient(TransferLimits limits);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;
    HttpClient(HttpClient&&) noexcept;
    HttpClient& operator=(HttpClient&&) noexcept;

    // True when the whole body of a 2xx answer is in the file; otherwise the file is deleted.
    bool DownloadFile(const std::string& url, const std::filesystem::path& destination,
                      ProgressFn progress = {});
    // True on a 2xx answer of at most the limits' maxDocumentBytes. After a transport
    // failure body holds what had arrived.
    bool DownloadToString(const std::string& url, std::string& body, ProgressFn progress = {});
    // Streams into target + ".part", hashing on the way, and replaces target only when the
    // answer is 2xx and the size and digest of the check match; otherwise target is untouched.
    bool DownloadVerified(const std::string& url, const std::filesystem::path& target,
                          const DownloadCheck& check, ProgressFn progress = {});

    // Certificates trusted by every transfer of the process in addition to the system's;
    // an empty path trusts the system only. Thread-safe.
    static void setExtraCaBundle(const std::filesystem::path& pemFile);

    // Sent instead of the launcher's own User-Agent (some APIs ask for a contact in it).
    void setUserAgent(std::string userAgent) { userAgent_ = std::move(userAgent); }

    // Text of the latest failure (UTF-8); a success leaves it unchanged. A transfer stopped
    // through the limits' watch reports kStoppedText.
    std::string LastError;
    // After DownloadVerified failed: whether the body arrived but did not match its check
    // (size or digest), rather than the transfer itself failing.
    bool LastFailureWasMismatch = false;

    struct Progress;

private:
    struct HandleDeleter {
        void operator()(void* handle) const;
    };

    bool prepareHandle();
    void setRequestOptions(const std::string& url);
    void setProgressOptions(ProgressFn& progress);
    long responseCode() const;
    void failed(std::string text);

    TransferLimits limits_;
    std::string userAgent_;
    std::unique_ptr<void, HandleDeleter> handle_;
    std::unique_ptr<Progress> progress_;
};

} // namespace qbk
