#include "mods/ServerModComparison.h"

#include "accounts/AccountServerApi.h"
#include "app/LauncherDir.h"
#include "app/ProjectInfo.h"
#include "mods/ModFileName.h"
#include "platform/Platform.h"

#include <QEventLoop>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSet>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <iostream>

namespace qbk {

namespace {

bool endsWithJar(const QString& name) {
    return name.endsWith(QLatin1String(".jar"), Qt::CaseInsensitive);
}

} // namespace

ServerModComparison::ServerModComparison(std::filesystem::path modsDir, TargetPlatform target)
    : modsDir_(std::move(modsDir)), target_(std::move(target)) {}

bool ServerModComparison::parseManifest(const QByteArray& body, QList<ServerMod>& entries) {
    entries.clear();
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonValue mods = document.object().value(QStringLiteral("mods"));
    if (!mods.isArray())
        return false;
    for (const QJsonValue& element : mods.toArray()) {
        const QJsonObject object = element.toObject();
        ServerMod mod;
        mod.fileName = object.value(QStringLiteral("fileName")).toString();
        mod.url = object.value(QStringLiteral("url")).toString();
        mod.sizeBytes = static_cast<qint64>(object.value(QStringLiteral("sizeBytes")).toDouble());
        mod.sha256 = object.value(QStringLiteral("sha256")).toString();
        mod.onServer = true;
        if (mod.fileName.isEmpty())
            continue;
        if (!IsSafeModFileName(mod.fileName.toUtf8().toStdString())) {
            std::cerr << "[Mods] Пропускаю мод с недопустимым именем файла: "
                      << mod.fileName.toStdString() << "\n";
            continue;
        }
        entries.append(mod);
    }
    return true;
}

QString ServerModComparison::key(const QString& fileName) const {
    return target_.caseInsensitiveFileNames ? fileName.toCaseFolded() : fileName;
}

QList<ServerModComparison::LocalJar> ServerModComparison::localJars() const {
    QList<LocalJar> jars;
    for (const platform::DirEntry& entry : platform::listDirectory(modsDir_)) {
        const QString name = QString::fromStdString(platform::pathToUtf8(entry.name));
        if (!entry.isDirectory && endsWithJar(name))
            jars.append({name, static_cast<qint64>(entry.size)});
    }
    std::sort(jars.begin(), jars.end(),
              [](const LocalJar& a, const LocalJar& b) { return a.fileName < b.fileName; });
    return jars;
}

QList<ServerMod> ServerModComparison::withLocalFiles(QList<ServerMod> manifest) const {
    const QList<LocalJar> jars = localJars();
    QHash<QString, qint64> sizeByKey;
    for (const LocalJar& jar : jars)
        sizeByKey.insert(key(jar.fileName), jar.sizeBytes);
    QSet<QString> listed;
    for (ServerMod& mod : manifest) {
        const QString name = key(mod.fileName);
        listed.insert(name);
        const auto found = sizeByKey.constFind(name);
        mod.installed =
            found != sizeByKey.constEnd() && (mod.sizeBytes < 1 || *found == mod.sizeBytes);
    }
    for (const LocalJar& jar : jars) {
        if (listed.contains(key(jar.fileName)))
            continue;
        ServerMod extra;
        extra.fileName = jar.fileName;
        extra.sizeBytes = jar.sizeBytes;
        extra.onServer = false;
        extra.installed = true;
        manifest.append(extra);
    }
    return manifest;
}

bool ServerModComparison::compareWithServer(const QString& url, QList<ServerMod>& missing,
                                            QList<ServerMod>& extra, int timeoutMs) const {
    missing.clear();
    extra.clear();
    QNetworkAccessManager network;
    QNetworkRequest request{QUrl(url)};
    request.setRawHeader(
        "User-Agent",
        QByteArray(project::kUserAgent.data(), static_cast<qsizetype>(project::kUserAgent.size())));
    request.setTransferTimeout(timeoutMs);
    QNetworkReply* reply = network.get(request);
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    loop.exec();

    reply->deleteLater();
    if (!reply->isFinished() || reply->error() != QNetworkReply::NoError) {
        reply->abort();
        return false;
    }
    QList<ServerMod> manifest;
    if (!parseManifest(reply->readAll(), manifest))
        return false;
    for (const ServerMod& mod : withLocalFiles(manifest)) {
        if (!mod.onServer)
            extra.append(mod);
        else if (!mod.installed)
            missing.append(mod);
    }
    return true;
}

std::filesystem::path launcherModsDir() {
    return LauncherDir() / "minecraft" / "mods";
}

QString manifestUrl() {
    return accountServerBaseUrl() + QStringLiteral("/api/mods");
}

bool compareWithServer(QList<ServerMod>& missing, QList<ServerMod>& extra, int timeoutMs) {
    return ServerModComparison(launcherModsDir(), TargetPlatform::host())
        .compareWithServer(manifestUrl(), missing, extra, timeoutMs);
}

} // namespace qbk
