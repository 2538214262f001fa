#pragma once

#include <QString>

#include "core/result.h"

namespace pelantra {

// The subfolder beside the archives that keeps their earlier versions.
inline constexpr const char* kHistoryFolder = "Riwayat";

// How a kept copy is made: a hard link where the file system has them, else
// a copy checked by size; CopyOnly goes the second way at once.
enum class KeepBy { LinkOrCopy, CopyOnly };

// Keeps the existing archive `archive` in Riwayat beside it, under its own
// name without ".std", "_", its modification time as "YYYY-MM-DD_HHMM" in
// local time and ".std", in the place of a copy kept there under that name.
// A copy is made in `scratch`, a private folder on the same file system,
// and reaches the disk before it is renamed into Riwayat. Returns the kept
// file; a failure's reason says why in the system's words.
Result<QString> KeepEarlierArchive(const QString& archive, const QString& scratch, KeepBy how = KeepBy::LinkOrCopy);

// Removes from Riwayat all but the newest `keep` kept copies of `archive`:
// only files named so after that archive.
Status PruneHistory(const QString& archive, int keep);

} // namespace pelantra
