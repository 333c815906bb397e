#include "app/MainWindow.h"

#include "accounts/AdminDialog.h"
#include "accounts/AuthPanel.h"
#include "accounts/BanText.h"
#include "accounts/SessionCheck.h"
#include "accounts/SessionStore.h"
#include "app/LauncherDir.h"
#include "app/ProjectInfo.h"
#include "app/Settings.h"
#include "app/SettingsDialog.h"
#include "app/UpdatePanel.h"
#include "diagnostics/CheckDialog.h"
#include "launch/LaunchSnapshot.h"
#include "launch/LauncherLog.h"
#include "launch/LauncherWorker.h"
#include "mods/ModArchiveImport.h"
#include "mods/ModListPanel.h"
#include "mods/ModManagerDialog.h"
#include "mods/ServerModCheck.h"
#include "mods/ZipWarningDialog.h"
#include "platform/Platform.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace {

const QString kReadyText = QStringLiteral("Готово к запуску");
const QString kSignInFirst = QStringLiteral("Сначала войди в аккаунт");
const QString kGlyphStyle = QStringLiteral("color: %1; font-size: 16px; font-weight: 700;");
const QString kWorkingColour = QStringLiteral("#7c5cff");
const QString kSuccessColour = QStringLiteral("#4ec97a");
const QString kFailureColour = QStringLiteral("#e05a5a");
const QString kIdleColour = QStringLiteral("#8b8b98");
const QString kPlayText = QStringLiteral("ИГРАТЬ");
const QString kCancelText = QStringLiteral("Отмена");
// Past this a stopped launch is abandoned: the process must end within five seconds.
constexpr int kStopWaitMs = 2500;

QString fromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* namedLabel(const QString& text, const QString& objectName, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    return label;
}

} // namespace

MainWindow::MainWindow(QWidget* parent) : MainWindow(qbk::Settings::instance(), parent) {}

MainWindow::MainWindow(qbk::Settings& settings, QWidget* parent)
    : qbk::BackgroundWidget(parent), settings_(settings) {
    setWindowTitle(QStringLiteral("Quellbrook Launcher"));
    setMinimumSize(1500, 930);
    resize(1500, 930);
    buildUi();
    connectAuthPanel();

    // A remembered session was restored while the panel was built, before any connection.
    const bool signedIn = authPanel->isSignedIn();
    playButton->setEnabled(signedIn);
    if (!signedIn)
        playButton->setToolTip(kSignInFirst);
    refreshSession(signedIn);
    updateBuildLabel();
    modListPanel->refresh(modsFolder());
}

void MainWindow::startUpdateCheck() {
    updatePanel_->start();
}

void MainWindow::buildUi() {
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    root->addWidget(buildHeader());
    root->addWidget(buildMiddleRow(), 1);
    root->addWidget(buildStatusStrip());
    root->addWidget(buildBottomBar());
}

QWidget* MainWindow::buildHeader() {
    auto* header = new QWidget(this);
    header->setObjectName(QStringLiteral("headerBar"));
    header->setAttribute(Qt::WA_StyledBackground);
    header->setFixedHeight(86);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(34, 0, 26, 0);
    row->setSpacing(0);

    row->addWidget(namedLabel(QStringLiteral("Quell"), QStringLiteral("logoLabel"), header));
    row->addWidget(namedLabel(QStringLiteral("brook"), QStringLiteral("logoAccent"), header));
    row->addWidget(
        namedLabel(QStringLiteral("  ver. %1").arg(fromView(qbk::project::launcherVersion())),
                   QStringLiteral("versionLabel"), header));
    row->addStretch();
    updatePanel_ =
        new qbk::UpdatePanel({qbk::LauncherDir(), qbk::platform::executablePath().filename(),
                              settings_.endpoints().launcherUpdates,
                              [this] {
                                  return workerThread && workerThread->isRunning();
                              }},
                             header);
    row->addWidget(updatePanel_);

    auto* siteLink = new QPushButton(QLatin1Char(' ') + fromView(qbk::project::kDomain), header);
    siteLink->setObjectName(QStringLiteral("siteLink"));
    siteLink->setIcon(QIcon(QStringLiteral(":/icons/quell.svg")));
    siteLink->setIconSize(QSize(20, 20));
    siteLink->setToolTip(QStringLiteral("Открыть сайт проекта"));
    siteLink->setAccessibleName(QStringLiteral("Открыть сайт проекта"));
    siteLink->setCursor(Qt::PointingHandCursor);
    connect(siteLink, &QPushButton::clicked, this, [] {
        QDesktopServices::openUrl(QUrl(QString::fromStdString(qbk::project::siteUrl())));
    });
    row->addWidget(siteLink);
    row->addSpacing(20);

    gearButton = new QPushButton(header);
    gearButton->setObjectName(QStringLiteral("gearButton"));
    gearButton->setIcon(QIcon(QStringLiteral(":/icons/gear.svg")));
    gearButton->setIconSize(QSize(22, 22));
    gearButton->setFixedSize(46, 46);
    gearButton->setToolTip(QStringLiteral("Настройки"));
    gearButton->setAccessibleName(QStringLiteral("Настройки"));
    gearButton->setCursor(Qt::PointingHandCursor);
    connect(gearButton, &QPushButton::clicked, this, &MainWindow::onSettingsClicked);
    row->addWidget(gearButton);
    return header;
}

