#pragma once

#include "app/Endpoints.h"

#include <QString>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QSettings;

namespace qbk {

// The launcher's preferences and remembered session in "Quellbrook.ini" beside the
// executable. Every accessor reads or writes the one INI object under a lock, so the launch
// worker may read while the UI thread writes.
class Settings {
public:
    using MemoryProbe = std::function<std::optional<std::uint64_t>()>;

    static Settings& instance();

    // A store on any INI file, for tools and tests; the probe replaces the machine's memory.
    explicit Settings(std::filesystem::path iniFile, MemoryProbe totalMemoryBytes = {});
    ~Settings();
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    std::filesystem::path iniFile() const { return iniFile_; }

    QString username() const;
    void setUsername(const QString& name);
    bool rememberLogin() const;
    void setRememberLogin(bool on);
    bool rememberPassword() const;
    void setRememberPassword(bool on); // false also clears the session and writes the file
    bool closeOnLaunch() const;
    void setCloseOnLaunch(bool on);

    int maxRamMb() const;
    void setMaxRamMb(int mb);
    int minRamMb() const;
    int totalRamMb() const;
    int maxAllowedRamMb() const;

    QString accessToken() const;
    QString uuid() const;
    void setOpLevel(int level);
    void saveSession(const QString& accessToken, const QString& clientToken, const QString& uuid);
    void clearSession();

    Endpoints endpoints() const;

    void sync();

    static constexpr int kDefaultMaxRamMb = 4096;
    static constexpr int kMinRamMb = 1024;

private:
    QSettings& store() const; // callers hold mutex_
    // Both write through settings_, so they also serve while store() creates it.
    void removeSessionKeys() const;
    void forgetSession() const; // remember-both off and the session keys gone

    std::filesystem::path iniFile_;
    MemoryProbe totalMemoryBytes_;
    mutable std::recursive_mutex mutex_;
    mutable std::once_flag created_;
    mutable std::unique_ptr<QSettings> settings_;
};

} // namespace qbk
