#include "tests/support/TestCertificates.h"

#include <memory>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <stdexcept>
#include <string>
namespace qbk::test {
namespace {
void require(bool ok, const char* what) {
    if (!ok)
        throw std::runtime_error(std::string("test certificate: ") + what);
}
void writePem(const std::filesystem::path& path, auto write) {
    const std::unique_ptr<BIO, decltype(&BIO_free_all)> bio(
        BIO_new_file(path.string().c_str(), "w"), BIO_free_all);
    require(bio && write(bio.get()) == 1, "cannot write a PEM file");
}
} // namespace
TestCertificates::TestCertificates(const std::filesystem::path& dir)
    : certFile_(dir / "test-ca.pem"), keyFile_(dir / "server.key") {
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"),
                                                                  EVP_PKEY_free);
    const std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), X509_free);
    require(key && cert, "allocation failed");
    X509* x = cert.get();
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), 1);
    X509_gmtime_adj(X509_getm_notBefore(x), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x), 30L * 24 * 3600);
    X509_set_pubkey(x, key.get());
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Quellbrook Test CA"), -1, -1,
                               0);
    X509_set_issuer_name(x, name);
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, x, x, nullptr, nullptr, 0);
    // Its own authority: trusted directly, as a self-signed anchor.
    for (const auto& [nid, value] : {std::pair{NID_basic_constraints, "critical,CA:TRUE"},
                                     {NID_subject_key_identifier, "hash"},
                                     {NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost"}}) {
        X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
        require(ext && X509_add_ext(x, ext, -1) == 1, "bad extension");
        X509_EXTENSION_free(ext);
    }
    require(X509_sign(x, key.get(), EVP_sha256()) > 0, "signing failed");
    writePem(certFile_, [&](BIO* bio) { return PEM_write_bio_X509(bio, x); });
    writePem(keyFile_, [&](BIO* bio) {
        return PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
}
} // namespace qbk::test
