// What an operator sees on Windows, read back for scripts/build-windows
// --check (under Wine, on a display):
//
//   pelantra-probe console PROGRAM [ARGUMENT...]
//       runs the program in a console of its own, as the Start menu's
//       command-line entry runs pelantra-cli.exe, and prints what that
//       console shows once it has ended; exits with the program's code
//   pelantra-probe texts TITLE
//       prints the text of every control of the shown windows whose title
//       holds TITLE (a setup's page, its question), one per line
//   pelantra-probe set TITLE OLD NEW
//       sets the field of those windows that reads OLD to NEW, as if typed
//   pelantra-probe press TITLE BUTTON
//       presses their button that reads BUTTON (without its '&'), whichever
//       window has the keyboard
//   pelantra-probe hold FILE SECONDS
//       holds FILE open, as a virus scanner or a preview pane does: others
//       may read and write it but not delete or replace it; prints "held"
//       once it holds it, and lets go after SECONDS
//   pelantra-probe start FOLDER COMMANDLINE
//       starts COMMANDLINE as it stands in FOLDER, as the Task Scheduler
//       starts a task's action, its output on ours, and exits with its code
//
// Prints UTF-8.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace pelantra {
namespace {

std::string Utf8(const std::wstring& text)
{
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
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

// Asked of the window itself: GetWindowText does not read the fields of another program.
std::wstring TextOf(HWND window)
{
    const auto length = static_cast<std::size_t>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(length + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

// The controls of the shown top-level windows whose title holds `title`.
std::vector<HWND> Controls(const std::wstring& title)
{
    struct Search {
        std::wstring title;
        std::vector<HWND> controls;
    } search{title, {}};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto& found = *reinterpret_cast<Search*>(context);
            if (IsWindowVisible(window) && TextOf(window).find(found.title) != std::wstring::npos) {
                EnumChildWindows(
                    window,
                    [](HWND control, LPARAM controls) -> BOOL {
                        if (IsWindowVisible(control))
                            reinterpret_cast<std::vector<HWND>*>(controls)->push_back(control);
                        return TRUE;
                    },
                    reinterpret_cast<LPARAM>(&found.controls));
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.controls;
}

int Texts(const std::wstring& title)
{
    std::wstring texts;
    for (HWND control : Controls(title))
        texts += TextOf(control) + L"\n";
    Print(GetStdHandle(STD_OUTPUT_HANDLE), texts);
    return 0;
}

bool IsA(HWND control, const wchar_t* kind)
{
    wchar_t name[16] = {};
    GetClassNameW(control, name, 16);
    return lstrcmpiW(name, kind) == 0;
}

int Set(const std::wstring& title, const std::wstring& old, const std::wstring& text)
{
    for (HWND control : Controls(title)) {
        if (IsA(control, L"Edit") && TextOf(control) == old) {
            SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
            return 0;
        }
    }
    std::fprintf(stderr, "no field reads so\n");
    return 1;
}

int Press(const std::wstring& title, const std::wstring& label)
{
    for (HWND control : Controls(title)) {
        std::wstring text = TextOf(control);
        std::erase(text, L'&');
        if (IsA(control, L"Button") && IsWindowEnabled(control) && text == label) {
            // Posted, as a click is: a page that answers with a question of its own must not hold this program.
            // A tick box is clicked itself, so that it changes its state.
            if ((GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX)
                PostMessageW(control, BM_CLICK, 0, 0);
            else
                PostMessageW(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), BN_CLICKED),
                             reinterpret_cast<LPARAM>(control));
            return 0;
        }
    }
    std::fprintf(stderr, "no button reads so\n");
    return 1;
}

int Hold(const std::wstring& file, const std::wstring& seconds)
{
    const HANDLE held = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot hold the file: error %lu\n", GetLastError());
        return 3;
    }
    Print(GetStdHandle(STD_OUTPUT_HANDLE), L"held\n");
    Sleep(static_cast<DWORD>(std::stoul(seconds)) * 1000);
    CloseHandle(held);
    return 0;
}

int Start(const std::wstring& folder, std::wstring line)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &startup,
                        &process)) {
        std::fprintf(stderr, "cannot start the program: error %lu\n", GetLastError());
        return 3;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    return static_cast<int>(code);
}

int Run(const std::vector<std::wstring>& arguments)
{
    if (arguments.size() == 3 && arguments[0] == L"hold")
        return Hold(arguments[1], arguments[2]);
    if (arguments.size() == 3 && arguments[0] == L"start")
        return Start(arguments[1], arguments[2]);
    if (arguments.size() >= 2 && arguments[0] == L"console")
        return Console({arguments.begin() + 1, arguments.end()});
    if (arguments.size() == 2 && arguments[0] == L"texts")
        return Texts(arguments[1]);
    if (arguments.size() == 4 && arguments[0] == L"set")
        return Set(arguments[1], arguments[2], arguments[3]);
    if (arguments.size() == 3 && arguments[0] == L"press")
        return Press(arguments[1], arguments[2]);
    std::fprintf(stderr, "usage: pelantra-probe console PROGRAM [ARGUMENT...] | texts TITLE | set TITLE OLD NEW | "
                         "press TITLE BUTTON | hold FILE SECONDS | start FOLDER COMMANDLINE\n");
    return 2;
}

} // namespace
} // namespace pelantra

int main()
{
    int count = 0;
    LPWSTR* given = CommandLineToArgvW(GetCommandLineW(), &count);
    const std::vector<std::wstring> arguments(given + 1, given + count);
    LocalFree(given);
    return pelantra::Run(arguments);
}
