#include "accounts/AdminDialog.h"

#include "accounts/AdminClient.h"
#include "accounts/SortKeyItem.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <limits>

namespace qbk {

namespace {

constexpr int kColumnCount = 6;
constexpr int kReasonColumn = 1;
constexpr int kActionColumn = 5;
constexpr int kColumnPadding = 34;
constexpr int kActionColumnWidth = 150;
constexpr int kRowHeight = 46;
constexpr int kMaxBanDays = 3650;

const QString kErrorStyle = QStringLiteral("color: #e06a6a; background: transparent;");
const QString kInfoStyle = QStringLiteral("color: #8b8b98; background: transparent;");
const QString kNoTime = QStringLiteral("—");

QPushButton* pushButton(const QString& text, const QString& objectName, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QString localTime(qint64 secondsSinceEpoch) {
    return QDateTime::fromSecsSinceEpoch(secondsSinceEpoch)
        .toLocalTime()
        .toString(QStringLiteral("dd.MM.yyyy HH:mm"));
}

SortKeyItem* timeItem(qint64 secondsSinceEpoch) {
    if (secondsSinceEpoch <= 0)
        return new SortKeyItem(kNoTime, 0);
    return new SortKeyItem(localTime(secondsSinceEpoch), secondsSinceEpoch);
}

} // namespace

AdminDialog::AdminDialog(Settings& settings, const SessionStore& session, QWidget* parent)
    : QDialog(parent), client_(new AdminClient(session, settings, this)) {
    setWindowTitle(QStringLiteral("Админка"));
    setModal(true);
    setMinimumSize(940, 620);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(30, 26, 30, 24);
    column->setSpacing(16);

    auto* header = new QHBoxLayout;
    auto* heading = new QLabel(QStringLiteral("Баны"), this);
    heading->setObjectName(QStringLiteral("sectionTitle"));
    header->addWidget(heading);
    header->addStretch();
    statusLabel_ = new QLabel(QStringLiteral("Проверяю права..."), this);
    statusLabel_->setObjectName(QStringLiteral("hintLabel"));
    header->addWidget(statusLabel_);
    column->addLayout(header);

    table_ = new QTableWidget(0, kColumnCount, this);
    table_->setHorizontalHeaderLabels({QStringLiteral("Игрок"), QStringLiteral("Причина"),
                                       QStringLiteral("Кто забанил"), QStringLiteral("Когда"),
                                       QStringLiteral("До"), QString()});
    table_->horizontalHeader()->setSectionResizeMode(kReasonColumn, QHeaderView::Stretch);
    table_->verticalHeader()->hide();
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setAlternatingRowColors(false);
    table_->setSortingEnabled(true);
    table_->setAccessibleName(QStringLiteral("Список банов"));
    column->addWidget(table_, 1);

    column->addWidget(buildBanRow());

    messageLabel_ = new QLabel(this);
    messageLabel_->setObjectName(QStringLiteral("hintLabel"));
    messageLabel_->setWordWrap(true);
    column->addWidget(messageLabel_);

    auto* buttons = new QHBoxLayout;
    QPushButton* reload = pushButton(QStringLiteral("Обновить"), "secondaryButton", this);
    QPushButton* close = pushButton(QStringLiteral("Закрыть"), "secondaryButton", this);
    buttons->addWidget(reload);
    buttons->addStretch();
    buttons->addWidget(close);
    column->addLayout(buttons);
    connect(reload, &QPushButton::clicked, this, &AdminDialog::loadBans);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    connectClient();
    client_->requestLevel();
    loadBans();
}

QWidget* AdminDialog::buildBanRow() {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);

    usernameField_ = new QLineEdit(row);
    usernameField_->setPlaceholderText(QStringLiteral("Никнейм"));
    usernameField_->setAccessibleName(QStringLiteral("Никнейм игрока"));
    usernameField_->setMaximumWidth(220);
    reasonField_ = new QLineEdit(row);
    reasonField_->setPlaceholderText(QStringLiteral("Причина"));
    reasonField_->setAccessibleName(QStringLiteral("Причина бана"));
    reasonField_->setMinimumWidth(240);
    reasonField_->setClearButtonEnabled(true);
    reasonField_->setFocusPolicy(Qt::StrongFocus);
    daysBox_ = new QSpinBox(row);
    daysBox_->setRange(0, kMaxBanDays);
    daysBox_->setSpecialValueText(QStringLiteral("Навсегда"));
    daysBox_->setSuffix(QStringLiteral(" дн."));
    daysBox_->setFixedWidth(210);
    daysBox_->setAccessibleName(QStringLiteral("Срок бана в днях"));
    banButton_ = pushButton(QStringLiteral("Забанить"), "chooseButton", row);

