#include "app/StartupChecks.h"

#include "platform/Platform.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"

#include <QSslConfiguration>
#include <QSslSocket>
#include <fstream>

namespace qbk {
namespace {

namespace fs = std::filesystem;

// A folder the launcher cannot write in must be refused at start, before any download.
TEST(StartupChecksTest, LauncherFolderIsCreatedOrRefusedWhenItCannotBeWritten) {
    test::TempDir dir{"qbk-startup"};
    const fs::path deep = dir / platform::pathFromUtf8("Игры") / "Quellbrook" / "лаунчер";
    EXPECT_TRUE(prepareWritableFolder(deep));
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_TRUE(fs::is_empty(deep)); // the probe file does not stay behind

    std::ofstream(dir / "occupied") << "a file, not a folder";
    EXPECT_FALSE(prepareWritableFolder(dir / "occupied"));
    EXPECT_FALSE(prepareWritableFolder(dir / "occupied" / "below"));
}

TEST(StartupChecksTest, ExtraAuthorityIsTrustedBesideTheSystemOnesAndJunkIsNot) {
    ASSERT_TRUE(QSslSocket::supportsSsl()) << "Qt has no TLS backend here";
    test::TempDir dir{"qbk-startup"};
    const test::TestCertificates certificates(dir.path());
    std::ofstream(dir / "junk.pem") << "no certificate in here";
    const auto count = [] {
        return QSslConfiguration::defaultConfiguration().caCertificates().size();
    };
    const auto before = count();

    // A pattern character must not widen the path into a search of the folder.
    for (const fs::path& nothing :
         {fs::path(), dir / "absent.pem", dir / "junk.pem", dir / "*.pem"})
        EXPECT_EQ(trustExtraCertificates(platform::pathToUtf8(nothing)), 0) << nothing;
    EXPECT_EQ(count(), before);

    const fs::path pem = dir / platform::pathFromUtf8("доверие.pem");
    fs::copy_file(certificates.caFile(), pem);
    EXPECT_EQ(trustExtraCertificates(platform::pathToUtf8(pem)), 1);
    EXPECT_EQ(count(), before + 1);
    const QSslCertificate added = QSslConfiguration::defaultConfiguration().caCertificates().last();
    EXPECT_EQ(added.subjectInfo(QSslCertificate::CommonName), QStringList{"Quellbrook Test CA"});
}

} // namespace
} // namespace qbk
