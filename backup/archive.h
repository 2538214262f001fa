#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline constexpr const char* kArchivePassword = "tiupanbatur";

struct ArchiveResult {
    bool ok = false;
    std::string reason; // short Indonesian line when !ok
    std::string detail; // what the archiver said, for the user's eyes below the reason
    std::string output; // the archiver's output of the packing run
};

// Packs `workingDirectory`/kartesa2014.sql into `archivePath` so that the
// archive is either whole or absent: it is written under a temporary name
// beside the target, tested with the password, checked to hold exactly the
// one member of `memberSize` bytes, and only then renamed over the target.
// On any failure the temporary archive is removed and an earlier archive at
// `archivePath` is left untouched.
ArchiveResult PackArchive(const std::string& archiver, const std::string& archivePath,
                          const std::string& workingDirectory, std::uint64_t memberSize);

// Members of a `7za l -slt` listing: name and size of each.
struct ArchiveMember {
    std::string path;
    std::uint64_t size = 0;
};
std::vector<ArchiveMember> ParseTechnicalListing(const std::string& listing);
