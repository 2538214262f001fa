#include "backup/staging.h"

#include <algorithm>
#include <string_view>

#include "backup/column_lists.h"
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

// How each table's rows are chosen: the school's own by its id ($1), the
// others through `key` of a table staged before them. Each source row is
// copied once, even when its key occurs in several staged rows (a student
// registered twice, a staff member registered for two school years).
struct RowChoice {
    std::string_view table;
    std::string_view key;
    std::string_view through; // empty: the school's own rows
};
constexpr RowChoice kRowChoices[] = {
    {"sekolah", "sekolah_id", {}},
    {"rombongan_belajar", "sekolah_id", {}},
    {"registrasi_peserta_didik", "sekolah_id", {}},
    {"ptk_terdaftar", "sekolah_id", {}},
    {"peserta_didik", "peserta_didik_id", "registrasi_peserta_didik"},
    {"ptk", "ptk_id", "ptk_terdaftar"},
    {"anggota_rombel", "rombongan_belajar_id", "rombongan_belajar"},
    {"pembelajaran", "rombongan_belajar_id", "rombongan_belajar"},
    {"riwayat_gaji_berkala", "ptk_id", "ptk_terdaftar"},
    {"rwy_kepangkatan", "ptk_id", "ptk_terdaftar"},
    {"rwy_pend_formal", "ptk_id", "ptk_terdaftar"},
    {"rwy_fungsional", "ptk_id", "ptk_terdaftar"},
    {"tugas_tambahan", "ptk_id", "ptk_terdaftar"},
};
static_assert(std::size(kRowChoices) == kStagedTables.size());

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
bool DropStagingSchema(Sql& sql)
{
    for (std::string_view table : kStagedTables) {
        if (!sql.Execute("DROP TABLE IF EXISTS " + Staged(table) + " RESTRICT"))
            return false;
    }
    return sql.Execute(std::string("DROP SCHEMA IF EXISTS ") + kStagingSchema + " RESTRICT");
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
    if (!DropStagingSchema(sql) ||
        !sql.Execute(std::string("CREATE SCHEMA ") + kStagingSchema + " AUTHORIZATION postgres"))
        return StagingFailure(sql);
    for (std::string_view table : kStagedTables) {
        if (!sql.Execute(server.CreateStagedTable(table)))
            return StagingFailure(sql);
    }
    const Result<TableColumnsMap> columns = LoadTableColumns(sql, server);
    if (!columns.ok())
        return Failure{kStagingFailed, columns.failure().detail};
    for (const RowChoice& choice : kRowChoices) {
        const std::string key(choice.key);
        const std::string where = choice.through.empty()
                                      ? "a." + key + "=$1"
                                      : "a." + key + " IN (SELECT b." + key + " FROM " + Staged(choice.through) + " b)";
        // The names in the select list are the source's (a), the only table
        // of the outer query.
        const std::string& list = columns.value().find(choice.table)->second.written;
        const std::string statement = "INSERT INTO " + Staged(choice.table) + " (" + list + ") SELECT " + list +
                                      " FROM public." + std::string(choice.table) + " a WHERE " + where;
        if (!sql.Execute(statement,
                         choice.through.empty() ? SqlParams{schoolId} : SqlParams{}))
            return StagingFailure(sql);
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
    if (!sql.Query("SELECT sekolah_id::text FROM " + Staged("sekolah")))
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
    std::string holder = "the backup lock is held by another session";
    if (sql.Query("SELECT a.pid, a.application_name, coalesce(host(a.client_addr), 'local socket'), "
                  "to_char(a.backend_start, 'YYYY-MM-DD HH24:MI:SS TZ') FROM pg_locks l "
                  "JOIN pg_stat_activity a ON a.pid = l.pid WHERE l.locktype = 'advisory' AND l.granted "
                  "AND l.classid = $1::oid AND l.objid = $2::oid AND l.objsubid = 1",
                  {kLockKeyHigh, kLockKeyLow}) &&
        sql.Fetch())
        holder +=
            ": process " + sql[0] + ", program \"" + sql[1] + "\", from " + sql[2] + ", connected since " + sql[3];
    return Failure{kAnotherBackupRunning, holder};
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
    if (!DropStagingSchema(transaction))
        return StagingFailure(transaction, kDropFailed);
    if (!transaction.Commit())
        return Failure{kDropFailed, transaction.ErrorText()};
    return {};
}

} // namespace pelantra