    layout->addWidget(usernameField_);
    layout->addWidget(reasonField_, 1);
    layout->addWidget(daysBox_);
    layout->addWidget(banButton_);
    setBanControlsEnabled(false);
    connect(banButton_, &QPushButton::clicked, this, &AdminDialog::banPlayer);
    return row;
}

void AdminDialog::connectClient() {
    connect(client_, &AdminClient::levelReceived, this, &AdminDialog::onLevel);
    connect(client_, &AdminClient::levelFailed, this, [this](const QString& message) {
        showStatus(QStringLiteral("Нет прав"), true);
        showMessage(message, true);
    });
    connect(client_, &AdminClient::bansLoaded, this, &AdminDialog::showBans);
    connect(client_, &AdminClient::bansFailed, this,
            [this](const QString& message) { showMessage(message, true); });
    connect(client_, &AdminClient::banned, this, [this](const QString& username) {
        banButton_->setEnabled(canBan_);
        usernameField_->clear();
        reasonField_->clear();
        showMessage(username + QStringLiteral(" забанен"), false);
        loadBans();
    });
    connect(client_, &AdminClient::banFailed, this, [this](const QString& message) {
        banButton_->setEnabled(canBan_);
        showMessage(message, true);
    });
    connect(client_, &AdminClient::unbanned, this, [this](const QString& username) {
        showMessage(QStringLiteral("Бан с ") + username + QStringLiteral(" снят"), false);
        loadBans();
    });
    connect(client_, &AdminClient::unbanFailed, this,
            [this](const QString& message) { showMessage(message, true); });
}

void AdminDialog::onLevel(int level, bool canBan) {
    canBan_ = canBan;
    showStatus(QStringLiteral("Уровень доступа: %1").arg(level), false);
    setBanControlsEnabled(canBan_);
    if (!canBan_) {
        showMessage(QStringLiteral("Твоего уровня хватает только на просмотр. Для банов нужен "
                                   "уровень 3 и выше."),
                    false);
        return;
    }
    usernameField_->setFocus();
    if (listLacksUnbanButtons_)
        loadBans();
}

void AdminDialog::loadBans() {
    showMessage(QStringLiteral("Загружаю..."), false);
    client_->loadBans();
}

void AdminDialog::showBans(const BanList& bans) {
    table_->setSortingEnabled(false);
    table_->setRowCount(0);
    for (const BanRecord& ban : bans) {
        const QString username = ban.username;
        const int row = table_->rowCount();
        table_->insertRow(row);
        table_->setItem(row, 0, new QTableWidgetItem(username));
        table_->setItem(row, 1, new QTableWidgetItem(ban.reason));
        table_->setItem(row, 2, new QTableWidgetItem(ban.bannedBy));
        table_->setItem(row, 3, timeItem(ban.createdAt));
        // A permanent ban ends after every dated one.
        table_->setItem(row, 4,
                        ban.permanent ? new SortKeyItem(QStringLiteral("Навсегда"),
                                                        std::numeric_limits<qint64>::max())
                                      : timeItem(ban.until));
        if (canBan_) {
            QPushButton* unban = pushButton(QStringLiteral("Разбанить"), "secondaryButton", table_);
            unban->setStyleSheet(QStringLiteral("padding: 5px 10px; font-size: 12px;"));
            unban->setMinimumWidth(0);
            unban->setMaximumWidth(126);
            unban->setAccessibleName(QStringLiteral("Разбанить ") + username);
            connect(unban, &QPushButton::clicked, this,
                    [this, username] { unbanPlayer(username); });
            table_->setCellWidget(row, kActionColumn, unban);
        }
    }
    listLacksUnbanButtons_ = !canBan_;
    table_->setSortingEnabled(true);
    fitColumns();
    showMessage(bans.isEmpty() ? QStringLiteral("Забаненных нет.")
                               : QStringLiteral("Забанено: %1").arg(bans.size()),
                false);
}

void AdminDialog::fitColumns() {
    const QFontMetrics metrics(table_->font());
    for (int column = 0; column < kActionColumn; ++column) {
        int widest = metrics.horizontalAdvance(table_->horizontalHeaderItem(column)->text());
        for (int row = 0; row < table_->rowCount(); ++row)
            if (const QTableWidgetItem* cell = table_->item(row, column))
                widest = std::max(widest, metrics.horizontalAdvance(cell->text()));
        table_->setColumnWidth(column, widest + kColumnPadding);
    }
    QHeaderView* header = table_->horizontalHeader();
    header->setSectionResizeMode(kReasonColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(kActionColumn, QHeaderView::Fixed);
    table_->setColumnWidth(kActionColumn, kActionColumnWidth);
    for (int row = 0; row < table_->rowCount(); ++row)
        table_->setRowHeight(row, kRowHeight);
}

void AdminDialog::banPlayer() {
    const QString username = usernameField_->text().trimmed();
    if (username.isEmpty())
        return showMessage(QStringLiteral("Введи никнейм"), true);
    const int days = daysBox_->value();
    const QString when =
        days == 0 ? QStringLiteral("навсегда") : QStringLiteral("на %1 дн.").arg(days);
    if (!confirm(QStringLiteral("Забанить %1 %2?").arg(username, when)))
        return;
    banButton_->setEnabled(false);
    client_->ban(username, reasonField_->text().trimmed(), days);
}

void AdminDialog::unbanPlayer(const QString& username) {
    if (!confirm(QStringLiteral("Снять бан с ") + username + QStringLiteral("?")))
        return;
    client_->unban(username);
}

bool AdminDialog::confirm(const QString& question) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Подтверждение"), question,
                    QMessageBox::Yes | QMessageBox::No, this);
    for (QAbstractButton* button : box.buttons())
        button->setCursor(Qt::PointingHandCursor);
    return box.exec() == QMessageBox::Yes;
}

void AdminDialog::setBanControlsEnabled(bool enabled) {
    for (QWidget* control :
         {static_cast<QWidget*>(usernameField_), static_cast<QWidget*>(reasonField_),
          static_cast<QWidget*>(daysBox_), static_cast<QWidget*>(banButton_)})
        control->setEnabled(enabled);
}

void AdminDialog::showMessage(const QString& text, bool error) {
    messageLabel_->setText(text);
    messageLabel_->setStyleSheet(error ? kErrorStyle : kInfoStyle);
}

void AdminDialog::showStatus(const QString& text, bool error) {
    statusLabel_->setText(text);
    statusLabel_->setStyleSheet(error ? kErrorStyle : kInfoStyle);
}

} // namespace qbk
