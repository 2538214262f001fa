#pragma once

#include <QFileInfo>
#include <QString>

#include "core/result.h"

namespace pelantra {

// The subfolder beside the archives that keeps their earlier versions.
inline constexpr const char* kHistoryFolder = "Riwayat";

// How a kept copy is made: a hard link where the file system has them, else
// a copy checked by size; CopyOnly goes the second way at once.
enum class KeepBy { LinkOrCopy, CopyOnly };

// A symbolic link, a shortcut or a junction: never followed where Pelantra
// expects a folder or a file of its own.
bool IsLink(const QFileInfo& entry);

// Keeps the existing archive `archive` in Riwayat beside it, under its own
// name without ".std", "_", its modification time as "YYYY-MM-DD_HHMMSS" in
// local time, and ".std"; where that name is taken, "_2", "_3", ... before
// ".std", never in the place of a file that is there. Riwayat is made when
// it is missing, and used only when it is a real folder. A copy is made in
// `scratch`, a private folder on the same file system, and reaches the disk
// before it is moved into Riwayat. Returns the kept file; a failure's reason
// says why in Indonesian, its detail in the system's words.
Result<QString> KeepEarlierArchive(const QString& archive, const QString& scratch, KeepBy how = KeepBy::LinkOrCopy);

// Removes from Riwayat all but the newest `keep` kept copies of `archive`,
// by the time and then the counter in their names (also those named by the
// minute, "YYYY-MM-DD_HHMM"): only regular files named so after that
// archive, and never `keptNow`, the copy this run kept, which counts as the
// newest. A link so named is left alone and named in the failure.
Status PruneHistory(const QString& archive, int keep, const QString& keptNow = {});

} // namespace pelantra
