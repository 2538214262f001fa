#include "schedule/run_log.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "core/messages.h"
#include "core/platform.h"

namespace pelantra {
namespace {

constexpr const char* kLogFileName = "pelantra.log";
constexpr std::size_t kFieldCount = 9;
// Beside the log: the time of the newest scheduled run a window has told of.
constexpr const char* kToldFileName = "pelantra.log.told";
constexpr const char* kScheduleStart = "jadwal";

const char* StartWord(RunStart start)
{
    switch (start) {
    case RunStart::Window:
        return "jendela";
    case RunStart::CommandLine:
        return "perintah";
    case RunStart::Schedule:
        break;
    }
    return kScheduleStart;
}

// A line as AppendRunLog writes it; nothing for a line of another shape.
std::optional<RunLogEntry> ParseRunLogLine(const std::string& line)
{
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');)
        fields.push_back(cell);
    if (!line.empty() && line.back() == '\t')
        fields.emplace_back(); // the last field is empty
    if (fields.size() != kFieldCount)
        return std::nullopt;
    return RunLogEntry{fields[0], fields[1], fields[2], fields[3], fields[4],
                       fields[5], fields[6], fields[7], fields[8]};
}

} // namespace

bool RunLogEntry::Succeeded() const
{
    return !archivePath.empty(); // only a run that made its archive names one
}

std::string RunLogEntry::Line() const
{
    // Printable: a field holds no tab or line break, which would split the
    // line, nor any other control byte for the terminal of whoever reads it.
    std::string line = Printable(time);
    for (const std::string* field :
         {&start, &schoolId, &schoolName, &outcome, &archivePath, &archiveSize, &seconds, &sha256})
        line.append("\t").append(Printable(*field));
    return line + "\n";
}

std::string RunLogPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(kLogFileName).toStdString();
}

RunLogEntry MakeRunLogEntry(RunStart start, const std::string& schoolId, const std::string& schoolName,
                            const BackupOutcome& outcome, std::chrono::duration<double> took)
{
    const QDateTime now = QDateTime::currentDateTime();
    RunLogEntry entry;
    // "+00:00" rather than Qt's "Z": the offset always reads as one.
    const int offset = now.offsetFromUtc() / 60;
    entry.time = QLocale::c().toString(now, "yyyy-MM-ddTHH:mm:ss").toStdString() +
                 QString::asprintf("%c%02d:%02d", offset < 0 ? '-' : '+', std::abs(offset) / 60, std::abs(offset) % 60)
                     .toStdString();
    entry.start = StartWord(start);
    entry.schoolId = schoolId;
    entry.schoolName = outcome.ok() ? outcome.value().school : schoolName;
    entry.outcome =
        outcome.ok() ? kSuccessMessage : outcome.failure().reason.substr(0, outcome.failure().reason.find('\n'));
    entry.seconds = QLocale::c().toString(took.count(), 'f', 1).toStdString();
    if (outcome.ok()) {
        entry.archivePath = outcome.value().path;
        const NativePath archive(outcome.value().path);
        QFile file(QString::fromStdString(archive.Utf8()));
        QCryptographicHash sha256(QCryptographicHash::Sha256);
        if (file.open(QIODevice::ReadOnly) && sha256.addData(&file)) {
            entry.archiveSize = std::to_string(file.size());
            entry.sha256 = sha256.result().toHex().toStdString();
        }
    }
    return entry;
}

void AppendRunLog(const RunLogEntry& entry)
{
    const QString path = QString::fromStdString(RunLogPath());
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile log(path);
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    // One write, so that runs logging at once do not mix their lines.
    const std::string line = entry.Line();
    log.write(line.data(), static_cast<qint64>(line.size()));
}

std::vector<RunLogEntry> ReadRunLog()
{
    QFile log(QString::fromStdString(RunLogPath()));
    std::vector<RunLogEntry> entries;
    if (!log.open(QIODevice::ReadOnly))
        return entries;
    std::istringstream lines(log.readAll().toStdString());
    for (std::string line; std::getline(lines, line);) {
        if (std::optional<RunLogEntry> entry = ParseRunLogLine(line))
            entries.push_back(std::move(*entry));
    }
    return entries;
}

std::vector<RunLogEntry> TakeUntoldScheduleFailures()
{
    QFile told(QFileInfo(QString::fromStdString(RunLogPath())).absoluteDir().filePath(kToldFileName));
    const QDateTime toldUpTo = told.open(QIODevice::ReadOnly)
                                   ? QDateTime::fromString(QString::fromUtf8(told.readAll()).trimmed(), Qt::ISODate)
                                   : QDateTime();
    told.close();
    std::vector<RunLogEntry> failed;
    QString newest;
    for (const RunLogEntry& entry : ReadRunLog()) {
        const QDateTime ended = QDateTime::fromString(QString::fromStdString(entry.time), Qt::ISODate);
        if (entry.start != kScheduleStart || (toldUpTo.isValid() && ended <= toldUpTo))
            continue;
        newest = QString::fromStdString(entry.time);
        if (!entry.Succeeded())
            failed.push_back(entry);
    }
    if (!newest.isEmpty() && told.open(QIODevice::WriteOnly | QIODevice::Truncate))
        told.write(newest.toUtf8());
    return failed;
}

} // namespace pelantra
