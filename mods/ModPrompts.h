#pragma once

#include <QString>
#include <functional>

class QDialog;
class QWidget;

namespace qbk {

// The modal questions, warnings, dialog runs and file choices of the mod widgets. The
// standard set shows real boxes; tests answer through their own functions instead.
struct ModPrompts {
    // True for Yes (a Yes/No question whose default is Yes).
    std::function<bool(QWidget* parent, const QString& title, const QString& text)> ask;
    std::function<void(QWidget* parent, const QString& title, const QString& text)> warn;
    // Runs a modal dialog and gives its result code.
    std::function<int(QDialog& dialog)> run;
    // The personal mod archive to import; empty when the player chose none.
    std::function<QString(QWidget* parent)> chooseArchive;

    static ModPrompts standard();
};

} // namespace qbk
