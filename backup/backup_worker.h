#pragma once

#include <string>

#include "backup/backup_outcome.h"

namespace pelantra {

class PostgreSQLSession;
struct StagedRows;

// The first and the last status of a run: "menulis " and the archive's path, "selesai".
inline constexpr const char* kWritingStatus = "menulis ";
inline constexpr const char* kFinalStatus = "selesai";

// The steps of a run a person waits for, in order.
enum class BackupStep { Staging, Exporting, Archiving, Testing };
// "Menyiapkan data...", "Mengekspor...", "Mengarsipkan...", "Menguji arsip...".
const char* StepText(BackupStep step);

// Where the worker reports to. Called on the worker's thread; whoever started
// the job carries the calls over to its own thread.
class BackupObserver {
public:
    virtual ~BackupObserver() = default;
    // The four statuses of a run, "selesai" last.
    virtual void PostStatus(const std::string& text) = 0;
    // The outcome, posted once, just before "selesai".
    virtual void PostOutcome(const BackupOutcome& outcome) = 0;
    // A step begins.
    virtual void PostStep(BackupStep) { }
    // True once the run should stop as soon as it can.
    virtual bool StopRequested() const { return false; }
};

// The job after a successful staging: looks the school up, streams the
// staging schema from the dump tool through the rewrite into the archiver,
// verifies the archive and proves that it holds what was staged (`staged`)
// while this session still holds the backup lock, and only then lets it
// replace an earlier one. Ends by posting the outcome and "selesai", also
// when something throws. It uses the session before it posts the writing
// notice and once more just before the archive replaces anything. An empty
// folder is a failure, too, so that whoever waits learns of the end.
void BackupWorker(BackupObserver& observer, PostgreSQLSession& session, const std::string& folder,
                  const std::string& schoolId, const StagedRows& staged);

} // namespace pelantra
