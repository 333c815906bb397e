#include "launch/HttpClient.h"

#include "app/ProjectInfo.h"
#include "launch/CaBundle.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <curl/curl.h>
#include <mutex>
#include <optional>

namespace qbk {

namespace fs = std::filesystem;

namespace {

constexpr long kMaxRedirects = 10;
constexpr const char* kAllowedProtocols = "http,https";

void ensureGlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] {
        curl_global_init(CURL_GLOBAL_ALL);
        std::atexit([] { curl_global_cleanup(); });
    });
}

bool isSuccessCode(long code) {
    return code >= 200 && code <= 299;
}

std::string httpCodeText(long code) {
    return "HTTP код ответа: " + std::to_string(code);
}

std::string openFailureText(const fs::path& path) {
    return "Не удалось открыть файл назначения: " + platform::pathToUtf8(path);
}

// A full disk is named as such: libcurl would only say that it failed writing.
std::string writeFailureText(const fs::path& path, int error) {
    if (error == ENOSPC)
        return "Недостаточно места на диске: " + platform::pathToUtf8(path);
    return "Не удалось записать файл назначения: " + platform::pathToUtf8(path);
}

// libcurl's text for a failed transfer, except for a write that failed on our side, whose
// own error says more.
std::string transferFailureText(CURLcode result, int writeError, const fs::path& path) {
    if (result == CURLE_WRITE_ERROR && writeError != 0)
        return writeFailureText(path, writeError);
    return curl_easy_strerror(result);
}

// A plain download's sink; keeps the error of a failed write for the report.
struct FileSink {
    std::FILE* file = nullptr;
    int writeError = 0;
};

std::size_t writeToFile(char* data, std::size_t size, std::size_t count, void* userdata) {
    auto& sink = *static_cast<FileSink*>(userdata);
    const std::size_t written = std::fwrite(data, size, count, sink.file);
    if (written != count)
        sink.writeError = errno;
    return written * size;
}

// Closes the file; false, with the error kept unless one is kept already, when the buffered
// tail could not be written.
bool closeFile(std::FILE* file, int& writeError) {
    if (std::fclose(file) == 0)
        return true;
    if (writeError == 0)
        writeError = errno;
    return false;
}

struct StringSink {
    std::string* body = nullptr;
    std::int64_t sizeLimit = 0;
    bool oversized = false;
};

std::size_t appendToString(char* data, std::size_t size, std::size_t count, void* target) {
    auto& sink = *static_cast<StringSink*>(target);
    if (static_cast<std::int64_t>(sink.body->size() + size * count) > sink.sizeLimit) {
        sink.oversized = true;
        return 0;
    }
    try {
        sink.body->append(data, size * count);
        return size * count;
    } catch (...) {
        return 0; // out of memory: a short count fails the transfer
    }
}

bool startsWithHttps(const std::string& url) {
    static constexpr std::string_view kHttps = "https://";
    return url.size() >= kHttps.size() &&
           std::equal(kHttps.begin(), kHttps.end(), url.begin(), [](char a, char b) {
               return a == std::tolower(static_cast<unsigned char>(b));
           });
}

} // namespace

// One transfer's progress: the caller's callable and the limits' watch, which sees each new
// block and can stop the transfer.
struct HttpClient::Progress {
    ProgressFn* callable = nullptr;
    TransferWatch* watch = nullptr;
    std::int64_t counted = 0;

    // A failed attempt's bytes are not part of what the run has.
    void takeBack() {
        if (watch && counted != 0)
            watch->received(-counted, 0);
        counted = 0;
    }
};

