#include "app/cli.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QString>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <functional>
#include <limits>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/messages.h"
#include "app/version.h"
#include "archive/staged_tables.h"
#include "backup/backup_run.h"
#include "backup/backup_worker.h"
#include "backup/messages.h"
#include "check/archive_check.h"
#include "check/messages.h"
#include "core/database.h"
#include "core/indonesian_time.h"
#include "core/platform.h"
#include "core/school_list.h"
#include "core/settings.h"
#include "schedule/run_log.h"
#include "schedule/schedule.h"
#include "tools/tools.h"

namespace pelantra {
namespace {

using Clock = std::chrono::steady_clock;

class PrintingObserver final : public BackupObserver {
public:
    PrintingObserver(std::ostream& out, bool printed, bool timed) : out_(out), printed_(printed), timed_(timed) { }

    // The writing notice and "selesai"; what the tools said goes into the
    // details of a failure, where it means something.
    void PostStatus(const std::string& text) override
    {
        if (printed_ && (text.rfind(kWritingStatus, 0) == 0 || text == kFinalStatus))
            out_ << Printable(text) << std::endl;
    }
    void PostOutcome(const BackupOutcome&) override { EndStep(); }
    void PostStep(BackupStep step) override
    {
        EndStep();
        if (printed_)
            out_ << StepText(step) << std::endl;
        stepStart_ = Clock::now();
    }
    // An interruption, or an output nobody reads any more (a closed pipe).
    bool StopRequested() const override { return pelantra::StopRequested() || !out_; }

