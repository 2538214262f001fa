#include "core/platform.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <streambuf>

#ifdef _WIN32
#include <io.h>
// Before windows.h, which would bring the older socket header.
#include <windows.h>
#include <winsock2.h>
// After windows.h, which it needs.
#include <shellapi.h>
// windows.h makes ReplaceFile a macro for its own function of that name.
#undef ReplaceFile
#else
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace pelantra {
namespace {

std::atomic<bool> stopRequested{false};

bool EndsWithSeparator(const std::string& folder, Platform platform)
{
    if (folder.empty())
        return false;
    const char last = folder.back();
    // Windows accepts both separators.
    return last == PathSeparator(platform) || (platform == Platform::Windows && last == '/');
}

#ifdef _WIN32
std::atomic<bool> stopHandled{false};

std::wstring Wide(const std::string& bytes, UINT codePage)
{
    if (bytes.empty())
        return {};
    const int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
    return wide;
}

std::wstring WidePath(const std::string& bytes)
{
    return Wide(bytes, IsValidUtf8(bytes) ? CP_UTF8 : CP_ACP);
}

std::string WideToUtf8(const std::wstring& wide)
{
    if (wide.empty())
        return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n, nullptr, nullptr);
    return text;
}

// UTF-8 text written to a console, which takes it as UTF-16 in whole characters.
class ConsoleBuffer final : public std::streambuf {
public:
    explicit ConsoleBuffer(HANDLE console) : console_(console) { setp(buffer_, buffer_ + sizeof buffer_); }

protected:
    int_type overflow(int_type c) override
    {
        // A full buffer: a character cut off at its end waits for the rest.
        if (!Write(CompleteUtf8Length(std::string_view(pbase(), static_cast<std::size_t>(pptr() - pbase())))))
            return traits_type::eof();
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
        return c;
    }
    int sync() override { return Write(static_cast<std::size_t>(pptr() - pbase())) ? 0 : -1; }

private:
    // Writes the first `length` bytes and keeps the rest at the buffer's start.
    bool Write(std::size_t length)
    {
        const std::wstring wide = Wide(std::string(pbase(), length), CP_UTF8);
        bool written = true;
        for (std::size_t at = 0; written && at < wide.size();) {
            DWORD count = 0;
            written =
                WriteConsoleW(console_, wide.data() + at, static_cast<DWORD>(wide.size() - at), &count, nullptr) &&
                count > 0;
            at += count;
        }
        const std::size_t rest = static_cast<std::size_t>(pptr() - pbase()) - length;
        std::memmove(buffer_, buffer_ + length, rest);
        setp(buffer_, buffer_ + sizeof buffer_);
        pbump(static_cast<int>(rest));
        return written;
    }

    HANDLE console_;
    char buffer_[4096];
};

BOOL WINAPI OnConsoleEvent(DWORD event)
{
    stopRequested = true;
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // Windows ends the program once this returns: give the clean-up
        // the few seconds it is allowed.
        for (int waited = 0; waited < 4500 && !stopHandled; waited += 50)
            Sleep(50);
    }
    return TRUE;
}
#else
void OnStopSignal(int)
{
    stopRequested = true;
}
#endif

} // namespace

char PathSeparator(Platform platform)
{
    return platform == Platform::Windows ? '\\' : '/';
}

std::string JoinPath(const std::string& folder, const std::string& name, Platform platform)
{
    if (EndsWithSeparator(folder, platform))
        return folder + name;
    return folder + PathSeparator(platform) + name;
}

bool IsValidUtf8(const std::string& bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || (length == 2 && c < 0xC2) || i + length > bytes.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(bytes[i + k]) >> 6) != 0x2)
                return false;
        }
        const auto next = static_cast<unsigned char>(bytes[i + 1 < bytes.size() ? i + 1 : i]);
        if ((length == 3 && c == 0xE0 && next < 0xA0) || (length == 3 && c == 0xED && next >= 0xA0) ||
            (length == 4 && c == 0xF0 && next < 0x90) || (length == 4 && (c > 0xF4 || (c == 0xF4 && next >= 0x90))))
            return false; // overlong, surrogate or beyond U+10FFFF
        i += length;
    }
    return true;
}

std::string Utf8FromUnnamedEncoding(const std::string& bytes)
{
    if (IsValidUtf8(bytes))
        return bytes;
    // Windows-1252 at 0x80-0x9F; there it has five holes, which Windows
    // itself maps to the C1 control of the same number. Elsewhere Latin-1.
    static constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                           0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        const char16_t code = c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : c;
        if (code < 0x80) {
            text += static_cast<char>(code);
        } else if (code < 0x800) {
            text += static_cast<char>(0xC0 | (code >> 6));
            text += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            text += static_cast<char>(0xE0 | (code >> 12));
            text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return text;
}

std::size_t CompleteUtf8Length(std::string_view bytes)
{
    // A sequence is at most four bytes long: its lead byte is among the last three, if cut.
    for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const auto c = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((c & 0xC0) == 0x80)
            continue;
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return length > back ? bytes.size() - back : bytes.size();
    }
    return bytes.size();
}

