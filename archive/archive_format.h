#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/dump_title.h"
#include "tools/tool_run.h"

namespace pelantra {

// Every archive has the one password and the one member the restoring
// program opens.
inline constexpr const char* kArchivePassword = "tiupanbatur";
inline constexpr const char* kMemberName = "kartesa2014.sql";
inline const std::string kPasswordSwitch = std::string("-p") + kArchivePassword;

// How a `7za l -slt` listing writes a time, for QDateTime::fromString.
inline constexpr const char* kListingTimeFormat = "yyyy-MM-dd HH:mm:ss";

// Members of a `7za l -slt` listing.
struct ArchiveMember {
    std::string path;
    std::uint64_t size = 0;
    bool encrypted = false;
    std::string modified; // "2026-12-10 04:00:02", when it was packed
};
std::vector<ArchiveMember> ParseTechnicalListing(const std::string& listing);
// The archive's own type in such a listing ("7z", "zip", ...), empty when it names none.
std::string ListedArchiveType(const std::string& listing);

// An archive listed with the program's password.
struct ArchiveListing {
    ToolResult run;
    // kartesa2014.sql, when the listing worked and names it alone.
    std::optional<ArchiveMember> soleMember;
    std::string type;
};
ArchiveListing ListArchive(const std::string& archiver, const std::string& archivePath, const ToolWatch& watch);

} // namespace pelantra
