#include "backup/archive_history.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "core/platform.h"

namespace pelantra {
namespace {

constexpr const char* kArchiveSuffix = ".std";

QString WithoutSuffix(const QString& archiveName)
{
    return archiveName.endsWith(kArchiveSuffix) ? archiveName.chopped(4) : archiveName;
}

Result<QString> CopyInto(const QString& archive, const QString& scratch, const QString& kept)
{
    const QString copy = QDir(scratch).filePath("riwayat.std");
    QFile::remove(copy);
    QFile source(archive);
    if (!source.copy(copy))
        return Failure{source.errorString().toStdString(), {}};
    const qint64 expected = QFileInfo(archive).size();
    if (const qint64 copied = QFileInfo(copy).size(); copied != expected) {
        QFile::remove(copy);
        return Failure{"copy has " + std::to_string(copied) + " of " + std::to_string(expected) + " bytes", {}};
    }
    if (const std::error_code error = ReplaceFile(copy.toStdString(), kept.toStdString()))
        return Failure{error.message(), {}};
    return kept;
}

QString HistoryName(const QString& archiveName, const QDateTime& modified)
{
    return WithoutSuffix(archiveName) + "_" + QLocale::c().toString(modified.toLocalTime(), "yyyy-MM-dd_HHmm") +
           kArchiveSuffix;
}

} // namespace

Result<QString> KeepEarlierArchive(const QString& archive, const QString& scratch, KeepBy how)
{
    const QFileInfo earlier(archive);
    const QDir folder = earlier.absoluteDir();
    if (!folder.mkpath(kHistoryFolder) || !QFileInfo(folder.filePath(kHistoryFolder)).isDir())
        return Failure{"folder " + folder.filePath(kHistoryFolder).toStdString() + " cannot be made", {}};
    const QString kept = QDir(folder.filePath(kHistoryFolder)).filePath(HistoryName(earlier.fileName(), earlier.lastModified()));
    if (how == KeepBy::LinkOrCopy) {
        // Made in place: renaming a link to a file that another program
        // holds open would wait for that program, as the replace does.
        QFile::remove(kept);
        std::error_code error;
        std::filesystem::create_hard_link(FileSystemPath(archive.toStdString()), FileSystemPath(kept.toStdString()),
                                          error);
        if (!error)
            return kept;
    }
    return CopyInto(archive, scratch, kept);
}

Status PruneHistory(const QString& archive, int keep)
{
    const QFileInfo info(archive);
    const QDir history(info.absoluteDir().filePath(kHistoryFolder));
    if (!history.exists())
        return {};
    const QRegularExpression pattern("^" + QRegularExpression::escape(WithoutSuffix(info.fileName())) +
                                     "_[0-9]{4}-[0-9]{2}-[0-9]{2}_[0-9]{4}\\.std$");
    QStringList kept = history.entryList(QDir::Files | QDir::Hidden).filter(pattern);
    // The time in the name orders them: the newest first.
    std::sort(kept.begin(), kept.end(), std::greater<>());
    std::string left;
    for (qsizetype i = keep; i < kept.size(); ++i) {
        if (QFile file(history.filePath(kept[i])); !file.remove())
            left += (left.empty() ? "" : "; ") + kept[i].toStdString() + ": " + file.errorString().toStdString();
    }
    if (!left.empty())
        return Failure{left, {}};
    return {};
}

} // namespace pelantra