namespace {

int progressAdapter(void* data, curl_off_t downloadTotal, curl_off_t downloadNow, curl_off_t,
                    curl_off_t) {
    auto& progress = *static_cast<HttpClient::Progress*>(data);
    try {
        if (progress.watch) {
            if (progress.watch->stopRequested())
                return 1;
            if (downloadNow > progress.counted) {
                progress.watch->received(downloadNow - progress.counted, downloadTotal);
                progress.counted = downloadNow;
            }
        }
        return !progress.callable || (*progress.callable)(downloadNow, downloadTotal) ? 0 : 1;
    } catch (...) {
        return 1; // an exception must not unwind through libcurl
    }
}

// The verified download's sink: writes, counts and hashes, and refuses bytes beyond the
// expected size so that a wrong answer cannot fill the disk.
struct VerifiedSink {
    std::FILE* file = nullptr;
    std::int64_t sizeLimit = -1;
    std::optional<platform::Digest> digest;
    std::int64_t received = 0;
    bool oversized = false;
    int writeError = 0;
};

std::size_t writeVerified(char* data, std::size_t size, std::size_t count, void* userdata) {
    auto& sink = *static_cast<VerifiedSink*>(userdata);
    const std::size_t bytes = size * count;
    if (sink.sizeLimit >= 0 && sink.received + static_cast<std::int64_t>(bytes) > sink.sizeLimit) {
        sink.oversized = true;
        return 0;
    }
    if (std::fwrite(data, 1, bytes, sink.file) != bytes) {
        sink.writeError = errno;
        return 0;
    }
    if (sink.digest)
        sink.digest->update(data, bytes);
    sink.received += static_cast<std::int64_t>(bytes);
    return bytes;
}

const char* algorithmName(platform::HashAlgorithm algorithm) {
    return algorithm == platform::HashAlgorithm::Sha1 ? "SHA-1" : "SHA-256";
}

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string sizeMismatchText(std::int64_t expected, const std::string& received) {
    return "Размер не совпадает: ожидалось " + std::to_string(expected) + " байт, получено " +
           received;
}

// Empty when the streamed file passes every check; otherwise the reason.
std::string contentFailure(VerifiedSink& sink, const DownloadCheck& check) {
    if (check.expectedSize >= 0 && sink.received != check.expectedSize)
        return sizeMismatchText(check.expectedSize, std::to_string(sink.received));
    if (check.expectedHex.empty())
        return {};
    const std::string name = algorithmName(check.algorithm);
    const std::string actual = sink.digest->finishHex();
    if (actual.empty())
        return "Не удалось вычислить " + name;
    if (lowercase(actual) != lowercase(check.expectedHex))
        return name + " не совпадает: ожидалось " + check.expectedHex + ", получено " + actual;
    return {};
}

} // namespace

void HttpClient::HandleDeleter::operator()(void* handle) const {
    curl_easy_cleanup(handle);
}

HttpClient::HttpClient() : HttpClient(TransferLimits{}) {}

HttpClient::HttpClient(TransferLimits limits) : limits_(limits) {
    ensureGlobalInit();
}

HttpClient::~HttpClient() = default;
HttpClient::HttpClient(HttpClient&&) noexcept = default;
HttpClient& HttpClient::operator=(HttpClient&&) noexcept = default;

void HttpClient::setExtraCaBundle(const fs::path& pemFile) {
    CaBundle::setExtraFile(pemFile);
}

bool HttpClient::prepareHandle() {
    if (handle_) {
        curl_easy_reset(handle_.get()); // keeps the connection cache
        return true;
    }
    handle_.reset(curl_easy_init());
    if (!handle_) {
        LastError = "curl_easy_init failed";
        return false;
    }
    return true;
}

void HttpClient::setRequestOptions(const std::string& url) {
    static const std::string launcherUserAgent(project::kUserAgent);
    CURL* curl = handle_.get();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(curl, CURLOPT_USERAGENT,
                     userAgent_.empty() ? launcherUserAgent.c_str() : userAgent_.c_str());
    // URLs come from servers' documents: never let them reach file:// or other schemes, and
    // never let a redirect take an https request to plain http.
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, kAllowedProtocols);
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR,
                     startsWithHttps(url) ? "https" : kAllowedProtocols);
    // Time-outs must not raise signals: several clients run on several threads.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(limits_.connectTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, limits_.lowSpeedBytesPerSecond);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME,
                     static_cast<long>(limits_.lowSpeedWindow.count()));
    if (const auto bundle = CaBundle::current()) {
        curl_blob blob{const_cast<char*>(bundle->pem.data()), bundle->pem.size(), CURL_BLOB_COPY};
        curl_easy_setopt(curl, CURLOPT_CAINFO_BLOB, &blob);
        if (bundle->needsNativeStore)
            curl_easy_setopt(curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NATIVE_CA));
    }
}

