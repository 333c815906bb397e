#pragma once

#include "launch/HttpClient.h"
#include "launch/TransferLimits.h"
#include "mods/ModCache.h"
#include "mods/ModInfo.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

namespace qbk {

// Identifies the jars of the mods folder through the Modrinth API and reports each one as
// soon as something is known. Hashing runs inside scanFolder on the calling thread; the
// lookups run asynchronously, at most maxChains at a time, within Modrinth's rate limit; icons
// are fetched and decoded on a thread pool of their own.
class ModrinthClient : public QObject {
    Q_OBJECT

public:
    struct Config {
        QString apiBase;   // ".../v2", no trailing slash
        QString siteBase;  // "https://modrinth.com"
        QString cacheFile; // "modcache.json"
        QString userAgent;
        int maxChains = 4;
        std::chrono::milliseconds transferTimeout{15000};
        std::chrono::milliseconds longestRateLimitWait{60000};
    };

    // The launcher's own endpoints, user agent and cache beside the executable.
    static Config defaultConfig();

    explicit ModrinthClient(QObject* parent = nullptr);
    ModrinthClient(Config config, QObject* parent);
    ~ModrinthClient() override;

    void scanFolder(const QString& folder);

    // The record of a file as last known in this run (for tests and the panel).
    ModInfo info(const QString& fileName) const { return cache_.value(fileName).info; }
    int pending() const { return pending_; }
    int chainsInFlight() const { return inFlight_; }

signals:
    void modFound(qbk::ModInfo info);
    void modUpdated(qbk::ModInfo info);
    void scanFinished(int total);

public:
    // Waits for the icon fetches of clients that are gone; true when none is left. Called
    // at exit, so that a silent icon host cannot keep the process alive.
    static bool finishIconFetches(std::chrono::milliseconds timeout);

private:
    struct Lookup {
        int generation = 0;
        QString fileName;
        QString sha1;
        bool iconOnly = false;
    };
    using ReplyHandler = std::function<void(QNetworkReply&)>;
    // Shared with the icon tasks on the pool: their HTTP clients, and the client to post to
    // while it lives.
    struct IconWorkers {
        // Whether the icon is still wanted: not by a client that is gone or that began
        // another scan. A fetch in progress aborts as soon as it is not.
        bool wants(const Lookup& lookup) const;
        QImage fetchIcon(const std::string& url, const Lookup& lookup);
        void post(const Lookup& lookup, const QImage& image);

        std::mutex mutex;
        ModrinthClient* client = nullptr;
        std::atomic<int> generation{0};
        std::atomic<bool> stopping{false};
        TransferLimits limits;
        std::string userAgent;
        std::vector<std::unique_ptr<HttpClient>> idle;
    };

    CachedMod scanOne(const QString& folder, const QString& fileName);
    void enqueue(Lookup lookup);
    void startQueuedChains();
    void send(const Lookup& lookup, const QString& url, ReplyHandler handler,
              int rateLimitRetries = 0);
    bool waitForRateLimit(QNetworkReply& reply);
    void onVersion(const Lookup& lookup, QNetworkReply& reply);
    void onProject(const Lookup& lookup, QNetworkReply& reply);
    void iconDecoded(const Lookup& lookup, const QImage& image);
    void requestIcon(const Lookup& lookup);
    // The record this reply may change: none when the file's content changed meanwhile.
    CachedMod* recordFor(const Lookup& lookup);
    void report(const Lookup& lookup, const CachedMod& record);
    void finishChain(const Lookup& lookup);
    void finishScan();

    Config config_;
    QNetworkAccessManager* network_;
    ModCacheMap cache_;
    QString modsDir_;
    int generation_ = 0;
    int pending_ = 0;
    int total_ = 0;
    int inFlight_ = 0;
    std::deque<Lookup> queue_;
    qint64 rateLimitedUntilMs_ = 0;
    std::shared_ptr<IconWorkers> iconWorkers_;
};

} // namespace qbk
