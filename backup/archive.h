#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/result.h"

namespace pelantra {

inline constexpr const char* kArchivePassword = "tiupanbatur";

// One packing of the archive: whether it is in place, and what the archiver
// said while packing (the user's status line either way).
struct ArchiveRun {
    Status status;
    std::string output;
};

// Packs `workingDirectory`/kartesa2014.sql into `archivePath` so that the
// archive is either whole or absent: it is written under a temporary name in
// a private folder beside the target, tested with the password, checked to
// hold exactly the one member of `memberSize` bytes, and only then renamed
// over the target. On any failure the private folder goes with everything in
// it and an earlier archive at `archivePath` is left untouched.
ArchiveRun PackArchive(const std::string& archiver, const std::string& archivePath, const std::string& workingDirectory,
                       std::uint64_t memberSize);

// Members of a `7za l -slt` listing: name and size of each.
struct ArchiveMember {
    std::string path;
    std::uint64_t size = 0;
};
std::vector<ArchiveMember> ParseTechnicalListing(const std::string& listing);

} // namespace pelantra
