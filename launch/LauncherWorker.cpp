#include "launch/LauncherWorker.h"

#include "app/ProjectInfo.h"
#include "game/LaunchProfile.h"
#include "game/MinecraftInstaller.h"
#include "game/NeoForgeInstaller.h"
#include "launch/AuthlibInjector.h"
#include "launch/JavaRuntime.h"
#include "launch/LaunchProgress.h"
#include "launch/ServerList.h"
#include "mods/ModSyncJob.h"
#include "mods/ModsFolderLock.h"
#include "platform/Platform.h"

#include <exception>
#include <iostream>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

const QString kJavaFailure =
    QStringLiteral("Не удалось подготовить Java 21. Проверь подключение к интернету.");
const QString kModSyncFailure = QStringLiteral("Ошибка синхронизации модов.");
const QString kAgentFailure = QStringLiteral(
    "Не удалось скачать authlib-injector — без него сервер не пустит. Проверь интернет.");
// Reported when an installation step throws instead of leaving its own text.
const QString kInstallFailure = QStringLiteral("Не удалось установить игру.");
const QString kLaunchFailure = QStringLiteral("Не удалось запустить игру.");
const QString kLaunched = QStringLiteral("Игра запущена!");
const QString kStopped = QString::fromUtf8(qbk::kStoppedText);

std::string fromView(std::string_view text) {
    return std::string(text);
}

QString fromWide(const std::wstring& text) {
    return QString::fromStdWString(text);
}

// A transfer's cause as a player reads it, libcurl's own words kept in brackets for support.
QString plainCause(const std::string& cause) {
    static const std::pair<const char*, const char*> kPlain[] = {
        {"resolve host", "Не удалось найти сервер — нет интернета или не отвечает DNS"},
        {"connect to server", "Сервер не принимает подключение"},
        {"timeout", "Сервер слишком долго не отвечает"},
        {"ssl", "Не удалось установить защищённое соединение"},
        {"receiving data", "Соединение оборвалось"},
        {"partial file", "Соединение оборвалось"}};
    const QString text = QString::fromStdString(cause);
    for (const auto& [phrase, plain] : kPlain)
        if (text.contains(QLatin1String(phrase), Qt::CaseInsensitive))
            return QString::fromUtf8(plain) + QStringLiteral(" (") + text + QLatin1Char(')');
    return text;
}

void logError(const std::string& text) {
    std::cerr << "[Launch] " << text << std::endl;
}

} // namespace

LauncherWorker::LauncherWorker(qbk::LaunchSnapshot snapshot, QObject* parent)
    : QObject(parent), snapshot_(std::move(snapshot)) {
    if (snapshot_.options.playerName.empty())
        snapshot_.options.playerName = L"Player";
}

LauncherWorker::~LauncherWorker() = default;

void LauncherWorker::run() {
    progress_ = std::make_unique<qbk::LaunchProgress>(
        [this, shown = 0](const std::wstring& text, int percent) mutable {
            emit statusChanged(fromWide(text));
            if (percent != std::exchange(shown, percent)) // the bar starts at 0
                emit progressChanged(percent);
        },
        stop_);
    limits_.watch = progress_.get();
    QString message;
    bool success = false;
    try {
        success = play(message);
    } catch (const std::exception& e) {
        logError(e.what());
        message = stepFailure_;
    } catch (...) {
        logError("unknown exception");
        message = stepFailure_;
    }
    // Whatever a stopped step said, the player asked for the stop; a started game stays.
    if (!success && stopped())
        message = kStopped;
    // Every line of the outcome tagged, the cause included.
    std::cout << "[Launch] " << QString(message).replace('\n', "\n[Launch] ").toStdString()
              << std::endl;
    progress_.reset(); // its ticker emits nothing after finished
    emit finished(success, message);
}

void LauncherWorker::status(const QString& text, int percent) {
    percent_ = percent;
    progress_->setScale(0, 100);
    progress_->status(text.toStdWString(), percent);
}

void LauncherWorker::status(const QString& text) {
    status(text, percent_);
}

// The installers report 0..100 on one scale; the bar shows it between 8 and 88.
qbk::StatusFn LauncherWorker::installerProgress() {
    return [this](const std::wstring& text, int percent) {
        progress_->setScale(8, 88);
        progress_->status(text, percent);
    };
}

