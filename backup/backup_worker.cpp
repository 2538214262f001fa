#include "backup/backup_worker.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <exception>

#include "backup/archive.h"
#include "backup/archive_name.h"
#include "backup/column_lists.h"
#include "backup/export.h"
#include "core/database.h"
#include "core/platform.h"
#include "core/settings.h"

namespace pelantra {
namespace {

constexpr const char* kRawDumpName = "kartesa2014.raw.sql";

// The school's region code, npsn, name and parent-region name.
Result<SchoolRecord> LookUpSchool(PostgreSQLSession& session, const std::string& schoolId)
{
    constexpr const char* kNotFound = "Sekolah tidak ditemukan";
    Sql sql(session);
    if (!sql.Query("SELECT b.kode_wilayah,b.npsn,b.nama AS sekolah,kab.nama FROM sekolah b "
                   "LEFT JOIN ref.mst_wilayah kec ON b.kode_wilayah=kec.kode_wilayah "
                   "LEFT JOIN ref.mst_wilayah kab ON kec.mst_kode_wilayah=kab.kode_wilayah "
                   "WHERE b.sekolah_id=$1",
                   {schoolId})) {
        if (sql.ErrorCode() == kInvalidTextRepresentation)
            return Failure{kNotFound, "sekolah_id: " + schoolId};
        return Failure{"Data sekolah tidak dapat dibaca", sql.ErrorText()};
    }
    if (!sql.Fetch())
        return Failure{kNotFound, "sekolah_id: " + schoolId};
    return SchoolRecord{sql[0], sql[1], sql[2], sql[3]};
}

std::uint64_t FileSize(const std::string& path)
{
    return static_cast<std::uint64_t>(QFileInfo(QString::fromStdString(path)).size());
}

// The job from the school lookup to the archive; posts the statuses it
// reaches and returns the outcome.
BackupOutcome Work(BackupObserver& observer, PostgreSQLSession& session, const std::string& folder,
                   const std::string& schoolId)
{
    const Settings settings = LoadIniFile(kSettingsFileName);
    const std::string port = settings.Get(kPortKey);
    const std::string basedir = settings.Get(kBaseDirKey);

    const Result<SchoolRecord> school = LookUpSchool(session, schoolId);
    if (!school.ok())
        return school.failure();
    const Result<ColumnLists> columns = LoadColumnLists(session);
    // The worker's database work ends here; the session is the window's again.

    const std::string archivePath = ArchivePath(folder, school.value());
    observer.PostStatus("menulis " + archivePath);
    if (!columns.ok())
        return columns.failure();
    if (!QFileInfo(QString::fromStdString(folder)).isDir())
        return Failure{"Folder tujuan tidak ditemukan", folder};

    // Private to this run and to this user; removed with everything in it.
    QTemporaryDir workDir(QDir::tempPath() + "/pelantra-XXXXXX");
    if (!workDir.isValid())
        return Failure{"Folder kerja tidak dapat dibuat", workDir.errorString().toStdString()};
    const std::string workPath = workDir.path().toStdString();
    const std::string dumpPath = workDir.filePath(kWorkingDumpName).toStdString();
    const std::string rawPath = workDir.filePath(kRawDumpName).toStdString();

    const ToolResult dump = ExportStaging(basedir, port, workPath);
    const std::string exportOutput = ExportOutputText(dump.output);
    if (!dump.ExitedWith(0)) {
        observer.PostStatus(exportOutput);
        const char* reason = dump.status == ToolResult::Status::FailedToStart ? "Program export tidak dapat dijalankan"
                                                                              : "Export data gagal";
        std::string detail = ExportOutputText(dump.Describe());
        if (!exportOutput.empty())
            detail += "\n" + exportOutput;
        return Failure{reason, detail};
    }

    const Status rewrite = QFile::rename(QString::fromStdString(dumpPath), QString::fromStdString(rawPath))
                               ? RewriteDumpFile(rawPath, dumpPath, columns.value())
                               : Status(Failure{kRewriteFailed, "the dump file cannot be moved aside"});
    QFile::remove(QString::fromStdString(rawPath));
    observer.PostStatus(exportOutput);
    if (!rewrite.ok())
        return rewrite.failure();

    const ArchiveRun archive =
        PackArchive(ArchiverProgram(basedir, kHostPlatform), archivePath, workPath, FileSize(dumpPath));
    observer.PostStatus(archive.output);
    if (!archive.status.ok())
        return archive.status.failure();
    return BackupArchive{archivePath, {}};
}

} // namespace

void BackupWorker(BackupObserver& observer, PostgreSQLSession& session, const std::string& folder,
                  const std::string& schoolId)
{
    if (folder.empty())
        return;
    // Whatever happens, whoever waits must learn that the run is over.
    const BackupOutcome outcome = [&]() -> BackupOutcome {
        try {
            return Work(observer, session, folder, schoolId);
        } catch (const std::exception& error) {
            return Failure{"Proses backup terhenti", error.what()};
        }
    }();
    observer.PostOutcome(outcome);
    observer.PostStatus(kFinalStatus);
}

} // namespace pelantra
