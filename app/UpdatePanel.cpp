#include "app/UpdatePanel.h"

#include "app/InstanceLock.h"
#include "app/ProjectInfo.h"
#include "app/SelfUpdate.h"

#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtConcurrent>
#include <iostream>

namespace qbk {

namespace {

std::optional<std::filesystem::path>& pendingRestart() {
    static std::optional<std::filesystem::path> path;
    return path;
}

QString megabytes(std::int64_t bytes) {
    return QString::number(static_cast<double>(bytes) / (1024.0 * 1024.0), 'f', 1);
}

// Runs job on the global pool and hands its result to done on this object's thread.
template <typename Result>
void runInPool(QObject* owner, std::function<Result()> job, std::function<void(Result)> done) {
    auto* watcher = new QFutureWatcher<Result>(owner);
    QObject::connect(watcher, &QFutureWatcher<Result>::finished, owner, [watcher, done] {
        watcher->deleteLater();
        done(watcher->result());
    });
    watcher->setFuture(QtConcurrent::run(std::move(job)));
}

} // namespace

UpdatePanel::UpdatePanel(Config config, QWidget* parent)
    : QWidget(parent), config_(std::move(config)) {
    setObjectName(QStringLiteral("updatePanel"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 20, 0);
    row->setSpacing(12);
    label_ = new QLabel(this);
    label_->setObjectName(QStringLiteral("updateLabel"));
    button_ = new QPushButton(QStringLiteral("Обновить"), this);
    button_->setObjectName(QStringLiteral("updateButton"));
    button_->setCursor(Qt::PointingHandCursor);
    row->addWidget(label_);
    row->addWidget(button_);
    connect(button_, &QPushButton::clicked, this, &UpdatePanel::onUpdateClicked);
    progressTimer_ = new QTimer(this);
    progressTimer_->setInterval(200);
    connect(progressTimer_, &QTimer::timeout, this, [this] {
        if (transfer_ && transfer_->total > 0)
            label_->setText(QStringLiteral("Загрузка обновления: %1 из %2 МБ")
                                .arg(megabytes(transfer_->received), megabytes(transfer_->total)));
    });
    hide();
}

UpdatePanel::~UpdatePanel() {
    // A download still running stops at its next progress call; its result goes nowhere.
    if (transfer_)
        transfer_->cancel = true;
}

std::optional<std::filesystem::path> UpdatePanel::takePendingRestart() {
    return std::exchange(pendingRestart(), std::nullopt);
}

void UpdatePanel::start() {
    removeLeftovers(10);
    check();
}

void UpdatePanel::removeLeftovers(int attemptsLeft) {
    // The old launcher may still be on its way out and hold its files for a moment.
    SelfUpdate update(config_.launcherDir, config_.executableName);
    if (!update.removeLeftovers() && attemptsLeft > 1)
        QTimer::singleShot(1000, this, [this, attemptsLeft] { removeLeftovers(attemptsLeft - 1); });
}

void UpdatePanel::check() {
    if (config_.launchRunning && config_.launchRunning()) {
        QTimer::singleShot(2000, this, &UpdatePanel::check); // never beside a launch
        return;
    }
    const SelfUpdate update(config_.launcherDir, config_.executableName);
    const std::string baseUrl = config_.baseUrl;
    runInPool<UpdateOffer>(
        this,
        [update, baseUrl] {
            TransferLimits limits;
            limits.connectTimeout = std::chrono::seconds(5);
            limits.maxDocumentBytes = 1 << 20;
            HttpClient http(limits);
            return update.check(http, baseUrl, project::launcherVersion());
        },
        [this](UpdateOffer offer) {
            std::cerr << "[Update] " << config_.baseUrl << ": "
                      << (offer.verdict == UpdateOffer::Verdict::Newer
                              ? "release " + offer.version + " offered"
                              : offer.reason)
                      << std::endl;
            if (offer.verdict != UpdateOffer::Verdict::Newer)
                return;
            offer_ = std::move(offer);
            showOffer();
        });
}

void UpdatePanel::showOffer() {
    label_->setText(
        QStringLiteral("Доступна версия %1").arg(QString::fromStdString(offer_.version)));
    button_->setText(staged_ ? QStringLiteral("Перезапустить") : QStringLiteral("Обновить"));
    button_->setToolTip(QString::fromStdString(offer_.notes));
    button_->setEnabled(true);
    show();
}

QString UpdatePanel::refusal() const {
    if (!InstanceLock::heldByThisProcess())
        return QStringLiteral("Открыт ещё один лаунчер из этой папки. Закрой его и повтори "
                              "обновление.");
    if (config_.launchRunning && config_.launchRunning())
        return QStringLiteral("Идёт запуск игры. Обнови лаунчер, когда запуск закончится.");
    const auto writable = SelfUpdate(config_.launcherDir, config_.executableName).checkWritable();
    return writable.ok() ? QString() : QString::fromStdString(writable.text);
}

void UpdatePanel::onUpdateClicked() {
    if (transfer_) {
        transfer_->cancel = true;
        return;
    }
    if (const QString why = refusal(); !why.isEmpty()) {
        QMessageBox::warning(window(), QStringLiteral("Обновление лаунчера"), why);
        return;
    }
    if (staged_)
        restart();
    else
        download();
}

void UpdatePanel::download() {
    transfer_ = std::make_shared<Transfer>();
    button_->setText(QStringLiteral("Отменить"));
    label_->setText(QStringLiteral("Загрузка обновления…"));
    progressTimer_->start();
    SelfUpdate update(config_.launcherDir, config_.executableName);
    runInPool<UpdateResult>(
        this,
        [update, package = offer_.package, transfer = transfer_]() mutable {
            HttpClient http;
            return update.stage(http, package,
                                [transfer](std::int64_t received, std::int64_t total) {
                                    transfer->received = received;
                                    transfer->total = total;
                                    return !transfer->cancel;
                                });
        },
        [this](UpdateResult result) {
            progressTimer_->stop();
            transfer_.reset();
            staged_ = result.ok();
            showOffer();
            std::cerr << "[Update] package " << offer_.version << ": "
                      << (result.ok() ? "staged" : result.text) << std::endl;
            if (result.code == UpdateResult::Code::Cancelled)
                return;
            if (!result.ok())
                QMessageBox::warning(window(), QStringLiteral("Обновление лаунчера"),
                                     QString::fromStdString(result.text));
            else
                offerRestart();
        });
}

void UpdatePanel::offerRestart() {
    const auto answer = QMessageBox::question(
        window(), QStringLiteral("Обновление лаунчера"),
        QStringLiteral("Версия %1 загружена и проверена.\nПерезапустить лаунчер сейчас?")
            .arg(QString::fromStdString(offer_.version)));
    if (answer == QMessageBox::Yes && refusal().isEmpty())
        restart();
}

void UpdatePanel::restart() {
    SelfUpdate update(config_.launcherDir, config_.executableName);
    const UpdateResult swapped = update.swap();
    if (!swapped.ok()) {
        staged_ = update.isStaged();
        showOffer();
        QMessageBox::warning(window(), QStringLiteral("Обновление лаунчера"),
                             QString::fromStdString(swapped.text));
        return;
    }
    std::cerr << "[Update] swapped in " << offer_.version << ", restarting" << std::endl;
    pendingRestart() = config_.launcherDir / config_.executableName;
    QCoreApplication::exit(0);
}

} // namespace qbk
