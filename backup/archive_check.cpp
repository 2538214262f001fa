#include "backup/archive_check.h"

#include <QElapsedTimer>

#include <optional>

#include "backup/archive.h"
#include "backup/staged_tables.h"
#include "backup/staging.h"
#include "core/database.h"

namespace pelantra {
namespace {

constexpr const char* kScratchSchema = "pelantra_uji";
constexpr const char* kWrongPassword = "Arsip tidak dapat dibuka dengan kata sandi program";
constexpr const char* kDamaged = "Arsip rusak atau tidak lengkap";
constexpr const char* kUnreadable = "Isi arsip tidak dapat dibaca";
// How every rewritten dump begins.
constexpr std::string_view kDumpOpening = "--\n-- Kartesa Ombralu\n";
constexpr const char* kNotRestorable = "Isi arsip tidak dapat dipulihkan";
constexpr std::size_t kBatchBytes = 1 << 20;
constexpr int kSliceMs = 100;

bool IsPasswordComplaint(const std::string& output)
{
    return output.find("Wrong password") != std::string::npos;
}

} // namespace

Result<DumpFacts> ReadArchive(const std::string& archiver, const std::string& archivePath,
                              const StatementSink& statements, const ToolWatch& watch,
                              const std::function<void()>& opened)
{
    const ToolResult list = RunTool({archiver, {"l", "-slt", kPasswordSwitch, archivePath}, {}}, watch);
    if (list.status == ToolResult::Status::FailedToStart)
        return Failure{CannotStartReason("pengarsip", archiver), list.Detail(archiver)};
    // The listing needs the password only where the names are encrypted too.
    if (!list.ExitedWith(0))
        return Failure{IsPasswordComplaint(list.output) ? kWrongPassword : kDamaged, list.Detail(archiver)};
    const std::vector<ArchiveMember> members = ParseTechnicalListing(list.output);
    if (members.size() != 1 || members.front().path != kMemberName)
        return Failure{"Arsip harus berisi tepat satu berkas kartesa2014.sql", list.Detail(archiver)};
    if (!members.front().encrypted)
        return Failure{"Arsip tidak terkunci dengan kata sandi", list.Detail(archiver)};
    if (opened)
        opened();

    ToolProcess extract({archiver, {"x", "-so", kPasswordSwitch, archivePath, kMemberName}, {}},
                        ToolProcess::Channels::Separate);
    if (!extract.Started())
        return Failure{kUnreadable, extract.Stop(ToolResult::Status::Stopped).Detail(archiver)};
    DumpCheck check(statements);
    std::optional<Failure> rejected; // the dump's fault; the data is still read to its end
    std::string opening;
    QProcess& process = extract.Process();
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    for (;;) {
        if (watch.StopRequested())
            return Failure{"Pemeriksaan dihentikan", {}};
        const QByteArray chunk = process.read(1 << 16);
        if (!chunk.isEmpty()) {
            sinceProgress.restart();
            const std::string_view piece(chunk.constData(), chunk.size());
            if (opening.size() < kDumpOpening.size())
                opening.append(piece.substr(0, kDumpOpening.size() - opening.size()));
            if (!rejected) {
                if (Status fed = check.Feed(piece); !fed.ok())
                    rejected = fed.failure();
            }
            continue;
        }
        if (process.state() == QProcess::NotRunning && process.bytesAvailable() == 0)
            break;
        if (extract.CollectMessages())
            sinceProgress.restart();
        if (!process.waitForReadyRead(kSliceMs) && sinceProgress.elapsed() > watch.stallLimit.count())
            return Failure{kUnreadable, extract.Stop(ToolResult::Status::Stalled).Detail(archiver)};
    }
    const ToolResult extracted = extract.Finish(watch);
    if (!extracted.ExitedWith(0)) {
        // 7za blames the password for damaged data as well. Data that began
        // as a dump did open with the password: a wrong one yields nothing
        // of it, a damaged archive fails on the way.
        if (opening == kDumpOpening)
            return Failure{kDamaged, extracted.Detail(archiver)};
        return Failure{IsPasswordComplaint(extracted.output) ? kWrongPassword : kUnreadable, extracted.Detail(archiver)};
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
    const Transaction scratch(session, "BEGIN"); // never committed
    if (!scratch.Begun())
        return Failure{kNotRestorable, scratch.ErrorText()};
    Sql sql(session);
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
        if (!sql.Query("SELECT count(*) FROM " + std::string(kScratchSchema) + "." + name) || !sql.Fetch())
            return Failure{kNotRestorable, sql.ErrorText()};
        const auto found = read.value().rows.find(table);
        const std::string expected = std::to_string(found == read.value().rows.end() ? 0 : found->second);
        if (sql[0] != expected)
            return Failure{"Jumlah baris setelah pemulihan tidak sesuai",
                           "table " + name + ": " + expected + " rows in the archive, " + sql[0] + " restored"};
    }
    return read;
}

} // namespace pelantra
