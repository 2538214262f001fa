#include "app/cli.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <ostream>
#include <string>

#include "backup/backup_run.h"
#include "backup/backup_worker.h"
#include "core/database.h"
#include "core/platform.h"
#include "core/school_list.h"

namespace pelantra {
namespace {

constexpr const char* kUsage = "Pemakaian:\n"
                               "  pelantra-cli schools                        daftar sekolah: <sekolah_id> TAB <nama>\n"
                               "  pelantra-cli backup <sekolah_id> <folder>   backup data satu sekolah ke folder\n"
                               "Pengaturan dibaca dari setting.ini di folder kerja.\n";

class PrintingObserver final : public BackupObserver {
public:
    PrintingObserver(std::ostream& out, bool timed) : out_(out), timed_(timed) { }

    // The writing notice and "selesai"; what the tools said goes into the
    // details of a failure, where it means something.
    void PostStatus(const std::string& text) override
    {
        if (text.rfind("menulis ", 0) == 0 || text == kFinalStatus)
            out_ << text << std::endl;
    }
    void PostOutcome(const BackupOutcome&) override { EndStep(); }
    void PostStep(BackupStep step) override
    {
        EndStep();
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
        if (!timed_)
            return;
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", took.count());
        for (char* c = seconds; *c; ++c)
            *c = *c == '.' ? ',' : *c;
        out_ << "  " << seconds << " detik" << std::endl;
    }

private:
    std::ostream& out_;
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
    PrintingObserver observer(out, timed);
    const BackupOutcome outcome = RunBackup(session, folder, schoolId, observer);
    observer.EndStep();
    StopHandled();
    if (!outcome.ok())
        return Report(Failure{OutcomeMessage(outcome), OutcomeDetail(outcome)}, err);
    out << OutcomeMessage(outcome) << "\n" << outcome.value().path << "\n";
    if (!outcome.value().note.empty())
        err << outcome.value().note << "\n";
    return 0;
}

} // namespace

int RunCli(int argc, const char* const argv[], std::ostream& out, std::ostream& err, bool timedSteps)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return 0;
    }
    if (command == "schools" && argc == 2)
        return ListSchools(out, err);
    if (command == "backup" && argc == 4 && *argv[3] != '\0')
        return Backup(argv[2], argv[3], out, err, timedSteps);
    err << kUsage;
    return 2;
}

} // namespace pelantra
