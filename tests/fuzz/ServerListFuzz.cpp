// The server list writer's round trip: whatever name, address and icon (the input's parts
// between NUL bytes) it accepts must read back unchanged through an independent NBT reader;
// it refuses only values too long for NBT.
#include "launch/ServerList.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/launch/NbtTestReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using qbk::fuzz::must;
    std::string rest(qbk::fuzz::text(data, size)), parts[3];
    for (std::string& part : parts) {
        const std::size_t cut = rest.find('\0');
        part = rest.substr(0, cut);
        rest = cut == std::string::npos ? std::string() : rest.substr(cut + 1);
    }
    const auto& [name, address, icon] = parts;
    const std::filesystem::path file = qbk::fuzz::scratch() / "servers.dat";
    std::filesystem::remove(file);
    if (!qbk::WriteServersDat(qbk::fuzz::scratch(), name, address, icon)) {
        must(name.size() > 0xFFFF || address.size() > 0xFFFF || icon.size() > 0xFFFF);
        return 0;
    }
    std::string rootName;
    const qbk::NbtTag entry =
        qbk::NbtTestReader::readFile(file, rootName).child("servers").items.at(0);
    must(entry.child("name").text == name && entry.child("ip").text == address);
    must(entry.hasChild("icon") != icon.empty());
    must(icon.empty() || entry.child("icon").text == icon);
    return 0;
}
