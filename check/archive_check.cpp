#include "check/archive_check.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <chrono>
#include <map>
#include <optional>

#include "archive/archive_format.h"
#include "archive/messages.h"
#include "archive/server_sql.h"
#include "archive/staged_tables.h"
#include "check/messages.h"
#include "core/backup_lock.h"
#include "core/database.h"
#include "core/messages.h"
#include "tools/tools.h"

namespace pelantra {
namespace {

constexpr const char* kScratchSchema = "pelantra_uji";
constexpr const char* kCheckRolePrefix = "pelantra_uji_";
// A row takes milliseconds; a statement that takes this long is held up by
// something that has no place in a check.
constexpr std::chrono::milliseconds kReplayStatementTimeout = std::chrono::minutes(1);
constexpr std::chrono::milliseconds kReplayLockTimeout = std::chrono::seconds(10);
// Rows of one table go to the server together, up to these bounds.
constexpr std::size_t kBatchRows = 1000;
constexpr std::size_t kBatchBytes = 1 << 20;
constexpr std::size_t kMaxParams = 65535; // the protocol's limit
// After a refusal the rest is still read, so that 7za can tell damage from
// a forged text, but no more than this: a forged archive may unpack to
// anything.
constexpr std::size_t kReadAfterRefusal = std::size_t(64) << 20;
// The largest dump a check takes: some five times the largest school
// measured (214 MiB), so that a small archive that unpacks to gigabytes
// cannot keep the school's server busy under the backup lock.
constexpr std::uint64_t kMemberSizeCap = std::uint64_t(1) << 30;
constexpr std::uint64_t kMiB = std::uint64_t(1) << 20;

bool IsPasswordComplaint(const std::string& output)
{
    return output.find("Wrong password") != std::string::npos;
}

// A file that begins as a 7z archive does; one that does not is no archive
// of ours, however it ends.
bool StartsAsSevenZip(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) && file.read(6) == QByteArray("7z\xBC\xAF\x27\x1C", 6);
}

Failure NotOurs(const char* why, const std::string& detail)
{
    return Failure{kNotOurArchive, std::string(why) + "\n\n" + detail, FailureKind::ArchiveFault};
}

// The columns of each scratch table, as the server quotes them.
using ScratchColumns = std::map<std::string, std::map<std::string, std::string>, std::less<>>;

Result<ScratchColumns> LoadScratchColumns(Sql& sql)
{
    if (!sql.Query("SELECT c.relname, a.attname, quote_ident(a.attname) FROM pg_attribute a "
                   "JOIN pg_class c ON c.oid = a.attrelid JOIN pg_namespace n ON n.oid = c.relnamespace "
                   "WHERE n.nspname = $1 AND c.relkind = 'r' AND a.attnum > 0 AND NOT a.attisdropped",
                   {kScratchSchema}))
        return Failure{kScratchNotReady, sql.ErrorText()};
    ScratchColumns columns;
    while (sql.Fetch())
        columns[sql[0]].emplace(sql[1], sql[2]);
    return columns;
}

// Consecutive rows of one table and column list, inserted as one statement
// of our own whose values are all bound. A column given DEFAULT is left out
// of the statement, which means the same and, unlike DEFAULT in a list of
// several rows, works for a generated column on every server.
class ReplayBatch {
public:
    ReplayBatch(Sql& sql, const ScratchColumns& columns, const ToolWatch& watch)
        : sql_(sql), columns_(columns), watch_(watch)
    {
    }

    Status Add(const ArchiveRow& row)
    {
        std::string shape(row.table);
        for (std::size_t i = 0; i < row.columns.size(); ++i)
            shape.append(1, '\0').append(row.columns[i]).append(IsDefault(row, i) ? "\1" : "");
        shape.append(row.overridingSystemValue ? "\2" : "\3");
        if (shape != shape_ || rows_ == (defaultsOnly_ ? 1 : kBatchRows) ||
            params_.size() + row.values.size() > kMaxParams || bytes_ > kBatchBytes) {
            if (Status flushed = Flush(); !flushed.ok())
                return flushed;
            if (Status begun = Begin(row); !begun.ok())
                return begun;
            shape_ = std::move(shape);
        }
        ++rows_;
        if (defaultsOnly_)
            return {};
        tuples_.append(rows_ == 1 ? "(" : ",(");
        bool first = true;
        for (const ArchiveRow::Value& value : row.values) {
            if (value.kind == ArchiveRow::Value::Kind::Default)
                continue;
            tuples_.append(first ? "" : ",");
            first = false;
            if (value.kind == ArchiveRow::Value::Kind::Null) {
                tuples_.append("NULL");
                continue;
            }
            params_.emplace_back(std::string(value.text));
            tuples_.append("$").append(std::to_string(params_.size())).append(TypeOf(value.kind));
            bytes_ += value.text.size();
        }
        tuples_.append(")");
        return {};
    }

