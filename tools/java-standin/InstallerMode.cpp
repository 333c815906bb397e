#include "tools/java-standin/InstallerMode.h"

#include "mods/ZipUtils.h"
#include "platform/Platform.h"
#include "tools/java-standin/StandinControl.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>

namespace qbk::standin {

namespace fs = std::filesystem;

namespace {

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int failWith(const std::string& message) {
    std::cerr << message << '\n';
    return 1;
}

// Copies over an existing file. MinGW's libstdc++ takes any two files for the same one (no
// inode numbers on Windows) and refuses to overwrite, so the old file goes first.
bool replaceFile(const fs::path& from, const fs::path& to, std::error_code& ec) {
    fs::remove(to, ec);
    return fs::copy_file(from, to, ec);
}

// Every file below from goes to the same relative place below to.
bool copyTree(const fs::path& from, const fs::path& to, int& copied) {
    std::error_code ec;
    for (const auto& item : fs::recursive_directory_iterator(from, ec)) {
        if (!item.is_regular_file())
            continue;
        const fs::path target = to / fs::relative(item.path(), from);
        fs::create_directories(target.parent_path(), ec);
        if (!replaceFile(item.path(), target, ec))
            return false;
        ++copied;
    }
    return !ec;
}

bool isPlainId(const std::string& id) {
    return !id.empty() && id.find_first_of("/\\:") == std::string::npos &&
           id.find("..") == std::string::npos;
}

int installClient(const fs::path& jar, const fs::path& dir) {
    if (!platform::pathExists(dir / "launcher_profiles.json"))
        return failWith("There is no minecraft launcher profile in " + platform::pathToUtf8(dir) +
                        ", you need to run the launcher first!");
    const fs::path unpacked = dir / ".neoforge-installer-unpacked";
    platform::removeTree(unpacked);
    std::string error;
    if (!extractZip(jar, unpacked, &error))
        return failWith("Corrupt installer jar " + platform::pathToUtf8(jar) + ": " + error);

    const auto profile =
        nlohmann::json::parse(readText(unpacked / "install_profile.json"), nullptr, false);
    const std::string id = profile.is_object() ? profile.value("version", "") : "";
    const std::string jsonEntry = profile.is_object() ? profile.value("json", "") : "";
    if (!isPlainId(id) || jsonEntry.empty()) {
        platform::removeTree(unpacked);
        return failWith("install_profile.json names no version");
    }
    std::cout << "Installing " << id << " into " << platform::pathToUtf8(dir) << '\n';
    int libraries = 0;
    const bool librariesCopied = copyTree(unpacked / "maven", dir / "libraries", libraries);
    const fs::path versionDir = dir / "versions" / id;
    std::error_code ec;
    fs::create_directories(versionDir, ec);
    const bool jsonCopied = replaceFile(unpacked / platform::pathFromUtf8(jsonEntry.substr(1)),
                                        versionDir / (id + ".json"), ec);
    platform::removeTree(unpacked);
    if (!librariesCopied || !jsonCopied)
        return failWith("Failed to write the installation: " + ec.message());
    std::cout << "Extracted " << libraries << " libraries\nSuccessfully installed client " << id
              << '\n';
    return 0;
}

} // namespace

int runInstaller(const std::vector<std::string>& args) {
    if (args.size() < 2)
        return failWith("Error: -jar needs the path of a jar file");
    const fs::path jar = platform::pathFromUtf8(args[1]);
    if (!platform::pathExists(jar))
        return failWith("Error: Unable to access jarfile " + args[1]);
    if (args.size() != 4 || (args[2] != "--install-client" && args[2] != "--installClient"))
        return failWith("Usage: installer.jar --install-client <dir>");
    const fs::path dir = platform::pathFromUtf8(args[3]);
    const StandinControl control = StandinControl::read(dir);
    const auto& rejected = control.rejectInstallerFlags;
    if (std::find(rejected.begin(), rejected.end(), args[2]) != rejected.end())
        return failWith("joptsimple.UnrecognizedOptionException: " + args[2].substr(2) +
                        " is not a recognized option");
    if (control.installerHangs)
        sleepSeconds(-1);
    return installClient(jar, dir);
}

} // namespace qbk::standin
