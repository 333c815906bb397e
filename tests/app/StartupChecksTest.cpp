// Extra authorities main() trusts before the window opens. (A launcher folder it cannot write
// is refused at start: the end-to-end read-only folder scenario.)
#include "app/StartupChecks.h"

#include "platform/Platform.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/WholeFile.h"

#include <QSslConfiguration>
#include <QSslSocket>

namespace qbk {
namespace {
namespace fs = std::filesystem;

TEST(StartupChecksTest, ExtraAuthorityIsTrustedBesideTheSystemOnesAndJunkIsNot) {
    ASSERT_TRUE(QSslSocket::supportsSsl()) << "Qt has no TLS backend here";
    test::TempDir dir{"qbk-startup"};
    const test::TestCertificates certificates(dir.path());
    test::writeWholeFile(dir / "junk.pem", "no certificate in here");
    const auto trusted = [] {
        return QSslConfiguration::defaultConfiguration().caCertificates();
    };
    const auto before = trusted();
    // A pattern character must not widen the path into a search of the folder.
    for (const fs::path& none : {fs::path(), dir / "absent.pem", dir / "junk.pem", dir / "*.pem"})
        EXPECT_EQ(trustExtraCertificates(platform::pathToUtf8(none)), 0) << none;
    EXPECT_EQ(trusted(), before);
    const fs::path pem = dir / platform::pathFromUtf8("доверие.pem");
    fs::copy_file(certificates.caFile(), pem);
    EXPECT_EQ(trustExtraCertificates(platform::pathToUtf8(pem)), 1);
    EXPECT_EQ(trusted(), before + QSslCertificate::fromPath(QString::fromStdString(pem.string())));
}
} // namespace
} // namespace qbk