    Status Flush()
    {
        if (rows_ == 0)
            return {};
        const bool done = sql_.Execute(head_ + tuples_, params_);
        tuples_.clear();
        params_.clear();
        rows_ = 0;
        bytes_ = 0;
        if (done)
            return {};
        if (watch_.StopRequested())
            return Failure{kCheckStopped, {}, FailureKind::Stopped};
        return Failure{kNotRestorable, sql_.ErrorText() + "\n" + FillIn(kFromLine, {std::to_string(firstLine_)}),
                       FailureKind::ArchiveFault};
    }

private:
    // A bound value typed as the constant it was in the dump, so that the
    // column takes it as a restore of the dump would: a quoted string stays
    // untyped for the column to read, 1e2 into a text column is 100, and a
    // bare 1 into a boolean or 20100101 into a date fails.
    static const char* TypeOf(ArchiveRow::Value::Kind kind)
    {
        switch (kind) {
        case ArchiveRow::Value::Kind::Integer:
            return "::integer";
        case ArchiveRow::Value::Kind::BigInteger:
            return "::bigint";
        case ArchiveRow::Value::Kind::Numeric:
            return "::numeric";
        case ArchiveRow::Value::Kind::Boolean:
            return "::boolean";
        default:
            return "";
        }
    }

    static bool IsDefault(const ArchiveRow& row, std::size_t i)
    {
        return row.values[i].kind == ArchiveRow::Value::Kind::Default;
    }

    Status Begin(const ArchiveRow& row)
    {
        const auto table = columns_.find(row.table);
        if (table == columns_.end())
            return Failure{kNotRestorable, FillIn(kNoSuchTable, {row.table}), FailureKind::ArchiveFault};
        std::string list;
        for (std::size_t i = 0; i < row.columns.size(); ++i) {
            const auto column = table->second.find(row.columns[i]);
            if (column == table->second.end())
                return Failure{kNotRestorable,
                               FillIn(kNoSuchColumn, {row.columns[i], row.table, std::to_string(row.line)}),
                               FailureKind::ArchiveFault};
            if (!IsDefault(row, i))
                list.append(list.empty() ? "" : ",").append(column->second);
        }
        head_ = std::string("INSERT INTO ") + kScratchSchema + "." + std::string(row.table);
        // A row of defaults only has a statement of its own.
        defaultsOnly_ = list.empty();
        if (defaultsOnly_)
            head_.append(" DEFAULT VALUES");
        else
            head_.append(" (" + list + (row.overridingSystemValue ? ") OVERRIDING SYSTEM VALUE VALUES " : ") VALUES "));
        firstLine_ = row.line;
        return {};
    }

    Sql& sql_;
    const ScratchColumns& columns_;
    const ToolWatch& watch_;
    std::string shape_;
    std::string head_;
    std::string tuples_;
    SqlParams params_;
    std::size_t rows_ = 0;
    bool defaultsOnly_ = false;
    std::size_t bytes_ = 0;
    std::uint64_t firstLine_ = 0;
};

// The scratch tables, and the role the rows go in as: it may use the scratch
// schema and insert into its tables, and nothing else. All of it lives only
// in the transaction.
Status PrepareScratch(Sql& sql, const ServerSql& server, const std::string& role)
{
    std::string script = "SET LOCAL statement_timeout = " + std::to_string(kReplayStatementTimeout.count()) + ";";
    if (const auto lockTimeout = server.LockTimeout(kReplayLockTimeout))
        script.append(*lockTimeout).append(";");
    script.append("CREATE SCHEMA ").append(kScratchSchema).append(";");
    for (std::string_view table : kStagedTables)
        script.append(server.CreateScratchTable(kScratchSchema, table)).append(";");
    script.append("CREATE ROLE ").append(role).append(" NOLOGIN;");
    script.append("GRANT USAGE ON SCHEMA ").append(kScratchSchema).append(" TO ").append(role).append(";");
    script.append("GRANT INSERT ON ALL TABLES IN SCHEMA ").append(kScratchSchema).append(" TO ").append(role);
    if (!sql.ExecuteScript(script))
        return Failure{kScratchNotReady, sql.ErrorText()};
    return {};
}

std::string NewCheckRole()
{
    return kCheckRolePrefix + QString::number(QRandomGenerator::system()->generate64(), 16).toStdString();
}

} // namespace

