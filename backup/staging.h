#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/result.h"

namespace pelantra {

class PostgreSQLSession;

// Key of the session-level advisory lock that keeps one backup per database
// from staging until the staging schema is dropped.
inline constexpr long long kBackupLockKey = 0x50454C414E545241; // "PELANTRA"

// How long staging waits for a lock another session holds (on a leftover
// staging schema, or on a source table) before it gives up.
inline constexpr std::chrono::milliseconds kStagingLockTimeout = std::chrono::seconds(10);

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

// Whether this session still holds the backup lock: it goes with the
// session, and another run may then have staged another school.
Status BackupLockHeld(PostgreSQLSession& session);

// What staging copied, counted in the staging transaction.
struct StagedRows {
    std::map<std::string, std::uint64_t, std::less<>> perTable;
    std::vector<std::string> schoolIds; // sekolah_id of the staged sekolah rows, sorted
};

// A school's rows copied into the staging schema, and the lock that keeps
// other backups away from them until they are dropped.
struct StagedSchool {
    BackupLock lock;
    StagedRows rows;
};

// Takes the backup lock and copies the school's rows into the staging
// schema in one transaction. On failure nothing is left behind: no staging
// schema, no lock.
Result<StagedSchool> StageSchool(PostgreSQLSession& session, const std::string& schoolId,
                                 std::chrono::milliseconds lockTimeout = kStagingLockTimeout);

// Drops the staging schema, and only it: when an object outside the schema
// depends on it, nothing is dropped and the failure says which.
Status DropStaging(PostgreSQLSession& session);

} // namespace pelantra
