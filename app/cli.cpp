#include "app/cli.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "backup/archive_check.h"
#include "backup/backup_run.h"
#include "backup/backup_worker.h"
#include "backup/staged_tables.h"
#include "core/database.h"
#include "core/platform.h"
#include "core/school_list.h"
#include "core/settings.h"

namespace pelantra {
namespace {

constexpr const char* kUsage =
    "Pemakaian:\n"
    "  pelantra-cli schools                        daftar sekolah: <sekolah_id> TAB <nama>\n"
    "  pelantra-cli backup <sekolah_id> <folder>   backup data satu sekolah ke folder\n"
    "  pelantra-cli backup --all <folder>          backup setiap sekolah di daftar, satu arsip per sekolah\n"
    "  pelantra-cli verify <arsip.std>             periksa isi arsip dan hitung barisnya\n"
    "  pelantra-cli verify --replay <arsip.std>    buktikan juga bahwa arsip dapat dipulihkan\n"
    "Pengaturan dibaca dari setting.ini di folder kerja.\n";

class PrintingObserver final : public BackupObserver {
public:
    PrintingObserver(std::ostream& out, bool printed, bool timed) : out_(out), printed_(printed), timed_(timed) { }

    // The writing notice and "selesai"; what the tools said goes into the
    // details of a failure, where it means something.
    void PostStatus(const std::string& text) override
    {
        if (printed_ && (text.rfind("menulis ", 0) == 0 || text == kFinalStatus))
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
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", took.count());
        for (char* c = seconds; *c; ++c)
            *c = *c == '.' ? ',' : *c;
        out_ << "  " << seconds << " detik" << std::endl;
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

int ListSchools(std::ostream& out, std::ostream& err)
{
    PostgreSQLSession session;
    if (const Status opened = OpenDatabase(session); !opened.ok())
        return Report(opened.failure(), err);
    for (const SchoolEntry& school : LoadSchoolList(session))
        out << school.id << '\t' << school.name << '\n';
    return 0;
}

int Backup(const std::string& schoolId, const std::string& folder, std::ostream& out, std::ostream& err, bool timed)
{
    PostgreSQLSession session;
    if (const Status opened = OpenDatabase(session); !opened.ok())
        return Report(opened.failure(), err);
    PrintingObserver observer(out, true, timed);
    const BackupOutcome outcome = RunBackup(session, folder, schoolId, observer);
    observer.EndStep();
    StopHandled();
    if (!outcome.ok())
        return Report(Failure{OutcomeMessage(outcome), OutcomeDetail(outcome)}, err);
    out << OutcomeMessage(outcome) << "\n"
        << "Sekolah: " << outcome.value().school << "\n"
        << outcome.value().path << "\n";
    if (!outcome.value().note.empty())
        err << outcome.value().note << "\n";
    return 0;
}

// Every school the window would list, each once, one after another.
int BackupAll(const std::string& folder, std::ostream& out, std::ostream& err)
{
    PostgreSQLSession session;
    if (const Status opened = OpenDatabase(session); !opened.ok())
        return Report(opened.failure(), err);
    std::set<std::string> seen;
    int schools = 0;
    int succeeded = 0;
    PrintingObserver quiet(out, false, false);
    for (const SchoolEntry& school : LoadSchoolList(session)) {
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
            out << school.name << ": gagal, " << outcome.failure().reason << std::endl;
        }
    }
    StopHandled();
    out << succeeded << " dari " << schools << " sekolah berhasil dibackup" << std::endl;
    return succeeded == schools && !quiet.StopRequested() ? 0 : 1;
}

int Verify(const std::string& archive, bool replay, std::ostream& out, std::ostream& err)
{
    const NativePath tools(LoadIniFile(kSettingsFileName).Get(kBaseDirKey));
    const std::string archiver = ArchiverProgram(tools.Utf8(), kHostPlatform);
    const NativePath path(archive);
    Result<DumpFacts> facts = Failure{};
    if (replay) {
        PostgreSQLSession session;
        if (const Status opened = OpenDatabase(session); !opened.ok())
            return Report(opened.failure(), err);
        facts = ReplayArchive(session, archiver, path.Utf8());
    } else {
        facts = ReadArchive(archiver, path.Utf8());
    }
    if (!facts.ok())
        return Report(facts.failure(), err);
    for (std::string_view table : kStagedTables) {
        const auto found = facts.value().rows.find(table);
        out << table << '\t' << (found == facts.value().rows.end() ? 0 : found->second) << '\n';
    }
    out << (replay ? kArchiveRestorable : "Arsip utuh") << '\n';
    return 0;
}

} // namespace

int RunCli(int argc, const char* const argv[], std::ostream& out, std::ostream& err, bool timedSteps)
{
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (args.empty())
        return UsageError("Perintah belum diberikan.", err);
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return 0;
    }
    if (command == "schools") {
        if (args.size() > 1)
            return UsageError("schools tidak menerima argumen: " + args[1], err);
        return ListSchools(out, err);
    }
    if (command == "backup") {
        const bool all = args.size() > 1 && args[1] == "--all";
        const std::size_t wanted = 3; // backup <id> <folder>, backup --all <folder>
        if (args.size() < wanted)
            return UsageError(all ? "backup --all perlu <folder>." : "backup perlu <sekolah_id> dan <folder>.", err);
        if (args.size() > wanted)
            return UsageError("Argumen berlebih: " + args[wanted], err);
        if (args[2].empty())
            return UsageError("<folder> tidak boleh kosong.", err);
        if (all)
            return BackupAll(args[2], out, err);
        if (args[1].rfind("--", 0) == 0)
            return UsageError("Pilihan tidak dikenal: " + args[1], err);
        return Backup(args[1], args[2], out, err, timedSteps);
    }
    if (command == "verify") {
        std::vector<std::string> rest(args.begin() + 1, args.end());
        const auto option = std::find(rest.begin(), rest.end(), "--replay");
        const bool replay = option != rest.end();
        if (replay)
            rest.erase(option);
        if (rest.empty())
            return UsageError("verify perlu <arsip.std>.", err);
        if (rest.size() > 1)
            return UsageError("Argumen berlebih: " + rest[1], err);
        if (rest[0].rfind("--", 0) == 0)
            return UsageError("Pilihan tidak dikenal: " + rest[0], err);
        return Verify(rest[0], replay, out, err);
    }
    return UsageError("Perintah tidak dikenal: " + command, err);
}

} // namespace pelantra
