#pragma once

#include <string>
#include <string_view>

namespace qbk::accountserver {

// Passwords and recovery codes are kept only as salted PBKDF2-HMAC-SHA256:
// "pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>".
std::string hashSecret(std::string_view secret, int iterations);
bool verifySecret(std::string_view secret, std::string_view stored);

// How many PBKDF2 derivations this process has run, so a test can tell that a refusal did the
// same slow work as a wrong password.
long secretDerivations();

// Hex text of cryptographically random bytes (tokens, salts, challenges).
std::string randomHex(std::size_t bytes);

} // namespace qbk::accountserver