Result<DumpFacts> ReadArchive(const std::string& archiver, const std::string& archivePath, const RowSink& rows,
                              const ToolWatch& watch, const std::function<void()>& opened)
{
    if (!QFileInfo(QString::fromStdString(archivePath)).isFile())
        return Failure{kArchiveNotFound, archivePath, FailureKind::ArchiveMissing};
    const ArchiveListing listing = ListArchive(archiver, archivePath, watch);
    const ToolResult& list = listing.run;
    if (list.ending == ToolResult::Ending::FailedToStart)
        return Failure{ToolCannotStart("pengarsip", archiver), list.Detail(archiver)};
    // The listing needs the password only where the names are encrypted too.
    if (!list.ExitedWith(0)) {
        if (IsPasswordComplaint(list.output))
            return NotOurs(kWhyOtherPassword, list.Detail(archiver));
        if (!StartsAsSevenZip(archivePath))
            return NotOurs(kWhyNotAnArchive, list.Detail(archiver));
        return Failure{kArchiveDamaged, list.Detail(archiver), FailureKind::ArchiveFault};
    }
    if (listing.type != "7z")
        return NotOurs(kWhyNotAnArchive, list.Detail(archiver));
    if (!listing.soleMember)
        return NotOurs(kWhyOtherMembers, list.Detail(archiver));
    if (!listing.soleMember->encrypted)
        return NotOurs(kWhyNotLocked, list.Detail(archiver));
    const std::uint64_t declared = listing.soleMember->size;
    if (declared > kMemberSizeCap)
        return Failure{kMemberTooLarge + FillIn(kMemberSizes, {std::to_string((declared + kMiB - 1) / kMiB),
                                                               std::to_string(kMemberSizeCap / kMiB)}),
                       std::to_string(declared) + " byte", FailureKind::ArchiveFault};
    if (opened)
        opened();

    ToolProcess extract({archiver, {"x", "-so", kPasswordSwitch, "--", archivePath, kMemberName}, {}},
                        ToolProcess::Channels::Separate);
    if (!extract.Started())
        return Failure{ToolCannotStart("pengarsip", archiver),
                       extract.Stop(ToolResult::Ending::Stopped).Detail(archiver)};
    ArchiveGrammar grammar(rows);
    std::optional<Failure> rejected; // the dump's fault
    std::size_t readAfterRefusal = 0;
    std::uint64_t read = 0;
    const std::string dumpOpening = "--\n" + std::string(kDumpTitle) + "\n";
    std::string opening;
    const auto take = [&](std::string_view piece) {
        if (opening.size() < dumpOpening.size())
            opening.append(piece.substr(0, dumpOpening.size() - opening.size()));
        if ((read += piece.size()) > declared) {
            rejected = Failure{kArchiveDamaged, FillIn(kLongerThanListed, {std::to_string(declared)}),
                               FailureKind::ArchiveFault};
            return false;
        }
        if (rejected)
            return (readAfterRefusal += piece.size()) < kReadAfterRefusal;
        if (Status fed = grammar.Feed(piece); !fed.ok())
            rejected = fed.failure();
        return true;
    };
    switch (extract.ReadOutput(watch, take)) {
    case ToolProcess::Reading::Ended:
        break;
    case ToolProcess::Reading::Refused:
        extract.Stop(ToolResult::Ending::Stopped);
        return *rejected;
    case ToolProcess::Reading::StopRequested:
        return Failure{kCheckStopped, {}, FailureKind::Stopped};
    case ToolProcess::Reading::Stalled:
        return Failure{kArchiveUnreadable, extract.Stop(ToolResult::Ending::Stalled).Detail(archiver),
                       FailureKind::ArchiveFault};
    }
    const ToolResult extracted = extract.Finish(watch);
    if (!extracted.ExitedWith(0)) {
        // 7za blames the password for damaged data as well. Data that began
        // as a dump did open with the password: a wrong one yields nothing
        // of it, a damaged archive fails on the way.
        if (opening == dumpOpening)
            return Failure{kArchiveDamaged, extracted.Detail(archiver), FailureKind::ArchiveFault};
        if (IsPasswordComplaint(extracted.output))
            return NotOurs(kWhyOtherPassword, extracted.Detail(archiver));
        return Failure{kArchiveUnreadable, extracted.Detail(archiver), FailureKind::ArchiveFault};
    }
    if (rejected)
        return *rejected;
    if (Status finished = grammar.Finish(); !finished.ok())
        return finished.failure();
    if (!grammar.Facts().complete)
        return Failure{kArchiveDamaged, FillIn(kNoClosingLine, {kDumpClosingTitle}), FailureKind::ArchiveFault};
    if (const std::uint64_t schools = grammar.Facts().RowsOf(kSchoolTable); schools != 1)
        return Failure{kNotOneSchool, FillIn(kSchoolRowCount, {std::to_string(schools)}), FailureKind::ArchiveFault};
    DumpFacts facts = grammar.Facts();
    facts.packedAt = listing.soleMember->modified;
    return facts;
}

