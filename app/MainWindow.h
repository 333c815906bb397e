#pragma once

#include "app/BackgroundWidget.h"
#include "mods/ModManagerDialog.h"
#include "mods/ModPrompts.h"

#include <atomic>
#include <memory>

class QCloseEvent;
class QLabel;
class QProgressBar;
class QPushButton;
class QThread;

namespace qbk {
class AuthPanel;
class ModListPanel;
class ServerModCheck;
class SessionCheck;
class UpdatePanel;
class Settings;
struct LaunchSnapshot;
struct Session;
} // namespace qbk

// The launcher's one top-level window: header, mod list, card, status strip and the action
// buttons, over the blurred backdrop.
class MainWindow : public qbk::BackgroundWidget {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    // The settings store to read; tests give one on a temporary INI.
    explicit MainWindow(qbk::Settings& settings, QWidget* parent = nullptr);
    // A launch still running is stopped; the process does not wait for it past a few seconds.
    ~MainWindow() override;

    // The questions, dialogs and file choice of the mod flows; tests answer them.
    void setModPrompts(const qbk::ModPrompts& prompts);
    // Asks the release server about a newer launcher; called once the window is shown.
    void startUpdateCheck();

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void onPlayClicked();
    void onImportModsClicked();
    void onSettingsClicked();
    void onCheckClicked();
    void onStatusChanged(const QString& text);
    void onProgressChanged(int percent);
    void onFinished(bool success, const QString& message);

private:
    void buildUi();
    QWidget* buildHeader();
    QWidget* buildMiddleRow();
    QWidget* buildCard();
    QWidget* buildStatusStrip();
    QWidget* buildBottomBar();
    QPushButton* actionButton(const QString& text, const QString& objectName,
                              const QString& toolTip);
    void setActionButtonsEnabled(bool enabled);
    void showStatusGlyph(const QString& glyph, const QString& colour);
    void showAuthOutcomeGlyph();
    void updateBuildLabel();
    void connectAuthPanel();
    void onSignedInChanged(bool signedIn);
    void showBan(const QString& details);
    void refreshSession(bool signedIn);
    void onSessionChecked(const qbk::Session& session);
    void openAdminDialog();
    qbk::LaunchSnapshot takeLaunchSnapshot();
    // False when the window closed meanwhile: the caller then stops.
    bool checkServerMods(bool interactive);
    qbk::ModManagerDialog::Config modManagerConfig() const;
    void holdButtonsForModCheck(bool held);
    bool playAllowed() const;
    bool launching() const { return launchStop_ != nullptr; }
    void cancelLaunch();
    void showPlayButton();
    QString modsFolder() const;
    void showImportResult(int installed);

    qbk::Settings& settings_;

    QLabel* statusLabel = nullptr;
    QProgressBar* progressBar = nullptr;
    QPushButton* playButton = nullptr;
    QPushButton* importZipButton = nullptr;
    QPushButton* gearButton = nullptr;
    QLabel* hintLabel = nullptr;
    QPushButton* checkButton = nullptr;
    QPushButton* adminButton = nullptr;
    QLabel* statusIcon = nullptr;
    qbk::ModListPanel* modListPanel = nullptr;
    qbk::AuthPanel* authPanel = nullptr;
    qbk::SessionCheck* sessionCheck_ = nullptr;
    QThread* workerThread = nullptr;
    qbk::ServerModCheck* modCheck_ = nullptr;
    qbk::UpdatePanel* updatePanel_ = nullptr;
    qbk::ModPrompts modPrompts_ = qbk::ModPrompts::standard();
    bool closing_ = false;
    // Set while a launch runs (one at a time); storing true stops it.
    std::shared_ptr<std::atomic<bool>> launchStop_;
    bool checkingMods_ = false;

    // The sign-in that reported a ban keeps play locked until sign-out, whatever a later
    // session answer says.
    bool banned_ = false;
};
