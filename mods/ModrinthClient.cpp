#include "mods/ModrinthClient.h"

#include "app/LauncherDir.h"
#include "app/ProjectInfo.h"
#include "app/Settings.h"
#include "launch/HttpClient.h"
#include "mods/ModIcon.h"
#include "mods/ModrinthReplies.h"
#include "mods/ZipUtils.h"
#include "platform/Platform.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <algorithm>

namespace qbk {

namespace {

// A 429 is retried a few times; a server that keeps refusing ends the chain like an error.
constexpr int kRateLimitRetries = 3;
constexpr qint64 kDefaultRateLimitWaitMs = 1000;

bool succeeded(const QNetworkReply& reply) {
    return reply.error() == QNetworkReply::NoError;
}

// The reply time-out as a bound on connecting and on a stalled transfer.
TransferLimits iconTransferLimits(std::chrono::milliseconds transferTimeout) {
    TransferLimits limits;
    limits.connectTimeout = transferTimeout;
    limits.lowSpeedWindow =
        std::max(std::chrono::seconds(1), std::chrono::ceil<std::chrono::seconds>(transferTimeout));
    return limits;
}

qint64 nowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

// Icon fetches wait on the network; on a pool of their own a slow icon host never holds up
// the self-check or anything else queued on the global pool.
QThreadPool& iconPool() {
    struct IconPool : QThreadPool {
        IconPool() { setMaxThreadCount(4); }
    };
    static IconPool pool;
    return pool;
}

} // namespace

ModrinthClient::Config ModrinthClient::defaultConfig() {
    const Endpoints endpoints = Settings::instance().endpoints();
    Config config;
    config.apiBase = QString::fromStdString(endpoints.modrinthApi) + QStringLiteral("/v2");
    config.siteBase = QString::fromStdString(endpoints.modrinthSite);
    config.cacheFile =
        QString::fromStdString(platform::pathToUtf8(LauncherDir() / "modcache.json"));
    config.userAgent = QString::fromStdString(project::modrinthUserAgent());
    return config;
}

ModrinthClient::ModrinthClient(QObject* parent) : ModrinthClient(defaultConfig(), parent) {}

ModrinthClient::ModrinthClient(Config config, QObject* parent)
    : QObject(parent), config_(std::move(config)), network_(new QNetworkAccessManager(this)),
      iconWorkers_(std::make_shared<IconWorkers>()) {
    iconWorkers_->client = this;
    iconWorkers_->limits = iconTransferLimits(config_.transferTimeout);
    iconWorkers_->userAgent = config_.userAgent.toStdString();
    qRegisterMetaType<ModInfo>();
}

ModrinthClient::~ModrinthClient() {
    iconWorkers_->stopping = true;
    const std::lock_guard lock(iconWorkers_->mutex);
    iconWorkers_->client = nullptr;
}

bool ModrinthClient::finishIconFetches(std::chrono::milliseconds timeout) {
    return iconPool().waitForDone(static_cast<int>(timeout.count()));
}

void ModrinthClient::scanFolder(const QString& folder) {
    // A new scan owns pending; chains of the old one still in flight finish quietly, those
    // not yet started are dropped.
    ++generation_;
    iconWorkers_->generation = generation_;
    queue_.clear();
    modsDir_ = folder;
    const ModCacheMap stored = readModCache(config_.cacheFile);
    for (auto it = stored.begin(); it != stored.end(); ++it) {
        if (!cache_.contains(it.key()))
            cache_.insert(it.key(), it.value());
    }

    const QStringList names =
        QDir(folder).entryList({QStringLiteral("*.jar")}, QDir::Files, QDir::Name);
    total_ = static_cast<int>(names.size());
    pending_ = 0;
    if (names.isEmpty()) {
        emit scanFinished(0);
        return;
    }
    for (const QString& name : names) {
        const CachedMod previous = cache_.value(name);
        CachedMod record = scanOne(folder, name);
        const bool known =
            !record.sha1.isEmpty() && record.sha1 == previous.sha1 && previous.info.resolved;
        cache_.insert(name, record);
        emit modFound(record.info);
        const Lookup lookup{generation_, name, record.sha1, known};
        if (known && !record.info.iconUrl.isEmpty()) {
            ++pending_;
            enqueue(lookup);
        } else if (!known && !record.sha1.isEmpty()) {
            ++pending_;
            enqueue(lookup);
        }
    }
    if (pending_ == 0)
        finishScan();
    else
        startQueuedChains();
}

CachedMod ModrinthClient::scanOne(const QString& folder, const QString& fileName) {
    const QString path = QDir(folder).filePath(fileName);
    const QFileInfo file(path);
    const qint64 size = file.size();
    const qint64 modified = file.lastModified().toMSecsSinceEpoch();

    CachedMod record = cache_.value(fileName);
    const bool unchanged =
        !record.sha1.isEmpty() && record.sizeBytes == size && record.modifiedMs == modified;
    if (!unchanged) {
        const QString sha1 = QString::fromStdString(
            sha1FileHex(platform::pathFromUtf8(path.toUtf8().toStdString())));
        // New content: what was learned about the old one no longer holds, and a failed
        // lookup must leave it unresolved so that the next scan asks again.
        if (sha1 != record.sha1)
            record.info = ModInfo{};
        record.sha1 = sha1;
        record.sizeBytes = record.sha1.isEmpty() ? -1 : size;
        record.modifiedMs = record.sha1.isEmpty() ? -1 : modified;
    }
    record.info.fileName = fileName;
    record.info.icon = QPixmap();
    if (record.info.title.isEmpty())
        record.info.title = fileName;
    return record;
}

void ModrinthClient::enqueue(Lookup lookup) {
    queue_.push_back(std::move(lookup));
}

void ModrinthClient::startQueuedChains() {
    while (inFlight_ < std::max(1, config_.maxChains) && !queue_.empty()) {
        const Lookup lookup = queue_.front();
        queue_.pop_front();
        ++inFlight_;
        if (lookup.iconOnly) {
            requestIcon(lookup);
        } else {
            send(lookup,
                 config_.apiBase +
                     QStringLiteral("/version_file/%1?algorithm=sha1").arg(lookup.sha1),
                 [this, lookup](QNetworkReply& reply) { onVersion(lookup, reply); });
        }
    }
}

void ModrinthClient::send(const Lookup& lookup, const QString& url, ReplyHandler handler,
                          int rateLimitRetries) {
    const qint64 waitMs = rateLimitedUntilMs_ - nowMs();
    if (waitMs > 0) {
        QTimer::singleShot(std::chrono::milliseconds(waitMs), this,
                           [this, lookup, url, handler, rateLimitRetries] {
                               send(lookup, url, handler, rateLimitRetries);
                           });
        return;
    }
    QNetworkRequest request{QUrl(url)};
    request.setRawHeader("User-Agent", config_.userAgent.toUtf8());
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(static_cast<int>(config_.transferTimeout.count()));
    QNetworkReply* reply = network_->get(request);
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, lookup, url, handler, rateLimitRetries] {
                reply->deleteLater();
                if (rateLimitRetries < kRateLimitRetries && waitForRateLimit(*reply)) {
                    send(lookup, url, handler, rateLimitRetries + 1);
                    return;
                }
                handler(*reply);
            });
}

