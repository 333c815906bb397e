#include "platform/Signature.h"

namespace qbk::platform {

namespace {

// One DER INTEGER of at most 32 value bytes, positive and minimally encoded.
bool readInteger(std::string_view der, std::size_t& at, std::uint8_t* out32) {
    if (at + 2 > der.size() || static_cast<std::uint8_t>(der[at]) != 0x02)
        return false;
    const std::size_t length = static_cast<std::uint8_t>(der[at + 1]);
    at += 2;
    if (length == 0 || length > 33 || at + length > der.size())
        return false;
    auto byte = [&](std::size_t i) {
        return static_cast<std::uint8_t>(der[at + i]);
    };
    if (byte(0) & 0x80)
        return false; // negative
    if (length > 1 && byte(0) == 0 && !(byte(1) & 0x80))
        return false; // a leading zero that is not needed
    std::size_t skip = byte(0) == 0 && length > 1 ? 1 : 0;
    if (length - skip > 32)
        return false;
    std::size_t pad = 32 - (length - skip);
    for (std::size_t i = 0; i < 32; ++i)
        out32[i] = i < pad ? 0 : byte(skip + i - pad);
    at += length;
    return true;
}

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    return c == '+' ? 62 : c == '/' ? 63 : -1;
}

} // namespace

std::optional<std::array<std::uint8_t, 64>> ecdsaDerToRaw(std::string_view der) {
    // Two integers of at most 33 bytes keep the sequence under 128 bytes: short-form lengths.
    if (der.size() < 8 || static_cast<std::uint8_t>(der[0]) != 0x30 ||
        static_cast<std::uint8_t>(der[1]) != der.size() - 2)
        return std::nullopt;
    std::array<std::uint8_t, 64> raw{};
    std::size_t at = 2;
    if (!readInteger(der, at, raw.data()) || !readInteger(der, at, raw.data() + 32) ||
        at != der.size())
        return std::nullopt;
    return raw;
}

std::optional<std::string> decodeBase64(std::string_view text) {
    std::string out;
    unsigned buffer = 0;
    int bits = 0;
    int padding = 0;
    std::size_t symbols = 0;
    for (const char c : text) {
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t')
            continue;
        ++symbols;
        if (c == '=') {
            ++padding;
            continue;
        }
        const int value = base64Value(c);
        if (value < 0 || padding > 0)
            return std::nullopt; // a stray byte, or data after the padding
        buffer = (buffer << 6) | static_cast<unsigned>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((buffer >> bits) & 0xff));
        }
    }
    if (symbols % 4 != 0 || padding > 2 || (buffer & ((1u << bits) - 1)) != 0)
        return std::nullopt;
    return out;
}

} // namespace qbk::platform
