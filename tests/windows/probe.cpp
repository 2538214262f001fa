// What an operator sees on Windows, read back for scripts/build-windows
// --check (under Wine, on a display):
//
//   pelantra-probe console PROGRAM [ARGUMENT...]
//       runs the program in a console of its own, as the Start menu's
//       command-line entry runs pelantra-cli.exe, and prints what that
//       console shows once it has ended; exits with the program's code
//
// Prints UTF-8.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string bytes(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
    return bytes;
}

void Print(HANDLE out, const std::wstring& text)
{
    const std::string bytes = Utf8(text);
    DWORD written = 0;
    WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring QuotedCommandLine(const std::vector<std::wstring>& arguments)
{
    std::wstring line;
    for (const std::wstring& argument : arguments)
        line += (line.empty() ? L"\"" : L" \"") + argument + L"\"";
    return line;
}

int Console(const std::vector<std::wstring>& command)
{
    // AllocConsole makes the new console the standard handles: what is
    // printed goes where this program's output went before.
    const HANDLE report = GetStdHandle(STD_OUTPUT_HANDLE);
    FreeConsole();
    if (!AllocConsole()) {
        std::fprintf(stderr, "no console: error %lu\n", GetLastError());
        return 3;
    }
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    const HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      &inherited, OPEN_EXISTING, 0, nullptr);
    const HANDLE keyboard = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        &inherited, OPEN_EXISTING, 0, nullptr);
    DWORD mode = 0;
    if (!GetConsoleMode(screen, &mode) || !SetConsoleScreenBufferSize(screen, COORD{200, 1000})) {
        std::fprintf(stderr, "the console has no screen buffer to read\n");
        return 3;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = keyboard;
    startup.hStdOutput = screen;
    startup.hStdError = screen;
    PROCESS_INFORMATION process{};
    std::wstring line = QuotedCommandLine(command);
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "cannot start the program: error %lu\n", GetLastError());
        return 3;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);

    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(screen, &info);
    std::wstring shown;
    for (SHORT row = 0; row <= info.dwCursorPosition.Y; ++row) {
        std::wstring text(static_cast<std::size_t>(info.dwSize.X), L' ');
        DWORD read = 0;
        ReadConsoleOutputCharacterW(screen, text.data(), static_cast<DWORD>(text.size()), COORD{0, row}, &read);
        text.resize(read);
        text.erase(text.find_last_not_of(L' ') + 1);
        shown += text + L"\n";
    }
    Print(report, shown);
    return static_cast<int>(code);
}

} // namespace

int main()
{
    int count = 0;
    LPWSTR* given = CommandLineToArgvW(GetCommandLineW(), &count);
    const std::vector<std::wstring> arguments(given + 1, given + count);
    LocalFree(given);
    if (arguments.size() >= 2 && arguments[0] == L"console")
        return Console({arguments.begin() + 1, arguments.end()});
    std::fprintf(stderr, "usage: pelantra-probe console PROGRAM [ARGUMENT...]\n");
    return 2;
}
