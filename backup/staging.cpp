#include "backup/staging.h"

#include <algorithm>
#include <string_view>

#include "backup/column_lists.h"
#include "backup/indonesian_time.h"
#include "backup/messages.h"
#include "backup/server_sql.h"
#include "backup/staged_tables.h"
#include "core/database.h"

namespace pelantra {
namespace {

const std::string kLockKeyText = std::to_string(kBackupLockKey);
// pg_locks shows a bigint advisory key as two halves.
const std::string kLockKeyHigh = std::to_string(static_cast<unsigned long long>(kBackupLockKey) >> 32);
const std::string kLockKeyLow = std::to_string(static_cast<unsigned long long>(kBackupLockKey) & 0xffffffffULL);

// The reason for a failed staging statement.
Failure StagingFailure(const Sql& sql, const char* otherwise = kStagingFailed)
{
    if (sql.Failed(SqlState::LockNotAvailable))
        return Failure{kSchemaBusy, sql.ErrorText()};
    if (sql.Failed(SqlState::DependentObjectsStillExist))
        return Failure{kSchemaInUse, sql.ErrorText()};
    return Failure{otherwise, sql.ErrorText()};
}

// Drops our tables one by one and then the schema, each without CASCADE, so
// that an object outside the schema that depends on it stops the drop.
Status DropStagingSchema(Sql& sql, const char* reason)
{
    for (std::string_view table : kStagedTables) {
        if (!sql.Execute("DROP TABLE IF EXISTS " + Staged(table) + " RESTRICT"))
            return StagingFailure(sql, reason);
    }
    if (!sql.Execute(std::string("DROP SCHEMA IF EXISTS ") + kStagingSchema + " RESTRICT"))
        return StagingFailure(sql, reason);
    return {};
}

// Inside the open transaction: is there a `sekolah` row for the id? A text
// that is not even a valid key value is simply no school.
Status FindSchool(Sql& sql, const std::string& schoolId)
{
    const auto found =
        sql.QueryValue<bool>("SELECT EXISTS (SELECT 1 FROM public.sekolah WHERE sekolah_id=$1)", {schoolId});
    if (!found.ok() && !sql.Failed(SqlState::InvalidTextRepresentation))
        return StagingFailure(sql);
    if (!found.ok() || !found.value().value_or(false))
        return Failure{kSchoolNotFound, "sekolah_id: " + schoolId};
    return {};
}

// The staging script, in the open transaction.
Status CopySchoolRows(Sql& sql, const ServerSql& server, const std::string& schoolId)
{
    if (Status dropped = DropStagingSchema(sql, kStagingFailed); !dropped.ok())
        return dropped;
    if (!sql.Execute(std::string("CREATE SCHEMA ") + kStagingSchema + " AUTHORIZATION postgres"))
        return StagingFailure(sql);
    for (std::string_view table : kStagedTables) {
        if (!sql.Execute(server.CreateStagedTable(table)))
            return StagingFailure(sql);
    }
    const Result<TableColumnsMap> columns = LoadTableColumns(sql, server);
    if (!columns.ok())
        return columns.failure();
    // The school's own rows first: the others are chosen through them. Each
    // source row is copied once, even when its key occurs in several staged
    // rows (a student registered twice, a staff member in two school years).
    for (const bool own : {true, false}) {
        for (const StagedTable& table : kStagedTableList) {
            if (table.through.empty() != own)
                continue;
            const std::string key(table.key);
            const std::string where =
                own ? "a." + key + "=$1"
                    : "a." + key + " IN (SELECT b." + key + " FROM " + Staged(table.through) + " b)";
            // The names in the select list are the source's (a), the only
            // table of the outer query.
            const std::string& list = columns.value().at(std::string(table.name)).written;
            const std::string statement = "INSERT INTO " + Staged(table.name) + " (" + list + ") SELECT " + list +
                                          " FROM public." + std::string(table.name) + " a WHERE " + where;
            if (!sql.Execute(statement, own ? SqlParams{schoolId} : SqlParams{}))
                return StagingFailure(sql);
        }
    }
    return {};
}

Result<StagedRows> CountStagedRows(Sql& sql)
{
    StagedRows rows;
    std::string counts;
    for (std::string_view table : kStagedTables)
        counts.append(counts.empty() ? "" : ",").append("(SELECT count(*) FROM ").append(Staged(table)).append(")");
    if (!sql.Query("SELECT " + counts) || !sql.Fetch())
        return StagingFailure(sql);
    int column = 0;
    for (std::string_view table : kStagedTables)
        rows.perTable.emplace(std::string(table), sql.Value<std::uint64_t>(column++).value_or(0));
    if (!sql.Query("SELECT " + std::string(kSchoolKey) + "::text FROM " + Staged(kSchoolTable)))
        return StagingFailure(sql);
    while (sql.Fetch())
        rows.schoolIds.push_back(sql[0]);
    std::sort(rows.schoolIds.begin(), rows.schoolIds.end());
    return rows;
}

} // namespace

Result<BackupLock> BackupLock::Take(PostgreSQLSession& session)
{
    Sql sql(session);
    const auto taken = sql.QueryValue<bool>("SELECT pg_try_advisory_lock($1)", {kLockKeyText});
    if (!taken.ok())
        return Failure{kStagingFailed, taken.failure().detail};
    if (taken.value().value_or(false))
        return BackupLock(session);
    // Who holds it, for whoever has to find that other backup.
    std::string holder = kLockHeldElsewhere;
    if (sql.Query("SELECT a.pid, a.application_name, host(a.client_addr), "
                  "extract(epoch FROM a.backend_start)::bigint FROM pg_locks l "
                  "JOIN pg_stat_activity a ON a.pid = l.pid WHERE l.locktype = 'advisory' AND l.granted "
                  "AND l.classid = $1::oid AND l.objid = $2::oid AND l.objsubid = 1",
                  {kLockKeyHigh, kLockKeyLow}) &&
        sql.Fetch()) {
        const QDateTime since = QDateTime::fromSecsSinceEpoch(sql.Value<std::uint64_t>(3).value_or(0));
        holder =
            FillIn(kLockHolder, {sql[0], sql[1], sql[2].empty() ? kLocalSocket : sql[2], IndonesianDateTime(since)});
    }
    return Failure{kAnotherBackupRunning, holder, FailureKind::AnotherBackup};
}

BackupLock::BackupLock(BackupLock&& other) noexcept : session_(other.session_)
{
    other.session_ = nullptr;
}

BackupLock::~BackupLock()
{
    if (session_)
        Sql(*session_).Query("SELECT pg_advisory_unlock($1)", {kLockKeyText});
}

Status BackupLockHeld(PostgreSQLSession& session)
{
    Sql sql(session);
    const auto held = sql.QueryValue<bool>(
        "SELECT EXISTS (SELECT 1 FROM pg_locks WHERE locktype='advisory' AND pid=pg_backend_pid() AND granted "
        "AND classid=$1::oid AND objid=$2::oid AND objsubid=1)",
        {kLockKeyHigh, kLockKeyLow});
    if (!held.ok())
        return Failure{kConnectionLost, held.failure().detail};
    if (!held.value().value_or(false))
        return Failure{kConnectionLost, "this session no longer holds the backup lock"};
    return {};
}

Result<StagedSchool> StageSchool(PostgreSQLSession& session, const std::string& schoolId,
                                 std::chrono::milliseconds lockTimeout)
{
    Result<BackupLock> lock = BackupLock::Take(session);
    if (!lock.ok())
        return lock.failure();

    Transaction transaction(session, IsolationLevel::RepeatableRead);
    if (!transaction.Begun())
        return Failure{kStagingFailed, transaction.ErrorText()};
    const ServerSql server(session.ServerVersion());
    if (const auto bound = server.LockTimeout(lockTimeout); bound && !transaction.Execute(*bound))
        return StagingFailure(transaction);
    if (Status found = FindSchool(transaction, schoolId); !found.ok())
        return found.failure();
    if (Status copied = CopySchoolRows(transaction, server, schoolId); !copied.ok())
        return copied.failure();
    Result<StagedRows> rows = CountStagedRows(transaction);
    if (!rows.ok())
        return rows.failure();
    if (!transaction.Commit())
        return Failure{kStagingFailed, transaction.ErrorText()};
    return StagedSchool{std::move(lock.value()), std::move(rows.value())};
}

Status DropStaging(PostgreSQLSession& session)
{
    Transaction transaction(session);
    if (!transaction.Begun())
        return Failure{kDropFailed, transaction.ErrorText()};
    if (Status dropped = DropStagingSchema(transaction, kDropFailed); !dropped.ok())
        return dropped;
    if (!transaction.Commit())
        return Failure{kDropFailed, transaction.ErrorText()};
    return {};
}

} // namespace pelantra
