#include "core/platform.h"

namespace pelantra {

char PathSeparator(Platform platform)
{
    return platform == Platform::Windows ? '\\' : '/';
}

namespace {

bool EndsWithSeparator(const std::string& folder, Platform platform)
{
    if (folder.empty())
        return false;
    const char last = folder.back();
    // Windows accepts both separators.
    return last == PathSeparator(platform) || (platform == Platform::Windows && last == '/');
}

} // namespace

std::string JoinPath(const std::string& folder, const std::string& name, Platform platform)
{
    if (EndsWithSeparator(folder, platform))
        return folder + name;
    return folder + PathSeparator(platform) + name;
}

std::string PgDumpProgram(const std::string& basedir, Platform platform)
{
    return platform == Platform::Windows ? basedir + "\\pgsql\\bin\\pg_dump.exe" : basedir + "/pgsql/bin/pg_dump";
}

std::string ArchiverProgram(const std::string& basedir, Platform platform)
{
    return platform == Platform::Windows ? basedir + "\\php\\7za.exe" : basedir + "/php/7za";
}

std::filesystem::path FileSystemPath(const std::string& utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::error_code ReplaceFile(const std::string& from, const std::string& to)
{
    std::error_code error;
    std::filesystem::rename(FileSystemPath(from), FileSystemPath(to), error);
    return error;
}

} // namespace pelantra
