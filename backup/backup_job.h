#pragma once

#include <string>

class PostgreSQLSession;

inline constexpr const char* kFinalStatus = "selesai";
inline constexpr const char* kSuccessMessage = "Backup data telah berhasil dilakukan";
inline constexpr const char* kFailureMessage = "Backup data gagal dilakukan";

// How a backup ended. A failure carries a short Indonesian reason and,
// separately, the technical detail (a tool's output, a server message).
struct BackupOutcome {
    bool succeeded = false;
    std::string reason;
    std::string detail;
    std::string archivePath;

    static BackupOutcome Success(std::string archivePath);
    static BackupOutcome Failure(std::string reason, std::string detail = {});
    // The text shown to the user: the success message, or the failure
    // message with the reason on the line below.
    std::string Message() const;
};

// Where the worker reports to. Called on the worker thread; whoever started
// the job carries the calls over to its own thread.
class BackupObserver {
public:
    virtual ~BackupObserver() = default;
    // The four statuses of a run, "selesai" last.
    virtual void PostStatus(const std::string& text) = 0;
    // The outcome, posted once, just before "selesai".
    virtual void PostOutcome(const BackupOutcome& outcome) = 0;
};

// First step, on the starting thread: takes the backup lock of the database
// and copies the school's rows into the staging schema in one transaction.
// On failure nothing is left behind: no staging schema, no lock.
struct StageResult {
    bool staged = false;
    BackupOutcome failure; // meaningful when !staged
};
StageResult StageSchool(PostgreSQLSession& session, const std::string& schoolId);

// The worker: school lookup, dump, rewrite, archive. Runs on its own thread
// after a successful StageSchool and ends by posting the outcome and "selesai".
// It touches the session only before it posts its statuses of the archive step.
void RunBackupWorker(BackupObserver& observer, PostgreSQLSession& session, const std::string& folder,
                     const std::string& schoolId);

// Last step, on the starting thread once "selesai" has arrived (or once the
// worker has ended otherwise): drops the staging schema and releases the lock.
// False when the drop failed.
bool FinishBackup(PostgreSQLSession& session);