std::string Utf8FromProgramMessages(const std::string& bytes, [[maybe_unused]] MessageCodePage codePage)
{
#ifdef _WIN32
    const UINT windowsCodePage = codePage == MessageCodePage::Oem ? CP_OEMCP : CP_ACP;
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t start = 0; start < bytes.size();) {
        std::size_t end = bytes.find('\n', start);
        end = end == std::string::npos ? bytes.size() : end + 1;
        const std::string line = bytes.substr(start, end - start);
        start = end;
        const int n = IsValidUtf8(line) ? 0
                                        : MultiByteToWideChar(windowsCodePage, MB_ERR_INVALID_CHARS, line.data(),
                                                              static_cast<int>(line.size()), nullptr, 0);
        if (n <= 0) {
            text += line;
            continue;
        }
        std::wstring wide(static_cast<std::size_t>(n), L'\0');
        MultiByteToWideChar(windowsCodePage, MB_ERR_INVALID_CHARS, line.data(), static_cast<int>(line.size()),
                            wide.data(), n);
        text += WideToUtf8(wide);
    }
    return text;
#else
    return bytes;
#endif
}

std::filesystem::path FileSystemPath(const std::string& bytes)
{
#ifdef _WIN32
    return std::filesystem::path(WidePath(bytes));
#else
    return std::filesystem::path(bytes);
#endif
}

std::string CurrentFolder()
{
    std::error_code ignored;
#ifdef _WIN32
    return WideToUtf8(std::filesystem::current_path(ignored).wstring());
#else
    return std::filesystem::current_path(ignored).string();
#endif
}

std::string AbsolutePath(const std::string& bytes)
{
    if (bytes.empty())
        return bytes;
#ifdef _WIN32
    // UTF-8 text, like the current folder and the archive's name that are
    // joined to it, also where the bytes came in the ANSI code page.
    const std::filesystem::path path = FileSystemPath(bytes);
    const std::string text = WideToUtf8(path.wstring());
    if (path.is_absolute())
        return text;
    // "\dir" lies on the current drive and "D:dir" in the current folder of
    // drive D:, not in the current folder: Windows completes them itself.
    if (path.has_root_name() || path.has_root_directory()) {
        std::error_code error;
        const std::filesystem::path full = std::filesystem::absolute(path, error);
        return error ? text : WideToUtf8(full.wstring());
    }
    return JoinPath(CurrentFolder(), text, kHostPlatform);
#else
    if (FileSystemPath(bytes).is_absolute())
        return bytes;
    return JoinPath(CurrentFolder(), bytes, kHostPlatform);
#endif
}

NativePath::NativePath(const std::string& bytes)
{
#ifdef _WIN32
    utf8_ = WideToUtf8(WidePath(bytes));
#else
    if (IsValidUtf8(bytes)) {
        utf8_ = bytes;
        return;
    }
    // Not closed on exec: the programs this one starts reach it by the same name.
    descriptor_ = ::open(bytes.c_str(), O_PATH);
    utf8_ = descriptor_ >= 0 ? "/proc/self/fd/" + std::to_string(descriptor_) : std::string();
#endif
}

NativePath::~NativePath()
{
#ifndef _WIN32
    if (descriptor_ >= 0)
        ::close(descriptor_);
#endif
}

