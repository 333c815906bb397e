#pragma once

#include "launch/TransferLimits.h"
#include "mods/ModDownloadJob.h"
#include "mods/ModPrompts.h"
#include "mods/ServerMod.h"
#include "platform/TargetPlatform.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <filesystem>

class QLabel;
class QNetworkAccessManager;
class QNetworkReply;
class QPushButton;
class QVBoxLayout;

namespace qbk {

class Settings;

// Compares the mods folder with the server's manifest and lets the player delete one mod,
// delete all of them or download the missing ones.
class ModManagerDialog : public QDialog {
    Q_OBJECT

public:
    struct Config {
        QString manifestUrl;
        std::filesystem::path modsDir;
        TargetPlatform target = TargetPlatform::host();
        ModPrompts prompts = ModPrompts::standard();
        TransferLimits limits;
        int manifestTimeoutMs = 15000;
    };
    // The account server's manifest and the mods folder beside the settings file.
    static Config configFor(const Settings& settings);

    explicit ModManagerDialog(Config config, QWidget* parent = nullptr);

    // Takes the manifest entries, recomputes installed, appends the local extras, rebuilds.
    void setEntries(const QList<ServerMod>& manifest);
    const QList<ServerMod>& entries() const { return entries_; }
    bool isDownloading() const { return downloading_; }

    static QString formatSize(qint64 bytes);

signals:
    void manifestLoaded(bool obtained);
    void downloadFinished(bool ok);

private:
    void buildUi();
    void onManifestReply(QNetworkReply* reply);
    void rebuildRows();
    QWidget* buildRow(const ServerMod& entry);
    QString summary(int missing, qint64 missingBytes, int extra) const;
    QList<ServerMod> manifestEntries() const;
    void deleteOne(const QString& fileName);
    void deleteAll();
    void downloadMissing();
    void onDownloaded(const ModDownloadResult& result);

    Config config_;
    QNetworkAccessManager* network_ = nullptr;
    QVBoxLayout* listLayout_ = nullptr;
    QLabel* hintLabel_ = nullptr;
    QPushButton* downloadButton_ = nullptr;
    QPushButton* deleteAllButton_ = nullptr;
    QList<ServerMod> entries_;
    bool manifestUnavailable_ = false;
    bool downloading_ = false;
};

} // namespace qbk
