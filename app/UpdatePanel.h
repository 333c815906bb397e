#pragma once

#include "app/ReleaseManifest.h"

#include <QWidget>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QPushButton;
class QTimer;

namespace qbk {

// The header's line about a newer launcher: asks the release server once per start, shows
// "Доступна версия X" with an "Обновить" button, downloads and checks the package with byte
// progress, and after the player agrees swaps the files and asks main() to start the new
// launcher. Hidden while there is nothing to offer; an unreachable or unsigned answer is only
// logged.
class UpdatePanel : public QWidget {
    Q_OBJECT

public:
    struct Config {
        std::filesystem::path launcherDir;
        std::filesystem::path executableName;
        std::string baseUrl; // endpoints/launcherUpdates
        std::function<bool()> launchRunning;
    };
    UpdatePanel(Config config, QWidget* parent = nullptr);
    ~UpdatePanel() override;

    // Clears what an earlier update moved aside, then asks for the latest release, waiting
    // for a running launch to end first.
    void start();

    // The executable main() starts after the event loop ended, once the lock is released.
    static std::optional<std::filesystem::path> takePendingRestart();

private:
    struct Transfer {
        std::atomic<std::int64_t> received{0};
        std::atomic<std::int64_t> total{0};
        std::atomic<bool> cancel{false};
    };

    void removeLeftovers(int attemptsLeft);
    void check();
    void onUpdateClicked();
    void download();
    void offerRestart();
    void restart();
    void showOffer();
    QString refusal() const;

    Config config_;
    QLabel* label_ = nullptr;
    QPushButton* button_ = nullptr;
    QTimer* progressTimer_ = nullptr;
    UpdateOffer offer_;
    std::shared_ptr<Transfer> transfer_;
    bool staged_ = false;
};

} // namespace qbk