bool ModrinthClient::waitForRateLimit(QNetworkReply& reply) {
    if (reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 429)
        return false;
    // Modrinth sends the seconds until its window resets; Retry-After is the generic form.
    bool ok = false;
    qint64 seconds = reply.rawHeader("X-Ratelimit-Reset").trimmed().toLongLong(&ok);
    if (!ok)
        seconds = reply.rawHeader("Retry-After").trimmed().toLongLong(&ok);
    const qint64 waitMs =
        std::clamp<qint64>(ok ? seconds * 1000 : kDefaultRateLimitWaitMs, 0,
                           static_cast<qint64>(config_.longestRateLimitWait.count()));
    rateLimitedUntilMs_ = std::max(rateLimitedUntilMs_, nowMs() + waitMs);
    return true;
}

CachedMod* ModrinthClient::recordFor(const Lookup& lookup) {
    auto it = cache_.find(lookup.fileName);
    if (it == cache_.end() || it->sha1 != lookup.sha1)
        return nullptr;
    return &*it;
}

void ModrinthClient::onVersion(const Lookup& lookup, QNetworkReply& reply) {
    CachedMod* record = recordFor(lookup);
    if (!succeeded(reply) || !record) {
        finishChain(lookup);
        return;
    }
    const QString projectId = readModrinthVersion(reply.readAll(), record->info);
    if (projectId.isEmpty()) {
        finishChain(lookup);
        return;
    }
    send(lookup, config_.apiBase + QStringLiteral("/project/") + QUrl::toPercentEncoding(projectId),
         [this, lookup](QNetworkReply& next) { onProject(lookup, next); });
}