namespace {

Result<DumpFacts> Replay(PostgreSQLSession& session, const std::string& archiver, const std::string& archivePath,
                         const ToolWatch& watch, const std::function<void()>& opened)
{
    Result<BackupLock> lock = BackupLock::Take(session);
    if (!lock.ok())
        return lock.failure();
    Transaction sql(session); // never committed
    // Goes before the transaction does, so that its rollback is never cancelled.
    const ServerWaitScope stoppable(session, [&watch] { return watch.StopRequested(); });
    if (!sql.Begun())
        return Failure{kScratchNotReady, sql.ErrorText()};
    const std::string role = NewCheckRole();
    if (Status prepared = PrepareScratch(sql, ServerSql(session.ServerVersion()), role); !prepared.ok())
        return prepared.failure();
    const Result<ScratchColumns> columns = LoadScratchColumns(sql);
    if (!columns.ok())
        return columns.failure();
    if (!sql.Execute("SET LOCAL ROLE " + role))
        return Failure{kScratchNotReady, sql.ErrorText()};

    ReplayBatch batch(sql, columns.value(), watch);
    const Result<DumpFacts> read = ReadArchive(
        archiver, archivePath, [&batch](const ArchiveRow& row) { return batch.Add(row); }, watch, opened);
    if (!read.ok())
        return read;
    if (Status flushed = batch.Flush(); !flushed.ok())
        return flushed.failure();

    if (!sql.Execute("RESET ROLE"))
        return Failure{kScratchNotReady, sql.ErrorText()};
    for (std::string_view table : kStagedTables) {
        const std::string name(table);
        const auto restored =
            sql.QueryValue<std::uint64_t>("SELECT count(*) FROM " + std::string(kScratchSchema) + "." + name);
        if (!restored.ok())
            return Failure{kScratchNotReady, restored.failure().detail};
        const std::uint64_t expected = read.value().RowsOf(table);
        if (restored.value() != expected)
            return Failure{kRowsDiffer,
                           FillIn(kRowsDifferDetail,
                                  {name, std::to_string(expected), std::to_string(restored.value().value_or(0))}),
                           FailureKind::ArchiveFault};
    }
    return read;
}

} // namespace

Result<DumpFacts> ReplayArchive(PostgreSQLSession& session, const std::string& archiver, const std::string& archivePath,
                                const ToolWatch& watch, const std::function<void()>& opened)
{
    const Result<DumpFacts> replayed = Replay(session, archiver, archivePath, watch, opened);
    if (replayed.ok())
        return replayed;
    // A statement that failed because the server went away or was told to
    // stop says nothing about the archive.
    if (watch.StopRequested())
        return Failure{kCheckStopped, {}, FailureKind::Stopped};
    if (!session.Connected())
        return Failure{kServerUnreachable, "127.0.0.1 port " + session.Port() + ": " + replayed.failure().detail,
                       FailureKind::ServerUnreachable};
    return replayed;
}

} // namespace pelantra