QWidget* MainWindow::buildMiddleRow() {
    auto* middle = new QWidget(this);
    auto* row = new QHBoxLayout(middle);
    row->setContentsMargins(34, 26, 34, 18);
    row->setSpacing(28);
    const qbk::ModManagerDialog::Config manager = modManagerConfig();
    modCheck_ = new qbk::ServerModCheck(
        qbk::ServerModComparison(manager.modsDir, qbk::TargetPlatform::host()), manager.manifestUrl,
        this);
    modListPanel =
        new qbk::ModListPanel(qbk::ModListPanel::clientConfigFor(settings_), manager, middle);
    row->addWidget(modListPanel, 4);
    row->addWidget(buildCard(), 5);
    return middle;
}

QWidget* MainWindow::buildCard() {
    auto* card = new QWidget(this);
    card->setObjectName(QStringLiteral("card"));
    card->setAttribute(Qt::WA_StyledBackground);
    auto* column = new QVBoxLayout(card);
    column->setContentsMargins(38, 36, 38, 36);
    column->setSpacing(18);
    authPanel = new qbk::AuthPanel(settings_, card);
    column->addWidget(authPanel);
    column->addSpacing(14);
    column->addWidget(namedLabel(QStringLiteral("Сборка"), QStringLiteral("sectionTitle"), card));
    hintLabel = namedLabel(QString(), QStringLiteral("hintLabel"), card);
    hintLabel->setWordWrap(true);
    column->addWidget(hintLabel);
    column->addStretch();
    return card;
}

QWidget* MainWindow::buildStatusStrip() {
    auto* strip = new QWidget(this);
    strip->setObjectName(QStringLiteral("statusStrip"));
    strip->setAttribute(Qt::WA_StyledBackground);
    auto* column = new QVBoxLayout(strip);
    column->setContentsMargins(24, 14, 24, 14);
    column->setSpacing(10);

    auto* row = new QHBoxLayout;
    row->setSpacing(12);
    statusIcon = namedLabel(QStringLiteral("✓"), QStringLiteral("statusIcon"), strip);
    statusIcon->setFixedWidth(18);
    row->addWidget(statusIcon);
    statusLabel = namedLabel(kReadyText, QStringLiteral("statusLabel"), strip);
    statusLabel->setWordWrap(true);
    // Server answers, error texts and the game's log tail land here: never rich text.
    statusLabel->setTextFormat(Qt::PlainText);
    row->addWidget(statusLabel, 1);
    column->addLayout(row);

    progressBar = new QProgressBar(strip);
    progressBar->setRange(0, 100);
    progressBar->setValue(0);
    progressBar->setTextVisible(false);
    progressBar->setFixedHeight(10);
    progressBar->setAccessibleName(QStringLiteral("Ход запуска"));
    column->addWidget(progressBar);
    return strip;
}

