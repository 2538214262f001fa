#include "core/settings.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/messages.h"
#include "core/platform.h"

namespace pelantra {
namespace {

// Far more than any setting.ini holds; a file beyond it is not one.
constexpr std::uintmax_t kMostSettingsBytes = 64 * 1024;

// Why `fileName` cannot be read as settings, for a person; empty when it
// can or is missing. Only a regular file is opened: a FIFO would wait for a
// writer, a device such as /dev/zero would never end.
std::string WhyUnfit(const std::string& fileName)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(FileSystemPath(fileName), error);
    switch (status.type()) {
    case fs::file_type::not_found:
    case fs::file_type::none:
        return {};
    case fs::file_type::regular:
        if (const std::uintmax_t size = fs::file_size(FileSystemPath(fileName), error);
            !error && size > kMostSettingsBytes)
            return FillIn(kSettingsTooLarge, {std::to_string(size)});
        return {};
    case fs::file_type::directory:
        return FillIn(kSettingsNotAFile, {"folder"});
    case fs::file_type::fifo:
        return FillIn(kSettingsNotAFile, {"FIFO"});
    case fs::file_type::character:
    case fs::file_type::block:
        return FillIn(kSettingsNotAFile, {"perangkat"});
    default:
        return FillIn(kSettingsNotAFile, {"bukan berkas biasa"});
    }
}

bool IsKeyByte(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

} // namespace

std::string Settings::Get(std::string_view key, std::string_view fallback) const
{
    for (const auto& [name, value] : entries_) {
        if (name == key)
            return value;
    }
    return std::string(fallback);
}

Settings ParseIni(std::string_view bytes)
{
    // Notepad starts a file saved as UTF-8 with a byte-order mark; no key
    // begins with one.
    if (bytes.starts_with("\xEF\xBB\xBF"))
        bytes.remove_prefix(3);
    std::vector<Settings::Entry> entries;
    const size_t end = bytes.size();
    size_t pos = 0;
    while (pos < end) {
        const size_t keyStart = pos;
        while (pos < end && IsKeyByte(static_cast<unsigned char>(bytes[pos])))
            ++pos;
        std::string key(bytes.substr(keyStart, pos - keyStart));

        while (pos < end && (bytes[pos] == '=' || bytes[pos] == ' '))
            ++pos;
        if (pos == end)
            break; // the file ended before a value began: the key is dropped

        const size_t valueStart = pos;
        while (pos < end && static_cast<unsigned char>(bytes[pos]) >= 32)
            ++pos;
        if (!key.empty())
            entries.emplace_back(std::move(key), std::string(bytes.substr(valueStart, pos - valueStart)));

        while (pos < end && !IsKeyByte(static_cast<unsigned char>(bytes[pos])))
            ++pos;
    }
    return Settings(std::move(entries));
}

Settings LoadIniFile(const std::string& fileName)
{
    if (!WhyUnfit(fileName).empty())
        return Settings();
    std::ifstream in(FileSystemPath(fileName), std::ios::binary);
    if (!in)
        return Settings();
    try {
        // libstdc++ reports a read error (a folder by that name, an I/O
        // fault) by throwing from the stream buffer.
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return ParseIni(bytes);
    } catch (const std::ios_base::failure&) {
        return Settings();
    }
}

std::string UnfitSettingsFile(const std::string& fileName)
{
    const std::string why = WhyUnfit(fileName);
    return why.empty() ? why : FillIn(kSettingsUnfit, {AbsolutePath(fileName), why});
}

Result<std::string> ConfiguredPort()
{
    std::error_code ignored;
    const std::string folder = CurrentFolder();
    if (!std::filesystem::exists(FileSystemPath(kSettingsFileName), ignored))
        return Failure{kConnectionFailedMessage, "setting.ini tidak ada di folder " + folder};
    if (std::string unfit = UnfitSettingsFile(kSettingsFileName); !unfit.empty())
        return Failure{kConnectionFailedMessage, std::move(unfit)};
    std::string port = LoadIniFile(kSettingsFileName).Get(kPortKey);
    if (port.empty())
        return Failure{kConnectionFailedMessage, "setting.ini di folder " + folder + " tidak berisi DefDBPort"};
    return port;
}

Result<int> ConfiguredKeepCopies()
{
    const std::string value = LoadIniFile(kSettingsFileName).Get(kKeepCopiesKey, std::to_string(kDefaultKeepCopies));
    // Blanks after the number, which the value keeps, are no fault.
    const std::size_t end = value.find_last_not_of(' ') + 1;
    int copies = -1;
    const auto [stop, error] = std::from_chars(value.data(), value.data() + end, copies);
    if (end == 0 || error != std::errc() || stop != value.data() + end || value[0] == '-' || copies > kMostKeepCopies)
        return Failure{kKeepCopiesInvalid, FillIn(kSettingsValueDetail, {CurrentFolder(), kKeepCopiesKey, value})};
    return copies;
}

} // namespace pelantra
