#include "app/Settings.h"

#include "app/LauncherDir.h"
#include "platform/Platform.h"

#include <QSettings>
#include <algorithm>

namespace qbk {

namespace {

constexpr int kFallbackTotalRamMb = 8192;
constexpr int kReservedForSystemMb = 2048;

const QString kUsername = QStringLiteral("player/username");
const QString kRememberLogin = QStringLiteral("player/rememberLogin");
const QString kRememberPassword = QStringLiteral("player/rememberPassword");
const QString kCloseOnLaunch = QStringLiteral("launcher/closeOnLaunch");
const QString kMaxRamMb = QStringLiteral("game/maxRamMb");
const QString kAccessToken = QStringLiteral("session/accessToken");
const QString kClientToken = QStringLiteral("session/clientToken");
const QString kUuid = QStringLiteral("session/uuid");
const QString kOpLevel = QStringLiteral("session/opLevel");

QString toQString(const std::filesystem::path& path) {
    return QString::fromStdString(platform::pathToUtf8(path));
}

} // namespace

Settings& Settings::instance() {
    static Settings settings(LauncherDir() / "Quellbrook.ini", platform::totalPhysicalMemoryBytes);
    return settings;
}

Settings::Settings(std::filesystem::path iniFile, MemoryProbe totalMemoryBytes)
    : iniFile_(std::move(iniFile)), totalMemoryBytes_(std::move(totalMemoryBytes)) {
    if (!totalMemoryBytes_)
        totalMemoryBytes_ = platform::totalPhysicalMemoryBytes;
}

Settings::~Settings() = default; // QSettings writes pending changes as it goes

QSettings& Settings::store() const {
    std::call_once(created_, [this] {
        // A file from before may hold a session readable by others.
        if (platform::pathExists(iniFile_))
            platform::restrictToOwner(iniFile_);
        settings_ = std::make_unique<QSettings>(toQString(iniFile_), QSettings::IniFormat);
        // A session is remembered only with the name; a file that says otherwise (edited by
        // hand, or written before this rule) loses the session.
        if (!settings_->value(kRememberLogin, true).toBool() &&
            (settings_->value(kRememberPassword, false).toBool() ||
             settings_->contains(kAccessToken)))
            forgetSession();
    });
    return *settings_;
}

QString Settings::username() const {
    std::lock_guard lock(mutex_);
    return store().value(kUsername).toString();
}

void Settings::setUsername(const QString& name) {
    std::lock_guard lock(mutex_);
    store().setValue(kUsername, name);
}

bool Settings::rememberLogin() const {
    std::lock_guard lock(mutex_);
    return store().value(kRememberLogin, true).toBool();
}

void Settings::setRememberLogin(bool on) {
    std::lock_guard lock(mutex_);
    store().setValue(kRememberLogin, on);
    if (!on)
        forgetSession();
}

bool Settings::rememberPassword() const {
    std::lock_guard lock(mutex_);
    return store().value(kRememberPassword, false).toBool();
}

void Settings::setRememberPassword(bool on) {
    std::lock_guard lock(mutex_);
    if (on)
        store().setValue(kRememberPassword, true);
    else
        forgetSession();
}

void Settings::forgetSession() const {
    settings_->setValue(kRememberPassword, false);
    removeSessionKeys();
    settings_->sync();
}

bool Settings::closeOnLaunch() const {
    std::lock_guard lock(mutex_);
    return store().value(kCloseOnLaunch, false).toBool();
}

void Settings::setCloseOnLaunch(bool on) {
    std::lock_guard lock(mutex_);
    store().setValue(kCloseOnLaunch, on);
}

int Settings::totalRamMb() const {
    const auto bytes = totalMemoryBytes_();
    if (!bytes)
        return kFallbackTotalRamMb;
    return static_cast<int>(std::min<std::uint64_t>(*bytes / 1048576u, INT32_MAX));
}

int Settings::maxAllowedRamMb() const {
    return std::max(kMinRamMb, totalRamMb() - kReservedForSystemMb);
}

int Settings::maxRamMb() const {
    int stored = kDefaultMaxRamMb;
    {
        std::lock_guard lock(mutex_);
        stored = store().value(kMaxRamMb, kDefaultMaxRamMb).toInt();
    }
    return std::clamp(stored, kMinRamMb, maxAllowedRamMb());
}

void Settings::setMaxRamMb(int mb) {
    const int clamped = std::clamp(mb, kMinRamMb, maxAllowedRamMb());
    std::lock_guard lock(mutex_);
    store().setValue(kMaxRamMb, clamped);
}

int Settings::minRamMb() const {
    return std::clamp(maxRamMb() / 4, 512, 2048);
}

QString Settings::accessToken() const {
    std::lock_guard lock(mutex_);
    return store().value(kAccessToken).toString();
}

QString Settings::uuid() const {
    std::lock_guard lock(mutex_);
    return store().value(kUuid).toString();
}

void Settings::setOpLevel(int level) {
    std::lock_guard lock(mutex_);
    store().setValue(kOpLevel, level);
}

void Settings::saveSession(const QString& accessToken, const QString& clientToken,
                           const QString& uuid) {
    std::lock_guard lock(mutex_);
    store();
    // Owner-only before the token is in it; Qt keeps the mode when it rewrites the file.
    platform::restrictToOwner(iniFile_);
    store().setValue(kAccessToken, accessToken);
    store().setValue(kClientToken, clientToken);
    store().setValue(kUuid, uuid);
    store().sync();
}

void Settings::clearSession() {
    std::lock_guard lock(mutex_);
    store();
    removeSessionKeys();
    settings_->sync();
}

void Settings::removeSessionKeys() const {
    settings_->remove(kOpLevel);
    settings_->remove(kAccessToken);
    settings_->remove(kClientToken);
    settings_->remove(kUuid);
}

Endpoints Settings::endpoints() const {
    std::lock_guard lock(mutex_);
    return Endpoints::read(store());
}

void Settings::sync() {
    std::lock_guard lock(mutex_);
    store().sync();
}

} // namespace qbk
