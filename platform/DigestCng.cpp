#include "platform/Digest.h"

#include <algorithm>
#include <vector>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// bcrypt.h needs the base types of windows.h first.
#include <bcrypt.h>

namespace qbk::platform {

struct Digest::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    std::vector<UCHAR> object;
    ULONG length = 0;
    bool valid = false;

    void begin() {
        if (hash) {
            ::BCryptDestroyHash(hash);
            hash = nullptr;
        }
        valid = algorithm && BCRYPT_SUCCESS(::BCryptCreateHash(algorithm, &hash, object.data(),
                                                               static_cast<ULONG>(object.size()),
                                                               nullptr, 0, 0));
    }
    ~State() {
        if (hash)
            ::BCryptDestroyHash(hash);
        if (algorithm)
            ::BCryptCloseAlgorithmProvider(algorithm, 0);
    }
};

Digest::Digest(HashAlgorithm algorithm) : state_(std::make_unique<State>()) {
    const wchar_t* id =
        algorithm == HashAlgorithm::Sha1 ? BCRYPT_SHA1_ALGORITHM : BCRYPT_SHA256_ALGORITHM;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&state_->algorithm, id, nullptr, 0))) {
        state_->algorithm = nullptr;
        return;
    }
    ULONG objectLength = 0;
    ULONG got = 0;
    if (!BCRYPT_SUCCESS(::BCryptGetProperty(state_->algorithm, BCRYPT_OBJECT_LENGTH,
                                            reinterpret_cast<PUCHAR>(&objectLength),
                                            sizeof(objectLength), &got, 0)) ||
        !BCRYPT_SUCCESS(::BCryptGetProperty(state_->algorithm, BCRYPT_HASH_LENGTH,
                                            reinterpret_cast<PUCHAR>(&state_->length),
                                            sizeof(state_->length), &got, 0)))
        return;
    state_->object.resize(objectLength);
    state_->begin();
}

Digest::~Digest() = default;
Digest::Digest(Digest&&) noexcept = default;
Digest& Digest::operator=(Digest&&) noexcept = default;

bool Digest::isValid() const {
    return state_ && state_->valid;
}

void Digest::update(const void* data, std::size_t size) {
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    while (isValid() && size > 0) {
        const ULONG chunk = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 30));
        state_->valid = BCRYPT_SUCCESS(::BCryptHashData(state_->hash, bytes, chunk, 0));
        bytes += chunk;
        size -= chunk;
    }
}

bool Digest::finish(std::uint8_t* out, std::size_t capacity, std::size_t& written) {
    written = 0;
    const bool ok = isValid() && state_->length <= capacity &&
                    BCRYPT_SUCCESS(::BCryptFinishHash(state_->hash, out, state_->length, 0));
    if (ok)
        written = state_->length;
    if (state_)
        state_->begin();
    return ok;
}

} // namespace qbk::platform