namespace {

FileMove MoveIntoPlace(const std::string& from, const std::string& to, bool replace, FolderSync sync)
{
    FileMove move;
#ifdef _WIN32
    const std::wstring source = Wide(from, CP_UTF8);
    const std::wstring target = Wide(to, CP_UTF8);
    HANDLE file = CreateFileW(source.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        move.notMoved = std::error_code(static_cast<int>(GetLastError()), std::system_category());
        return move;
    }
    const BOOL flushed = FlushFileBuffers(file);
    const DWORD flushError = GetLastError();
    CloseHandle(file);
    if (!flushed) {
        move.notMoved = std::error_code(static_cast<int>(flushError), std::system_category());
        return move;
    }
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!MoveFileExW(source.c_str(), target.c_str(), flags)) {
        const std::error_code error(static_cast<int>(GetLastError()), std::system_category());
        // A network share may report a failure once the rename is done.
        const bool done = GetFileAttributesW(source.c_str()) == INVALID_FILE_ATTRIBUTES &&
                          GetLastError() == ERROR_FILE_NOT_FOUND &&
                          GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (!done) {
            move.notMoved = error.value() == ERROR_ALREADY_EXISTS || error.value() == ERROR_FILE_EXISTS
                                ? std::make_error_code(std::errc::file_exists)
                                : error;
            return move;
        }
        move.folderNotSynced = error;
    }
#else
    auto syncPath = [](const std::string& path, int flags) -> std::error_code {
        const int fd = ::open(path.c_str(), flags);
        if (fd < 0)
            return std::error_code(errno, std::generic_category());
        const int synced = ::fsync(fd);
        const int error = errno;
        ::close(fd);
        return synced == 0 ? std::error_code() : std::error_code(error, std::generic_category());
    };
    if ((move.notMoved = syncPath(from, O_RDONLY)))
        return move;
    if (replace) {
        if (::rename(from.c_str(), to.c_str()) != 0)
            move.notMoved = std::error_code(errno, std::generic_category());
    } else if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
        // File systems without the flag: a hard link is made only under a free name too.
        if (errno != EINVAL && errno != ENOSYS)
            move.notMoved = std::error_code(errno, std::generic_category());
        else if (::link(from.c_str(), to.c_str()) != 0)
            move.notMoved = std::error_code(errno, std::generic_category());
        else
            ::unlink(from.c_str());
    }
    if (move.notMoved)
        return move;
    const std::string folder = std::filesystem::path(to).parent_path().string();
    move.folderNotSynced = syncPath(folder.empty() ? "." : folder, O_RDONLY | O_DIRECTORY);
#endif
    if (sync == FolderSync::Fails && !move.folderNotSynced)
        move.folderNotSynced = std::make_error_code(std::errc::io_error);
    return move;
}

} // namespace

FileMove ReplaceFile(const std::string& from, const std::string& to, FolderSync sync)
{
    return MoveIntoPlace(from, to, true, sync);
}

FileMove MoveToFreeName(const std::string& from, const std::string& to, FolderSync sync)
{
    return MoveIntoPlace(from, to, false, sync);
}

bool HeldByAnotherProgram([[maybe_unused]] const std::error_code& error)
{
#ifdef _WIN32
    if (error.category() != std::system_category())
        return false;
    const int code = error.value();
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION || code == ERROR_ACCESS_DENIED;
#else
    return false;
#endif
}

void EndProgram(int code)
{
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
#ifdef _WIN32
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
#endif
    std::exit(code);
}

bool StandardOutputIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stdout)) != 0;
#else
    return ::isatty(STDOUT_FILENO) != 0;
#endif
}

std::vector<std::string> Utf8Arguments(int argc, char* argv[])
{
#ifdef _WIN32
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        std::vector<std::string> arguments;
        for (int i = 0; i < count; ++i)
            arguments.push_back(WideToUtf8(wide[i]));
        LocalFree(wide);
        return arguments;
    }
#endif
    return std::vector<std::string>(argv, argv + argc);
}

void UseUnicodeConsole()
{
#ifdef _WIN32
    const auto toConsole = [](std::ostream& stream, DWORD which) {
        const HANDLE handle = GetStdHandle(which);
        DWORD mode = 0;
        if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode))
            return;
        stream.flush();
        // Never freed: the stream is flushed once more at the program's very end.
        stream.rdbuf(new ConsoleBuffer(handle));
    };
    toConsole(std::cout, STD_OUTPUT_HANDLE);
    toConsole(std::cerr, STD_ERROR_HANDLE);
#endif
}

void EndWithParent()
{
#ifdef __linux__
    prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
}

void WidenStandardPipes()
{
#ifdef __linux__
    constexpr int kPipeBytes = 1 << 20;
    // Where the system refuses, the pipes keep their size.
    for (int channel : {STDIN_FILENO, STDOUT_FILENO})
        (void)fcntl(channel, F_SETPIPE_SZ, kPipeBytes);
#endif
}

void InstallStopHandlers()
{
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

bool StopRequested()
{
    return stopRequested;
}

void StopHandled()
{
#ifdef _WIN32
    stopHandled = true;
#endif
}

bool WaitForInput(int socket, std::chrono::milliseconds timeout)
{
#ifdef _WIN32
    WSAPOLLFD entry{static_cast<SOCKET>(socket), POLLRDNORM, 0};
    return WSAPoll(&entry, 1, static_cast<INT>(timeout.count())) > 0;
#else
    pollfd entry{socket, POLLIN, 0};
    return poll(&entry, 1, static_cast<int>(timeout.count())) > 0;
#endif
}

} // namespace pelantra
