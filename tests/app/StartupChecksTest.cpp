#include "app/StartupChecks.h"

#include "QtTestApp.h"
#include "platform/Platform.h"

#include <QFile>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

// A self-signed authority made for this test only.
constexpr char kTestAuthority[] = R"(-----BEGIN CERTIFICATE-----
MIIBkjCCATegAwIBAgIUO13vkYosOWClqT5jvejbtHrgjyswCgYIKoZIzj0EAwIw
HTEbMBkGA1UEAwwSUXVlbGxicm9vayBUZXN0IENBMCAXDTI2MTIwNzAyNDUzNFoY
DzIxMjYxMTEzMDI0NTM0WjAdMRswGQYDVQQDDBJRdWVsbGJyb29rIFRlc3QgQ0Ew
WTATBgcqhkjOPQIBBggqhkjOPQMBBwNCAAQ/7FK/4QhtH+n4SjbPavpHt0NckrEI
BXTTDXevy4hNNfdCl0qc4Oob9penfwaIr3DnwIE17A3D/eyqVo7+df0io1MwUTAd
BgNVHQ4EFgQUTuokEucc+LGXKdzqVJUI9dJ3mm4wHwYDVR0jBBgwFoAUTuokEucc
+LGXKdzqVJUI9dJ3mm4wDwYDVR0TAQH/BAUwAwEB/zAKBggqhkjOPQQDAgNJADBG
AiEAl8apSUi0Qx7NjygZey23oaro+lavKBH0as5LVhNW6K0CIQDg0b9hYnIXdKvD
l+yIH2librntDiiD41zRyLUlkFv/WQ==
-----END CERTIFICATE-----
)";

class StartupChecksTest : public ::testing::Test {
protected:
    fs::path root() const { return qbk::platform::pathFromUtf8(dir.path().toStdString()); }

    static void write(const fs::path& file, const std::string& text) {
        std::ofstream(file, std::ios::binary) << text;
    }

    static bool trusted(const QString& commonName) {
        for (const QSslCertificate& certificate :
             QSslConfiguration::defaultConfiguration().caCertificates())
            if (certificate.subjectInfo(QSslCertificate::CommonName).contains(commonName))
                return true;
        return false;
    }

    QTemporaryDir dir;
};

TEST_F(StartupChecksTest, WritableFolderIsCreatedWithItsMissingLevels) {
    const fs::path deep = root() / qbk::platform::pathFromUtf8("Игры") / "Quellbrook" / "лаунчер";
    EXPECT_TRUE(qbk::prepareWritableFolder(deep));
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_TRUE(fs::is_empty(deep)); // the probe file does not stay behind
}

TEST_F(StartupChecksTest, FolderThatCannotExistIsRefused) {
    const fs::path file = root() / "occupied";
    write(file, "a file, not a folder");
    EXPECT_FALSE(qbk::prepareWritableFolder(file));
    EXPECT_FALSE(qbk::prepareWritableFolder(file / "below"));
}

TEST_F(StartupChecksTest, ExtraAuthorityIsTrustedBesideTheSystemOnes) {
    if (!QSslSocket::supportsSsl())
        GTEST_SKIP() << "Qt has no TLS backend here";
    const fs::path pem = root() / qbk::platform::pathFromUtf8("доверие.pem");
    write(pem, kTestAuthority);
    const auto before = QSslConfiguration::defaultConfiguration().caCertificates().size();
    ASSERT_FALSE(trusted("Quellbrook Test CA"));

    EXPECT_EQ(qbk::trustExtraCertificates(qbk::platform::pathToUtf8(pem)), 1);
    EXPECT_TRUE(trusted("Quellbrook Test CA"));
    EXPECT_EQ(QSslConfiguration::defaultConfiguration().caCertificates().size(), before + 1);
}

TEST_F(StartupChecksTest, MissingOrEmptyBundleChangesNothing) {
    const auto before = QSslConfiguration::defaultConfiguration().caCertificates().size();
    const fs::path junk = root() / "junk.pem";
    write(junk, "no certificate in here");

    EXPECT_EQ(qbk::trustExtraCertificates(""), 0);
    EXPECT_EQ(qbk::trustExtraCertificates(qbk::platform::pathToUtf8(root() / "absent.pem")), 0);
    EXPECT_EQ(qbk::trustExtraCertificates(qbk::platform::pathToUtf8(junk)), 0);
    // A pattern character must not widen the path into a search of the folder.
    write(root() / "authority.pem", kTestAuthority);
    EXPECT_EQ(qbk::trustExtraCertificates(qbk::platform::pathToUtf8(root() / "*.pem")), 0);
    EXPECT_EQ(QSslConfiguration::defaultConfiguration().caCertificates().size(), before);
}

} // namespace
