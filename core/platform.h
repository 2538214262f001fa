#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace pelantra {

// Every difference between Windows and the other systems lives here.
enum class Platform { Windows, Posix };

#ifdef _WIN32
inline constexpr Platform kHostPlatform = Platform::Windows;
#else
inline constexpr Platform kHostPlatform = Platform::Posix;
#endif

char PathSeparator(Platform platform);
// The folder and a file name joined by one separator.
std::string JoinPath(const std::string& folder, const std::string& name, Platform platform);

// Path bytes as the user gave them (a command line, setting.ini), as the
// file system wants them. On Windows the bytes are UTF-8 when they are valid
// UTF-8 and in the ANSI code page otherwise; elsewhere they are passed as
// they are.
std::filesystem::path FileSystemPath(const std::string& bytes);
// The program's current folder, as the bytes the user would write it.
std::string CurrentFolder();
// A relative path taken from the current folder; an absolute one as it is.
// On Windows the result is UTF-8 text (as NativePath gives it).
std::string AbsolutePath(const std::string& bytes);

// A file or folder named by path bytes, in the form that Qt's file and
// process functions take: UTF-8 text. Where the bytes are not valid UTF-8
// and the system names files by bytes, which Qt cannot carry, the object
// holds the file open and names it through /proc/self/fd; that name works
// for as long as the object lives, in this program and in the programs it
// starts.
class NativePath {
public:
    explicit NativePath(const std::string& bytes);
    ~NativePath();
    NativePath(const NativePath&) = delete;
    NativePath& operator=(const NativePath&) = delete;

    const std::string& Utf8() const { return utf8_; }

private:
    std::string utf8_;
    int descriptor_ = -1;
};

bool IsValidUtf8(const std::string& bytes);
// Text from a source that names no encoding (an SQL_ASCII database) as
// UTF-8: valid UTF-8 as it is, anything else read as Windows-1252, the code
// page of the Windows machines such bytes come from.
std::string Utf8FromUnnamedEncoding(const std::string& bytes);
// How many of `bytes` come before a UTF-8 sequence cut off at their end.
std::size_t CompleteUtf8Length(std::string_view bytes);

// The code page a program writes its messages in on Windows: a console
// program such as 7-Zip writes the OEM one, a program that writes in its C
// runtime's locale, such as pg_dump, the ANSI one.
enum class MessageCodePage { Oem, Ansi };
// A program's messages as UTF-8 text, line by line. A line that is valid
// UTF-8 stays as it is (a server's words that pg_dump passes on); on Windows
// any other is read in `codePage`, and keeps its bytes when it cannot be.
// Elsewhere the bytes stay as they are.
std::string Utf8FromProgramMessages(const std::string& bytes, MessageCodePage codePage);

// How a file was moved into its place: `notMoved` when it was not (the
// earlier file, if any, stands as it was); `folderNotSynced` when it was,
// but the folder's flush after the rename failed, as on some network and
// shared-folder file systems, so that the new name may not survive a power
// cut yet.
struct FileMove {
    std::error_code notMoved;
    std::error_code folderNotSynced;
};
// Whether the folder is flushed after a move; Fails pretends that the
// flush failed, for a test.
enum class FolderSync { Real, Fails };

// Puts file `from` in the place of `to` in one step, replacing what was
// there, so that a power cut leaves the old file or the new one: the file
// reaches the disk before the rename and the folder after it. Both paths
// are UTF-8 text (NativePath).
FileMove ReplaceFile(const std::string& from, const std::string& to, FolderSync sync = FolderSync::Real);
// The same, but never in the place of a file that is there: then
// `notMoved` is std::errc::file_exists.
FileMove MoveToFreeName(const std::string& from, const std::string& to, FolderSync sync = FolderSync::Real);
// Whether a ReplaceFile failed because another program holds the target
// open: on Windows a virus scanner, a preview pane or a sync client does so
// without letting it be replaced, which passes once that program lets go.
bool HeldByAnotherProgram(const std::error_code& error);

// Ends the program with `code` once it has released everything of its own:
// the output streams are flushed, and on Windows the DLLs' own clean-up at
// exit is left out, because (seen under Wine, after worker threads had run
// outside programs) it can wait forever for a thread that the exit has
// already stopped, which would leave a Pelantra running without a window.
[[noreturn]] void EndProgram(int code);

// Whether the program's standard output is a terminal a person reads.
bool StandardOutputIsTerminal();

// The program's arguments as UTF-8 text. On Windows the C runtime hands them
// over in the ANSI code page, which cannot hold every name, so they are taken
// from the system's own UTF-16 command line; elsewhere they are the bytes
// given.
std::vector<std::string> Utf8Arguments(int argc, char* argv[]);
// Both output streams carry UTF-8 text. On Windows one that is a console
// gets it as UTF-16 through WriteConsoleW, which every console shows whole
// whatever its code page; a file or a pipe gets the UTF-8 bytes.
void UseUnicodeConsole();

// In a started program, before it runs: it is to end with the thread that
// started it, also when that one is killed (where the system offers it).
void EndWithParent();
// In a started program, before it runs: its input and output pipes hold
// 1 MiB rather than Linux's 64 KiB, so that a program reading a stream finds
// what was written for it while the writer waits for its own source.
void WidenStandardPipes();

// Interruptions of a program without a window: Ctrl-C, a terminal that
// closes, a request to terminate (a console window closed on Windows). Once
// installed they only set a flag, which the program checks while it waits.
// A broken output pipe then reads as a failed write, not as an end.
void InstallStopHandlers();
bool StopRequested();
// The program has cleaned up after a stop; a closing console may now end it.
void StopHandled();

// Waits until `socket` has something to read, at most `timeout`; false
// when the time ran out first.
bool WaitForInput(int socket, std::chrono::milliseconds timeout);

} // namespace pelantra
