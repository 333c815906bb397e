#include "mods/ModManagerDialog.h"

#include "app/ProjectInfo.h"
#include "app/Settings.h"
#include "mods/ModFileName.h"
#include "mods/ServerModComparison.h"
#include "platform/Platform.h"

#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPushButton>
#include <QScrollArea>
#include <QUrl>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <iostream>

namespace qbk {

namespace {

const QString kTitle = QStringLiteral("Моды");

QPushButton* pointingButton(const QString& text, const QString& objectName, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QString utf8Name(const std::filesystem::path& name) {
    return QString::fromStdString(platform::pathToUtf8(name));
}

std::filesystem::path fileIn(const std::filesystem::path& dir, const QString& fileName) {
    return dir / platform::pathFromUtf8(fileName.toStdString());
}

bool isJarName(const QString& name) {
    return name.endsWith(QLatin1String(".jar"), Qt::CaseInsensitive);
}

} // namespace

ModManagerDialog::Config ModManagerDialog::configFor(const Settings& settings) {
    Config config;
    config.manifestUrl =
        QString::fromStdString(settings.endpoints().accountServer) + QStringLiteral("/api/mods");
    config.modsDir = settings.iniFile().parent_path() / "minecraft" / "mods";
    return config;
}

ModManagerDialog::ModManagerDialog(Config config, QWidget* parent)
    : QDialog(parent), config_(std::move(config)), network_(new QNetworkAccessManager(this)) {
    buildUi();
    QNetworkRequest request{QUrl(config_.manifestUrl)};
    request.setRawHeader(
        "User-Agent",
        QByteArray(project::kUserAgent.data(), static_cast<qsizetype>(project::kUserAgent.size())));
    request.setTransferTimeout(config_.manifestTimeoutMs);
    QNetworkReply* reply = network_->get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onManifestReply(reply); });
}

void ModManagerDialog::buildUi() {
    setWindowTitle(kTitle);
    setModal(true);
    setMinimumSize(720, 560);
    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(34, 30, 34, 26);
    main->setSpacing(16);

    auto* title = new QLabel(kTitle, this);
    title->setObjectName(QStringLiteral("sectionTitle"));
    main->addWidget(title);
    hintLabel_ = new QLabel(QStringLiteral("Проверяю список сервера..."), this);
    hintLabel_->setObjectName(QStringLiteral("hintLabel"));
    hintLabel_->setWordWrap(true);
    main->addWidget(hintLabel_);

    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("modScroll"));
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setAccessibleName(QStringLiteral("Моды сервера и папки модов"));
    auto* content = new QWidget(scroll);
    listLayout_ = new QVBoxLayout(content);
    listLayout_->setContentsMargins(0, 0, 8, 0);
    listLayout_->setSpacing(8);
    listLayout_->addStretch();
    scroll->setWidget(content);
    main->addWidget(scroll, 1);

    auto* bottom = new QHBoxLayout;
    bottom->setSpacing(10);
    deleteAllButton_ =
        pointingButton(QStringLiteral("Удалить все"), QStringLiteral("secondaryButton"), this);
    deleteAllButton_->setAccessibleName(QStringLiteral("Удалить все моды"));
    auto* closeButton =
        pointingButton(QStringLiteral("Закрыть"), QStringLiteral("secondaryButton"), this);
    downloadButton_ =
        pointingButton(QStringLiteral("Скачать недостающие"), QStringLiteral("chooseButton"), this);
    downloadButton_->setEnabled(false);
    bottom->addWidget(deleteAllButton_);
    bottom->addStretch();
    bottom->addWidget(closeButton);
    bottom->addWidget(downloadButton_);
    main->addLayout(bottom);

    connect(deleteAllButton_, &QPushButton::clicked, this, &ModManagerDialog::deleteAll);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(downloadButton_, &QPushButton::clicked, this, &ModManagerDialog::downloadMissing);
}

void ModManagerDialog::onManifestReply(QNetworkReply* reply) {
    reply->deleteLater();
    QList<ServerMod> manifest;
    const bool obtained = reply->error() == QNetworkReply::NoError &&
                          ServerModComparison::parseManifest(reply->readAll(), manifest);
    manifestUnavailable_ = !obtained;
    setEntries(manifest);
    manifestUnavailable_ = false;
    emit manifestLoaded(obtained);
}

void ModManagerDialog::setEntries(const QList<ServerMod>& manifest) {
    QList<ServerMod> checked;
    for (const ServerMod& entry : manifest) {
        // Whatever reaches the dialog, it never downloads or deletes outside the mods folder.
        if (!IsSafeModFileName(entry.fileName.toStdString())) {
            std::cerr << "[Mods] Пропускаю мод с недопустимым именем файла: "
                      << entry.fileName.toStdString() << "\n";
            continue;
        }
        checked.append(entry);
    }
    entries_ = ServerModComparison(config_.modsDir, config_.target).withLocalFiles(checked);
    rebuildRows();
}

QList<ServerMod> ModManagerDialog::manifestEntries() const {
    QList<ServerMod> manifest;
    for (const ServerMod& entry : entries_)
        if (entry.onServer)
            manifest.append(entry);
    return manifest;
}

