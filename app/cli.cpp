#include "app/cli.h"

#include <QLocale>
#include <QString>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "app/messages.h"
#include "app/version.h"
#include "backup/archive_check.h"
#include "backup/backup_run.h"
#include "backup/backup_worker.h"
#include "backup/messages.h"
#include "backup/staged_tables.h"
#include "backup/tools.h"
#include "core/database.h"
#include "core/platform.h"
#include "core/school_list.h"
#include "core/settings.h"

namespace pelantra {
namespace {

class PrintingObserver final : public BackupObserver {
public:
    PrintingObserver(std::ostream& out, bool printed, bool timed) : out_(out), printed_(printed), timed_(timed) { }

    // The writing notice and "selesai"; what the tools said goes into the
    // details of a failure, where it means something.
    void PostStatus(const std::string& text) override
    {
        if (printed_ && (text.rfind(kWritingStatus, 0) == 0 || text == kFinalStatus))
            out_ << text << std::endl;
    }
    void PostOutcome(const BackupOutcome&) override { EndStep(); }
    void PostStep(BackupStep step) override
    {
        EndStep();
        if (printed_)
            out_ << StepText(step) << std::endl;
        stepStart_ = std::chrono::steady_clock::now();
    }
    // An interruption, or an output nobody reads any more (a closed pipe).
    bool StopRequested() const override { return pelantra::StopRequested() || !out_; }

