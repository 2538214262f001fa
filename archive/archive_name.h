#pragma once

#include <string>

#include "core/platform.h"

namespace pelantra {

// What every archive's name ends with.
inline constexpr const char* kArchiveSuffix = ".std";

// What the archive is named after, as read from the database.
struct SchoolRecord {
    std::string regionCode;
    std::string npsn;
    std::string name;
    std::string parentRegionName;
};

// School name: blanks, then dots, become "_"; parent-region name: dots, then
// blanks. In all four parts every character a Windows file name cannot hold,
// the folder separators among them, becomes "_" too.
std::string ArchiveFileName(const SchoolRecord& school);
// The folder and the file name, with one separator between them.
std::string ArchivePath(const std::string& folder, const SchoolRecord& school, Platform platform = kHostPlatform);

} // namespace pelantra
