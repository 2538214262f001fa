#pragma once

#include <string_view>

namespace pelantra {

// The title line a dump in an archive carries, its first line being "--",
// and the line that closes it.
inline constexpr std::string_view kDumpTitle = "-- Kartesa Ombralu";
inline constexpr std::string_view kDumpClosingTitle = "-- Kartesa Ombralu complete";

} // namespace pelantra
