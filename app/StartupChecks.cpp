#include "app/StartupChecks.h"

#include "platform/Platform.h"

#include <QDir>
#include <QTemporaryFile>
#include <QtNetwork/qtnetwork-config.h>

#if QT_CONFIG(ssl)
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#endif

#include <cstdio>

namespace qbk {

bool prepareWritableFolder(const std::filesystem::path& dir) {
    if (!platform::createDirectories(dir))
        return false;
    const QDir folder(QString::fromStdString(platform::pathToUtf8(dir)));
    QTemporaryFile probe(folder.filePath(QStringLiteral(".write-check-XXXXXX")));
    return probe.open();
}

int trustExtraCertificates(const std::string& pemFile) {
    if (pemFile.empty())
        return 0;
#if QT_CONFIG(ssl)
    if (!QSslSocket::supportsSsl())
        return 0;
    const QList<QSslCertificate> certificates = QSslCertificate::fromPath(
        QString::fromStdString(pemFile), QSsl::Pem, QSslCertificate::PatternSyntax::FixedString);
    if (certificates.isEmpty()) {
        std::fprintf(stderr, "[Launch] no certificates in %s\n", pemFile.c_str());
        return 0;
    }
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
#ifdef _WIN32
    // The same roots as libcurl's blob (launch/CaBundle): the ROOT store and the extra file,
    // as one explicit list, since Windows loads its roots on demand only without one.
    QList<QSslCertificate> trusted =
        QSslCertificate::fromData(QByteArray::fromStdString(platform::systemRootCertificatesPem()));
    trusted += certificates;
    config.setCaCertificates(trusted);
#else
    config.addCaCertificates(certificates);
#endif
    QSslConfiguration::setDefaultConfiguration(config);
    return static_cast<int>(certificates.size());
#else
    return 0;
#endif
}

} // namespace qbk
