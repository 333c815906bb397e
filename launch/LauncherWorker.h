#pragma once

#include "game/GameLaunch.h"
#include "game/StatusFn.h"
#include "launch/LaunchSnapshot.h"

#include <QObject>
#include <QString>
#include <chrono>

// Runs the play sequence on its own thread: Java runtime, vanilla game, NeoForge, mods,
// server list, launch profile, agent and the game start. Reports through the three signals
// and emits finished exactly once per run, whatever happens inside.
class LauncherWorker : public QObject {
    Q_OBJECT

public:
    explicit LauncherWorker(qbk::LaunchSnapshot snapshot, QObject* parent = nullptr);

    // How long the started game must stay alive; tests and benchmarks shorten it.
    void setGameStartWatch(std::chrono::milliseconds watch) { gameStartWatch_ = watch; }

signals:
    void statusChanged(QString text);
    void progressChanged(int percent);
    void finished(bool success, QString message);

public slots:
    void run();

private:
    // The sequence itself; returns the outcome instead of emitting it.
    bool play(QString& message);
    qbk::StatusFn installerProgress();
    void status(const QString& text) { emit statusChanged(text); }
    void progress(int percent) { emit progressChanged(percent); }
    // False only when a listed mod could not be brought in; a missing manifest only warns.
    // False with the failed mod and its reason when a download or replacement failed.
    bool syncMods(const std::filesystem::path& gameDir, QString& failure);
    void writeServerList(const std::filesystem::path& gameDir);

    qbk::LaunchSnapshot snapshot_;
    std::chrono::milliseconds gameStartWatch_ = qbk::kGameStartWatch;
    // The text reported when the current step throws instead of returning its result.
    QString stepFailure_;
};