QPushButton* MainWindow::actionButton(const QString& text, const QString& objectName,
                                      const QString& toolTip) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(objectName);
    if (!toolTip.isEmpty())
        button->setToolTip(toolTip);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QWidget* MainWindow::buildBottomBar() {
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("bottomBar"));
    bar->setAttribute(Qt::WA_StyledBackground);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(34, 18, 34, 20);
    row->setSpacing(12);

    const QString secondary = QStringLiteral("secondaryButton");
    checkButton = actionButton(QStringLiteral("Проверить лаунчер"), secondary,
                               QStringLiteral("Проверить Java, файлы игры, место на диске и сеть"));
    importZipButton = actionButton(
        QStringLiteral("У меня есть zip с модами"), secondary,
        QStringLiteral("Выбери .zip архив — все .jar файлы из него будут установлены в "
                       "minecraft\\mods"));
    adminButton = actionButton(QStringLiteral("Админка"), secondary,
                               QStringLiteral("Баны и управление игроками"));
    adminButton->hide();
    connect(checkButton, &QPushButton::clicked, this, &MainWindow::onCheckClicked);
    connect(importZipButton, &QPushButton::clicked, this, &MainWindow::onImportModsClicked);
    connect(adminButton, &QPushButton::clicked, this, &MainWindow::openAdminDialog);
    playButton = actionButton(kPlayText, QStringLiteral("playButton"), QString());
    playButton->setFixedWidth(300);
    connect(playButton, &QPushButton::clicked, this, &MainWindow::onPlayClicked);

    row->addWidget(checkButton);
    row->addWidget(importZipButton);
    row->addWidget(adminButton);
    row->addStretch();
    row->addWidget(playButton);
    return bar;
}

void MainWindow::updateBuildLabel() {
    hintLabel->setText(QStringLiteral("Minecraft %1  ·  NeoForge %2\nПамять: %3 МБ")
                           .arg(fromView(qbk::project::kMinecraftVersion),
                                fromView(qbk::project::kNeoForgeVersion))
                           .arg(settings_.maxRamMb()));
}

void MainWindow::showStatusGlyph(const QString& glyph, const QString& colour) {
    statusIcon->setText(glyph);
    statusIcon->setStyleSheet(kGlyphStyle.arg(colour));
}

void MainWindow::setActionButtonsEnabled(bool enabled) {
    for (QPushButton* button : {playButton, importZipButton, gearButton, checkButton})
        button->setEnabled(enabled);
    modListPanel->setManageEnabled(enabled);
}

void MainWindow::onStatusChanged(const QString& text) {
    statusLabel->setText(text);
    showStatusGlyph(QStringLiteral("⟳"), kWorkingColour);
}

void MainWindow::onProgressChanged(int percent) {
    progressBar->setValue(percent);
}

void MainWindow::onFinished(bool success, const QString& message) {
    launchStop_.reset();
    statusLabel->setText(message);
    setActionButtonsEnabled(true);
    showPlayButton();
    showStatusGlyph(success ? QStringLiteral("✓") : QStringLiteral("✕"),
                    success ? kSuccessColour : kFailureColour);
    if (!success) {
        progressBar->setValue(0);
        return;
    }
    modListPanel->refresh(modsFolder());
    if (settings_.closeOnLaunch())
        close();
}

void MainWindow::connectAuthPanel() {
    sessionCheck_ = new qbk::SessionCheck(authPanel->sessionStore(), settings_, this);
    connect(sessionCheck_, &qbk::SessionCheck::checked, this, &MainWindow::onSessionChecked);
    connect(sessionCheck_, &qbk::SessionCheck::failed, adminButton, &QWidget::hide);
    connect(authPanel, &qbk::AuthPanel::statusMessage, this, [this](const QString& text) {
        if (banned_) // "Вход выполнен" must not cover the ban that came with the sign-in
            return;
        onStatusChanged(text);
        // The spinner stands for a request under way; the panel's answers end it.
        if (!authPanel->isBusy())
            showAuthOutcomeGlyph();
    });
    connect(authPanel, &qbk::AuthPanel::signedInChanged, this,
            [this](bool signedIn) { onSignedInChanged(signedIn); });
    connect(authPanel, &qbk::AuthPanel::bannedChanged, this,
            [this](bool banned, const QString& details) {
                if (banned)
                    showBan(details);
            });
}

void MainWindow::showAuthOutcomeGlyph() {
    if (authPanel->isSignedIn())
        showStatusGlyph(QStringLiteral("✓"), kSuccessColour);
    else if (authPanel->hasError())
        showStatusGlyph(QStringLiteral("✕"), kFailureColour);
    else
        showStatusGlyph(QStringLiteral("•"), kIdleColour);
}

void MainWindow::onSignedInChanged(bool signedIn) {
    if (!signedIn)
        banned_ = false;
    // During a launch the button is its cancel: the panel must not turn it back into play.
    if (!launching())
        showPlayButton();
    refreshSession(signedIn);
}

// After start-up and after every launch: play only for a signed-in player who is not banned.
void MainWindow::showPlayButton() {
    playButton->setText(kPlayText);
    playButton->setEnabled(playAllowed());
    if (!authPanel->isSignedIn())
        playButton->setToolTip(kSignInFirst);
    else if (!banned_)
        playButton->setToolTip(QString());
}

