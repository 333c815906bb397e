#pragma once

#include "mods/ModPrompts.h"

#include <QDesktopServices>
#include <QDialog>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

namespace qbk::test {

// Answers the mod widgets' questions from a queue and records everything they put to the
// player, so no modal box ever blocks a test.
class PromptRecorder {
public:
    QStringList questions; // "title|text"
    QStringList warnings;  // "title|text"
    QList<bool> answers;   // consumed in order; No once empty
    QStringList dialogs;   // class names of the dialogs run
    int dialogResult = QDialog::Rejected;
    std::function<void(QDialog&)> duringDialog; // what the player does while it is open
    QString archive;

    ModPrompts prompts() {
        ModPrompts p;
        p.ask = [this](QWidget*, const QString& title, const QString& text) {
            questions.append(title + QLatin1Char('|') + text);
            return answers.isEmpty() ? false : answers.takeFirst();
        };
        p.warn = [this](QWidget*, const QString& title, const QString& text) {
            warnings.append(title + QLatin1Char('|') + text);
        };
        p.run = [this](QDialog& dialog) {
            dialogs.append(QString::fromLatin1(dialog.metaObject()->className()));
            if (duringDialog)
                duringDialog(dialog);
            return dialogResult;
        };
        p.chooseArchive = [this](QWidget*) {
            return archive;
        };
        return p;
    }
};

// Stands in for the system browser while it lives.
class UrlCatcher : public QObject {
    Q_OBJECT

public:
    UrlCatcher() {
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "open");
    }
    ~UrlCatcher() override {
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    }

    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened.append(url); }
};

} // namespace qbk::test
