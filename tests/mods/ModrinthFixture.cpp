#include "tests/mods/ModrinthFixture.h"

#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <chrono>
#include <thread>
#include <webp/encode.h>

namespace qbk::test {

namespace {

QJsonArray readRealArray(const char* name) {
    QFile file(QStringLiteral(QBK_TESTDATA_DIR "/modrinth/") + QLatin1String(name));
    file.open(QIODevice::ReadOnly);
    return QJsonDocument::fromJson(file.readAll()).array();
}

QImage sampleImage(int size) {
    QImage image(size, size, QImage::Format_RGBA8888);
    image.fill(QColor(40, 160, 90));
    return image;
}

std::string json(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace

ModrinthFixture::ModrinthFixture() {
    for (const QJsonValue& value : readRealArray("projects-6.json")) {
        const QJsonObject project = value.toObject();
        realProjects_[project.value(QStringLiteral("slug")).toString().toStdString()] = project;
    }
    realVersion_ = readRealArray("versions-lithium.json").first().toObject();

    server_.get("/v2/version_file/([0-9a-f]+)", [this](const httplib::Request& request,
                                                       httplib::Response& response,
                                                       const std::smatch& match) {
        const std::string sha1 = match[1];
        handle(request.path, response, [this, sha1, &request](httplib::Response& out) {
            std::lock_guard lock(mutex_);
            const auto found = versionBySha1_.find(sha1);
            if (found == versionBySha1_.end() || request.get_param_value("algorithm") != "sha1")
                return false;
            out.set_content(json(found->second), "application/json");
            return true;
        });
    });
    server_.get("/v2/project/([A-Za-z0-9]+)",
                [this](const httplib::Request& request, httplib::Response& response,
                       const std::smatch& match) {
                    const std::string id = match[1];
                    handle(request.path, response, [this, id](httplib::Response& out) {
                        std::lock_guard lock(mutex_);
                        const auto found = projectById_.find(id);
                        if (found == projectById_.end())
                            return false;
                        out.set_content(json(found->second), "application/json");
                        return true;
                    });
                });
    server_.get("/icons/([A-Za-z0-9]+)", [this](const httplib::Request& request,
                                                httplib::Response& response,
                                                const std::smatch& match) {
        const std::string id = match[1];
        handle(request.path, response, [this, id](httplib::Response& out) {
            IconKind kind = IconKind::None;
            {
                std::lock_guard lock(mutex_);
                const auto found = iconByProject_.find(id);
                if (found == iconByProject_.end())
                    return false;
                kind = found->second;
            }
            const QByteArray bytes = kind == IconKind::Png    ? pngIcon()
                                     : kind == IconKind::Webp ? webpIcon()
                                                              : QByteArray("not an image");
            out.set_content(bytes.toStdString(), "image/png");
            return true;
        });
    });
}

void ModrinthFixture::handle(const std::string& path, httplib::Response& response,
                             const std::function<bool(httplib::Response&)>& answer) {
    const int now = ++inFlight_;
    int most = mostInFlight_.load();
    while (now > most && !mostInFlight_.compare_exchange_weak(most, now)) {
    }
    bool limited = false;
    {
        std::lock_guard lock(mutex_);
        ++requestsByPath_[path];
        if (rateLimitLeft_ > 0) {
            --rateLimitLeft_;
            limited = true;
        }
    }
    if (delayMs_ > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_.load()));
    if (limited) {
        response.status = 429;
        response.set_header("X-Ratelimit-Reset", std::to_string(resetSeconds_));
        response.set_content("{\"error\":\"ratelimited\"}", "application/json");
    } else if (!answer(response)) {
        response.status = 404;
        response.set_content("{\"error\":\"not_found\"}", "application/json");
    }
    --inFlight_;
}

void ModrinthFixture::addMod(const std::string& sha1, const std::string& slug,
                             const std::string& version, IconKind icon) {
    std::lock_guard lock(mutex_);
    QJsonObject project = realProjects_.at(slug);
    const QString id = project.value(QStringLiteral("id")).toString();
    project.insert(QStringLiteral("icon_url"),
                   icon == IconKind::None
                       ? QJsonValue(QJsonValue::Null)
                       : QJsonValue(QString::fromStdString(server_.url("/icons/")) + id));
    projectById_[id.toStdString()] = project;
    iconByProject_[id.toStdString()] = icon;

    QJsonObject versionObject = realVersion_;
    versionObject.insert(QStringLiteral("project_id"), id);
    versionObject.insert(QStringLiteral("version_number"), QString::fromStdString(version));
    QJsonArray files = versionObject.value(QStringLiteral("files")).toArray();
    if (!files.isEmpty()) {
        QJsonObject first = files.first().toObject();
        QJsonObject hashes = first.value(QStringLiteral("hashes")).toObject();
        hashes.insert(QStringLiteral("sha1"), QString::fromStdString(sha1));
        first.insert(QStringLiteral("hashes"), hashes);
        files.replace(0, first);
        versionObject.insert(QStringLiteral("files"), files);
    }
    versionBySha1_[sha1] = versionObject;
}

void ModrinthFixture::refuseWithRateLimit(int count, int resetSeconds) {
    std::lock_guard lock(mutex_);
    rateLimitLeft_ = count;
    resetSeconds_ = resetSeconds;
}

std::size_t ModrinthFixture::requests(const std::string& prefix) const {
    std::lock_guard lock(mutex_);
    std::size_t count = 0;
    for (const auto& [path, n] : requestsByPath_) {
        if (path.rfind(prefix, 0) == 0)
            count += n;
    }
    return count;
}

QByteArray ModrinthFixture::pngIcon() {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    sampleImage(64).save(&buffer, "PNG");
    return bytes;
}

QByteArray ModrinthFixture::webpIcon() {
    const QImage image = sampleImage(48);
    uint8_t* output = nullptr;
    const size_t size = WebPEncodeLosslessRGBA(image.constBits(), image.width(), image.height(),
                                               static_cast<int>(image.bytesPerLine()), &output);
    QByteArray bytes(reinterpret_cast<const char*>(output), static_cast<qsizetype>(size));
    WebPFree(output);
    return bytes;
}

} // namespace qbk::test
