#include "tools/modrinth-standin/StandinIcons.h"

#include <cstdint>
#include <vector>
#include <webp/encode.h>
#include <zlib.h>

namespace qbk::modrinthstandin {

namespace {

std::vector<std::uint8_t> rgbaSquare(unsigned rgb, int size) {
    std::vector<std::uint8_t> pixels;
    pixels.reserve(static_cast<std::size_t>(size) * size * 4);
    for (int i = 0; i < size * size; ++i) {
        pixels.push_back(static_cast<std::uint8_t>(rgb >> 16));
        pixels.push_back(static_cast<std::uint8_t>(rgb >> 8));
        pixels.push_back(static_cast<std::uint8_t>(rgb));
        pixels.push_back(0xff);
    }
    return pixels;
}

void appendBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xff));
}

void appendChunk(std::string& out, const char* type, const std::string& data) {
    appendBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::string typed = std::string(type, 4) + data;
    out += typed;
    appendBigEndian(
        out, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(typed.data()),
                                              static_cast<uInt>(typed.size()))));
}

} // namespace

std::string StandinIcons::png(unsigned rgb, int size) {
    const std::vector<std::uint8_t> pixels = rgbaSquare(rgb, size);
    std::string rows;
    for (int y = 0; y < size; ++y) {
        rows.push_back('\0'); // filter type none
        rows.append(reinterpret_cast<const char*>(pixels.data()) +
                        static_cast<std::size_t>(y) * size * 4,
                    static_cast<std::size_t>(size) * 4);
    }
    uLongf packedSize = compressBound(static_cast<uLong>(rows.size()));
    std::string packed(packedSize, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
             reinterpret_cast<const Bytef*>(rows.data()), static_cast<uLong>(rows.size()));
    packed.resize(packedSize);

    std::string header;
    appendBigEndian(header, static_cast<std::uint32_t>(size));
    appendBigEndian(header, static_cast<std::uint32_t>(size));
    header += std::string("\x08\x06\x00\x00\x00", 5); // 8-bit RGBA, no interlace
    std::string out("\x89PNG\r\n\x1a\n", 8);
    appendChunk(out, "IHDR", header);
    appendChunk(out, "IDAT", packed);
    appendChunk(out, "IEND", {});
    return out;
}

std::string StandinIcons::webp(unsigned rgb, int size) {
    const std::vector<std::uint8_t> pixels = rgbaSquare(rgb, size);
    std::uint8_t* encoded = nullptr;
    const std::size_t length =
        WebPEncodeLosslessRGBA(pixels.data(), size, size, size * 4, &encoded);
    std::string out(reinterpret_cast<const char*>(encoded), length);
    WebPFree(encoded);
    return out;
}

} // namespace qbk::modrinthstandin
