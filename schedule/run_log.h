#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "backup/backup_outcome.h"

namespace pelantra {

// How a backup run was started: in the window, with pelantra-cli, or by the
// schedule (pelantra-cli backup --all --scheduled).
enum class RunStart { Window, CommandLine, Schedule };

// One line of pelantra.log, its fields in order, tab-separated: the time the
// run ended (local, with its offset), how it started ("jendela", "perintah",
// "jadwal"), the school's id and name, the outcome (the success message, or
// the failure's reason), the archive's path and size in bytes, the seconds
// it took and the archive's SHA-256. A failure has no archive.
struct RunLogEntry {
    std::string time;
    std::string start;
    std::string schoolId;
    std::string schoolName;
    std::string outcome;
    std::string archivePath;
    std::string archiveSize;
    std::string seconds;
    std::string sha256;

    bool Succeeded() const;
    std::string Line() const;
};


// pelantra.log in the user's application-data folder, as Qt names it for
// the application (%APPDATA%\Pelantra, ~/.local/share/Pelantra).
std::string RunLogPath();

// The entry for a run that ended with `outcome` after `took`; the archive's
// size and SHA-256 are read from the file.
RunLogEntry MakeRunLogEntry(RunStart start, const std::string& schoolId, const std::string& schoolName,
                            const BackupOutcome& outcome, std::chrono::duration<double> took);
// Appends the entry to the log, which it makes when there is none. A log
// that cannot be written is left so: it never fails a backup.
void AppendRunLog(const RunLogEntry& entry);

// The log's entries, oldest first; none when there is no log.
std::vector<RunLogEntry> ReadRunLog();
// The failed scheduled runs among those logged since the last call, oldest
// first, which marks them all as told (beside the log).
std::vector<RunLogEntry> TakeUntoldScheduleFailures();

} // namespace pelantra
