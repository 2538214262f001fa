#include "backup/backup_job.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <filesystem>
#include <system_error>

#include "app/database.h"
#include "app/platform.h"
#include "app/settings.h"
#include "backup/archive.h"
#include "backup/archive_name.h"
#include "backup/column_lists.h"
#include "backup/dump_rewriter.h"
#include "backup/export.h"

BackupOutcome BackupOutcome::Success(std::string archivePath)
{
    BackupOutcome outcome;
    outcome.succeeded = true;
    outcome.archivePath = std::move(archivePath);
    return outcome;
}

BackupOutcome BackupOutcome::Failure(std::string reason, std::string detail)
{
    BackupOutcome outcome;
    outcome.reason = std::move(reason);
    outcome.detail = std::move(detail);
    return outcome;
}

std::string BackupOutcome::Message() const
{
    if (succeeded)
        return kSuccessMessage;
    return reason.empty() ? std::string(kFailureMessage) : std::string(kFailureMessage) + "\n" + reason;
}

namespace {

constexpr const char* kRawDumpName = "kartesa2014.raw.sql";

enum class LookupResult { Found, NotFound, Failed };

LookupResult LookUpSchool(PostgreSQLSession& session, const std::string& schoolId, SchoolRecord& school,
                          std::string& error)
{
    Sql sql(session);
    if (!sql.Execute("SELECT b.kode_wilayah,b.npsn,b.nama AS sekolah,kab.nama FROM sekolah b "
                     "LEFT JOIN ref.mst_wilayah kec ON b.kode_wilayah=kec.kode_wilayah "
                     "LEFT JOIN ref.mst_wilayah kab ON kec.mst_kode_wilayah=kab.kode_wilayah "
                     "WHERE b.sekolah_id=$1",
                     {schoolId})) {
        error = sql.ErrorText();
        return sql.ErrorCode() == kInvalidTextRepresentation ? LookupResult::NotFound : LookupResult::Failed;
    }
    if (!sql.Fetch())
        return LookupResult::NotFound;
    school = SchoolRecord{sql[0], sql[1], sql[2], sql[3]};
    return LookupResult::Found;
}

// Posts the outcome and then "selesai", as the end of every run.
void Conclude(BackupObserver& observer, const BackupOutcome& outcome)
{
    observer.PostOutcome(outcome);
    observer.PostStatus(kFinalStatus);
}

std::uint64_t FileSize(const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(FileSystemPath(path), error);
    return error ? 0 : size;
}

} // namespace

void RunBackupWorker(BackupObserver& observer, PostgreSQLSession& session, const std::string& folder,
                     const std::string& schoolId)
{
    const Settings settings = LoadIniFile(kSettingsFileName);
    const std::string port = settings.Get(kPortKey);
    const std::string basedir = settings.Get(kBaseDirKey);
    if (folder.empty())
        return;

    SchoolRecord school;
    std::string error;
    switch (LookUpSchool(session, schoolId, school, error)) {
    case LookupResult::Found:
        break;
    case LookupResult::NotFound:
        return Conclude(observer, BackupOutcome::Failure("Sekolah tidak ditemukan", "sekolah_id: " + schoolId));
    case LookupResult::Failed:
        return Conclude(observer, BackupOutcome::Failure("Data sekolah tidak dapat dibaca", error));
    }
    const std::optional<ColumnLists> columns = LoadColumnLists(session, error);
    // The worker's database work ends here; the session is the window's again.

    const std::string archivePath = ArchivePath(folder, school);
    observer.PostStatus("menulis " + archivePath);
    if (!columns)
        return Conclude(observer, BackupOutcome::Failure("Struktur tabel tidak dapat dibaca", error));
    if (!QFileInfo(QString::fromStdString(folder)).isDir())
        return Conclude(observer, BackupOutcome::Failure("Folder tujuan tidak ditemukan", folder));

    // Private to this run and to this user; removed with everything in it.
    QTemporaryDir workDir(QDir::tempPath() + "/pelantra-XXXXXX");
    if (!workDir.isValid())
        return Conclude(observer,
                        BackupOutcome::Failure("Folder kerja tidak dapat dibuat", workDir.errorString().toStdString()));
    const std::string workPath = workDir.path().toStdString();
    const std::string dumpPath = JoinPath(workPath, kWorkingDumpName, kHostPlatform);
    const std::string rawPath = JoinPath(workPath, kRawDumpName, kHostPlatform);

    const ToolResult dump = ExportStaging(basedir, port, workPath);
    const std::string exportOutput = ExportOutputText(dump.output);
    if (!dump.ExitedWith(0)) {
        observer.PostStatus(exportOutput);
        const char* reason = dump.status == ToolResult::Status::FailedToStart ? "Program export tidak dapat dijalankan"
                                                                              : "Export data gagal";
        std::string detail = ExportOutputText(dump.Describe());
        if (!exportOutput.empty())
            detail += "\n" + exportOutput;
        return Conclude(observer, BackupOutcome::Failure(reason, detail));
    }

    std::error_code renameError;
    std::filesystem::rename(FileSystemPath(dumpPath), FileSystemPath(rawPath), renameError);
    const RewriteResult rewrite =
        renameError ? RewriteResult{false, renameError.message()} : RewriteDumpFile(rawPath, dumpPath, *columns);
    std::filesystem::remove(FileSystemPath(rawPath), renameError);
    observer.PostStatus(exportOutput);
    if (!rewrite.ok)
        return Conclude(observer, BackupOutcome::Failure("Hasil export tidak dapat diolah", rewrite.error));

    const ArchiveResult archive =
        PackArchive(ArchiverProgram(basedir, kHostPlatform), archivePath, workPath, FileSize(dumpPath));
    observer.PostStatus(archive.output);
    if (!archive.ok)
        return Conclude(observer, BackupOutcome::Failure(archive.reason, archive.detail));
    Conclude(observer, BackupOutcome::Success(archivePath));
}
