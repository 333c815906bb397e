#include "platform/Digest.h"

#include <openssl/evp.h>

namespace qbk::platform {

struct Digest::State {
    EVP_MD_CTX* ctx = nullptr;
    const EVP_MD* md = nullptr;
    bool valid = false;

    void begin() { valid = ctx && md && EVP_DigestInit_ex(ctx, md, nullptr) == 1; }
};

Digest::Digest(HashAlgorithm algorithm) : state_(std::make_unique<State>()) {
    state_->ctx = EVP_MD_CTX_new();
    state_->md = algorithm == HashAlgorithm::Sha1 ? EVP_sha1() : EVP_sha256();
    state_->begin();
}

Digest::~Digest() {
    if (state_)
        EVP_MD_CTX_free(state_->ctx);
}

Digest::Digest(Digest&&) noexcept = default;
Digest& Digest::operator=(Digest&& other) noexcept {
    if (this != &other) {
        if (state_)
            EVP_MD_CTX_free(state_->ctx);
        state_ = std::move(other.state_);
    }
    return *this;
}

bool Digest::isValid() const {
    return state_ && state_->valid;
}

void Digest::update(const void* data, std::size_t size) {
    if (isValid() && size > 0)
        state_->valid = EVP_DigestUpdate(state_->ctx, data, size) == 1;
}

bool Digest::finish(std::uint8_t* out, std::size_t capacity, std::size_t& written) {
    written = 0;
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    const bool ok =
        isValid() && EVP_DigestFinal_ex(state_->ctx, md, &length) == 1 && length <= capacity;
    if (ok) {
        std::copy(md, md + length, out);
        written = length;
    }
    if (state_)
        state_->begin();
    return ok;
}

} // namespace qbk::platform
