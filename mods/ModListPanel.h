#pragma once

#include "mods/ModInfo.h"
#include "mods/ModManagerDialog.h"
#include "mods/ModrinthClient.h"

#include <QHash>
#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace qbk {

class Settings;

// The main window's card of installed mods: one row per jar of the mods folder, filled in as
// the Modrinth client learns about it, and the button that opens the mod manager.
class ModListPanel : public QWidget {
    Q_OBJECT

public:
    explicit ModListPanel(QWidget* parent = nullptr);
    ModListPanel(ModrinthClient::Config clientConfig, ModManagerDialog::Config managerConfig,
                 QWidget* parent = nullptr);

    // Modrinth and the cache as the settings file next to them names them.
    static ModrinthClient::Config clientConfigFor(const Settings& settings);

    // Lists the folder afresh: rows go, the client scans again.
    void refresh(const QString& folder);
    QString modsDir() const { return modsDir_; }
    ModrinthClient& client() { return *client_; }
    void setPrompts(const ModPrompts& prompts) { managerConfig_.prompts = prompts; }
    // Held while a launch syncs the folder, so the manager deletes nothing under it.
    void setManageEnabled(bool enabled);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void buildUi();
    void updateRow(const ModInfo& info);
    QWidget* addRow(const QString& fileName);
    void updateCount(int total);
    void openManager();

    ModrinthClient* client_ = nullptr;
    ModManagerDialog::Config managerConfig_;
    QVBoxLayout* listLayout_ = nullptr;
    QLabel* countBadge_ = nullptr;
    QPushButton* manageButton_ = nullptr;
    QLabel* hintLabel_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QHash<QString, QWidget*> rows_;
    QString modsDir_;
};

} // namespace qbk
