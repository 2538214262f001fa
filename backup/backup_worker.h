#pragma once

#include <string>

#include "backup/backup_outcome.h"

namespace pelantra {

class PostgreSQLSession;

inline constexpr const char* kFinalStatus = "selesai";

// Where the worker reports to. Called on the worker's thread; whoever started
// the job carries the calls over to its own thread.
class BackupObserver {
public:
    virtual ~BackupObserver() = default;
    // The four statuses of a run, "selesai" last.
    virtual void PostStatus(const std::string& text) = 0;
    // The outcome, posted once, just before "selesai".
    virtual void PostOutcome(const BackupOutcome& outcome) = 0;
};

// The job after a successful staging: looks the school up, dumps the staging
// schema, rewrites the dump and packs the archive. Ends by posting the
// outcome and "selesai", also when something throws. It uses the session only
// before it posts the writing notice. With an empty folder it does nothing.
void BackupWorker(BackupObserver& observer, PostgreSQLSession& session, const std::string& folder,
                  const std::string& schoolId);

} // namespace pelantra
