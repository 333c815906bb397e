#pragma once

#include <QDialog>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <functional>

class QLabel;
class QLineEdit;
class QNetworkAccessManager;
class QNetworkReply;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace qbk {

class SessionStore;
class Settings;

// The operator's view of the account server's bans: the list, a ban form and unban buttons.
// The server decides who may do what; the controls only mirror its canBan answer.
class AdminDialog : public QDialog {
    Q_OBJECT
public:
    AdminDialog(Settings& settings, const SessionStore& session, QWidget* parent = nullptr);

private:
    // Gets the reply's object and, for a failed reply, the text to show (empty on success).
    using ReplyFn = std::function<void(const QJsonObject& reply, const QString& error)>;

    QWidget* buildBanRow();
    QNetworkReply* get(const QString& path);
    QNetworkReply* post(const QString& path, const QJsonObject& body);
    void whenFinished(QNetworkReply* reply, ReplyFn handle);

    void onLevel(const QJsonObject& reply, const QString& error);
    void loadBans();
    void showBans(const QJsonArray& bans);
    void fitColumns();
    void banPlayer();
    void unbanPlayer(const QString& username);
    bool confirm(const QString& question);
    void setBanControlsEnabled(bool enabled);
    void showMessage(const QString& text, bool error);
    void showStatus(const QString& text, bool error);

    Settings& settings_;
    const SessionStore& session_;
    QNetworkAccessManager* network_ = nullptr;
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
