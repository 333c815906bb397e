#include "game/GameLaunch.h"

#include "platform/ChildProcess.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string_view>

namespace qbk {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kLogTailBytes = 2000;
// A stop during the start watch is seen within this long.
constexpr std::chrono::milliseconds kWatchSlice{100};
constexpr wchar_t kReplacement = 0xFFFD;

std::wstring widePath(const fs::path& path) {
    return platform::utf8ToWide(platform::pathToUtf8(path));
}

bool needsQuotes(std::wstring_view argument) {
    return argument.empty() || argument.find_first_of(L" \t\"") != std::wstring_view::npos;
}

// Bytes of the UTF-8 sequence a lead byte announces; 0 for a byte that cannot start one.
std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// Decodes what it can; every byte that is not part of a valid sequence becomes U+FFFD, so a
// tail cut inside a character still shows the rest of the log.
std::wstring decodeLenient(std::string_view bytes) {
    std::wstring text;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t length = sequenceLength(static_cast<unsigned char>(bytes[pos]));
        const std::wstring decoded = length == 0 || pos + length > bytes.size()
                                         ? std::wstring()
                                         : platform::utf8ToWide(bytes.substr(pos, length));
        if (decoded.empty()) {
            text += kReplacement;
            ++pos;
        } else {
            text += decoded;
            pos += length;
        }
    }
    return text;
}

std::vector<std::string> argumentVector(const LaunchProfile& profile) {
    std::vector<std::string> arguments;
    arguments.reserve(profile.jvmArgs.size() + 1 + profile.gameArgs.size());
    for (const auto& argument : profile.jvmArgs)
        arguments.push_back(platform::wideToUtf8(argument));
    arguments.push_back(platform::wideToUtf8(profile.mainClass));
    for (const auto& argument : profile.gameArgs)
        arguments.push_back(platform::wideToUtf8(argument));
    return arguments;
}

std::wstring exitMessage(int exitCode, const fs::path& log) {
    std::wstring message =
        L"Java завершилась сразу (код " + std::to_wstring(static_cast<unsigned>(exitCode)) + L").";
    const std::wstring tail = ReadFileTail(log, kLogTailBytes);
    if (!tail.empty())
        message += L"\n" + tail;
    return message;
}

} // namespace

std::wstring QuoteArgument(const std::wstring& argument) {
    if (!needsQuotes(argument))
        return argument;
    const std::size_t equals = argument.find(L'=');
    if (argument.rfind(L"-D", 0) == 0 && equals != std::wstring::npos &&
        !needsQuotes(std::wstring_view(argument).substr(0, equals + 1))) {
        return argument.substr(0, equals + 1) +
               platform::quoteWindowsArgument(argument.substr(equals + 1));
    }
    return platform::quoteWindowsArgument(argument);
}

std::wstring BuildCommandLine(const fs::path& javaExecutable, const LaunchProfile& profile) {
    std::wstring line = L"\"" + widePath(javaExecutable) + L"\"";
    for (const auto& argument : profile.jvmArgs)
        line += L" " + QuoteArgument(argument);
    // A class name never needs quotes; quoting only guards against a malformed one.
    line += L" " + QuoteArgument(profile.mainClass);
    for (const auto& argument : profile.gameArgs)
        line += L" " + QuoteArgument(argument);
    return line;
}

std::wstring ReadFileTail(const fs::path& path, std::size_t count) {
    std::FILE* file = platform::openFile(path, "rb");
    if (!file)
        return {};
    std::string bytes;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long size = std::ftell(file);
        const long start = size > static_cast<long>(count) ? size - static_cast<long>(count) : 0;
        if (size > 0 && std::fseek(file, start, SEEK_SET) == 0) {
            bytes.resize(static_cast<std::size_t>(size - start));
            bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
        }
    }
    std::fclose(file);
    return decodeLenient(bytes);
}

bool LaunchGame(const fs::path& javaExecutable, const fs::path& gameDir,
                const LaunchProfile& profile, std::wstring& error, std::chrono::milliseconds watch,
                const TransferWatch* stop) {
    if (profile.mainClass.empty()) {
        error = L"Профиль запуска не собран.";
        return false;
    }
    const fs::path logDir = gameDir / "logs";
    platform::createDirectories(logDir); // without it the game just runs unlogged
    const fs::path log = logDir / "launcher_java.log";

    platform::ChildProcessSpec setup;
    setup.program = javaExecutable;
    setup.arguments = argumentVector(profile);
    setup.windowsCommandLine = BuildCommandLine(javaExecutable, profile);
    setup.workingDirectory = gameDir;
    setup.outputFile = log;

    platform::ChildProcess game;
    std::string startError;
    int systemError = 0;
    if (!game.start(setup, startError, systemError)) {
        error = L"CreateProcessW не смог запустить Java, код " + std::to_wstring(systemError);
        return false;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + watch;
    int exitCode = 0;
    auto result = platform::ChildProcess::WaitResult::StillRunning;
    do {
        if (stop && stop->stopRequested()) {
            // A cancelled launch must not leave a game to appear after the launcher is gone.
            game.kill();
            error = platform::utf8ToWide(kStoppedText);
            return false;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        result =
            game.waitFor(std::clamp(left, std::chrono::milliseconds{0}, kWatchSlice), exitCode);
    } while (result == platform::ChildProcess::WaitResult::StillRunning && Clock::now() < deadline);
    switch (result) {
    case platform::ChildProcess::WaitResult::StillRunning:
        std::cout << "[Launch] Игра запущена, PID = " << game.pid() << '\n' << std::flush;
        return true;
    case platform::ChildProcess::WaitResult::Exited:
        error = exitMessage(exitCode, log);
        return false;
    case platform::ChildProcess::WaitResult::Failed:
        break;
    }
    // No exit code was read: an unknown end is no "exited at once with code 0".
    error = L"Не удалось проверить, запустилась ли Java: ошибка ожидания процесса.";
    return false;
}

} // namespace qbk
