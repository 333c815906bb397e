#pragma once

#include "tests/support/WidgetLookup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

namespace qbk::test {

// Runs handle on the first modal dialog of type T that opens within the wait; the dialog's
// exec() is still running then, so handle may wait, read and click before ending it.
template <typename T> void whenModalOpens(std::function<void(T&)> handle, int waitMs = 20000) {
    auto* poll = new QTimer;
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(poll, &QTimer::timeout, [poll, started, handle, waitMs] {
        T* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog && started->elapsed() < waitMs)
            return;
        poll->deleteLater();
        poll->stop();
        if (dialog)
            handle(*dialog);
    });
    poll->start(10);
}

// The line edit showing placeholder (a test failure and null if none).
inline QLineEdit* field(const QWidget& root, const QString& placeholder) {
    for (QLineEdit* candidate : root.findChildren<QLineEdit*>())
        if (candidate->placeholderText() == placeholder)
            return candidate;
    ADD_FAILURE() << "no field " << placeholder.toStdString();
    return nullptr;
}

inline void typeInto(const QWidget& root, const QString& placeholder, const QString& text) {
    if (QLineEdit* target = field(root, placeholder))
        target->setText(text);
}

inline void click(const QWidget& root, const QString& buttonText) {
    if (QPushButton* button = byText<QPushButton>(&root, buttonText))
        QTest::mouseClick(button, Qt::LeftButton);
}

} // namespace qbk::test