void ModManagerDialog::rebuildRows() {
    while (listLayout_->count() > 1) {
        QLayoutItem* item = listLayout_->takeAt(0);
        if (QWidget* widget = item->widget())
            widget->deleteLater();
        delete item;
    }
    int missing = 0;
    int extra = 0;
    qint64 missingBytes = 0;
    for (const ServerMod& entry : entries_) {
        if (!entry.onServer) {
            ++extra;
        } else if (!entry.installed) {
            ++missing;
            missingBytes += entry.sizeBytes;
        }
        listLayout_->insertWidget(listLayout_->count() - 1, buildRow(entry));
    }
    downloadButton_->setEnabled(missing > 0 && !downloading_);
    deleteAllButton_->setEnabled(!entries_.isEmpty() && !downloading_);
    hintLabel_->setText(manifestUnavailable_
                            ? QStringLiteral("Список сервера недоступен — показываю только то, "
                                             "что стоит локально.")
                            : summary(missing, missingBytes, extra));
}

QString ModManagerDialog::summary(int missing, qint64 missingBytes, int extra) const {
    if (entries_.isEmpty())
        return QStringLiteral("Модов нет.");
    if (missing > 0)
        return QStringLiteral("Не хватает модов: %1 (%2). Без них на сервер не пустит.")
            .arg(missing)
            .arg(formatSize(missingBytes));
    if (extra == 0)
        return QStringLiteral("Всё совпадает со сборкой сервера.");
    return QStringLiteral("Всё нужное установлено. Лишних модов: %1 — из-за них сервер может "
                          "отказать в подключении.")
        .arg(extra);
}

QWidget* ModManagerDialog::buildRow(const ServerMod& entry) {
    auto* row = new QWidget;
    row->setObjectName(QStringLiteral("modRow"));
    row->setAttribute(Qt::WA_StyledBackground);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(14, 10, 12, 10);
    layout->setSpacing(12);

    QString status = QStringLiteral("не хватает");
    QString colour = QStringLiteral("#e06a6a");
    if (!entry.onServer) {
        status = QStringLiteral("лишний — сервер его не требует");
        colour = QStringLiteral("#c9a227");
    } else if (entry.installed) {
        status = QStringLiteral("установлен");
        colour = QStringLiteral("#4ec97a");
    }
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto* title = new QLabel(entry.fileName, row);
    title->setObjectName(QStringLiteral("modTitle"));
    auto* meta =
        new QLabel(QStringLiteral("%1 · %2").arg(formatSize(entry.sizeBytes), status), row);
    meta->setObjectName(QStringLiteral("modMeta"));
    meta->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(colour));
    texts->addWidget(title);
    texts->addWidget(meta);
    layout->addLayout(texts, 1);

    auto* remove =
        pointingButton(QStringLiteral("Удалить"), QStringLiteral("secondaryButton"), row);
    remove->setAccessibleName(QStringLiteral("Удалить ") + entry.fileName);
    remove->setEnabled(entry.installed && !downloading_);
    const QString fileName = entry.fileName;
    connect(remove, &QPushButton::clicked, this, [this, fileName] { deleteOne(fileName); });
    layout->addWidget(remove);
    return row;
}

void ModManagerDialog::deleteOne(const QString& fileName) {
    if (!platform::removeFile(fileIn(config_.modsDir, fileName))) {
        config_.prompts.warn(this, kTitle,
                             QStringLiteral("Не удалось удалить ") + fileName +
                                 QStringLiteral(".\nВозможно, игра сейчас запущена."));
        return;
    }
    setEntries(manifestEntries());
}

void ModManagerDialog::deleteAll() {
    if (!config_.prompts.ask(this, QStringLiteral("Удалить все моды"),
                             QStringLiteral("Удалить все .jar из папки модов?\nНужные можно "
                                            "будет скачать заново кнопкой «Скачать недостающие».")))
        return;
    int failures = 0;
    for (const platform::DirEntry& entry : platform::listDirectory(config_.modsDir)) {
        if (entry.isDirectory || !isJarName(utf8Name(entry.name)))
            continue;
        if (!platform::removeFile(config_.modsDir / entry.name))
            ++failures;
    }
    if (failures > 0)
        config_.prompts.warn(
            this, kTitle,
            QStringLiteral("Не удалось удалить файлов: %1. Возможно, игра запущена.")
                .arg(failures));
    setEntries(manifestEntries());
}

void ModManagerDialog::downloadMissing() {
    QList<ServerMod> wanted;
    for (const ServerMod& entry : entries_)
        if (entry.onServer && !entry.installed && !entry.url.isEmpty())
            wanted.append(entry);
    if (wanted.isEmpty() || downloading_)
        return;
    downloading_ = true;
    rebuildRows();
    hintLabel_->setText(QStringLiteral("Скачиваю..."));

    // The job holds copies only: a dialog closed meanwhile drops the result, not the files.
    const ModDownloadJob job(wanted, config_.modsDir, config_.limits);
    auto* watcher = new QFutureWatcher<ModDownloadResult>(this);
    connect(watcher, &QFutureWatcher<ModDownloadResult>::finished, this, [this, watcher] {
        watcher->deleteLater();
        onDownloaded(watcher->result());
    });
    watcher->setFuture(QtConcurrent::run([job] { return job.run(); }));
}

void ModManagerDialog::onDownloaded(const ModDownloadResult& result) {
    downloading_ = false;
    if (!result.ok)
        config_.prompts.warn(this, kTitle,
                             QStringLiteral("Не все моды удалось скачать: ") + result.firstError);
    setEntries(manifestEntries());
    emit downloadFinished(result.ok);
}

QString ModManagerDialog::formatSize(qint64 bytes) {
    if (bytes >= 1048576)
        return QString::number(bytes / 1048576) + QStringLiteral(" МБ");
    if (bytes < 1024)
        return QString::number(bytes) + QStringLiteral(" Б");
    return QString::number(bytes / 1024) + QStringLiteral(" КБ");
}

} // namespace qbk
