#pragma once

#include <string>

namespace qbk {

enum class RuntimeArchiveFormat { Zip, TarGz };

// Everything that differs between the Windows and the Linux build of the game setup. Code
// takes it as a value, so tests can run the Windows description on any host.
struct TargetPlatform {
    std::string osName;                   // as library rules name it: "windows", "linux"
    std::string arch;                     // "x86_64"
    std::string javaExecutable;           // starts the game and the installer
    std::string javaWindowlessExecutable; // its presence marks an installed runtime
    char classpathSeparator = ';';
    std::string runtimeDownloadPath; // appended to the Adoptium endpoint
    RuntimeArchiveFormat runtimeArchiveFormat = RuntimeArchiveFormat::Zip;
    std::string nativesClassifier; // ":natives-windows", ":natives-linux"
    bool caseInsensitiveFileNames = false;

    static TargetPlatform windowsX64();
    static TargetPlatform linuxX64();
    // The description of the platform this binary was built for.
    static TargetPlatform host();
    // "windows" or "linux"; anything else gives false and leaves target as it was.
    static bool fromName(const std::string& name, TargetPlatform& target);

    std::string runtimeArchiveName() const; // "java21_temp.zip" or "java21_temp.tar.gz"
};

} // namespace qbk