    // The seconds the step under way took, on a person's terminal.
    void EndStep()
    {
        if (!stepStart_)
            return;
        const std::chrono::duration<double> took = Clock::now() - *stepStart_;
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
    std::optional<Clock::time_point> stepStart_;
};

// `text` line by line as Printable makes it: a detail may quote what an
// archive or the database holds.
std::string PrintableLines(std::string_view text)
{
    std::string shown;
    for (std::size_t from = 0; from <= text.size();) {
        const std::size_t end = std::min(text.find('\n', from), text.size());
        shown.append(Printable(text.substr(from, end - from)));
        if (end < text.size())
            shown.push_back('\n');
        from = end + 1;
    }
    return shown;
}

int Report(const Failure& failure, std::ostream& err)
{
    err << PrintableLines(failure.reason) << "\n";
    if (!failure.detail.empty())
        err << "\n" << PrintableLines(failure.detail) << "\n";
    return 1;
}

int UsageError(const std::string& what, std::ostream& err);

// Runs `work` on the session that setting.ini names, or reports why there
// is none, which `noSession` hears of first.
int WithSession(std::ostream& err, const std::function<int(PostgreSQLSession&)>& work,
                const std::function<void(const Failure&)>& noSession = {})
{
    PostgreSQLSession session;
    if (const Status opened = OpenDatabase(session); !opened.ok()) {
        if (noSession)
            noSession(opened.failure());
        return Report(opened.failure(), err);
    }
    return work(session);
}

int ListSchools(PostgreSQLSession& session, std::ostream& out, std::ostream& err)
{
    const Result<std::vector<SchoolEntry>> schools = LoadSchoolList(session);
    if (!schools.ok())
        return Report(schools.failure(), err);
    for (const SchoolEntry& school : schools.value())
        out << Printable(school.id) << '\t' << Printable(school.name) << '\n';
    return 0;
}

// One line of pelantra.log for a run begun at `began`.
void LogRun(RunStart start, const std::string& schoolId, const std::string& schoolName, const BackupOutcome& outcome,
            Clock::time_point began)
{
    AppendRunLog(MakeRunLogEntry(start, schoolId, schoolName, outcome, Clock::now() - began));
}

constexpr std::chrono::minutes kScheduledLockWait{30};
constexpr std::chrono::seconds kScheduledLockRetry{2};

// One backup run of `schoolId`, logged.
BackupOutcome LoggedBackup(PostgreSQLSession& session, const std::string& folder, const std::string& schoolId,
                           const std::string& schoolName, RunStart start, PrintingObserver& observer)
{
    const Clock::time_point began = Clock::now();
    BackupOutcome outcome = RunBackup(session, folder, schoolId, observer);
    // A scheduled run that meets another backup waits for it rather than
    // miss the school's backup; an operator's run says so at once.
    while (start == RunStart::Schedule && !outcome.ok() && outcome.failure().kind == FailureKind::AnotherBackup &&
           Clock::now() - began < kScheduledLockWait && !observer.StopRequested()) {
        std::this_thread::sleep_for(kScheduledLockRetry);
        outcome = RunBackup(session, folder, schoolId, observer);
    }
    observer.EndStep();
    LogRun(start, schoolId, schoolName, outcome, began);
    return outcome;
}

int Backup(PostgreSQLSession& session, const std::string& schoolId, const std::string& folder, RunStart start,
           std::ostream& out, std::ostream& err, bool timed)
{
    PrintingObserver observer(out, true, timed);
    const BackupOutcome outcome = LoggedBackup(session, folder, schoolId, {}, start, observer);
    StopHandled();
    if (!outcome.ok())
        return Report(Failure{OutcomeMessage(outcome), OutcomeDetail(outcome)}, err);
    out << OutcomeMessage(outcome) << "\n"
        << FillIn(kSchoolLine, {Printable(outcome.value().school)}) << "\n"
        << Printable(outcome.value().path) << "\n";
    if (!outcome.value().note.empty())
        err << PrintableLines(outcome.value().note) << "\n";
    return 0;
}

// Every school the window would list, each once, one after another.
int BackupAll(PostgreSQLSession& session, const std::string& folder, RunStart start, std::ostream& out,
              std::ostream& err)
{
    const Clock::time_point began = Clock::now();
    const Result<std::vector<SchoolEntry>> listed = LoadSchoolList(session);
    if (!listed.ok()) {
        LogRun(start, {}, {}, listed.failure(), began);
        return Report(listed.failure(), err);
    }
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
        const BackupOutcome outcome = LoggedBackup(session, folder, school.id, school.name, start, quiet);
        if (outcome.ok()) {
            ++succeeded;
            out << Printable(school.name) << ": " << Printable(outcome.value().path)
                << PrintableLines(NoteLine(outcome.value())) << std::endl;
        } else {
            out << FillIn(kSchoolFailed, {Printable(school.name), outcome.failure().reason}) << std::endl;
        }
    }
    StopHandled();
    out << FillIn(kAllSchoolsCount, {std::to_string(succeeded), std::to_string(schools)}) << std::endl;
    return succeeded == schools && !quiet.StopRequested() ? 0 : 1;
}

// pelantra.log, or the last `last` of one school's runs.
int PrintLog(const std::string& schoolId, std::size_t last, std::ostream& out, std::ostream& err)
{
    std::vector<RunLogEntry> entries = ReadRunLog();
    if (entries.empty()) {
        err << FillIn(kLogEmpty, {RunLogPath()}) << "\n";
        return 0;
    }
    std::erase_if(entries, [&](const RunLogEntry& entry) { return !schoolId.empty() && entry.schoolId != schoolId; });
    const std::size_t from = entries.size() > last ? entries.size() - last : 0;
    for (std::size_t i = from; i < entries.size(); ++i)
        out << entries[i].Line();
    return 0;
}

int PrintRows(const Result<DumpFacts>& facts, const char* verdict, std::ostream& out, std::ostream& err)
{
    if (!facts.ok()) {
        // A check that could not judge the archive does not blame it.
        const FailureKind kind = facts.failure().kind;
        if (kind != FailureKind::ArchiveFault && kind != FailureKind::Stopped && kind != FailureKind::ArchiveMissing)
            err << kCheckNotDone << "\n";
        return Report(facts.failure(), err);
    }
    for (std::string_view table : kStagedTables)
        out << table << '\t' << facts.value().RowsOf(table) << '\n';
    out << verdict << '\n';
    if (const std::uint64_t values = facts.value().backslashValues; values > 0)
        out << FillIn(kBackslashValues, {std::to_string(values)}) << '\n';
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

// Why a path cannot go into the system's schedule; nothing when it can.
const char* ScheduleNameUnfit(ScheduleNameFault fault)
{
    switch (fault) {
    case ScheduleNameFault::ControlCharacter:
        return kFolderNameUnfit;
    case ScheduleNameFault::TrailingBackslashOrBlank:
        return kFolderNameTrailing;
    case ScheduleNameFault::NotUtf8:
        return kFolderNameNotUtf8;
    case ScheduleNameFault::Percent:
        return kFolderNamePercent;
    case ScheduleNameFault::None:
        break;
    }
    return nullptr;
}

void PrintSchedule(const std::optional<Schedule>& schedule, const ScheduledCommand& command, bool catchesUp,
                   std::ostream& out)
{
    // A schedule the system cannot run as written is not shown as set.
    const bool runnable =
        std::none_of(command.arguments.begin(), command.arguments.end(),
                     [](const std::string& word) { return ScheduleNameFaultOf(word) != ScheduleNameFault::None; }) &&
        ScheduleNameFaultOf(command.workingFolder) == ScheduleNameFault::None &&
        ScheduleNameFaultOf(command.program) == ScheduleNameFault::None;
    if (!runnable) {
        out << FillIn(kScheduleLine, {kScheduleNotRunnable}) << "\n";
        out << FillIn(kScheduleCommandLine, {CommandLine(command)}) << "\n"
            << FillIn(kScheduleWorkingLine, {command.workingFolder}) << "\n";
        return;
    }
    out << FillIn(kScheduleLine, {schedule ? DescribeWhen(*schedule) : kScheduleTimeUnread}) << "\n";
    if (schedule) {
        out << FillIn(kScheduleFolderLine, {schedule->folder}) << "\n"
            << FillIn(kNextRunLine, {IndonesianDateTime(NextRun(*schedule, QDateTime::currentDateTime()))}) << "\n";
    }
    if (catchesUp)
        out << kCatchUpLine << "\n";
    out << FillIn(kScheduleCommandLine, {CommandLine(command)}) << "\n"
        << FillIn(kScheduleWorkingLine, {command.workingFolder}) << "\n";
}

// This program as the system starts it.
std::string ProgramPath(const char* argv0)
{
    const QString path = QCoreApplication::instance() ? QCoreApplication::applicationFilePath()
                                                      : QFileInfo(QString::fromLocal8Bit(argv0)).absoluteFilePath();
    return QDir::toNativeSeparators(path).toStdString();
}

// What a command is given: the words after its name, and where to write.
struct CommandLineCall {
    std::vector<std::string> args;
    const char* program; // argv[0]
    std::ostream& out;
    std::ostream& err;
    bool timedSteps;
};

int CallSchedule(const CommandLineCall& call)
{
    const std::vector<std::string>& args = call.args;
    std::ostream& out = call.out;
    std::ostream& err = call.err;
    const SystemSchedule system;
    if (args.empty()) {
        const Result<std::optional<RegisteredSchedule>> read = system.Read();
        if (!read.ok())
            return Report(read.failure(), err);
        if (!read.value()) {
            out << kScheduleOff << "\n";
            return 0;
        }
        PrintSchedule(read.value()->schedule, read.value()->command, read.value()->catchesUp, out);
        return 0;
    }
    const std::string& every = args[0];
    if (every == "off") {
        if (args.size() > 1)
            return UsageError(FillIn(kExtraArgument, {args[1]}), err);
        if (const Status removed = system.Remove(); !removed.ok())
            return Report(removed.failure(), err);
        out << kScheduleOff << "\n";
        return 0;
    }
    if (every != "daily" && every != "weekly")
        return UsageError(FillIn(kScheduleNeeds, {every}), err);
    const bool weekly = every == "weekly";
    const std::size_t wanted = weekly ? 4 : 3;
    if (args.size() < wanted)
        return UsageError(weekly ? kWeeklyNeeds : kDailyNeeds, err);
    if (args.size() > wanted)
        return UsageError(FillIn(kExtraArgument, {args[wanted]}), err);
    Schedule schedule;
    if (weekly) {
        const std::optional<int> day = ParseWeekday(args[1]);
        if (!day)
            return UsageError(FillIn(kUnknownDay, {args[1]}), err);
        schedule.every = Schedule::Every::Week;
        schedule.weekday = *day;
    }
    const std::optional<QTime> time = ParseClockTime(args[wanted - 2]);
    if (!time)
        return UsageError(FillIn(kUnknownTime, {args[wanted - 2]}), err);
    schedule.time = *time;
    if (args[wanted - 1].empty())
        return UsageError(kEmptyFolder, err);
    schedule.folder = AbsolutePath(args[wanted - 1]);
    const std::string program = ProgramPath(call.program);
    for (const std::string& path : {schedule.folder, CurrentFolder(), program}) {
        if (const char* unfit = ScheduleNameUnfit(ScheduleNameFaultOf(path)))
            return UsageError(FillIn(unfit, {path}), err);
    }
    if (!QFileInfo(QString::fromStdString(NativePath(schedule.folder).Utf8())).isDir())
        return Report(Failure{kFolderMissing, schedule.folder}, err);
    // The scheduled run reads setting.ini where it starts: here.
    if (!QFileInfo::exists(kSettingsFileName))
        return Report(Failure{FillIn(kScheduleNeedsSettings, {CurrentFolder()}), {}}, err);
    const ScheduledCommand command = BackupCommand(program, CurrentFolder(), schedule.folder);
    if (const Status registered = system.Register(schedule, command); !registered.ok())
        return Report(registered.failure(), err);
    PrintSchedule(schedule, command, true, out);
    return 0;
}

int CallSchools(const CommandLineCall& call)
{
    if (!call.args.empty())
        return UsageError(FillIn(kSchoolsTakeNoArgument, {call.args[0]}), call.err);
    return WithSession(call.err, [&](PostgreSQLSession& session) { return ListSchools(session, call.out, call.err); });
}

int CallBackup(const CommandLineCall& call)
{
    std::vector<std::string> rest = call.args;
    const auto scheduled = std::find(rest.begin(), rest.end(), kScheduledOption);
    const RunStart start = scheduled != rest.end() ? RunStart::Schedule : RunStart::CommandLine;
    if (scheduled != rest.end())
        rest.erase(scheduled);
    const bool all = !rest.empty() && rest[0] == "--all";
    const std::size_t wanted = 2; // <id> <folder>, --all <folder>
    if (rest.size() < wanted)
        return UsageError(all ? kBackupAllNeedsFolder : kBackupNeedsArguments, call.err);
    if (rest.size() > wanted)
        return UsageError(FillIn(kExtraArgument, {rest[wanted]}), call.err);
    if (rest[1].empty())
        return UsageError(kEmptyFolder, call.err);
    if (!all && rest[0].rfind("--", 0) == 0)
        return UsageError(FillIn(kUnknownOption, {rest[0]}), call.err);
    const std::string schoolId = all ? std::string() : rest[0];
    const Clock::time_point began = Clock::now();
    return WithSession(
        call.err,
        [&](PostgreSQLSession& session) {
            return all ? BackupAll(session, rest[1], start, call.out, call.err)
                       : Backup(session, schoolId, rest[1], start, call.out, call.err, call.timedSteps);
        },
        [&](const Failure& failure) { LogRun(start, schoolId, {}, failure, began); });
}

int CallVerify(const CommandLineCall& call)
{
    std::vector<std::string> rest = call.args;
    const auto option = std::find(rest.begin(), rest.end(), "--replay");
    const bool replay = option != rest.end();
    if (replay)
        rest.erase(option);
    if (rest.empty())
        return UsageError(kVerifyNeedsArchive, call.err);
    if (rest.size() > 1)
        return UsageError(FillIn(kExtraArgument, {rest[1]}), call.err);
    if (rest[0].rfind("--", 0) == 0)
        return UsageError(FillIn(kUnknownOption, {rest[0]}), call.err);
    return Verify(rest[0], replay, call.out, call.err);
}

int CallLog(const CommandLineCall& call)
{
    const std::vector<std::string>& args = call.args;
    std::string schoolId;
    std::size_t last = std::numeric_limits<std::size_t>::max();
    for (std::size_t i = 0; i < args.size(); i += 2) {
        if (args[i] != "--school" && args[i] != "--last")
            return UsageError(FillIn(args[i].rfind("--", 0) == 0 ? kUnknownOption : kExtraArgument, {args[i]}),
                              call.err);
        if (i + 1 == args.size() || args[i + 1].empty())
            return UsageError(FillIn(kOptionNeedsValue, {args[i]}), call.err);
        if (args[i] == "--school") {
            schoolId = args[i + 1];
            continue;
        }
        const std::string& count = args[i + 1];
        const auto [end, error] = std::from_chars(count.data(), count.data() + count.size(), last);
        if (error != std::errc() || end != count.data() + count.size() || last == 0)
            return UsageError(FillIn(kLastNeedsNumber, {count}), call.err);
    }
    return PrintLog(schoolId, last, call.out, call.err);
}

int CallVersion(const CommandLineCall& call)
{
    call.out << "pelantra-cli " << kVersion << "\n";
    return 0;
}

int CallHelp(const CommandLineCall& call);

// A command: its names, the lines of the help that show how it is called
// (each the words after "pelantra-cli" and what it does), and what runs it.
struct Command {
    std::vector<std::string_view> names;
    std::vector<std::pair<std::string_view, std::string_view>> usage;
    int (*run)(const CommandLineCall&);
};

const std::vector<Command>& Commands()
{
    static const std::vector<Command> commands = {
        {{"schools"}, {{"schools", "daftar sekolah: <sekolah_id> TAB <nama>"}}, CallSchools},
        {{"backup"},
         {{"backup <sekolah_id> <folder>", "backup data satu sekolah ke folder"},
          {"backup --all <folder>", "backup setiap sekolah di daftar, satu arsip per sekolah"}},
         CallBackup},
        {{"verify"},
         {{"verify <arsip.std>", "periksa isi arsip dan hitung barisnya"},
          {"verify --replay <arsip.std>", "buktikan juga bahwa arsip dapat dipulihkan"}},
         CallVerify},
        {{"log"}, {{"log [--school <sekolah_id>] [--last <N>]", "catatan backup yang sudah berjalan"}}, CallLog},
        {{"schedule"},
         {{"schedule", "jadwal backup otomatis dan waktu berikutnya"},
          {"schedule daily <JJ:MM> <folder>", ""},
          {"schedule weekly <hari> <JJ:MM> <folder>",
           "backup otomatis setiap sekolah, setiap hari atau seminggu sekali"},
          {"schedule off", "hentikan backup otomatis"}},
         CallSchedule},
        {{"--version"}, {{"--version", "versi program"}}, CallVersion},
        {{"--help", "-h", "help"}, {}, CallHelp},
    };
    return commands;
}

// "Pemakaian:" and a line for each way to call a command, its text in a
// column of its own, or below where the call is too long for it.
std::string UsageText()
{
    constexpr std::size_t kTextColumn = 46;
    std::string text = kUsageTitle;
    text.append("\n");
    for (const Command& command : Commands()) {
        for (const auto& [call, what] : command.usage) {
            std::string line = "  pelantra-cli " + std::string(call);
            if (!what.empty()) {
                if (line.size() + 1 > kTextColumn)
                    line.append("\n").append(kTextColumn, ' ');
                else
                    line.append(kTextColumn - line.size(), ' ');
                line.append(what);
            }
            text.append(line).append("\n");
        }
    }
    return text.append(kUsageSettings).append("\n");
}

int CallHelp(const CommandLineCall& call)
{
    call.out << UsageText();
    return 0;
}

int UsageError(const std::string& what, std::ostream& err)
{
    err << what << "\n\n" << UsageText();
    return 2;
}

} // namespace

int RunCli(int argc, const char* const argv[], std::ostream& out, std::ostream& err, bool timedSteps)
{
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (args.empty())
        return UsageError(kNoCommand, err);
    for (const Command& command : Commands()) {
        if (std::find(command.names.begin(), command.names.end(), args[0]) != command.names.end())
            return command.run({{args.begin() + 1, args.end()}, argc > 0 ? argv[0] : "", out, err, timedSteps});
    }
    return UsageError(FillIn(kUnknownCommand, {args[0]}), err);
}

} // namespace pelantra
