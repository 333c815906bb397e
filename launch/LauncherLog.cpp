#include "launch/LauncherLog.h"

#include "platform/Platform.h"

#include <chrono>
#include <ctime>
#include <iostream>
#include <mutex>
#include <regex>
#include <utility>
#include <vector>

namespace qbk {

namespace fs = std::filesystem;

namespace {

std::mutex gMutex; // the file, the streams' pending lines and the secrets
std::vector<std::string> gSecrets;

fs::path runFile(const fs::path& dir, int run) {
    return dir /
           (run == 0 ? std::string("launcher.log") : "launcher." + std::to_string(run) + ".log");
}

std::string timeStamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char text[40];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(text + length, sizeof text - length, ".%03d ", static_cast<int>(millis));
    return text;
}

} // namespace

// Passes everything on to the stream's own buffer and hands each finished line to the log. A
// carriage return starts the line over, as a console shows a redrawn progress line.
class LauncherLog::Tee : public std::streambuf {
public:
    Tee(std::ostream& stream, LauncherLog& log)
        : stream_(stream), original_(stream.rdbuf()), log_(log) {
        stream_.rdbuf(this);
    }
    ~Tee() override {
        stream_.rdbuf(original_);
        if (!pending_.empty())
            log_.writeLine(pending_);
    }

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        const char ch = traits_type::to_char_type(c);
        return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
    }
    std::streamsize xsputn(const char* data, std::streamsize count) override {
        std::lock_guard lock(gMutex);
        original_->sputn(data, count);
        for (std::streamsize i = 0; i < count; ++i) {
            if (data[i] == '\n') {
                log_.writeLine(pending_);
                pending_.clear();
                carriage_ = false;
            } else if (data[i] == '\r') {
                carriage_ = true;
            } else {
                if (std::exchange(carriage_, false))
                    pending_.clear();
                pending_ += data[i];
            }
        }
        return count;
    }
    int sync() override { return original_->pubsync(); }

private:
    std::ostream& stream_;
    std::streambuf* original_;
    LauncherLog& log_;
    std::string pending_;
    bool carriage_ = false;
};

LauncherLog::LauncherLog(const fs::path& logsDir) : path_(runFile(logsDir, 0)) {
    platform::createDirectories(logsDir);
    platform::removeFile(runFile(logsDir, kKeptRuns));
    for (int run = kKeptRuns - 1; run >= 0; --run)
        if (platform::pathExists(runFile(logsDir, run)))
            platform::moveReplace(runFile(logsDir, run), runFile(logsDir, run + 1));
    file_ = platform::openFile(path_, "wb");
    if (!file_)
        return;
    out_ = std::make_unique<Tee>(std::cout, *this);
    err_ = std::make_unique<Tee>(std::cerr, *this);
}

LauncherLog::~LauncherLog() {
    std::cout.flush();
    std::cerr.flush();
    {
        std::lock_guard lock(gMutex);
        out_.reset();
        err_.reset();
    }
    if (file_)
        std::fclose(file_);
}

void LauncherLog::writeLine(std::string_view line) {
    // Blank lines separate console redraws; they say nothing in a file.
    if (line.find_first_not_of(" \t") == std::string_view::npos)
        return;
    const std::string text = timeStamp() + masked(std::string(line)) + "\n";
    std::fwrite(text.data(), 1, text.size(), file_);
    std::fflush(file_); // a crash or a hard exit must not lose the last lines
}

void LauncherLog::addSecret(const std::string& value) {
    if (value.size() < 4)
        return; // too short to tell from ordinary text
    std::lock_guard lock(gMutex);
    gSecrets.push_back(value);
}

std::string LauncherLog::masked(std::string line) {
    static const std::regex keyed(
        R"(((?:access_?token|token|password|passwd)["']?\s*[:=]\s*["']?|--access_?token\s+)([^"'\s,;&]+))",
        std::regex::icase);
    line = std::regex_replace(line, keyed, "$1***");
    for (const std::string& secret : gSecrets)
        for (auto at = line.find(secret); at != std::string::npos; at = line.find(secret, at))
            line.replace(at, secret.size(), "***");
    return line;
}

} // namespace qbk
