#include "backup/archive_history.h"

#include <cstring>

#include "archive/archive_name.h"

#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <tuple>
#include <vector>

#include "backup/backup_outcome.h"
#include "backup/messages.h"
#include "core/platform.h"

namespace pelantra {
namespace {

// Names of one second tried before giving up.
constexpr int kMostCounter = 9999;

QString WithoutSuffix(const QString& archiveName)
{
    return archiveName.endsWith(kArchiveSuffix)
               ? archiveName.chopped(static_cast<qsizetype>(std::strlen(kArchiveSuffix)))
               : archiveName;
}

std::filesystem::path PathOf(const QString& path)
{
    return FileSystemPath(path.toStdString());
}

// A kept copy's name: the date, the time to the minute, the seconds (none
// in a copy named by the minute) and the counter.
QRegularExpression KeptPattern(const QString& archiveName)
{
    return QRegularExpression(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(WithoutSuffix(archiveName)) +
        "_([0-9]{4}-[0-9]{2}-[0-9]{2})_([0-9]{4})([0-9]{2})?(?:_([1-9][0-9]{0,3}))?" +
        QRegularExpression::escape(kArchiveSuffix)));
}

// What orders kept copies: the time in the name, then its counter.
using KeptOrder = std::tuple<QString, QString, QString, int>;
KeptOrder OrderOf(const QRegularExpressionMatch& name)
{
    const QString seconds = name.captured(3).isEmpty() ? QStringLiteral("00") : name.captured(3);
    return {name.captured(1), name.captured(2), seconds, name.captured(4).isEmpty() ? 1 : name.captured(4).toInt()};
}

Result<QString> HistoryFolder(const QDir& beside)
{
    const QString path = beside.filePath(kHistoryFolder);
    const QFileInfo history(path);
    if (IsLink(history))
        return Failure{kWhyHistoryIsLink, path.toStdString() + " -> " + history.symLinkTarget().toStdString()};
    if (history.exists() && !history.isDir())
        return Failure{kWhyHistoryNotFolder, path.toStdString()};
    std::error_code error;
    if (!history.exists() && !std::filesystem::create_directory(PathOf(path), error) && error)
        return Failure{WhyInIndonesian(error), path.toStdString() + ": " + error.message()};
    return path;
}

// A copy in `scratch`, of the archive's size.
Result<QString> CopyOf(const QString& archive, const QString& scratch)
{
    const QString copy = QDir(scratch).filePath(QString("riwayat") + kArchiveSuffix);
    std::error_code error;
    std::filesystem::copy_file(PathOf(archive), PathOf(copy), std::filesystem::copy_options::overwrite_existing, error);
    if (error)
        return Failure{WhyInIndonesian(error), copy.toStdString() + ": " + error.message()};
    const qint64 expected = QFileInfo(archive).size();
    if (const qint64 copied = QFileInfo(copy).size(); copied != expected) {
        QFile::remove(copy);
        return Failure{kWhyCopyShort, copy.toStdString() + ": " + std::to_string(copied) + " of " +
                                          std::to_string(expected) + " bytes"};
    }
    return copy;
}

} // namespace

bool IsLink(const QFileInfo& entry)
{
    return entry.isSymLink() || entry.isJunction();
}

Result<QString> KeepEarlierArchive(const QString& archive, const QString& scratch, KeepBy how)
{
    const QFileInfo earlier(archive);
    const Result<QString> folder = HistoryFolder(earlier.absoluteDir());
    if (!folder.ok())
        return folder.failure();
    const QDir history(folder.value());
    const QString stem = WithoutSuffix(earlier.fileName()) + "_" +
                         QLocale::c().toString(earlier.lastModified().toLocalTime(), "yyyy-MM-dd_HHmmss");

    // After the highest counter of that second, so that the newest orders last.
    const QRegularExpression pattern = KeptPattern(earlier.fileName());
    int counter = 1;
    for (const QString& name : history.entryList(QDir::AllEntries | QDir::System | QDir::Hidden)) {
        const QRegularExpressionMatch match = pattern.match(name);
        if (match.hasMatch() && name.startsWith(stem))
            counter = std::max(counter, std::get<3>(OrderOf(match)) + 1);
    }
    const bool linked = how == KeepBy::LinkOrCopy;
    std::optional<QString> copy;
    for (; counter <= kMostCounter; ++counter) {
        const QString kept =
            history.filePath(stem + (counter == 1 ? QString() : "_" + QString::number(counter)) + kArchiveSuffix);
        if (linked && !copy) {
            // Made in place: renaming a link to a file that another program
            // holds open would wait for that program, as the replace does.
            std::error_code error;
            std::filesystem::create_hard_link(PathOf(archive), PathOf(kept), error);
            if (!error)
                return kept;
            if (error == std::errc::file_exists)
                continue;
        }
        if (!copy) {
            const Result<QString> made = CopyOf(archive, scratch);
            if (!made.ok())
                return made.failure();
            copy = made.value();
        }
        const FileMove moved = MoveToFreeName(copy->toStdString(), kept.toStdString());
        if (!moved.notMoved)
            return kept;
        if (moved.notMoved != std::errc::file_exists)
            return Failure{WhyInIndonesian(moved.notMoved), kept.toStdString() + ": " + moved.notMoved.message()};
    }
    return Failure{kWhyNoFreeName, history.filePath(stem).toStdString()};
}

Status PruneHistory(const QString& archive, int keep, const QString& keptNow)
{
    const QFileInfo info(archive);
    const QDir history(info.absoluteDir().filePath(kHistoryFolder));
    if (IsLink(QFileInfo(history.path())) || !QFileInfo(history.path()).isDir())
        return {};
    const QRegularExpression pattern = KeptPattern(info.fileName());
    std::vector<std::pair<KeptOrder, QString>> kept;
    std::string links;
    for (const QString& name : history.entryList(QDir::AllEntries | QDir::System | QDir::Hidden)) {
        const QRegularExpressionMatch match = pattern.match(name);
        if (!match.hasMatch())
            continue;
        const QFileInfo entry(history.filePath(name));
        if (IsLink(entry))
            links.append(links.empty() ? "" : "\n").append(entry.filePath().toStdString());
        else if (entry.isFile() && entry.filePath() != QFileInfo(keptNow).filePath())
            kept.emplace_back(OrderOf(match), name);
    }
    std::sort(kept.begin(), kept.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::string left;
    const std::size_t stay = static_cast<std::size_t>(std::max(0, keep - (keptNow.isEmpty() ? 0 : 1)));
    for (std::size_t i = stay; i < kept.size(); ++i) {
        std::error_code error;
        if (!std::filesystem::remove(PathOf(history.filePath(kept[i].second)), error) && error) {
            if (left.empty())
                left = WhyInIndonesian(error);
            left.append("\n").append(kept[i].second.toStdString()).append(": ").append(error.message());
        }
    }
    if (!left.empty()) {
        const std::size_t line = left.find('\n');
        return Failure{left.substr(0, line), left.substr(line + 1) + (links.empty() ? "" : "\n" + links)};
    }
    if (!links.empty())
        return Failure{kWhyKeptIsLink, links};
    return {};
}

} // namespace pelantra