void MainWindow::showBan(const QString& details) {
    banned_ = true;
    if (!launching())
        playButton->setEnabled(false);
    playButton->setToolTip(details);
    showStatusGlyph(QStringLiteral("✕"), kFailureColour);
    statusLabel->setText(details.split(QLatin1Char('\n')).join(QStringLiteral("  ·  ")));
}

void MainWindow::refreshSession(bool signedIn) {
    // The check sends nothing without a session of this run, remembered or not.
    if (!signedIn || !sessionCheck_->start())
        adminButton->hide();
}

void MainWindow::onSessionChecked(const qbk::Session& session) {
    adminButton->setVisible(session.opLevel >= 1);
    if (session.ban)
        showBan(qbk::banStatusText(*session.ban));
}

void MainWindow::openAdminDialog() {
    qbk::AdminDialog dialog(settings_, authPanel->sessionStore(), this);
    dialog.exec();
}

// A closed launcher must not start a game minutes later: the launch is stopped, and one that
// does not stop in time is abandoned rather than waited for.
MainWindow::~MainWindow() {
    if (!workerThread)
        return;
    if (launchStop_)
        launchStop_->store(true);
    workerThread->quit();
    if (!workerThread->wait(QDeadlineTimer(kStopWaitMs))) {
        std::cerr << "[Launch] Запуск не остановился вовремя, лаунчер закрывается без него."
                  << std::endl;
        std::fflush(nullptr);
        std::_Exit(3); // not a clean end: the worker still uses what a normal exit destroys
    }
}

void MainWindow::cancelLaunch() {
    launchStop_->store(true);
    playButton->setEnabled(false);
    statusLabel->setText(QStringLiteral("Отменяю запуск..."));
}

void MainWindow::onPlayClicked() {
    if (launching()) {
        cancelLaunch();
        return;
    }
    // A click that gets through while the comparison waits starts nothing.
    if (checkingMods_ || !checkServerMods(false) || !playAllowed())
        return;
    const QString starting = QStringLiteral("Запуск...");
    setActionButtonsEnabled(false);
    progressBar->setValue(0);
    statusLabel->setText(starting);
    playButton->setText(kCancelText);
    playButton->setToolTip(QStringLiteral("Остановить запуск"));
    playButton->setEnabled(true);

    // An earlier thread object stays a child of the window until it goes.
    workerThread = new QThread(this);
    auto* worker = new LauncherWorker(takeLaunchSnapshot());
    launchStop_ = worker->stopFlag();
    worker->moveToThread(workerThread);
    connect(workerThread, &QThread::started, worker, &LauncherWorker::run);
    connect(worker, &LauncherWorker::statusChanged, this, &MainWindow::onStatusChanged);
    connect(worker, &LauncherWorker::progressChanged, this, &MainWindow::onProgressChanged);
    connect(worker, &LauncherWorker::finished, this, &MainWindow::onFinished);
    connect(worker, &LauncherWorker::finished, workerThread, &QThread::quit);
    connect(workerThread, &QThread::finished, worker, &QObject::deleteLater);
    workerThread->start();
}

// The session of this run, remembered on disk or not, and the settings as they are now.
qbk::LaunchSnapshot MainWindow::takeLaunchSnapshot() {
    const qbk::Session& session = authPanel->sessionStore().current();
    qbk::LaunchSnapshot snapshot;
    // The launcher directory is where the settings file lives (the executable's folder).
    snapshot.launcherDir = settings_.iniFile().parent_path();
    const QString name = session.isValid() ? session.username : authPanel->username();
    snapshot.options.playerName = name.trimmed().toStdWString();
    snapshot.options.uuid = session.uuid.toStdWString();
    snapshot.options.accessToken = session.accessToken.toStdWString();
    qbk::LauncherLog::addSecret(session.accessToken.toStdString());
    snapshot.options.maxRamMb = settings_.maxRamMb();
    snapshot.options.minRamMb = settings_.minRamMb();
    snapshot.endpoints = settings_.endpoints();
    return snapshot;
}

void MainWindow::setModPrompts(const qbk::ModPrompts& prompts) {
    modPrompts_ = prompts;
    modListPanel->setPrompts(prompts);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The comparison's wait must not outlive the window, nor may a launch follow it.
    closing_ = true;
    modCheck_->cancel();
    if (launchStop_)
        launchStop_->store(true);
    qbk::BackgroundWidget::closeEvent(event);
}

