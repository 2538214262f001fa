#pragma once

#include <string>

#include "core/result.h"

namespace pelantra {

class PostgreSQLSession;

// Key of the session-level advisory lock that keeps one backup per database
// from staging until the staging schema is dropped.
inline constexpr long long kBackupLockKey = 0x50454C414E545241; // "PELANTRA"

// The backup lock, held by one session; given back when the object goes.
class BackupLock {
public:
    // Takes the lock unless another session holds it.
    static Result<BackupLock> Take(PostgreSQLSession& session);
    BackupLock(BackupLock&& other) noexcept;
    BackupLock& operator=(BackupLock&&) = delete;
    ~BackupLock();

private:
    explicit BackupLock(PostgreSQLSession& session) : session_(&session) { }
    PostgreSQLSession* session_;
};

// A school's rows copied into the staging schema, and the lock that keeps
// other backups away from them until they are dropped.
struct StagedSchool {
    BackupLock lock;
};

// Takes the backup lock and copies the school's rows into the staging
// schema in one transaction. On failure nothing is left behind: no staging
// schema, no lock.
Result<StagedSchool> StageSchool(PostgreSQLSession& session, const std::string& schoolId);

// Drops the staging schema (the lock stays with its StagedSchool).
Status DropStaging(PostgreSQLSession& session);

} // namespace pelantra