bool LauncherWorker::play(QString& message) {
    const fs::path& launcherDir = snapshot_.launcherDir;
    const qbk::TargetPlatform& target = snapshot_.target;
    const qbk::Endpoints& endpoints = snapshot_.endpoints;
    const fs::path gameDir = launcherDir / "minecraft";

    stepFailure_ = kJavaFailure;
    status(QStringLiteral("Проверка Java 21..."), 0);
    progress_->setScale(0, 8);
    qbk::JavaRuntime java(launcherDir, target, {}, limits_);
    if (!java.EnsureInstalled(qbk::JavaRuntime::downloadUrl(endpoints.adoptium, target))) {
        // The cause under the step's own message, in the runtime's words.
        message = kJavaFailure;
        if (!java.failure().empty())
            message += QStringLiteral("\n") + plainCause(qbk::platform::wideToUtf8(java.failure()));
        return false;
    }
    if (stopped())
        return false;
    status(QStringLiteral("Проверка файлов игры..."), 8);

    stepFailure_ = kInstallFailure;
    qbk::MinecraftInstaller installer(gameDir, java.javaHome(), endpoints, target);
    installer.setTransferLimits(limits_);
    const std::string mcVersion = fromView(qbk::project::kMinecraftVersion);
    if (!installer.EnsureVanilla(mcVersion, installerProgress()) || stopped()) {
        message = fromWide(installer.lastError);
        return false;
    }
    qbk::NeoForgeInstaller neoForge(installer, endpoints.neoforgeMaven, target, {},
                                    qbk::NeoForgeInstaller::kDefaultInstallerTimeLimit, limits_);
    if (!neoForge.InstallNeoForge(mcVersion, fromView(qbk::project::kNeoForgeVersion),
                                  installerProgress()) ||
        stopped()) {
        message = fromWide(installer.lastError);
        return false;
    }
    status(QStringLiteral("Получение списка модов..."), 88);

    stepFailure_ = kModSyncFailure;
    QString modFailure;
    if (!syncMods(gameDir, modFailure)) {
        // Which mod and why, under the step's own message.
        message = kModSyncFailure + QStringLiteral("\n") + modFailure;
        return false;
    }
    if (stopped())
        return false;
    status(QStringLiteral("Подготовка запуска игры..."), 92);
    writeServerList(gameDir);

    stepFailure_ = kInstallFailure;
    qbk::LaunchProfile profile;
    if (!qbk::BuildLaunchProfile(installer, target, snapshot_.options, profile)) {
        message = fromWide(installer.lastError);
        return false;
    }

    stepFailure_ = kAgentFailure;
    status(QStringLiteral("Подготовка авторизации..."));
    progress_->setScale(92, 96);
    std::string agentError;
    const fs::path agent =
        qbk::EnsureAuthlibInjector(launcherDir, endpoints.authlibInjector, agentError, limits_);
    if (agent.empty()) {
        logError(agentError);
        message = kAgentFailure + QStringLiteral("\n") + plainCause(agentError);
        return false;
    }
    qbk::AppendAgentArgument(profile, agent, endpoints.accountServer);
    if (stopped())
        return false;

    stepFailure_ = kLaunchFailure;
    status(QStringLiteral("Запуск игры..."), 96);
    std::wstring launchError;
    if (!qbk::LaunchGame(java.javaExecutable(), gameDir, profile, launchError, gameStartWatch_,
                         progress_.get())) {
        message = fromWide(launchError);
        return false;
    }
    status(kLaunched, 100);
    message = kLaunched;
    return true;
}

bool LauncherWorker::syncMods(const fs::path& gameDir, QString& failure) {
    qbk::ModSyncJob job(snapshot_.endpoints.accountServer + "/api/mods", gameDir / "mods", {},
                        limits_);
    std::vector<qbk::ModManifestEntry> entries;
    if (!job.fetchModManifest(entries)) {
        status(QStringLiteral("Манифест недоступен — использую локальные моды..."));
        return true;
    }
    // A mod manager download may still be writing the folder; one writer at a time.
    const auto folderLock = qbk::ModsFolderLock::acquire(
        [this] { status(QStringLiteral("Жду окончания загрузки модов...")); });
    status(QStringLiteral("Синхронизация модов..."));
    progress_->setScale(88, 92);
    if (job.syncMods(entries) >= 0)
        return true;
    failure = QString::fromStdWString(job.failure());
    return false;
}

void LauncherWorker::writeServerList(const fs::path& gameDir) {
    if (!qbk::WriteServersDat(gameDir, "Quellbrook", snapshot_.endpoints.gameServer,
                              qbk::LoadServerIconBase64()))
        status(QStringLiteral("Не удалось обновить список серверов, продолжаю..."));
}
