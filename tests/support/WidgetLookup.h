#pragma once
#include <QWidget>
#include <gtest/gtest.h>
namespace qbk::test {
// The first widget of type T below root showing exactly text; a test failure and null if none.
template <typename T> T* byText(const QWidget* root, const QString& text) {
    for (T* widget : root->findChildren<T*>())
        if (widget->text() == text)
            return widget;
    ADD_FAILURE() << "no widget shows " << text.toStdString();
    return nullptr;
}
} // namespace qbk::test
