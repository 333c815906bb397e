#include "mods/ZipWarningDialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

ZipWarningDialog::ZipWarningDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Личные моды"));
    setModal(true);
    setFixedWidth(400);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 20);
    column->setSpacing(18);

    auto* warning =
        new QLabel(QStringLiteral("Личный zip не гарантирует подключения к серверу."), this);
    warning->setObjectName(QStringLiteral("warningLabel"));
    warning->setWordWrap(true);
    column->addWidget(warning);

    auto* row = new QHBoxLayout;
    row->setSpacing(10);
    auto* cancel = new QPushButton(QStringLiteral("Отмена"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setCursor(Qt::PointingHandCursor);
    chooseButton = new QPushButton(QStringLiteral("Выбрать"), this);
    chooseButton->setObjectName(QStringLiteral("chooseButton"));
    chooseButton->setCursor(Qt::PointingHandCursor);
    chooseButton->setEnabled(false);
    chooseButton->setAccessibleName(QStringLiteral("Выбрать архив с модами"));
    understandBox = new QCheckBox(QStringLiteral("Я понимаю"), this);
    understandBox->setObjectName(QStringLiteral("understandBox"));
    understandBox->setCursor(Qt::PointingHandCursor);
    row->addWidget(cancel);
    row->addStretch();
    row->addWidget(chooseButton);
    row->addWidget(understandBox);
    column->addLayout(row);

    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(chooseButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(understandBox, &QCheckBox::toggled, chooseButton, &QPushButton::setEnabled);
}
