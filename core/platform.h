#pragma once

#include <filesystem>
#include <string>
#include <system_error>

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

// The dump tool and the archiver inside the installation root `basedir`.
std::string PgDumpProgram(const std::string& basedir, Platform platform);
std::string ArchiverProgram(const std::string& basedir, Platform platform);

// A path held as UTF-8 bytes, as the file system wants it.
std::filesystem::path FileSystemPath(const std::string& utf8);

// Puts file `from` in the place of `to` in one step, replacing what was there.
std::error_code ReplaceFile(const std::string& from, const std::string& to);

} // namespace pelantra
