#pragma once

#include "tests/support/WidgetLookup.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

namespace qbk::test {

// Runs handle on the first modal dialog of type T that opens within the wait; the dialog's
// exec() is still running then, so handle may wait, read and click before ending it.
template <typename T> void whenModalOpens(std::function<void(T&)> handle, int triesLeft = 2000) {
    QTimer::singleShot(10, [handle, triesLeft] {
        if (T* dialog = qobject_cast<T*>(QApplication::activeModalWidget()))
            handle(*dialog);
        else if (triesLeft > 0)
            whenModalOpens<T>(handle, triesLeft - 1);
    });
}

// The line edit showing placeholder (a test failure and null if none).
inline QLineEdit* field(const QWidget& root, const QString& placeholder) {
    for (QLineEdit* candidate : root.findChildren<QLineEdit*>())
        if (candidate->placeholderText() == placeholder)
            return candidate;
    ADD_FAILURE() << "no field " << placeholder.toStdString();
    return nullptr;
}

inline void click(const QWidget& root, const QString& buttonText) {
    if (QPushButton* button = byText<QPushButton>(&root, buttonText))
        QTest::mouseClick(button, Qt::LeftButton);
}

} // namespace qbk::test
