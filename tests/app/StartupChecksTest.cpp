// The INI's extra authority, trusted before the window opens (sign-in goes through Qt's TLS).
#include "app/StartupChecks.h"

#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/WholeFile.h"

#include <QSslConfiguration>
#include <QSslSocket>

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
    for (const std::string& none : {std::string(), (dir / "absent.pem").string(),
                                    (dir / "junk.pem").string(), (dir / "*.pem").string()})
        EXPECT_EQ(qbk::trustExtraCertificates(none), 0) << none;
    EXPECT_EQ(qbk::trustExtraCertificates(certificates.caFile().string()), 1);
    EXPECT_EQ(trusted().size(), before + 1);
}
