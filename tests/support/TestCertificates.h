#pragma once
#include <filesystem>
namespace qbk::test {
// A throw-away self-signed certificate for 127.0.0.1 and localhost, named "Quellbrook Test CA",
// and its key, written as PEM files into a folder. Trusting caFile() (the same certificate)
// makes a TLS test server verifiable without turning verification off.
class TestCertificates {
public:
    explicit TestCertificates(const std::filesystem::path& dir);
    const std::filesystem::path& caFile() const { return certFile_; }
    const std::filesystem::path& certFile() const { return certFile_; }
    const std::filesystem::path& keyFile() const { return keyFile_; }

private:
    std::filesystem::path certFile_;
    std::filesystem::path keyFile_;
};
} // namespace qbk::test
