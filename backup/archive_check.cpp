#include "backup/archive_check.h"

#include <optional>

#include "backup/archive.h"
#include "backup/messages.h"
#include "backup/staged_tables.h"
#include "backup/staging.h"
#include "backup/tools.h"
#include "core/database.h"

namespace pelantra {
namespace {

constexpr const char* kScratchSchema = "pelantra_uji";
constexpr std::size_t kBatchBytes = 1 << 20;

bool IsPasswordComplaint(const std::string& output)
{
    return output.find("Wrong password") != std::string::npos;
}

} // namespace

Result<DumpFacts> ReadArchive(const std::string& archiver, const std::string& archivePath,
                              const StatementSink& statements, const ToolWatch& watch,
                              const std::function<void()>& opened)
{
    const ArchiveListing listing = ListArchive(archiver, archivePath, watch);
    const ToolResult& list = listing.run;
    if (list.status == ToolResult::Status::FailedToStart)
        return Failure{ToolCannotStart("pengarsip", archiver), list.Detail(archiver)};
    // The listing needs the password only where the names are encrypted too.
    if (!list.ExitedWith(0))
        return Failure{IsPasswordComplaint(list.output) ? kWrongPassword : kArchiveDamaged, list.Detail(archiver)};
    if (!listing.soleMember)
        return Failure{kNotTheOneMember, list.Detail(archiver)};
    if (!listing.soleMember->encrypted)
        return Failure{kArchiveNotLocked, list.Detail(archiver)};
    if (opened)
        opened();

    ToolProcess extract({archiver, {"x", "-so", kPasswordSwitch, archivePath, kMemberName}, {}},
                        ToolProcess::Channels::Separate);
    if (!extract.Started())
        return Failure{kArchiveUnreadable, extract.Stop(ToolResult::Status::Stopped).Detail(archiver)};
    DumpCheck check(statements);
    std::optional<Failure> rejected; // the dump's fault; the data is still read to its end
    const std::string dumpOpening = "--\n" + std::string(kDumpTitle) + "\n";
    std::string opening;
    const auto take = [&](std::string_view piece) {
        if (opening.size() < dumpOpening.size())
            opening.append(piece.substr(0, dumpOpening.size() - opening.size()));
        if (!rejected) {
            if (Status fed = check.Feed(piece); !fed.ok())
                rejected = fed.failure();
        }
        return true;
    };
    switch (extract.ReadOutput(watch, take)) {
    case ToolProcess::Reading::Ended:
    case ToolProcess::Reading::Refused:
        break;
    case ToolProcess::Reading::StopRequested:
        return Failure{kCheckStopped, {}};
    case ToolProcess::Reading::Stalled:
        return Failure{kArchiveUnreadable, extract.Stop(ToolResult::Status::Stalled).Detail(archiver)};
    }
    const ToolResult extracted = extract.Finish(watch);
    if (!extracted.ExitedWith(0)) {
        // 7za blames the password for damaged data as well. Data that began
        // as a dump did open with the password: a wrong one yields nothing
        // of it, a damaged archive fails on the way.
        if (opening == dumpOpening)
            return Failure{kArchiveDamaged, extracted.Detail(archiver)};
        return Failure{IsPasswordComplaint(extracted.output) ? kWrongPassword : kArchiveUnreadable,
                       extracted.Detail(archiver)};
    }
    if (rejected)
        return *rejected;
    if (Status finished = check.Finish(); !finished.ok())
        return finished.failure();
    return check.Facts();
}

Result<DumpFacts> ReplayArchive(PostgreSQLSession& session, const std::string& archiver, const std::string& archivePath,
                                const ToolWatch& watch, const std::function<void()>& opened)
{
    Result<BackupLock> lock = BackupLock::Take(session);
    if (!lock.ok())
        return lock.failure();
    Transaction sql(session); // never committed
    if (!sql.Begun())
        return Failure{kNotRestorable, sql.ErrorText()};
    std::string layout = std::string("CREATE SCHEMA ") + kScratchSchema + ";";
    for (std::string_view table : kStagedTables)
        layout.append("CREATE TABLE ")
            .append(kScratchSchema)
            .append(".")
            .append(table)
            .append(" (LIKE public.")
            .append(table)
            .append(" INCLUDING ALL);");
    layout.append("SET LOCAL search_path = ").append(kScratchSchema);
    if (!sql.ExecuteScript(layout))
        return Failure{kNotRestorable, sql.ErrorText()};

    std::string batch;
    auto flush = [&]() -> Status {
        if (!batch.empty() && !sql.ExecuteScript(batch))
            return Failure{kNotRestorable, sql.ErrorText()};
        batch.clear();
        return {};
    };
    const auto replay = [&](std::string_view statement) -> Status {
        batch.append(statement);
        return batch.size() < kBatchBytes ? Status() : flush();
    };
    const Result<DumpFacts> read = ReadArchive(archiver, archivePath, replay, watch, opened);
    if (!read.ok())
        return read;
    if (Status flushed = flush(); !flushed.ok())
        return flushed.failure();

    for (std::string_view table : kStagedTables) {
        const std::string name(table);
        const auto restored =
            sql.QueryValue<std::uint64_t>("SELECT count(*) FROM " + std::string(kScratchSchema) + "." + name);
        if (!restored.ok())
            return Failure{kNotRestorable, restored.failure().detail};
        const std::uint64_t expected = read.value().RowsOf(table);
        if (restored.value() != expected)
            return Failure{kRowsDiffer, "table " + name + ": " + std::to_string(expected) + " rows in the archive, " +
                                            std::to_string(restored.value().value_or(0)) + " restored"};
    }
    return read;
}

} // namespace pelantra
