#pragma once

#include "mods/ModPrompts.h"

#include <QDesktopServices>
#include <QDialog>
#include <QUrl>
#include <functional>

namespace qbk::test {

// Answers the mod widgets' questions from a queue (No once empty) and records what they put
// to the player, so no modal box ever blocks a test.
struct PromptRecorder {
    QStringList questions, warnings; // "title|text"
    QList<bool> answers;
    QStringList dialogs; // class names of the dialogs run
    int dialogResult = QDialog::Rejected;
    std::function<void(QDialog&)> duringDialog; // what the player does while it is open
    QString archive;

    ModPrompts prompts() {
        return {[this](QWidget*, const QString& title, const QString& text) {
                    questions << title + '|' + text;
                    return !answers.isEmpty() && answers.takeFirst();
                },
                [this](QWidget*, const QString& title, const QString& text) {
                    warnings << title + '|' + text;
                },
                [this](QDialog& dialog) {
                    dialogs << dialog.metaObject()->className();
                    if (duringDialog)
                        duringDialog(dialog);
                    return dialogResult;
                },
                [this](QWidget*) {
                    return archive;
                }};
    }
};

// Stands in for the system browser while it lives.
class UrlCatcher : public QObject {
    Q_OBJECT

public:
    UrlCatcher() { QDesktopServices::setUrlHandler("https", this, "open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler("https"); }
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.append(url); }
};

} // namespace qbk::test
