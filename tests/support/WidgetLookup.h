#pragma once

#include <QString>
#include <QWidget>
#include <gtest/gtest.h>

namespace qbk::test {

// The first widget of type T below root that shows exactly text (a button, box or label); a
// test failure and null when there is none.
template <typename T> T* byText(const QWidget* root, const QString& text) {
    for (T* widget : root->findChildren<T*>())
        if (widget->text() == text)
            return widget;
    ADD_FAILURE() << "no widget shows " << text.toStdString();
    return nullptr;
}

} // namespace qbk::test
