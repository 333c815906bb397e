#pragma once

#include <QDialog>
#include <functional>

class QCheckBox;
class QLabel;
class QSlider;
class QSpinBox;
class QUrl;

namespace qbk {

class Settings;

// Game memory, the remember-login and close-on-launch choices, and a way into the game
// folder. Nothing reaches the store before "Сохранить".
class SettingsDialog : public QDialog {
public:
    using FolderOpener = std::function<void(const QUrl&)>;

    explicit SettingsDialog(QWidget* parent = nullptr);
    explicit SettingsDialog(Settings& settings, QWidget* parent = nullptr);

    // Replaces the desktop's file manager, for tests.
    void setFolderOpener(FolderOpener opener) { openFolder_ = std::move(opener); }

    // The warning for a memory value on a machine with the given total, empty when none.
    static QString memoryWarning(int valueMb, int totalMb);

private:
    void buildUi();
    QWidget* buildMemoryRow();
    QLayout* buildButtonRow();
    void updateMemoryWarning(int valueMb);
    void saveSettings();
    void openGameFolder();

    Settings& settings_;
    FolderOpener openFolder_;
    QSlider* memorySlider_ = nullptr;
    QSpinBox* memorySpin_ = nullptr;
    QLabel* warningLabel_ = nullptr;
    QCheckBox* rememberLoginBox_ = nullptr;
    QCheckBox* closeOnLaunchBox_ = nullptr;
};

} // namespace qbk
