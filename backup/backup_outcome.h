#pragma once

#include <string>
#include <system_error>

#include "backup/messages.h"
#include "core/result.h"

namespace pelantra {

// What a backup that succeeded wrote.
struct BackupArchive {
    std::string path;
    std::string school; // the school's name
    // What the user should still know although the archive stands, such as
    // a clean-up that failed; empty when there is nothing.
    std::string note;
    // The earlier archive's copy in Riwayat, when one was kept.
    std::string kept;
};

// How one backup ended.
using BackupOutcome = Result<BackupArchive>;

// A file system's error as a person reads it: "disk penuh", ...
std::string WhyInIndonesian(const std::error_code& error);
// Adds to `note` a line for the person and, below it, its technical detail.
void AddNote(std::string& note, const std::string& line, const std::string& detail);

// The text shown to the user: the success message, or the failure message
// with the reason on the line below.
std::string OutcomeMessage(const BackupOutcome& outcome);
// The note's first line after a line break, to stand below the archive in
// the success box; empty without a note.
std::string NoteLine(const BackupArchive& archive);
// The technical text that goes below it: the failure's detail or the note.
std::string OutcomeDetail(const BackupOutcome& outcome);

} // namespace pelantra
