#include "tests/support/TestCertificates.h"

#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <stdexcept>
#include <string>

namespace qbk::test {

namespace {

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertFree {
    void operator()(X509* cert) const { X509_free(cert); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Cert = std::unique_ptr<X509, CertFree>;

void require(bool ok, const char* what) {
    if (!ok)
        throw std::runtime_error(std::string("test certificate: ") + what);
}

Key makeKey() {
    Key key(EVP_EC_gen("P-256"));
    require(key != nullptr, "key generation failed");
    return key;
}

void addExtension(X509* cert, X509V3_CTX& ctx, int nid, const char* value) {
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    require(ext != nullptr, "bad extension");
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

// Signed by issuer (issuerKey); a null issuer makes the certificate self-signed.
Cert makeCertificate(EVP_PKEY* key, const char* commonName, X509* issuer, EVP_PKEY* issuerKey,
                     long serial) {
    Cert cert(X509_new());
    require(cert != nullptr, "X509_new failed");
    X509* x = cert.get();
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), serial);
    X509_gmtime_adj(X509_getm_notBefore(x), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x), 30L * 24 * 3600);
    X509_set_pubkey(x, key);
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
    X509_set_issuer_name(x, issuer ? X509_get_subject_name(issuer) : name);

    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer ? issuer : x, x, nullptr, nullptr, 0);
    addExtension(x, ctx, NID_subject_key_identifier, "hash");
    if (issuer) {
        addExtension(x, ctx, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(x, ctx, NID_key_usage, "critical,digitalSignature,keyEncipherment");
        addExtension(x, ctx, NID_ext_key_usage, "serverAuth");
        addExtension(x, ctx, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
        addExtension(x, ctx, NID_authority_key_identifier, "keyid:always");
    } else {
        addExtension(x, ctx, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(x, ctx, NID_key_usage, "critical,keyCertSign,cRLSign");
    }
    require(X509_sign(x, issuerKey, EVP_sha256()) > 0, "signing failed");
    return cert;
}

std::unique_ptr<BIO, BioFree> openForWriting(const std::filesystem::path& path) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new_file(path.string().c_str(), "w"));
    require(bio != nullptr, "cannot write PEM file");
    return bio;
}

void writeCertificate(const std::filesystem::path& path, X509* cert) {
    require(PEM_write_bio_X509(openForWriting(path).get(), cert) == 1, "PEM write failed");
}

void writeKey(const std::filesystem::path& path, EVP_PKEY* key) {
    require(PEM_write_bio_PrivateKey(openForWriting(path).get(), key, nullptr, nullptr, 0, nullptr,
                                     nullptr) == 1,
            "PEM write failed");
}

} // namespace

TestCertificates::TestCertificates(const std::filesystem::path& dir)
    : caFile_(dir / "test-ca.pem"), certFile_(dir / "server.pem"), keyFile_(dir / "server.key") {
    const Key caKey = makeKey();
    const Cert ca = makeCertificate(caKey.get(), "Quellbrook Test CA", nullptr, caKey.get(), 1);
    const Key serverKey = makeKey();
    const Cert server = makeCertificate(serverKey.get(), "127.0.0.1", ca.get(), caKey.get(), 2);
    writeCertificate(caFile_, ca.get());
    writeCertificate(certFile_, server.get());
    writeKey(keyFile_, serverKey.get());
}

} // namespace qbk::test
