#include "backup/archive_draft.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include "archive/archive_format.h"
#include "backup/archive_history.h"
#include "backup/backup_outcome.h"
#include "backup/messages.h"
#include "core/platform.h"

namespace pelantra {
namespace {

constexpr const char* kFolderPrefix = ".pelantra-";
constexpr const char* kOwnerFile = "owner.lock";

// Private folders beside the target whose run is no longer alive: real
// folders named as a draft names them, whose lock file no live run holds.
// Only what a run leaves in its folder goes (its files, then the folder);
// links are left alone, and returned.
std::vector<std::string> RemoveAbandonedFolders(const QDir& folder)
{
    static const QRegularExpression draftName(
        QRegularExpression::anchoredPattern(QRegularExpression::escape(kFolderPrefix) + "[A-Za-z0-9_-]{6}"));
    std::vector<std::string> links;
    const QStringList found = folder.entryList({QString(kFolderPrefix) + "*"},
                                               QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : found) {
        const QFileInfo entry(folder.filePath(name));
        if (IsLink(entry)) {
            links.push_back(entry.filePath().toStdString());
            continue;
        }
        const QDir abandoned(entry.filePath());
        const QFileInfo lock(abandoned.filePath(kOwnerFile));
        if (!entry.isDir() || !draftName.match(name).hasMatch() || IsLink(lock) || !lock.isFile())
            continue;
        QLockFile owner(lock.filePath());
        owner.setStaleLockTime(0); // only a dead owner makes it stale
        if (!owner.tryLock(0))
            continue;
        owner.unlock();
        for (const QFileInfo& left :
             abandoned.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
            if (left.isFile() && !IsLink(left))
                QFile::remove(left.filePath());
        }
        folder.rmdir(name);
    }
    return links;
}

// Tables of this size on the server give a dump of about two and a half of
// the archiver's 64 MiB blocks.
constexpr std::uint64_t kManyBlocksTableBytes = std::uint64_t{48} << 20;

// The archiver's arguments that pack its standard input, a dump of tables
// that take `tableBytes` on the server, into `archivePath` on a machine with
// `cores` cores.
std::vector<std::string> PackArguments(const std::string& archivePath, int cores, std::uint64_t tableBytes)
{
    std::vector<std::string> arguments{"a", std::string("-si") + kMemberName, kPasswordSwitch};
    // 7za gives each block it packs two threads, one block per two cores: on
    // two or three cores it packs one block at a time with a core half idle.
    // Four threads make it pack two blocks side by side, but then it reads
    // each block whole before it packs it. Only a dump of several blocks
    // gains by that; a smaller one is packed sooner as it comes.
    if ((cores == 2 || cores == 3) && tableBytes >= kManyBlocksTableBytes)
        arguments.emplace_back("-mmt=4");
    arguments.insert(arguments.end(), {"--", archivePath});
    return arguments;
}

} // namespace

ArchiveDraft::ArchiveDraft(const std::string& archivePath) : target_(archivePath)
{
    const QFileInfo target(QString::fromStdString(archivePath));
    const QDir beside = target.absoluteDir();
    linksLeftAlone_ = RemoveAbandonedFolders(beside);
    // Beside the target, so the final rename stays on one file system; the
    // archive inside keeps the target's name, so the archiver treats it alike.
    folder_ = std::make_unique<QTemporaryDir>(beside.filePath(QString(kFolderPrefix) + "XXXXXX"));
    if (!folder_->isValid()) {
        ready_ = Failure{kFolderUnwritable, archivePath + ": " + folder_->errorString().toStdString()};
        return;
    }
    owner_ = std::make_unique<QLockFile>(folder_->filePath(kOwnerFile));
    owner_->setStaleLockTime(0);
    if (!owner_->tryLock(0)) {
        ready_ = Failure{kArchiveNotMade, archivePath + ": the private folder cannot be claimed"};
        return;
    }
    path_ = folder_->filePath(target.fileName()).toStdString();
}

ToolCommand ArchiveDraft::PackCommand(const std::string& archiver, std::uint64_t tableBytes) const
{
    return {archiver, PackArguments(path_, QThread::idealThreadCount(), tableBytes), {}};
}

Status ArchiveDraft::Verify(const std::string& archiver, std::uint64_t memberSize, const ToolWatch& watch) const
{
    // Progress on standard output keeps the watch from taking a long test for a stall.
    const ToolResult test = RunTool({archiver, {"t", "-bsp1", kPasswordSwitch, "--", path_}, {}}, watch);
    if (test.ending == ToolResult::Ending::Stopped)
        return Failure{kStoppedReason, {}, FailureKind::Stopped};
    if (!test.ExitedWith(0))
        return Failure{kArchiveTestFailed, test.Detail(archiver)};

    const ArchiveListing listing = ListArchive(archiver, path_, watch);
    if (!listing.soleMember || listing.soleMember->size != memberSize)
        return Failure{kArchiveContentWrong, listing.run.Detail(archiver)};
    if (!listing.soleMember->encrypted)
        return Failure{kArchiveNotLocked, listing.run.Detail(archiver)};
    return {};
}

Result<ReplacedArchive> ArchiveDraft::Replace(int keepCopies, FolderSync sync)
{
    const QString target = QString::fromStdString(target_);
    std::string historyNote;
    QString kept;
    if (const QFileInfo earlier(target); keepCopies > 0 && earlier.isFile() && !IsLink(earlier)) {
        const Result<QString> made = KeepEarlierArchive(target, folder_->path());
        if (made.ok())
            kept = made.value();
        else
            AddNote(historyNote, FillIn(kHistoryNotKept, {made.failure().reason}), made.failure().detail);
    }

    QElapsedTimer waited;
    waited.start();
    FileMove moved;
    while ((moved = ReplaceFile(path_, target_, sync)).notMoved && HeldByAnotherProgram(moved.notMoved) &&
           waited.elapsed() < std::chrono::milliseconds(kHeldTargetWait).count())
        QThread::msleep(250);
    if (const std::error_code& error = moved.notMoved) {
        // The earlier archive stands as it was; so does its history.
        if (!kept.isEmpty())
            QFile::remove(kept);
        std::string detail = target_ + ": " + error.message();
        if (HeldByAnotherProgram(error))
            detail += " (held open by another program for " + std::to_string(kHeldTargetWait.count()) + " s)";
        return Failure{kArchiveNotSaved, detail};
    }

    // The new archive has its name: from here on the run has succeeded.
    ReplacedArchive replaced;
    replaced.kept = kept.toStdString();
    if (moved.folderNotSynced)
        AddNote(replaced.note, kFolderNotSynced,
                "fsync " + QFileInfo(target).absolutePath().toStdString() + ": " + moved.folderNotSynced.message());
    if (historyNote.empty()) {
        if (const Status pruned = PruneHistory(target, keepCopies, kept); !pruned.ok())
            AddNote(historyNote, FillIn(kHistoryNotPruned, {pruned.failure().reason}), pruned.failure().detail);
    }
    if (!historyNote.empty())
        AddNote(replaced.note, historyNote, {});
    if (!linksLeftAlone_.empty()) {
        std::string names;
        std::string paths;
        for (const std::string& link : linksLeftAlone_) {
            names.append(names.empty() ? "" : ", ")
                .append(QFileInfo(QString::fromStdString(link)).fileName().toStdString());
            paths.append(paths.empty() ? "" : "\n").append(link);
        }
        AddNote(replaced.note, FillIn(kLinksLeftAlone, {names}), paths);
    }
    return replaced;
}

} // namespace pelantra
