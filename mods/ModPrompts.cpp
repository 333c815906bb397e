#include "mods/ModPrompts.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace qbk {

ModPrompts ModPrompts::standard() {
    ModPrompts prompts;
    prompts.ask = [](QWidget* parent, const QString& title, const QString& text) {
        return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::Yes) == QMessageBox::Yes;
    };
    prompts.warn = [](QWidget* parent, const QString& title, const QString& text) {
        QMessageBox::warning(parent, title, text);
    };
    prompts.run = [](QDialog& dialog) {
        return dialog.exec();
    };
    prompts.chooseArchive = [](QWidget* parent) {
        return QFileDialog::getOpenFileName(parent, QStringLiteral("Выбери архив с модами"),
                                            QString(), QStringLiteral("Архив с модами (*.zip)"));
    };
    return prompts;
}

} // namespace qbk
