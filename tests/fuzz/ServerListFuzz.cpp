// The server list writer's round trip: whatever name, address and icon (the input's parts
// between NUL bytes) it accepts must read back unchanged through an independent NBT reader; it
// refuses only values too long for NBT.
#include "launch/ServerList.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/launch/NbtTestReader.h"

QBK_FUZZ(input) {
    std::string parts[3];
    for (std::string& part : parts) {
        const std::size_t cut = std::min(input.find('\0'), input.size());
        part = input.substr(0, cut);
        input.remove_prefix(std::min(cut + 1, input.size()));
    }
    const auto& [name, address, icon] = parts;
    const std::filesystem::path file = qbk::fuzz::scratch() / "servers.dat";
    std::filesystem::remove(file);
    if (!qbk::WriteServersDat(qbk::fuzz::scratch(), name, address, icon))
        return must(name.size() > 0xFFFF || address.size() > 0xFFFF || icon.size() > 0xFFFF);
    std::string rootName;
    const qbk::NbtTag entry =
        qbk::NbtTestReader::readFile(file, rootName).child("servers").items.at(0);
    must(entry.child("name").text == name && entry.child("ip").text == address);
    must(entry.hasChild("icon") != icon.empty() &&
         (icon.empty() || entry.child("icon").text == icon));
}
