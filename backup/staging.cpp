#include "backup/staging.h"

#include <string_view>

#include "app/database.h"
#include "backup/backup_job.h"
#include "backup/staged_tables.h"

namespace {

const std::string kLockKeyText = std::to_string(kBackupLockKey);

// Rows chosen by the school itself; $1 is the school id.
constexpr std::string_view kSchoolRows[] = {
    "INSERT INTO tmpx.sekolah SELECT * FROM sekolah WHERE sekolah_id=$1",
    "INSERT INTO tmpx.rombongan_belajar SELECT * FROM rombongan_belajar WHERE sekolah_id=$1",
    "INSERT INTO tmpx.registrasi_peserta_didik SELECT * FROM registrasi_peserta_didik WHERE sekolah_id=$1",
    "INSERT INTO tmpx.ptk_terdaftar SELECT * FROM ptk_terdaftar WHERE sekolah_id=$1",
};

// Rows chosen through the staged tables. Each source row is copied once, even
// when its key occurs in several staged rows (a student registered twice, a
// staff member registered for two school years).
constexpr std::string_view kLinkedRows[] = {
    "INSERT INTO tmpx.peserta_didik SELECT a.* FROM peserta_didik a WHERE a.peserta_didik_id IN "
    "(SELECT b.peserta_didik_id FROM tmpx.registrasi_peserta_didik b)",
    "INSERT INTO tmpx.ptk SELECT a.* FROM ptk a WHERE a.ptk_id IN (SELECT b.ptk_id FROM tmpx.ptk_terdaftar b)",
    "INSERT INTO tmpx.anggota_rombel SELECT a.* FROM anggota_rombel a WHERE a.rombongan_belajar_id IN "
    "(SELECT b.rombongan_belajar_id FROM tmpx.rombongan_belajar b)",
    "INSERT INTO tmpx.pembelajaran SELECT a.* FROM pembelajaran a WHERE a.rombongan_belajar_id IN "
    "(SELECT b.rombongan_belajar_id FROM tmpx.rombongan_belajar b)",
    "INSERT INTO tmpx.riwayat_gaji_berkala SELECT a.* FROM riwayat_gaji_berkala a WHERE a.ptk_id IN "
    "(SELECT b.ptk_id FROM tmpx.ptk_terdaftar b)",
    "INSERT INTO tmpx.rwy_kepangkatan SELECT a.* FROM rwy_kepangkatan a WHERE a.ptk_id IN "
    "(SELECT b.ptk_id FROM tmpx.ptk_terdaftar b)",
    "INSERT INTO tmpx.rwy_pend_formal SELECT a.* FROM rwy_pend_formal a WHERE a.ptk_id IN "
    "(SELECT b.ptk_id FROM tmpx.ptk_terdaftar b)",
    "INSERT INTO tmpx.rwy_fungsional SELECT a.* FROM rwy_fungsional a WHERE a.ptk_id IN "
    "(SELECT b.ptk_id FROM tmpx.ptk_terdaftar b)",
    "INSERT INTO tmpx.tugas_tambahan SELECT a.* FROM tugas_tambahan a WHERE a.ptk_id IN "
    "(SELECT b.ptk_id FROM tmpx.ptk_terdaftar b)",
};

constexpr const char* kStagingFailed = "Data sekolah tidak dapat disiapkan";
constexpr const char* kSchoolNotFound = "Sekolah tidak ditemukan";
constexpr const char* kAnotherBackupRunning = "Backup lain sedang berjalan pada database ini";

void ReleaseLock(Sql& sql)
{
    sql.Execute("SELECT pg_advisory_unlock($1)", {kLockKeyText});
}

StageResult Failed(BackupOutcome failure)
{
    return StageResult{false, std::move(failure)};
}

// Inside the open transaction: is there a `sekolah` row for the id? A text
// that is not even a valid key value is simply no school.
enum class SchoolLookup { Found, NotFound, Failed };
SchoolLookup FindSchool(Sql& sql, const std::string& schoolId)
{
    if (!sql.Execute("SELECT count(*) FROM sekolah WHERE sekolah_id=$1", {schoolId}))
        return sql.ErrorCode() == kInvalidTextRepresentation ? SchoolLookup::NotFound : SchoolLookup::Failed;
    return sql.Fetch() && sql[0] != "0" ? SchoolLookup::Found : SchoolLookup::NotFound;
}

// Runs the staging script in the open transaction; on failure returns the
// server's message.
bool CopySchoolRows(Sql& sql, const std::string& schoolId, std::string& error)
{
    auto run = [&](std::string_view statement, const std::vector<std::string>& params) {
        if (sql.Execute(std::string(statement), params))
            return true;
        error = sql.ErrorText();
        return false;
    };
    if (!run("DROP SCHEMA IF EXISTS tmpx CASCADE", {}) || !run("CREATE SCHEMA tmpx AUTHORIZATION postgres", {}))
        return false;
    for (std::string_view table : kStagedTables) {
        if (!CreateTmpTable(sql, std::string(table))) {
            error = sql.ErrorText();
            return false;
        }
    }
    for (std::string_view statement : kSchoolRows) {
        if (!run(statement, {schoolId}))
            return false;
    }
    for (std::string_view statement : kLinkedRows) {
        if (!run(statement, {}))
            return false;
    }
    return true;
}

} // namespace

std::string CreateTmpTableStatement(const std::string& table)
{
    return "CREATE TABLE tmpx." + table + "(like " + table + " including defaults)";
}

bool CreateTmpTable(Sql& sql, const std::string& table)
{
    return sql.Execute(CreateTmpTableStatement(table));
}

StageResult StageSchool(PostgreSQLSession& session, const std::string& schoolId)
{
    Sql sql(session);
    if (!sql.Execute("SELECT pg_try_advisory_lock($1)", {kLockKeyText}))
        return Failed(BackupOutcome::Failure(kStagingFailed, sql.ErrorText()));
    if (!sql.Fetch() || sql[0] != "t")
        return Failed(BackupOutcome::Failure(kAnotherBackupRunning));

    if (!sql.Execute("BEGIN ISOLATION LEVEL REPEATABLE READ")) {
        BackupOutcome failure = BackupOutcome::Failure(kStagingFailed, sql.ErrorText());
        ReleaseLock(sql);
        return Failed(std::move(failure));
    }

    BackupOutcome failure;
    switch (FindSchool(sql, schoolId)) {
    case SchoolLookup::Found: {
        std::string error;
        if (CopySchoolRows(sql, schoolId, error) && sql.Execute("COMMIT"))
            return StageResult{true, {}};
        failure = BackupOutcome::Failure(kStagingFailed, error.empty() ? sql.ErrorText() : error);
        break;
    }
    case SchoolLookup::NotFound:
        failure = BackupOutcome::Failure(kSchoolNotFound, "sekolah_id: " + schoolId);
        break;
    case SchoolLookup::Failed:
        failure = BackupOutcome::Failure(kStagingFailed, sql.ErrorText());
        break;
    }
    sql.Execute("ROLLBACK");
    ReleaseLock(sql);
    return Failed(std::move(failure));
}

bool FinishBackup(PostgreSQLSession& session)
{
    Sql sql(session);
    const bool dropped = sql.Execute("DROP SCHEMA tmpx CASCADE");
    ReleaseLock(sql);
    return dropped;
}
