#pragma once

#include "accounts/BanRecord.h"

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace qbk {

class AdminClient;
class SessionStore;
class Settings;

// The operator's view of the account server's bans: the list, a ban form and unban buttons.
// The server decides who may do what; the controls only mirror its canBan answer.
class AdminDialog : public QDialog {
    Q_OBJECT
public:
    AdminDialog(Settings& settings, const SessionStore& session, QWidget* parent = nullptr);

private:
    QWidget* buildBanRow();
    void connectClient();

    void onLevel(int level, bool canBan);
    void loadBans();
    void showBans(const BanList& bans);
    void fitColumns();
    void banPlayer();
    void unbanPlayer(const QString& username);
    bool confirm(const QString& question);
    void setBanControlsEnabled(bool enabled);
    void showMessage(const QString& text, bool error);
    void showStatus(const QString& text, bool error);

    AdminClient* client_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLabel* messageLabel_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QLineEdit* usernameField_ = nullptr;
    QLineEdit* reasonField_ = nullptr;
    QSpinBox* daysBox_ = nullptr;
    QPushButton* banButton_ = nullptr;
    bool canBan_ = false;
    // A list built before the rights arrived has no unban buttons; it is fetched once more.
    bool listLacksUnbanButtons_ = false;
};

} // namespace qbk