void HttpClient::setProgressOptions(ProgressFn& progress) {
    progress_ = std::make_unique<Progress>();
    progress_->callable = progress ? &progress : nullptr;
    progress_->watch = limits_.watch;
    if (!progress_->callable && !progress_->watch)
        return;
    CURL* curl = handle_.get();
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, progressAdapter);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, progress_.get());
}

// A transfer that failed because the run was stopped says so, not libcurl's abort text.
void HttpClient::failed(std::string text) {
    if (progress_)
        progress_->takeBack();
    LastError = limits_.watch && limits_.watch->stopRequested() ? kStoppedText : std::move(text);
}

long HttpClient::responseCode() const {
    long code = 0;
    curl_easy_getinfo(handle_.get(), CURLINFO_RESPONSE_CODE, &code);
    return code;
}

bool HttpClient::DownloadFile(const std::string& url, const fs::path& destination,
                              ProgressFn progress) {
    if (!prepareHandle())
        return false;
    FileSink sink;
    sink.file = platform::openFile(destination, "wb");
    if (!sink.file) {
        LastError = openFailureText(destination);
        return false;
    }
    CURL* curl = handle_.get();
    setRequestOptions(url);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeToFile);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    setProgressOptions(progress);

    const CURLcode result = curl_easy_perform(curl);
    // The last buffered block reaches the disk only here; a failed close is a lost tail.
    const bool closed = closeFile(sink.file, sink.writeError);
    std::string failure;
    if (result != CURLE_OK)
        failure = transferFailureText(result, sink.writeError, destination);
    else if (const long code = responseCode(); !isSuccessCode(code))
        failure = httpCodeText(code);
    else if (!closed)
        failure = writeFailureText(destination, sink.writeError);
    if (!failure.empty()) {
        failed(std::move(failure));
        platform::removeFile(destination);
        return false;
    }
    return true;
}

bool HttpClient::DownloadToString(const std::string& url, std::string& body, ProgressFn progress) {
    if (!prepareHandle())
        return false;
    body.clear();
    CURL* curl = handle_.get();
    setRequestOptions(url);
    StringSink sink{&body, limits_.maxDocumentBytes};
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendToString);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    setProgressOptions(progress);

    const CURLcode result = curl_easy_perform(curl);
    const long code = responseCode();
    if (sink.oversized) {
        failed("Ответ сервера больше " + std::to_string(limits_.maxDocumentBytes) + " байт");
        return false;
    }
    if (result != CURLE_OK) {
        failed(curl_easy_strerror(result));
        return false;
    }
    if (!isSuccessCode(code)) {
        failed(httpCodeText(code));
        body.clear();
        return false;
    }
    return true;
}

bool HttpClient::DownloadVerified(const std::string& url, const fs::path& target,
                                  const DownloadCheck& check, ProgressFn progress) {
    LastFailureWasMismatch = false;
    if (!prepareHandle())
        return false;
    fs::path partial = target;
    partial += ".part";
    VerifiedSink sink;
    sink.file = platform::openFile(partial, "wb");
    if (!sink.file) {
        LastError = openFailureText(partial);
        return false;
    }
    sink.sizeLimit = check.expectedSize;
    if (!check.expectedHex.empty())
        sink.digest.emplace(check.algorithm);

    CURL* curl = handle_.get();
    setRequestOptions(url);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeVerified);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    setProgressOptions(progress);

    const CURLcode result = curl_easy_perform(curl);
    const bool closed = closeFile(sink.file, sink.writeError);
    const long code = responseCode();

    std::string failure;
    bool mismatch = false;
    if (result != CURLE_OK && !sink.oversized) {
        failure = transferFailureText(result, sink.writeError, partial);
    } else if (!isSuccessCode(code)) {
        failure = httpCodeText(code);
    } else if (sink.oversized) {
        failure = sizeMismatchText(check.expectedSize, "больше");
        mismatch = true;
    } else if (!closed) {
        failure = writeFailureText(partial, sink.writeError);
    } else {
        failure = contentFailure(sink, check);
        mismatch = !failure.empty();
    }
    if (failure.empty() && !platform::moveReplace(partial, target))
        failure = "Не удалось заменить файл: " + platform::pathToUtf8(target);

    if (!failure.empty()) {
        platform::removeFile(partial);
        failed(std::move(failure));
        LastFailureWasMismatch = mismatch;
        return false;
    }
    return true;
}

} // namespace qbk
