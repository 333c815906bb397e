#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qbk::platform {

// ECDSA P-256 over the SHA-256 of message: true only when derSignature (the DER sequence of r
// and s, as OpenSSL writes it) is valid under publicPoint (65 bytes: 0x04, X, Y). CNG on
// Windows, OpenSSL elsewhere; both first pass the signature through ecdsaDerToRaw, so the two
// accept exactly the same encodings.
bool verifyEcdsaP256Sha256(std::string_view message, std::string_view derSignature,
                           std::string_view publicPoint);

// The strict DER of a P-256 signature as the 64 bytes r || s, each left-padded to 32 bytes
// (CNG verifies that form); nullopt for any other encoding, trailing bytes included.
std::optional<std::array<std::uint8_t, 64>> ecdsaDerToRaw(std::string_view der);

// Standard Base64 with padding; white space is skipped, anything else fails.
std::optional<std::string> decodeBase64(std::string_view text);

} // namespace qbk::platform
