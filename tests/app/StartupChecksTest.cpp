// The INI's extra authority, trusted before the window opens (sign-in goes through Qt's TLS).
#include "app/StartupChecks.h"

#include "platform/Platform.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/WholeFile.h"

#include <QSslConfiguration>
#include <QSslSocket>

namespace fs = std::filesystem;
using qbk::platform::pathToUtf8;

TEST(StartupChecksTest, ExtraAuthorityIsTrustedBesideTheSystemOnesAndJunkIsNot) {
    ASSERT_TRUE(QSslSocket::supportsSsl()) << "Qt has no TLS backend here";
    const qbk::test::TempDir dir{"qbk-startup"};
    const qbk::test::TestCertificates certificates(dir.path());
    qbk::test::writeWholeFile(dir / "junk.pem", "no certificate in here");
    const auto trusted = [] {
        return QSslConfiguration::defaultConfiguration().caCertificates();
    };
    const auto before = trusted().size();
    // A pattern character must not widen the path into a search of the folder.
    for (const fs::path& none : {fs::path(), dir / "absent.pem", dir / "junk.pem", dir / "*.pem"})
        EXPECT_EQ(qbk::trustExtraCertificates(pathToUtf8(none)), 0) << none;
    const fs::path pem = dir / qbk::platform::pathFromUtf8("доверие.pem");
    fs::copy_file(certificates.caFile(), pem);
    EXPECT_EQ(qbk::trustExtraCertificates(pathToUtf8(pem)), 1);
    EXPECT_EQ(trusted().size(), before + 1);
    EXPECT_EQ(trusted().last().subjectInfo(QSslCertificate::CommonName),
              QStringList{"Quellbrook Test CA"});
}
