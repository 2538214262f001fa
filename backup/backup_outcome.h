#pragma once

#include <string>

#include "core/result.h"

namespace pelantra {

inline constexpr const char* kSuccessMessage = "Backup data telah berhasil dilakukan";
inline constexpr const char* kFailureMessage = "Backup data gagal dilakukan";
// The reason when a run ends because it was asked to stop.
inline constexpr const char* kStoppedReason = "Backup dihentikan";

// What a backup that succeeded wrote.
struct BackupArchive {
    std::string path;
    std::string school; // the school's name
    // What the user should still know although the archive stands, such as
    // a clean-up that failed; empty when there is nothing.
    std::string note;
};

// How one backup ended.
using BackupOutcome = Result<BackupArchive>;

// The text shown to the user: the success message, or the failure message
// with the reason on the line below.
std::string OutcomeMessage(const BackupOutcome& outcome);
// The technical text that goes below it: the failure's detail or the note.
std::string OutcomeDetail(const BackupOutcome& outcome);

} // namespace pelantra
