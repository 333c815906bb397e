#pragma once
#include "mods/ModrinthClient.h"
#include "mods/ZipUtils.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"

#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <map>
#include <mutex>
#include <webp/encode.h>
namespace qbk::test {
// A loopback Modrinth answering from the real project and version replies of the test data,
// with the hashes of the test's own jars; it counts requests.
class ModrinthFixture {
public:
    enum class Icon { None, Png, Webp, Garbage };
    inline static const QColor kGreen{40, 160, 90};
    ModrinthFixture() {
        for (const QJsonValue& project : readArray("projects-6.json"))
            projects_[project["slug"].toString().toStdString()] = project.toObject();
        version_ = readArray("versions-lithium.json").first().toObject();
        server_.get("/(v2|icons)/.*", [this](const auto& request, auto& response, const auto&) {
            answer(request, response);
        });
    }
    // Writes the jar and makes its SHA-1 a version of the real project slug.
    void addMod(const std::filesystem::path& jar, const std::string& content,
                const std::string& slug, const std::string& version, Icon icon) {
        writeWholeFile(jar, content);
        std::lock_guard lock(mutex_);
        QJsonObject project = projects_.at(slug), reply = version_;
        const QString id = project["id"].toString();
        project["icon_url"] =
            icon == Icon::None ? QJsonValue() : QString::fromStdString(server_.url("/icons/")) + id;
        replies_["/v2/project/" + id.toStdString()] = json(project);
        replies_["/icons/" + id.toStdString()] = image(icon);
        reply["project_id"] = id;
        reply["version_number"] = QString::fromStdString(version);
        replies_["/v2/version_file/" + sha1FileHex(jar)] = json(reply);
    }
    void refuseWithRateLimit(int count) { rateLimited_ = count; }
    std::size_t requests(const std::string& prefix) const {
        std::lock_guard lock(mutex_);
        std::size_t n = 0;
        for (const auto& [path, count] : requests_)
            n += path.rfind(prefix, 0) == 0 ? count : 0;
        return n;
    }
    TestHttpServer& server() { return server_; }
    // A one-colour square: PNG through Qt, WebP through libwebp (Qt may lack its plugin).
    static std::string image(Icon icon) {
        QImage picture(48, 48, QImage::Format_RGBA8888);
        picture.fill(kGreen);
        QByteArray png;
        QBuffer buffer(&png);
        if (icon != Icon::Webp)
            return icon == Icon::Png && picture.save(&buffer, "PNG") ? png.toStdString() : "bad";
        uint8_t* out = nullptr;
        const size_t size = WebPEncodeLosslessRGBA(picture.constBits(), 48, 48, 48 * 4, &out);
        std::string webp(reinterpret_cast<const char*>(out), size);
        WebPFree(out);
        return webp;
    }
    ModrinthClient::Config config(const std::filesystem::path& dir) const {
        ModrinthClient::Config c;
        c.apiBase = QString::fromStdString(server_.url("/v2"));
        c.siteBase = QStringLiteral("https://modrinth.example");
        c.cacheFile = QString::fromStdString((dir / "modcache.json").string());
        c.userAgent = QStringLiteral("Quellbrook-Launcher/1.0 (test)");
        c.transferTimeout = std::chrono::milliseconds(5000);
        return c;
    }

private:
    void answer(const httplib::Request& request, httplib::Response& response) {
        std::lock_guard lock(mutex_);
        ++requests_[request.path];
        const auto reply = replies_.find(request.path);
        const bool sha1 = request.get_param_value("algorithm") == "sha1";
        if (rateLimited_ > 0 && rateLimited_--) {
            response.status = 429;
            response.set_header("X-Ratelimit-Reset", "1");
        } else if (reply != replies_.end() &&
                   (sha1 || request.path.rfind("/v2/version_file", 0) != 0)) {
            response.set_content(reply->second, "application/json");
        } else {
            response.status = 404;
        }
    }
    static QJsonArray readArray(const char* name) {
        QFile file(QStringLiteral(QBK_TESTDATA_DIR "/modrinth/") + QLatin1String(name));
        file.open(QIODevice::ReadOnly);
        return QJsonDocument::fromJson(file.readAll()).array();
    }
    static std::string json(const QJsonObject& o) {
        return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
    }
    mutable std::mutex mutex_;
    std::map<std::string, QJsonObject> projects_;
    QJsonObject version_;
    std::map<std::string, std::string> replies_; // by path
    std::map<std::string, std::size_t> requests_;
    int rateLimited_ = 0;   // under mutex_
    TestHttpServer server_; // last, so it stops before the members its handlers read
};
} // namespace qbk::test
