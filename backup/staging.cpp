#include "backup/staging.h"

#include <string_view>
#include <vector>

#include "backup/staged_tables.h"
#include "core/database.h"

namespace pelantra {
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
constexpr const char* kDropFailed = "Data sementara tidak dapat dihapus dari database";

// The statement that makes one staged table as a copy of its source table.
std::string CreateTmpTableStatement(const std::string& table)
{
    return "CREATE TABLE tmpx." + table + "(like " + table + " including defaults)";
}

bool CreateTmpTable(Sql& sql, const std::string& table)
{
    return sql.Execute(CreateTmpTableStatement(table));
}

// Inside the open transaction: is there a `sekolah` row for the id? A text
// that is not even a valid key value is simply no school.
Status FindSchool(Sql& sql, const std::string& schoolId)
{
    if (!sql.Query("SELECT count(*) FROM sekolah WHERE sekolah_id=$1", {schoolId})) {
        if (sql.ErrorCode() == kInvalidTextRepresentation)
            return Failure{kSchoolNotFound, "sekolah_id: " + schoolId};
        return Failure{kStagingFailed, sql.ErrorText()};
    }
    if (!sql.Fetch() || sql[0] == "0")
        return Failure{kSchoolNotFound, "sekolah_id: " + schoolId};
    return {};
}

// The staging script, in the open transaction.
Status CopySchoolRows(Sql& sql, const std::string& schoolId)
{
    auto run = [&sql](const std::string& statement, const std::vector<std::string>& params) {
        return sql.Execute(statement, params);
    };
    bool done = run("DROP SCHEMA IF EXISTS tmpx CASCADE", {}) && run("CREATE SCHEMA tmpx AUTHORIZATION postgres", {});
    for (std::string_view table : kStagedTables)
        done = done && CreateTmpTable(sql, std::string(table));
    for (std::string_view statement : kSchoolRows)
        done = done && run(std::string(statement), {schoolId});
    for (std::string_view statement : kLinkedRows)
        done = done && run(std::string(statement), {});
    if (!done)
        return Failure{kStagingFailed, sql.ErrorText()};
    return {};
}

} // namespace

Result<BackupLock> BackupLock::Take(PostgreSQLSession& session)
{
    Sql sql(session);
    if (!sql.Query("SELECT pg_try_advisory_lock($1)", {kLockKeyText}))
        return Failure{kStagingFailed, sql.ErrorText()};
    if (!sql.Fetch() || sql[0] != "t")
        return Failure{kAnotherBackupRunning, {}};
    return BackupLock(session);
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

Result<StagedSchool> StageSchool(PostgreSQLSession& session, const std::string& schoolId)
{
    Result<BackupLock> lock = BackupLock::Take(session);
    if (!lock.ok())
        return lock.failure();

    Transaction transaction(session, "BEGIN ISOLATION LEVEL REPEATABLE READ");
    if (!transaction.Begun())
        return Failure{kStagingFailed, transaction.ErrorText()};
    Sql sql(session);
    if (Status found = FindSchool(sql, schoolId); !found.ok())
        return found.failure();
    if (Status copied = CopySchoolRows(sql, schoolId); !copied.ok())
        return copied.failure();
    if (!transaction.Commit())
        return Failure{kStagingFailed, transaction.ErrorText()};
    return StagedSchool{std::move(lock.value())};
}

Status DropStaging(PostgreSQLSession& session)
{
    Sql sql(session);
    if (!sql.Execute("DROP SCHEMA tmpx CASCADE"))
        return Failure{kDropFailed, sql.ErrorText()};
    return {};
}

} // namespace pelantra
