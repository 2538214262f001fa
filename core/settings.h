#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/result.h"

namespace pelantra {

// The settings of "setting.ini": key/value pairs in file order, bytes as they
// stand. A key may occur more than once; lookups take the first occurrence.
class Settings {
public:
    using Entry = std::pair<std::string, std::string>;

    Settings() = default;
    explicit Settings(std::vector<Entry> entries) : entries_(std::move(entries)) { }

    // The value of the first entry named `key`, or `fallback` when there is none.
    std::string Get(std::string_view key, std::string_view fallback = {}) const;
    const std::vector<Entry>& Entries() const { return entries_; }

private:
    std::vector<Entry> entries_;
};

inline constexpr const char* kSettingsFileName = "setting.ini";
inline constexpr const char* kPortKey = "DefDBPort";
inline constexpr const char* kBaseDirKey = "basedir";
// How many earlier archives of a school a backup keeps in Riwayat; optional.
inline constexpr const char* kKeepCopiesKey = "KeepCopies";
inline constexpr int kDefaultKeepCopies = 5;
inline constexpr int kMostKeepCopies = 999;

Settings ParseIni(std::string_view bytes);
// A file that is missing or cannot be read, or is no regular file of a sane
// size (a FIFO, a device, a folder), gives empty settings.
Settings LoadIniFile(const std::string& fileName);

// Why `fileName` cannot be read as settings, naming it, for a person; empty
// when it can or is missing.
std::string UnfitSettingsFile(const std::string& fileName);

// The database port that "setting.ini" in the current folder names; without
// the file, with one that is no regular file of a sane size, or without a
// DefDBPort in it, the connection failure with what is wrong in its detail.
Result<std::string> ConfiguredPort();

// KeepCopies of "setting.ini" in the current folder: kDefaultKeepCopies
// without the file or the key; a value that is no whole number from 0 to
// kMostKeepCopies is a failure that names it.
Result<int> ConfiguredKeepCopies();

} // namespace pelantra
