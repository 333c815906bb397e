#include "app/LauncherDir.h"
#include "app/MainWindow.h"
#include "app/Settings.h"
#include "app/StyleSheet.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryFile>
#include <QtNetwork/qtnetwork-config.h>

#if QT_CONFIG(ssl)
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#endif

#include <cstdio>
#include <filesystem>

namespace {

QString toQString(const std::filesystem::path& path) {
    return QString::fromStdString(qbk::platform::pathToUtf8(path));
}

// Everything the launcher installs lies below its own folder, so a folder it cannot write
// would only fail later, halfway through a download.
bool launcherDirIsWritable(const std::filesystem::path& dir) {
    if (!qbk::platform::createDirectories(dir))
        return false;
    QTemporaryFile probe(QDir(toQString(dir)).filePath(QStringLiteral(".write-check-XXXXXX")));
    return probe.open();
}

// A local TLS test server or a mirror with its own certificate authority is trusted in
// addition to the system's certificates.
void trustExtraCertificates(const std::string& caBundle) {
    if (caBundle.empty())
        return;
#if QT_CONFIG(ssl)
    if (!QSslSocket::supportsSsl())
        return;
    const QString bundle = QString::fromStdString(caBundle);
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(bundle, QSsl::Pem);
    if (certificates.isEmpty()) {
        std::fprintf(stderr, "[Launch] no certificates in %s\n", caBundle.c_str());
        return;
    }
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.addCaCertificates(certificates);
    QSslConfiguration::setDefaultConfiguration(config);
#endif
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    app.setStyleSheet(qbk::globalStyleSheet());

    const std::filesystem::path launcherDir = qbk::LauncherDir();
    if (!launcherDirIsWritable(launcherDir)) {
        QMessageBox::critical(
            nullptr, QStringLiteral("Quellbrook Launcher"),
            QStringLiteral("Лаунчер не может записывать в свою папку:\n%1\n\n"
                           "Перенеси лаунчер в папку, доступную для записи (например, в "
                           "Документы), и запусти его снова.")
                .arg(QDir::toNativeSeparators(toQString(launcherDir))));
        return 1;
    }
    trustExtraCertificates(qbk::Settings::instance().endpoints().caBundle);

    MainWindow window;
    window.show();
    return app.exec();
}
