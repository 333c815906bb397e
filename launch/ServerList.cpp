#include "launch/ServerList.h"

#include "game/FileBytes.h"

#include <cstdint>
#include <limits>
#include <string_view>

namespace qbk {

namespace {

constexpr char kTagEnd = 0x00;
constexpr char kTagString = 0x08;
constexpr char kTagList = 0x09;
constexpr char kTagCompound = 0x0A;

class NbtWriter {
public:
    // False once any text has been too long for a 16-bit length.
    bool ok() const { return ok_; }
    const std::string& bytes() const { return bytes_; }

    void tag(char type) { bytes_ += type; }
    void namedTag(char type, std::string_view name) {
        tag(type);
        text(name);
    }
    void stringTag(std::string_view name, std::string_view value) {
        namedTag(kTagString, name);
        text(value);
    }
    void int32(std::uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes_ += static_cast<char>((value >> shift) & 0xFF);
    }

private:
    void text(std::string_view value) {
        if (value.size() > std::numeric_limits<std::uint16_t>::max()) {
            ok_ = false;
            return;
        }
        bytes_ += static_cast<char>((value.size() >> 8) & 0xFF);
        bytes_ += static_cast<char>(value.size() & 0xFF);
        bytes_.append(value);
    }

    std::string bytes_;
    bool ok_ = true;
};

} // namespace

bool WriteServersDat(const std::filesystem::path& gameDir, const std::string& name,
                     const std::string& address, const std::string& iconBase64) {
    NbtWriter nbt;
    nbt.namedTag(kTagCompound, "");
    nbt.namedTag(kTagList, "servers");
    nbt.tag(kTagCompound);
    nbt.int32(1);
    nbt.stringTag("name", name);
    nbt.stringTag("ip", address);
    if (!iconBase64.empty())
        nbt.stringTag("icon", iconBase64);
    nbt.tag(kTagEnd); // the server entry
    nbt.tag(kTagEnd); // the root
    if (!nbt.ok())
        return false;
    return WriteFileBytes(gameDir / "servers.dat", nbt.bytes());
}

} // namespace qbk
