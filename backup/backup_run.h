#pragma once

#include <optional>
#include <string>

#include "backup/backup_outcome.h"
#include "backup/staging.h"

namespace pelantra {

class BackupObserver;
class PostgreSQLSession;

// One backup from staging to clean-up, in three steps: Stage() on the
// starting thread; BackupWorker, on a thread of its own (the window) or on
// the same one (RunBackup); then Finish() on the starting thread once the
// worker's outcome has arrived.
class BackupRun {
public:
    BackupRun(PostgreSQLSession& session, std::string schoolId);
    // A run that was staged and never finished is finished here.
    ~BackupRun();
    BackupRun(const BackupRun&) = delete;
    BackupRun& operator=(const BackupRun&) = delete;

    // Takes the backup lock and stages the school, on a session that is
    // connected afresh first if its connection is gone. Fails first, as the
    // start does, when setting.ini no longer names a port. On failure the
    // run is over.
    Status Stage();
    // What was staged, for the worker to prove its dump against.
    const StagedRows& Rows() const { return staged_->rows; }
    // Drops the staging schema and gives the lock back; returns the
    // worker's outcome (or, when none arrived, a failure saying so) with a
    // failed clean-up added to it. When the session lost its connection,
    // and with it the lock, meanwhile, the staging schema is dropped only if
    // no other backup has taken the lock since.
    BackupOutcome Finish(std::optional<BackupOutcome> outcome);

private:
    Status CleanUp();

    PostgreSQLSession& session_;
    std::string schoolId_;
    std::optional<StagedSchool> staged_;
};

// The whole run on this thread; the observer sees the worker's statuses.
BackupOutcome RunBackup(PostgreSQLSession& session, const std::string& folder, const std::string& schoolId,
                        BackupObserver& observer);

} // namespace pelantra
