#include "AccountUiSupport.h"

#include <QSettings>
#include <QTest>
#include <gtest/gtest.h>

namespace qbk::test {

ServerBackedSettings::ServerBackedSettings(const QStringList& serverArguments)
    : server(serverArguments) {
    {
        QSettings ini(QString::fromStdString(iniFile().string()), QSettings::IniFormat);
        ini.setValue("auth/baseUrl", server.baseUrl());
    }
    settings_ = reopen();
}

QVariant ServerBackedSettings::onDisk(const QString& key) const {
    return QSettings(QString::fromStdString(iniFile().string()), QSettings::IniFormat).value(key);
}

std::unique_ptr<Settings> ServerBackedSettings::reopen() const {
    return std::make_unique<Settings>(iniFile());
}

QLineEdit* fieldWithPlaceholder(QWidget& root, const QString& placeholder) {
    for (QLineEdit* field : root.findChildren<QLineEdit*>())
        if (field->placeholderText() == placeholder)
            return field;
    ADD_FAILURE() << "no field " << placeholder.toStdString();
    return nullptr;
}

QPushButton* buttonWithText(QWidget& root, const QString& text) {
    for (QPushButton* button : root.findChildren<QPushButton*>())
        if (button->text() == text)
            return button;
    ADD_FAILURE() << "no button " << text.toStdString();
    return nullptr;
}

void typeInto(QWidget& root, const QString& placeholder, const QString& text) {
    if (QLineEdit* field = fieldWithPlaceholder(root, placeholder)) {
        field->clear();
        typeText(field, text);
    }
}

void typeText(QWidget* widget, const QString& text) {
    // QTest's key clicks map characters to keys and know only ASCII; a key event that
    // carries its text is what a Cyrillic keyboard delivers.
    for (const QChar character : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(character),
                            Qt::NoModifier);
}

void click(QWidget& root, const QString& buttonText) {
    if (QPushButton* button = buttonWithText(root, buttonText))
        QTest::mouseClick(button, Qt::LeftButton);
}

} // namespace qbk::test
