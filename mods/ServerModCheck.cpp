#include "mods/ServerModCheck.h"

#include "app/ProjectInfo.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace qbk {

ServerModCheck::ServerModCheck(ServerModComparison comparison, QString manifestUrl, QObject* parent)
    : QObject(parent), comparison_(std::move(comparison)), manifestUrl_(std::move(manifestUrl)) {}

bool ServerModCheck::run(QList<ServerMod>& missing, QList<ServerMod>& extra, int timeoutMs) {
    missing.clear();
    extra.clear();
    QNetworkAccessManager network;
    QNetworkRequest request{QUrl(manifestUrl_)};
    request.setRawHeader(
        "User-Agent",
        QByteArray(project::kUserAgent.data(), static_cast<qsizetype>(project::kUserAgent.size())));
    request.setTransferTimeout(timeoutMs);
    QNetworkReply* reply = network.get(request);

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    cancelled_ = false;
    loop_ = &loop;
    loop.exec();
    loop_ = nullptr;

    reply->deleteLater();
    if (cancelled_ || !reply->isFinished() || reply->error() != QNetworkReply::NoError) {
        reply->abort();
        return false;
    }
    QList<ServerMod> manifest;
    if (!ServerModComparison::parseManifest(reply->readAll(), manifest))
        return false;
    for (const ServerMod& mod : comparison_.withLocalFiles(manifest)) {
        if (!mod.onServer)
            extra.append(mod);
        else if (!mod.installed)
            missing.append(mod);
    }
    return true;
}

void ServerModCheck::cancel() {
    if (!loop_)
        return;
    cancelled_ = true;
    loop_->quit();
}

} // namespace qbk
