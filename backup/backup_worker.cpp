#include "backup/backup_worker.h"

#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>
#include <exception>
#include <vector>

#include "archive/archive_name.h"
#include "archive/messages.h"
#include "backup/archive_draft.h"
#include "backup/archive_owner.h"
#include "backup/column_lists.h"
#include "backup/dump_stream.h"
#include "backup/export.h"
#include "backup/messages.h"
#include "backup/staging.h"
#include "core/database.h"
#include "core/platform.h"
#include "core/settings.h"
#include "tools/tools.h"

namespace pelantra {
namespace {

// The school's region code, npsn, name and parent-region name.
Result<SchoolRecord> LookUpSchool(PostgreSQLSession& session, const std::string& schoolId)
{
    Sql sql(session);
    if (!sql.Query("SELECT b.kode_wilayah,b.npsn,b.nama AS sekolah,kab.nama FROM public.sekolah b "
                   "LEFT JOIN ref.mst_wilayah kec ON b.kode_wilayah=kec.kode_wilayah "
                   "LEFT JOIN ref.mst_wilayah kab ON kec.mst_kode_wilayah=kab.kode_wilayah "
                   "WHERE b.sekolah_id=$1",
                   {schoolId})) {
        if (sql.Failed(SqlState::InvalidTextRepresentation))
            return Failure{kSchoolNotFound, "sekolah_id: " + schoolId};
        return Failure{kSchoolUnreadable, sql.ErrorText()};
    }
    if (!sql.Fetch())
        return Failure{kSchoolNotFound, "sekolah_id: " + schoolId};
    // Named as the school list shows it, also from an SQL_ASCII database.
    return SchoolRecord{Utf8FromUnnamedEncoding(sql[0]), Utf8FromUnnamedEncoding(sql[1]),
                        Utf8FromUnnamedEncoding(sql[2]), Utf8FromUnnamedEncoding(sql[3])};
}

// The dump holds exactly what staging copied: all of it, and the chosen
// school's rows, not another school's.
Status ProveContent(const DumpFacts& facts, const StagedRows& staged)
{
    if (!facts.complete)
        return Failure{kExportIncomplete, FillIn(kNoClosingLine, {kDumpClosingTitle})};
    std::vector<std::string> dumpedIds = facts.schoolIds;
    std::sort(dumpedIds.begin(), dumpedIds.end());
    if (dumpedIds != staged.schoolIds)
        return Failure{kOtherSchool, "the dump's sekolah rows are not the staged school"};
    for (const auto& [table, count] : staged.perTable) {
        const std::uint64_t dumped = facts.RowsOf(table);
        if (dumped != count)
            return Failure{kExportIncomplete, "table " + table + ": " + std::to_string(count) + " rows staged, " +
                                                  std::to_string(dumped) + " in the dump"};
    }
    return {};
}

// Below this much room left on the folder's disk, a failure to write the
// archive is told as a full disk, what failed going into the details.
constexpr qint64 kFullDiskBytes = 1 << 20;

Failure Plainly(Failure failure, const std::string& folder)
{
    if (failure.kind == FailureKind::Stopped)
        return failure;
    const QStorageInfo disk(QString::fromStdString(folder));
    if (!disk.isValid() || disk.bytesAvailable() >= kFullDiskBytes)
        return failure;
    return Failure{kDiskFull, failure.reason + "\n" + failure.detail + "\n" + folder + ": " +
                                  std::to_string(disk.bytesAvailable()) + " bytes free"};
}

// The job from the school lookup to the archive; posts the statuses it
// reaches and returns the outcome.
BackupOutcome Work(BackupObserver& observer, PostgreSQLSession& session, const std::string& folderBytes,
                   const std::string& schoolId, const StagedRows& staged)
{
    if (folderBytes.empty())
        return Failure{kFolderMissing, {}};
    const ConfiguredTools tools;
    if (!tools.Named().ok())
        return tools.Named().failure();
    const Result<int> keepCopies = ConfiguredKeepCopies();
    if (!keepCopies.ok())
        return keepCopies.failure();

    const Result<SchoolRecord> school = LookUpSchool(session, schoolId);
    if (!school.ok())
        return school.failure();

    const std::string shownPath = ArchivePath(AbsolutePath(folderBytes), school.value());
    observer.PostStatus(kWritingStatus + shownPath);
    const NativePath folder(folderBytes);
    if (!QFileInfo(QString::fromStdString(folder.Utf8())).isDir())
        return Failure{kFolderMissing, folderBytes};

    ToolWatch watch;
    watch.stopRequested = [&observer] { return observer.StopRequested(); };
    const std::string target = ArchivePath(folder.Utf8(), school.value());
    const std::string archiver = tools.Archiver();
    if (Status mine = MayReplace(archiver, target, schoolId, school.value(), watch); !mine.ok())
        return mine.failure();
    ArchiveDraft draft(target);
    if (!draft.Ready().ok())
        return Plainly(draft.Ready().failure(), folder.Utf8());
    watch.growingFile = draft.Path();

    observer.PostStep(BackupStep::Exporting);
    const StreamRun stream = StreamDump(ExportCommand(tools.PgDump(), session.Port(), session.ServerEncoding()),
                                        draft.PackCommand(archiver, staged.tableBytes), staged.columns, watch,
                                        [&observer] { observer.PostStep(BackupStep::Archiving); });
    observer.PostStatus(stream.exportOutput);
    observer.PostStatus(stream.archiverOutput);
    if (!stream.status.ok())
        return Plainly(stream.status.failure(), folder.Utf8());
    if (Status content = ProveContent(stream.facts, staged); !content.ok())
        return content.failure();
    observer.PostStep(BackupStep::Testing);
    if (Status verified = draft.Verify(archiver, stream.bytes, watch); !verified.ok())
        return Plainly(verified.failure(), folder.Utf8());
    if (observer.StopRequested())
        return Failure{kStoppedReason, {}, FailureKind::Stopped};
    if (Status owned = BackupLockHeld(session); !owned.ok())
        return owned.failure();
    Result<ReplacedArchive> replaced = draft.Replace(keepCopies.value());
    if (!replaced.ok())
        return Plainly(replaced.failure(), folder.Utf8());
    return BackupArchive{shownPath, school.value().name, std::move(replaced.value().note),
                         std::move(replaced.value().kept)};
}

} // namespace

const char* StepText(BackupStep step)
{
    switch (step) {
    case BackupStep::Staging:
        return kStagingStep;
    case BackupStep::Exporting:
        return kExportingStep;
    case BackupStep::Archiving:
        return kArchivingStep;
    case BackupStep::Testing:
        break;
    }
    return kTestingStep;
}

void BackupWorker(BackupObserver& observer, PostgreSQLSession& session, const std::string& folder,
                  const std::string& schoolId, const StagedRows& staged)
{
    // Whatever happens, whoever waits must learn that the run is over.
    const BackupOutcome outcome = [&]() -> BackupOutcome {
        try {
            return Work(observer, session, folder, schoolId, staged);
        } catch (const std::exception& error) {
            return Failure{kRunBroke, error.what()};
        }
    }();
    observer.PostOutcome(outcome);
    observer.PostStatus(kFinalStatus);
}

} // namespace pelantra
