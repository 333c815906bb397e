#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace qbk {

// The process-wide set of certificates trusted beyond the system's: the system bundle and
// one extra PEM file, joined once into a blob that every transfer hands to libcurl.
class CaBundle {
public:
    struct Blob {
        std::string pem;
        // No system bundle file was found (Windows): the OS store must be added by libcurl.
        bool needsNativeStore = false;
    };

    // Empty path: trust the system only. Safe to call from any thread.
    static void setExtraFile(const std::filesystem::path& pemFile);
    // The joined blob; null while no extra file is set.
    static std::shared_ptr<const Blob> current();
    // The system's PEM bundle as libcurl was built to use it, or a known location.
    static std::filesystem::path systemBundlePath();
};

} // namespace qbk
