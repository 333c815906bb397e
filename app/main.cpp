#include "app/InstanceLock.h"
#include "app/LauncherDir.h"
#include "app/MainWindow.h"
#include "app/SelfUpdate.h"
#include "app/Settings.h"
#include "app/StandardButtonTranslator.h"
#include "app/StartupChecks.h"
#include "app/StyleSheet.h"
#include "app/UpdatePanel.h"
#include "launch/HttpClient.h"
#include "launch/LauncherLog.h"
#include "mods/ModrinthClient.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <iostream>
#include <optional>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    app.setStyleSheet(qbk::globalStyleSheet());
    qbk::StandardButtonTranslator buttonTexts;
    QApplication::installTranslator(&buttonTexts);

    // Everything the launcher installs lies below its own folder: a folder it cannot write
    // would only fail later, halfway through a download.
    const std::filesystem::path launcherDir = qbk::LauncherDir();
    // A second launcher on the same folder would write into an install in progress.
    std::optional<qbk::InstanceLock> instanceLock(std::in_place, launcherDir);
    if (instanceLock->state() == qbk::InstanceLock::State::HeldByAnother) {
        const QString text = QStringLiteral("Лаунчер уже запущен из этой папки.");
        std::cerr << "[Launcher] " << text.toStdString() << std::endl;
        QMessageBox::warning(nullptr, QStringLiteral("Quellbrook Launcher"), text);
        return 1;
    }
    if (!qbk::prepareWritableFolder(launcherDir)) {
        const QString shown = QDir::toNativeSeparators(
            QString::fromStdString(qbk::platform::pathToUtf8(launcherDir)));
        QMessageBox::critical(
            nullptr, QStringLiteral("Quellbrook Launcher"),
            QStringLiteral("Лаунчер не может записывать в свою папку:\n%1\n\n"
                           "Перенеси лаунчер в папку, доступную для записи (например, в "
                           "Документы), и запусти его снова.")
                .arg(shown));
        return 1;
    }
    // Windows gives the launcher no console: its lines go to logs/launcher.log as well.
    std::optional<qbk::LauncherLog> log(std::in_place, launcherDir / "logs");
    const std::string caBundle = qbk::Settings::instance().endpoints().caBundle;
    qbk::trustExtraCertificates(caBundle);
    // The worker's transfers go through libcurl, which keeps a trust store of its own.
    qbk::HttpClient::setExtraCaBundle(qbk::platform::pathFromUtf8(caBundle));

    int status = 0;
    {
        MainWindow window;
        window.show();
        window.startUpdateCheck();
        status = app.exec();
    }
    if (const auto next = qbk::UpdatePanel::takePendingRestart()) {
        // The new launcher takes the folder's lock and moves this log aside (Windows renames
        // no open file), so this one lets go of both first.
        instanceLock.reset();
        log.reset();
        const QString program = QString::fromStdString(qbk::platform::pathToUtf8(*next));
        if (!QProcess::startDetached(program, {}, QFileInfo(program).absolutePath())) {
            std::cerr << "[Update] the new launcher did not start; the old files go back"
                      << std::endl;
            qbk::SelfUpdate(launcherDir, next->filename()).revert();
            QProcess::startDetached(program, {}, QFileInfo(program).absolutePath());
        }
    }
    // The closed window's icon fetches abort at their next progress call, so a silent icon
    // host cannot keep the process alive.
    qbk::ModrinthClient::finishIconFetches(std::chrono::seconds(2));
    return status;
}
