#include "platform/Digest.h"
#include "platform/Signature.h"

#include <cstring>
#include <vector>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// bcrypt.h needs the base types of windows.h first.
#include <bcrypt.h>

namespace qbk::platform {

bool verifyEcdsaP256Sha256(std::string_view message, std::string_view derSignature,
                           std::string_view publicPoint) {
    auto raw = ecdsaDerToRaw(derSignature);
    if (publicPoint.size() != 65 || publicPoint[0] != 0x04 || !raw)
        return false;
    Digest digest(HashAlgorithm::Sha256);
    digest.update(message);
    std::uint8_t hash[32];
    std::size_t hashSize = 0;
    if (!digest.finish(hash, sizeof hash, hashSize) || hashSize != sizeof hash)
        return false;
    // CNG's public blob: the header, then X and Y without the 0x04 prefix.
    std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 64);
    BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, publicPoint.data() + 1, 64);
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(
            ::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0)))
        return false;
    BCRYPT_KEY_HANDLE key = nullptr;
    bool valid = false;
    if (BCRYPT_SUCCESS(::BCryptImportKeyPair(algorithm, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key,
                                             blob.data(), static_cast<ULONG>(blob.size()), 0))) {
        valid = BCRYPT_SUCCESS(
            ::BCryptVerifySignature(key, nullptr, hash, sizeof hash, raw->data(), 64, 0));
        ::BCryptDestroyKey(key);
    }
    ::BCryptCloseAlgorithmProvider(algorithm, 0);
    return valid;
}

} // namespace qbk::platform