qbk::ModManagerDialog::Config MainWindow::modManagerConfig() const {
    qbk::ModManagerDialog::Config config = qbk::ModManagerDialog::configFor(settings_);
    config.prompts = modPrompts_;
    return config;
}

QString MainWindow::modsFolder() const {
    return QString::fromStdString(qbk::platform::pathToUtf8(modManagerConfig().modsDir));
}

bool MainWindow::playAllowed() const {
    return authPanel->isSignedIn() && !banned_;
}

// While the comparison waits in its own event loop, nothing may start a second one or a launch.
void MainWindow::holdButtonsForModCheck(bool held) {
    checkingMods_ = held;
    for (QPushButton* button : {importZipButton, gearButton, checkButton})
        button->setEnabled(!held);
    playButton->setEnabled(!held && playAllowed());
}

bool MainWindow::checkServerMods(bool interactive) {
    statusLabel->setText(QStringLiteral("Сверяю моды со сборкой сервера..."));
    holdButtonsForModCheck(true);
    QCoreApplication::processEvents();
    QList<qbk::ServerMod> missing;
    QList<qbk::ServerMod> extra;
    const bool obtained = !closing_ && modCheck_->run(missing, extra, 8000);
    if (closing_)
        return false;
    if (!obtained || (missing.isEmpty() && extra.isEmpty())) {
        holdButtonsForModCheck(false);
        statusLabel->setText(!obtained ? QStringLiteral("Список модов сервера недоступен")
                             : interactive ? QStringLiteral("Моды совпадают со сборкой сервера")
                                           : kReadyText);
        return true;
    }
    QStringList lines;
    if (!missing.isEmpty()) {
        qint64 bytes = 0;
        for (const qbk::ServerMod& mod : missing)
            bytes += mod.sizeBytes;
        lines << QStringLiteral("Не хватает модов: %1 (%2 МБ)")
                     .arg(missing.size())
                     .arg(bytes / 1048576);
    }
    if (!extra.isEmpty())
        lines << QStringLiteral(
                     "Лишних модов: %1 — сервер их больше не использует, из-за них может "
                     "не пустить")
                     .arg(extra.size());
    if (modPrompts_.ask(this, QStringLiteral("Моды изменились"),
                        lines.join(QLatin1Char('\n')) +
                            QStringLiteral("\n\nОткрыть управление модами?"))) {
        qbk::ModManagerDialog dialog(modManagerConfig(), this);
        modPrompts_.run(dialog);
        modListPanel->refresh(modsFolder());
    }
    holdButtonsForModCheck(false);
    statusLabel->setText(kReadyText);
    return !closing_;
}

void MainWindow::onImportModsClicked() {
    ZipWarningDialog warning(this);
    if (modPrompts_.run(warning) != QDialog::Accepted)
        return;
    const QString archive = modPrompts_.chooseArchive(this);
    if (archive.isEmpty())
        return;
    importZipButton->setEnabled(false);
    playButton->setEnabled(false);
    statusLabel->setText(QStringLiteral("Распаковка модов..."));
    QCoreApplication::processEvents();
    showImportResult(qbk::importModArchive(qbk::platform::pathFromUtf8(archive.toStdString()),
                                           modManagerConfig().modsDir));
    importZipButton->setEnabled(true);
    playButton->setEnabled(playAllowed());
}

void MainWindow::onSettingsClicked() {
    qbk::SettingsDialog dialog(settings_, this);
    modPrompts_.run(dialog);
    updateBuildLabel();
}

void MainWindow::onCheckClicked() {
    // A click that gets through while the comparison waits starts nothing.
    if (checkingMods_ || !checkServerMods(true))
        return;
    qbk::LauncherChecks::Config config;
    config.launcherDir = settings_.iniFile().parent_path();
    config.endpoints = settings_.endpoints();
    qbk::CheckDialog dialog(std::move(config), this);
    modPrompts_.run(dialog);
}

void MainWindow::showImportResult(int installed) {
    if (installed < 0) {
        statusLabel->setText(
            QStringLiteral("Не удалось открыть архив. Нужен .zip (не .7z и не .rar)."));
    } else if (installed == 0) {
        statusLabel->setText(QStringLiteral("В архиве не нашлось ни одного .jar файла."));
    } else {
        statusLabel->setText(QStringLiteral("Установлено модов: %1").arg(installed));
        modListPanel->refresh(modsFolder());
    }
}
