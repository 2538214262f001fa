#include "backup/staging.h"

#include <algorithm>
#include <string_view>

#include "backup/server_sql.h"
#include "backup/staged_tables.h"
#include "core/database.h"

namespace pelantra {
namespace {

const std::string kLockKeyText = std::to_string(kBackupLockKey);
// pg_locks shows a bigint advisory key as two halves.
const std::string kLockKeyHigh = std::to_string(static_cast<unsigned long long>(kBackupLockKey) >> 32);
const std::string kLockKeyLow = std::to_string(static_cast<unsigned long long>(kBackupLockKey) & 0xffffffffULL);

// How each table's rows are chosen: by the school itself ($1 is the school
// id), or through a table staged before it. Each source row is copied once,
// even when its key occurs in several staged rows (a student registered
// twice, a staff member registered for two school years).
struct RowChoice {
    std::string_view table;
    std::string_view where;
};
constexpr RowChoice kRowChoices[] = {
    {"sekolah", "a.sekolah_id=$1"},
    {"rombongan_belajar", "a.sekolah_id=$1"},
    {"registrasi_peserta_didik", "a.sekolah_id=$1"},
    {"ptk_terdaftar", "a.sekolah_id=$1"},
    {"peserta_didik", "a.peserta_didik_id IN (SELECT b.peserta_didik_id FROM tmpx.registrasi_peserta_didik b)"},
    {"ptk", "a.ptk_id IN (SELECT b.ptk_id FROM tmpx.ptk_terdaftar b)"},
    {"anggota_rombel", "a.rombongan_belajar_id IN (SELECT b.rombongan_belajar_id FROM tmpx.rombongan_belajar b)"},
    {"pembelajaran", "a.rombongan_belajar_id IN (SELECT b.rombongan_belajar_id FROM tmpx.rombongan_belajar b)"},
    {"riwayat_gaji_berkala", "a.ptk_id IN (SELECT b.ptk_id FROM tmpx.ptk_terdaftar b)"},
    {"rwy_kepangkatan", "a.ptk_id IN (SELECT b.ptk_id FROM tmpx.ptk_terdaftar b)"},
    {"rwy_pend_formal", "a.ptk_id IN (SELECT b.ptk_id FROM tmpx.ptk_terdaftar b)"},
    {"rwy_fungsional", "a.ptk_id IN (SELECT b.ptk_id FROM tmpx.ptk_terdaftar b)"},
    {"tugas_tambahan", "a.ptk_id IN (SELECT b.ptk_id FROM tmpx.ptk_terdaftar b)"},
};
static_assert(std::size(kRowChoices) == kStagedTables.size());

constexpr const char* kStagingFailed = "Data sekolah tidak dapat disiapkan";
constexpr const char* kSchoolNotFound = "Sekolah tidak ditemukan";
constexpr const char* kAnotherBackupRunning = "Backup lain sedang berjalan pada database ini";
constexpr const char* kDropFailed = "Data sementara tidak dapat dihapus dari database";
constexpr const char* kSchemaInUse = "Skema tmpx dipakai objek database lain, jadi tidak dihapus";
constexpr const char* kSchemaBusy = "Skema tmpx sedang dipakai program lain; coba lagi nanti";
constexpr const char* kLockNotAvailable = "55P03";
constexpr const char* kDependentObjects = "2BP01";

// The reason for a failed staging statement.
Failure StagingFailure(const Sql& sql)
{
    if (sql.ErrorCode() == kLockNotAvailable)
        return Failure{kSchemaBusy, sql.ErrorText()};
    if (sql.ErrorCode() == kDependentObjects)
        return Failure{kSchemaInUse, sql.ErrorText()};
    return Failure{kStagingFailed, sql.ErrorText()};
}

std::string TableArray()
{
    std::string tables = "{";
    for (std::string_view table : kStagedTables)
        tables.append(tables.size() > 1 ? "," : "").append(table);
    return tables + "}";
}

// Drops our tables one by one and then the schema, each without CASCADE, so
// that an object outside the schema that depends on it stops the drop.
bool DropStagingSchema(Sql& sql)
{
    for (std::string_view table : kStagedTables) {
        if (!sql.Execute("DROP TABLE IF EXISTS tmpx." + std::string(table) + " RESTRICT"))
            return false;
    }
    return sql.Execute("DROP SCHEMA IF EXISTS tmpx RESTRICT");
}

// Inside the open transaction: is there a `sekolah` row for the id? A text
// that is not even a valid key value is simply no school.
Status FindSchool(Sql& sql, const std::string& schoolId)
{
    if (!sql.Query("SELECT count(*) FROM public.sekolah WHERE sekolah_id=$1", {schoolId})) {
        if (sql.ErrorCode() == kInvalidTextRepresentation)
            return Failure{kSchoolNotFound, "sekolah_id: " + schoolId};
        return StagingFailure(sql);
    }
    if (!sql.Fetch() || sql[0] == "0")
        return Failure{kSchoolNotFound, "sekolah_id: " + schoolId};
    return {};
}

// The columns a copy writes: all but generated ones, which the staged table
// computes itself as the source does.
Result<std::map<std::string, std::string, std::less<>>> WrittenColumns(Sql& sql, const ServerSql& server)
{
    if (!sql.Query(server.WrittenColumnsQuery(), {TableArray()}))
        return StagingFailure(sql);
    std::map<std::string, std::string, std::less<>> columns;
    while (sql.Fetch())
        columns.emplace(sql[0], sql[1]);
    for (std::string_view table : kStagedTables) {
        if (!columns.contains(table))
            return Failure{kStagingFailed, "no columns found for table public." + std::string(table)};
    }
    return columns;
}

// The staging script, in the open transaction.
Status CopySchoolRows(Sql& sql, const ServerSql& server, const std::string& schoolId)
{
    if (!DropStagingSchema(sql) || !sql.Execute("CREATE SCHEMA tmpx AUTHORIZATION postgres"))
        return StagingFailure(sql);
    for (std::string_view table : kStagedTables) {
        if (!sql.Execute(server.CreateStagedTable(table)))
            return StagingFailure(sql);
    }
    const auto columns = WrittenColumns(sql, server);
    if (!columns.ok())
        return columns.failure();
    for (const RowChoice& choice : kRowChoices) {
        const std::string name(choice.table);
        // The names in the select list are the source's (a), the only table
        // of the outer query.
        const std::string& list = columns.value().find(choice.table)->second;
        const bool bySchool = choice.where.find("$1") != std::string_view::npos;
        const std::string statement = "INSERT INTO tmpx." + name + " (" + list + ") SELECT " + list + " FROM public." +
                                      name + " a WHERE " + std::string(choice.where);
        if (!sql.Execute(statement, bySchool ? std::vector<std::string>{schoolId} : std::vector<std::string>{}))
            return StagingFailure(sql);
    }
    return {};
}

Result<StagedRows> CountStagedRows(Sql& sql)
{
    StagedRows rows;
    std::string counts;
    for (std::string_view table : kStagedTables)
        counts.append(counts.empty() ? "" : ",").append("(SELECT count(*) FROM tmpx.").append(table).append(")");
    if (!sql.Query("SELECT " + counts) || !sql.Fetch())
        return StagingFailure(sql);
    int column = 0;
    for (std::string_view table : kStagedTables)
        rows.perTable.emplace(std::string(table), std::stoull(sql[column++]));
    if (!sql.Query("SELECT sekolah_id::text FROM tmpx.sekolah"))
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
    if (!sql.Query("SELECT pg_try_advisory_lock($1)", {kLockKeyText}))
        return Failure{kStagingFailed, sql.ErrorText()};
    if (sql.Fetch() && sql[0] == "t")
        return BackupLock(session);
    // Who holds it, for whoever has to find that other backup.
    std::string holder = "the backup lock is held by another session";
    if (sql.Query("SELECT a.pid, a.application_name, coalesce(host(a.client_addr), 'local socket'), "
                  "to_char(a.backend_start, 'YYYY-MM-DD HH24:MI:SS TZ') FROM pg_locks l "
                  "JOIN pg_stat_activity a ON a.pid = l.pid WHERE l.locktype = 'advisory' AND l.granted "
                  "AND l.classid = $1::oid AND l.objid = $2::oid AND l.objsubid = 1",
                  {kLockKeyHigh, kLockKeyLow}) &&
        sql.Fetch())
        holder += ": process " + sql[0] + ", program \"" + sql[1] + "\", from " + sql[2] + ", connected since " + sql[3];
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
    constexpr const char* kLost = "Koneksi database terputus selama backup";
    Sql sql(session);
    if (!sql.Query("SELECT count(*) FROM pg_locks WHERE locktype='advisory' AND pid=pg_backend_pid() AND granted "
                   "AND classid=$1::oid AND objid=$2::oid AND objsubid=1",
                   {kLockKeyHigh, kLockKeyLow}))
        return Failure{kLost, sql.ErrorText()};
    if (!sql.Fetch() || sql[0] == "0")
        return Failure{kLost, "this session no longer holds the backup lock"};
    return {};
}

Result<StagedSchool> StageSchool(PostgreSQLSession& session, const std::string& schoolId,
                                 std::chrono::milliseconds lockTimeout)
{
    Result<BackupLock> lock = BackupLock::Take(session);
    if (!lock.ok())
        return lock.failure();

    Transaction transaction(session, "BEGIN ISOLATION LEVEL REPEATABLE READ");
    if (!transaction.Begun())
        return Failure{kStagingFailed, transaction.ErrorText()};
    Sql sql(session);
    const ServerSql server(session.ServerVersion());
    if (const auto bound = server.LockTimeout(lockTimeout); bound && !sql.Execute(*bound))
        return StagingFailure(sql);
    if (Status found = FindSchool(sql, schoolId); !found.ok())
        return found.failure();
    if (Status copied = CopySchoolRows(sql, server, schoolId); !copied.ok())
        return copied.failure();
    Result<StagedRows> rows = CountStagedRows(sql);
    if (!rows.ok())
        return rows.failure();
    if (!transaction.Commit())
        return Failure{kStagingFailed, transaction.ErrorText()};
    return StagedSchool{std::move(lock.value()), std::move(rows.value())};
}

Status DropStaging(PostgreSQLSession& session)
{
    Sql sql(session);
    Transaction transaction(session, "BEGIN");
    if (!transaction.Begun())
        return Failure{kDropFailed, transaction.ErrorText()};
    if (!DropStagingSchema(sql)) {
        const Failure failure = StagingFailure(sql);
        return Failure{failure.reason == kStagingFailed ? kDropFailed : failure.reason, failure.detail};
    }
    if (!transaction.Commit())
        return Failure{kDropFailed, transaction.ErrorText()};
    return {};
}

} // namespace pelantra