void ModrinthClient::onProject(const Lookup& lookup, QNetworkReply& reply) {
    CachedMod* record = recordFor(lookup);
    if (!succeeded(reply) || !record) {
        finishChain(lookup);
        return;
    }
    readModrinthProject(reply.readAll(), config_.siteBase, record->info);
    report(lookup, *record);
    if (record->info.iconUrl.isEmpty())
        finishChain(lookup);
    else
        requestIcon(lookup);
}

void ModrinthClient::requestIcon(const Lookup& lookup) {
    const CachedMod* record = recordFor(lookup);
    const QUrl url(record ? record->info.iconUrl : QString());
    // Icons come from the API's own hosts over the web; nothing else is fetched.
    if (!url.isValid() ||
        (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http"))) {
        finishChain(lookup);
        return;
    }
    // Fetching and decoding run on a pool: through the window's network access every icon
    // of a rescan would cost the UI thread a request, its reply's events and a decode.
    iconPool().start(
        [workers = iconWorkers_, lookup, iconUrl = url.toString(QUrl::FullyEncoded).toStdString()] {
            const QImage image =
                workers->wants(lookup) ? workers->fetchIcon(iconUrl, lookup) : QImage();
            workers->post(lookup, image);
        });
}

bool ModrinthClient::IconWorkers::wants(const Lookup& lookup) const {
    return !stopping && generation == lookup.generation;
}

QImage ModrinthClient::IconWorkers::fetchIcon(const std::string& url, const Lookup& lookup) {
    std::unique_ptr<HttpClient> http;
    {
        const std::lock_guard lock(mutex);
        if (!idle.empty()) {
            http = std::move(idle.back());
            idle.pop_back();
        }
    }
    if (!http) {
        http = std::make_unique<HttpClient>(limits);
        http->setUserAgent(userAgent); // the API's hosts ask for the same contact
    }
    std::string body;
    const bool fetched = http->DownloadToString(
        url, body, [this, &lookup](std::int64_t, std::int64_t) { return wants(lookup); });
    {
        const std::lock_guard lock(mutex);
        // Kept for the next icon, so a host's connection is reused.
        idle.push_back(std::move(http));
    }
    // Decoded outside the lock: the other icon tasks and the client's end need not wait.
    if (!fetched)
        return {};
    return modIconImage(QByteArray::fromStdString(body));
}

void ModrinthClient::IconWorkers::post(const Lookup& lookup, const QImage& image) {
    const std::lock_guard lock(mutex);
    // A call still queued when the client goes is dropped with the client's events.
    if (ModrinthClient* target = client) {
        QMetaObject::invokeMethod(
            target, [target, lookup, image] { target->iconDecoded(lookup, image); },
            Qt::QueuedConnection);
    }
}

void ModrinthClient::iconDecoded(const Lookup& lookup, const QImage& image) {
    CachedMod* record = recordFor(lookup);
    if (record && !image.isNull()) {
        record->info.icon = QPixmap::fromImage(image);
        report(lookup, *record);
    }
    finishChain(lookup);
}

void ModrinthClient::report(const Lookup& lookup, const CachedMod& record) {
    if (lookup.generation == generation_)
        emit modUpdated(record.info);
}

void ModrinthClient::finishChain(const Lookup& lookup) {
    --inFlight_;
    if (lookup.generation == generation_) {
        --pending_;
        if (pending_ < 1)
            finishScan();
    } else if (pending_ < 1) {
        // A late reply of an earlier scan after the current one ended: keep what it learned.
        writeModCache(config_.cacheFile, cache_);
    }
    startQueuedChains();
}

void ModrinthClient::finishScan() {
    writeModCache(config_.cacheFile, cache_);
    emit scanFinished(total_);
}

} // namespace qbk
