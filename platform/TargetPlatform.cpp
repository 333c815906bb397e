#include "platform/TargetPlatform.h"

namespace qbk {

TargetPlatform TargetPlatform::windowsX64() {
    TargetPlatform t;
    t.osName = "windows";
    t.arch = "x86_64";
    t.javaExecutable = "java.exe";
    t.javaWindowlessExecutable = "javaw.exe";
    t.classpathSeparator = ';';
    t.runtimeDownloadPath = "/v3/binary/latest/21/ga/windows/x64/jre/hotspot/normal/eclipse";
    t.runtimeArchiveFormat = RuntimeArchiveFormat::Zip;
    t.nativesClassifier = ":natives-windows";
    t.caseInsensitiveFileNames = true;
    return t;
}

TargetPlatform TargetPlatform::linuxX64() {
    TargetPlatform t;
    t.osName = "linux";
    t.arch = "x86_64";
    t.javaExecutable = "java";
    t.javaWindowlessExecutable = "java"; // Linux has no separate windowless launcher
    t.classpathSeparator = ':';
    t.runtimeDownloadPath = "/v3/binary/latest/21/ga/linux/x64/jre/hotspot/normal/eclipse";
    t.runtimeArchiveFormat = RuntimeArchiveFormat::TarGz;
    t.nativesClassifier = ":natives-linux";
    t.caseInsensitiveFileNames = false;
    return t;
}

TargetPlatform TargetPlatform::host() {
#ifdef _WIN32
    return windowsX64();
#else
    return linuxX64();
#endif
}

bool TargetPlatform::fromName(const std::string& name, TargetPlatform& target) {
    if (name == "windows") {
        target = windowsX64();
        return true;
    }
    if (name == "linux") {
        target = linuxX64();
        return true;
    }
    return false;
}

std::string TargetPlatform::runtimeArchiveName() const {
    return runtimeArchiveFormat == RuntimeArchiveFormat::Zip ? "java21_temp.zip"
                                                             : "java21_temp.tar.gz";
}

} // namespace qbk
