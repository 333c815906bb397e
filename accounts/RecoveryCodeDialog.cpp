#include "accounts/RecoveryCodeDialog.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace qbk {

namespace {

constexpr int kCopiedTextMs = 1500;

const QString kCopyText = QStringLiteral("Скопировать");

} // namespace

RecoveryCodeDialog::RecoveryCodeDialog(const QString& code, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Код восстановления"));
    setModal(true);
    setMinimumWidth(560);
    setWindowFlags((windowFlags() | Qt::CustomizeWindowHint) & ~Qt::WindowCloseButtonHint);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(34, 30, 34, 26);
    column->setSpacing(18);

    auto* heading = new QLabel(QStringLiteral("Запомни этот код"), this);
    heading->setObjectName(QStringLiteral("sectionTitle"));
    column->addWidget(heading);

    auto* explanation = new QLabel(
        QStringLiteral("Это единственный способ вернуть доступ, если забудешь пароль — почты у "
                       "нас нет.\n\nКод показывается один раз: на сервере хранится только его "
                       "зашифрованный отпечаток, и повторно его не покажет никто, включая "
                       "администратора.\n\nСохрани его в надёжном месте."),
        this);
    explanation->setObjectName(QStringLiteral("hintLabel"));
    explanation->setWordWrap(true);
    column->addWidget(explanation);

    auto* codeRow = new QHBoxLayout;
    codeRow->setSpacing(10);
    codeField_ = new QLineEdit(code, this);
    codeField_->setReadOnly(true);
    codeField_->setAlignment(Qt::AlignCenter);
    codeField_->setAccessibleName(QStringLiteral("Код восстановления"));
    codeField_->setStyleSheet(QStringLiteral("font-family: Consolas, monospace; font-size: 22px; "
                                             "font-weight: 700;letter-spacing: 2px; color: "
                                             "#c9a227;"));
    codeRow->addWidget(codeField_, 1);

    auto* copyButton = new QPushButton(kCopyText, this);
    copyButton->setObjectName(QStringLiteral("secondaryButton"));
    copyButton->setCursor(Qt::PointingHandCursor);
    codeRow->addWidget(copyButton);
    column->addLayout(codeRow);
    column->addSpacing(4);

    auto* confirmButton = new QPushButton(QStringLiteral("Запомнил"), this);
    confirmButton->setObjectName(QStringLiteral("playButton"));
    confirmButton->setCursor(Qt::PointingHandCursor);
    column->addWidget(confirmButton);

    connect(copyButton, &QPushButton::clicked, this, [this, copyButton, code] {
        QGuiApplication::clipboard()->setText(code);
        codeField_->selectAll();
        copyButton->setText(QStringLiteral("Скопировано"));
        QTimer::singleShot(kCopiedTextMs, copyButton,
                           [copyButton] { copyButton->setText(kCopyText); });
    });
    connect(confirmButton, &QPushButton::clicked, this, &QDialog::accept);
}

void RecoveryCodeDialog::reject() {
    // Escape and the window's close request both end here; the code must not be lost to them.
}

} // namespace qbk
