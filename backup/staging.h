#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "backup/dump_rewriter.h"
#include "core/backup_lock.h"
#include "core/result.h"

namespace pelantra {

class PostgreSQLSession;

// How long staging waits for a lock another session holds (on a leftover
// staging schema, or on a source table) before it gives up.
inline constexpr std::chrono::milliseconds kStagingLockTimeout = std::chrono::seconds(10);

// What staging copied, counted in the staging transaction.
struct StagedRows {
    std::map<std::string, std::uint64_t, std::less<>> perTable;
    std::vector<std::string> schoolIds; // sekolah_id of the staged sekolah rows, sorted
    // What follows each table's name in a replayed INSERT, read with the rows.
    ColumnLists columns;
    // The staged tables' size on the server, a measure of the dump to come
    // (about a third of it for the generated benchmark schools).
    std::uint64_t tableBytes = 0;
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
