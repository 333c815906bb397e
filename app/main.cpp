#include "app/InstanceLock.h"
#include "app/LauncherDir.h"
#include "app/MainWindow.h"
#include "app/Settings.h"
#include "app/StandardButtonTranslator.h"
#include "app/StartupChecks.h"
#include "app/StyleSheet.h"
#include "launch/HttpClient.h"
#include "mods/ModrinthClient.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <iostream>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    app.setStyleSheet(qbk::globalStyleSheet());
    qbk::StandardButtonTranslator buttonTexts;
    QApplication::installTranslator(&buttonTexts);

    // Everything the launcher installs lies below its own folder: a folder it cannot write
    // would only fail later, halfway through a download.
    const std::filesystem::path launcherDir = qbk::LauncherDir();
    // A second launcher on the same folder would write into an install in progress.
    const qbk::InstanceLock instanceLock(launcherDir);
    if (instanceLock.state() == qbk::InstanceLock::State::HeldByAnother) {
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
    const std::string caBundle = qbk::Settings::instance().endpoints().caBundle;
    qbk::trustExtraCertificates(caBundle);
    // The worker's transfers go through libcurl, which keeps a trust store of its own.
    qbk::HttpClient::setExtraCaBundle(qbk::platform::pathFromUtf8(caBundle));

    int status = 0;
    {
        MainWindow window;
        window.show();
        status = app.exec();
    }
    // The closed window's icon fetches abort at their next progress call, so a silent icon
    // host cannot keep the process alive.
    qbk::ModrinthClient::finishIconFetches(std::chrono::seconds(2));
    return status;
}
