#pragma once

#include "game/GameLaunch.h"
#include "game/StatusFn.h"
#include "launch/LaunchSnapshot.h"
#include "launch/TransferLimits.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <memory>

namespace qbk {
class LaunchProgress;
}

// Runs the play sequence on its own thread: Java runtime, vanilla game, NeoForge, mods,
// server list, launch profile, agent and the game start. Reports through the three signals
// and emits finished exactly once per run, whatever happens inside; a stopped run ends with
// "Запуск отменён.".
class LauncherWorker : public QObject {
    Q_OBJECT

public:
    explicit LauncherWorker(qbk::LaunchSnapshot snapshot, QObject* parent = nullptr);
    ~LauncherWorker() override;

    // Set from any thread (the window keeps it past the worker's end): the run stops at its
    // next safe point.
    std::shared_ptr<std::atomic<bool>> stopFlag() const { return stop_; }
    void cancel() { stop_->store(true); }

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
    // A status on the whole bar's scale (0..100).
    void status(const QString& text, int percent);
    void status(const QString& text);
    bool stopped() const { return stop_->load(); }
    // False only when a listed mod could not be brought in; a missing manifest only warns.
    // False with the failed mod and its reason when a download or replacement failed.
    bool syncMods(const std::filesystem::path& gameDir, QString& failure);
    void writeServerList(const std::filesystem::path& gameDir);

    qbk::LaunchSnapshot snapshot_;
    std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);
    std::unique_ptr<qbk::LaunchProgress> progress_;
    qbk::TransferLimits limits_;
    int percent_ = 0;
    std::chrono::milliseconds gameStartWatch_ = qbk::kGameStartWatch;
    // The text reported when the current step throws instead of returning its result.
    QString stepFailure_;
};
