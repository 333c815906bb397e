// The server list writer's round trip: whatever name, address and icon it accepts must read
// back unchanged through an independent NBT reader.
#include "launch/ServerList.h"
#include "tests/launch/NbtTestReader.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace {

namespace fs = std::filesystem;

const fs::path& scratch() {
    static const fs::path dir = [] {
        fs::path made = fs::temp_directory_path() /
                        ("qbk-fuzz-servers-" + std::to_string(std::random_device()()));
        fs::create_directories(made);
        return made;
    }();
    return dir;
}

// The input is name, address and icon separated by NUL bytes (missing parts are empty).
std::string nextPart(std::string& rest) {
    const std::size_t cut = rest.find('\0');
    std::string part = rest.substr(0, cut);
    rest = cut == std::string::npos ? std::string() : rest.substr(cut + 1);
    return part;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string rest(reinterpret_cast<const char*>(data), size);
    const std::string name = nextPart(rest);
    const std::string address = nextPart(rest);
    const std::string icon = nextPart(rest);
    std::error_code ignored;
    fs::remove(scratch() / "servers.dat", ignored);
    if (!qbk::WriteServersDat(scratch(), name, address, icon)) {
        if (name.size() <= 0xFFFF && address.size() <= 0xFFFF && icon.size() <= 0xFFFF)
            std::abort(); // refused values that fit
        return 0;
    }
    std::string rootName;
    const qbk::NbtTag root = qbk::NbtTestReader::readFile(scratch() / "servers.dat", rootName);
    const qbk::NbtTag& entry = root.child("servers").items.at(0);
    if (entry.child("name").text != name || entry.child("ip").text != address)
        std::abort();
    if (entry.hasChild("icon") != !icon.empty() ||
        (!icon.empty() && entry.child("icon").text != icon))
        std::abort();
    return 0;
}
