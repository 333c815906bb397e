#pragma once
#include <filesystem>
namespace qbk::test {
// A self-signed certificate for 127.0.0.1 and localhost, named "Quellbrook Test CA", valid
// until 2126, and its key (tests/support/certificates), copied as PEM files into a folder.
// Trusting caFile() (the same certificate) makes a TLS test server verifiable without turning
// verification off. Made once by: openssl req -x509 -newkey ec -pkeyopt
// ec_paramgen_curve:P-256 -nodes -days 36500 -subj "/CN=Quellbrook Test CA" -addext
// "subjectAltName=IP:127.0.0.1,DNS:localhost" -addext "basicConstraints=critical,CA:TRUE"
class TestCertificates {
public:
    explicit TestCertificates(const std::filesystem::path& dir)
        : certFile_(dir / "test-ca.pem"), keyFile_(dir / "server.key") {
        const std::filesystem::path made = QBK_SOURCE_DIR "/tests/support/certificates";
        std::filesystem::copy_file(made / certFile_.filename(), certFile_);
        std::filesystem::copy_file(made / keyFile_.filename(), keyFile_);
    }
    const std::filesystem::path& caFile() const { return certFile_; }
    const std::filesystem::path& certFile() const { return certFile_; }
    const std::filesystem::path& keyFile() const { return keyFile_; }

private:
    std::filesystem::path certFile_;
    std::filesystem::path keyFile_;
};
} // namespace qbk::test
