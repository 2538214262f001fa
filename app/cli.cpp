#include "app/cli.h"

#include <ostream>
#include <string>

#include "app/database.h"
#include "app/school_list.h"
#include "app/settings.h"
#include "backup/backup_job.h"

namespace {

constexpr const char* kUsage = "Pemakaian:\n"
                               "  pelantra-cli schools                        daftar sekolah: <sekolah_id> TAB <nama>\n"
                               "  pelantra-cli backup <sekolah_id> <folder>   backup data satu sekolah ke folder\n"
                               "Pengaturan dibaca dari setting.ini di folder kerja.\n";

bool OpenDatabase(PostgreSQLSession& session, std::ostream& err)
{
    const Settings settings = LoadIniFile(kSettingsFileName);
    if (session.Open(ConnectionString(settings.Get(kPortKey)).c_str()))
        return true;
    err << kConnectionFailedMessage << "\n" << session.ErrorText() << "\n";
    return false;
}

class PrintingObserver final : public BackupObserver {
public:
    explicit PrintingObserver(std::ostream& out) : out_(out) { }

    void PostStatus(const std::string& text) override { out_ << text << std::endl; }
    void PostOutcome(const BackupOutcome& outcome) override { outcome_ = outcome; }
    const BackupOutcome& Outcome() const { return outcome_; }

private:
    std::ostream& out_;
    BackupOutcome outcome_ = BackupOutcome::Failure("Proses backup berhenti tanpa hasil");
};

int ReportFailure(const BackupOutcome& outcome, std::ostream& err)
{
    err << outcome.Message() << "\n";
    if (!outcome.detail.empty())
        err << "\n" << outcome.detail << "\n";
    return 1;
}

int ListSchools(std::ostream& out, std::ostream& err)
{
    PostgreSQLSession session;
    if (!OpenDatabase(session, err))
        return 1;
    for (const SchoolEntry& school : LoadSchoolList(session))
        out << school.id << '\t' << school.name << '\n';
    return 0;
}

int Backup(const std::string& schoolId, const std::string& folder, std::ostream& out, std::ostream& err)
{
    PostgreSQLSession session;
    if (!OpenDatabase(session, err))
        return 1;
    const StageResult staged = StageSchool(session, schoolId);
    if (!staged.staged)
        return ReportFailure(staged.failure, err);

    PrintingObserver observer(out);
    RunBackupWorker(observer, session, folder, schoolId);
    BackupOutcome outcome = observer.Outcome();
    if (!FinishBackup(session) && outcome.succeeded)
        outcome = BackupOutcome::Failure("Data sementara tidak dapat dihapus dari database", session.ErrorText());
    if (!outcome.succeeded)
        return ReportFailure(outcome, err);
    out << outcome.Message() << "\n" << outcome.archivePath << "\n";
    return 0;
}

} // namespace

int RunCli(int argc, const char* const argv[], std::ostream& out, std::ostream& err)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return 0;
    }
    if (command == "schools" && argc == 2)
        return ListSchools(out, err);
    if (command == "backup" && argc == 4 && *argv[3] != '\0')
        return Backup(argv[2], argv[3], out, err);
    err << kUsage;
    return 2;
}