    // The seconds the step under way took, on a person's terminal.
    void EndStep()
    {
        if (!stepStart_)
            return;
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - *stepStart_;
        stepStart_.reset();
        if (!timed_ || !printed_)
            return;
        const QString seconds = QLocale(QLocale::Indonesian).toString(took.count(), 'f', 1);
        out_ << FillIn(kStepSeconds, {seconds.toStdString()}) << std::endl;
    }

private:
    std::ostream& out_;
    bool printed_;
    bool timed_;
    std::optional<std::chrono::steady_clock::time_point> stepStart_;
};

int Report(const Failure& failure, std::ostream& err)
{
    err << failure.reason << "\n";
    if (!failure.detail.empty())
        err << "\n" << failure.detail << "\n";
    return 1;
}

int UsageError(const std::string& what, std::ostream& err)
{
    err << what << "\n\n" << kUsage;
    return 2;
}

// Runs `work` on the session that setting.ini names, or reports why there is none.
int WithSession(std::ostream& err, const std::function<int(PostgreSQLSession&)>& work)
{
    PostgreSQLSession session;
    if (const Status opened = OpenDatabase(session); !opened.ok())
        return Report(opened.failure(), err);
    return work(session);
}

int ListSchools(PostgreSQLSession& session, std::ostream& out, std::ostream& err)
{
    const Result<std::vector<SchoolEntry>> schools = LoadSchoolList(session);
    if (!schools.ok())
        return Report(schools.failure(), err);
    for (const SchoolEntry& school : schools.value())
        out << school.id << '\t' << school.name << '\n';
    return 0;
}

int Backup(PostgreSQLSession& session, const std::string& schoolId, const std::string& folder, std::ostream& out,
           std::ostream& err, bool timed)
{
    PrintingObserver observer(out, true, timed);
    const BackupOutcome outcome = RunBackup(session, folder, schoolId, observer);
    observer.EndStep();
    StopHandled();
    if (!outcome.ok())
        return Report(Failure{OutcomeMessage(outcome), OutcomeDetail(outcome)}, err);
    out << OutcomeMessage(outcome) << "\n"
        << FillIn(kSchoolLine, {outcome.value().school}) << "\n"
        << outcome.value().path << "\n";
    if (!outcome.value().note.empty())
        err << outcome.value().note << "\n";
    return 0;
}

// Every school the window would list, each once, one after another.
int BackupAll(PostgreSQLSession& session, const std::string& folder, std::ostream& out, std::ostream& err)
{
    const Result<std::vector<SchoolEntry>> listed = LoadSchoolList(session);
    if (!listed.ok())
        return Report(listed.failure(), err);
    std::set<std::string> seen;
    int schools = 0;
    int succeeded = 0;
    PrintingObserver quiet(out, false, false);
    for (const SchoolEntry& school : listed.value()) {
        if (!seen.insert(school.id).second)
            continue;
        if (quiet.StopRequested())
            break;
        ++schools;
        const BackupOutcome outcome = RunBackup(session, folder, school.id, quiet);
        if (outcome.ok()) {
            ++succeeded;
            out << school.name << ": " << outcome.value().path << std::endl;
        } else {
            out << FillIn(kSchoolFailed, {school.name, outcome.failure().reason}) << std::endl;
        }
    }
    StopHandled();
    out << FillIn(kAllSchoolsCount, {std::to_string(succeeded), std::to_string(schools)}) << std::endl;
    return succeeded == schools && !quiet.StopRequested() ? 0 : 1;
}

int PrintRows(const Result<DumpFacts>& facts, const char* verdict, std::ostream& out, std::ostream& err)
{
    if (!facts.ok()) {
        // A check that could not judge the archive does not blame it.
        const std::string& reason = facts.failure().reason;
        if (!BlamesArchive(facts.failure()) && reason != kCheckStopped && reason != kArchiveNotFound)
            err << kCheckNotDone << "\n";
        return Report(facts.failure(), err);
    }
    for (std::string_view table : kStagedTables)
        out << table << '\t' << facts.value().RowsOf(table) << '\n';
    out << verdict << '\n';
    return 0;
}

int Verify(const std::string& archive, bool replay, std::ostream& out, std::ostream& err)
{
    const ConfiguredTools tools;
    if (!tools.Named().ok())
        return Report(tools.Named().failure(), err);
    const NativePath path(archive);
    ToolWatch watch;
    watch.stopRequested = [] { return pelantra::StopRequested(); };
    const int code = !replay ? PrintRows(ReadArchive(tools.Archiver(), path.Utf8(), {}, watch), kArchiveSound, out, err)
                             : WithSession(err, [&](PostgreSQLSession& session) {
                                   return PrintRows(ReplayArchive(session, tools.Archiver(), path.Utf8(), watch),
                                                    kArchiveRestorable, out, err);
                               });
    StopHandled();
    return code;
}

} // namespace

int RunCli(int argc, const char* const argv[], std::ostream& out, std::ostream& err, bool timedSteps)
{
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (args.empty())
        return UsageError(kNoCommand, err);
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return 0;
    }
    if (command == "--version") {
        out << "pelantra-cli " << kVersion << "\n";
        return 0;
    }
    if (command == "schools") {
        if (args.size() > 1)
            return UsageError(FillIn(kSchoolsTakeNoArgument, {args[1]}), err);
        return WithSession(err, [&](PostgreSQLSession& session) { return ListSchools(session, out, err); });
    }
    if (command == "backup") {
        const bool all = args.size() > 1 && args[1] == "--all";
        const std::size_t wanted = 3; // backup <id> <folder>, backup --all <folder>
        if (args.size() < wanted)
            return UsageError(all ? kBackupAllNeedsFolder : kBackupNeedsArguments, err);
        if (args.size() > wanted)
            return UsageError(FillIn(kExtraArgument, {args[wanted]}), err);
        if (args[2].empty())
            return UsageError(kEmptyFolder, err);
        if (!all && args[1].rfind("--", 0) == 0)
            return UsageError(FillIn(kUnknownOption, {args[1]}), err);
        return WithSession(err, [&](PostgreSQLSession& session) {
            return all ? BackupAll(session, args[2], out, err)
                       : Backup(session, args[1], args[2], out, err, timedSteps);
        });
    }
    if (command == "verify") {
        std::vector<std::string> rest(args.begin() + 1, args.end());
        const auto option = std::find(rest.begin(), rest.end(), "--replay");
        const bool replay = option != rest.end();
        if (replay)
            rest.erase(option);
        if (rest.empty())
            return UsageError(kVerifyNeedsArchive, err);
        if (rest.size() > 1)
            return UsageError(FillIn(kExtraArgument, {rest[1]}), err);
        if (rest[0].rfind("--", 0) == 0)
            return UsageError(FillIn(kUnknownOption, {rest[0]}), err);
        return Verify(rest[0], replay, out, err);
    }
    return UsageError(FillIn(kUnknownCommand, {command}), err);
}

} // namespace pelantra
