#pragma once

#include "tests/support/TestHttpServer.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <atomic>
#include <map>
#include <mutex>
#include <string>

namespace qbk::test {

// A loopback Modrinth for the client and panel tests, answering from the real project and
// version replies under the test data, with the hashes of the test's own jars.
class ModrinthFixture {
public:
    enum class IconKind { None, Png, Webp, Garbage };

    ModrinthFixture();

    // Makes a jar known: its SHA-1 maps to a version of the real project with that slug.
    void addMod(const std::string& sha1, const std::string& slug, const std::string& version,
                IconKind icon);
    // The first count API requests are refused with 429 and the given reset header.
    void refuseWithRateLimit(int count, int resetSeconds);
    void setDelayMs(int ms) { delayMs_ = ms; }

    QString apiBase() const { return QString::fromStdString(server_.url("/v2")); }
    QString siteBase() const { return QStringLiteral("https://modrinth.example"); }
    std::size_t requests(const std::string& prefix) const;
    int mostInFlight() const { return mostInFlight_.load(); }
    TestHttpServer& server() { return server_; }

    static QByteArray pngIcon();
    static QByteArray webpIcon();

private:
    void handle(const std::string& path, httplib::Response& response,
                const std::function<bool(httplib::Response&)>& answer);

    mutable std::mutex mutex_;
    std::map<std::string, QJsonObject> versionBySha1_;
    std::map<std::string, QJsonObject> projectById_;
    std::map<std::string, IconKind> iconByProject_;
    std::map<std::string, std::size_t> requestsByPath_;
    std::map<std::string, QJsonObject> realProjects_;
    QJsonObject realVersion_;
    int rateLimitLeft_ = 0;
    int resetSeconds_ = 1;
    std::atomic<int> delayMs_{0};
    std::atomic<int> inFlight_{0};
    std::atomic<int> mostInFlight_{0};
    TestHttpServer server_;
};

} // namespace qbk::test
