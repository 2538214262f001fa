#include "backup/backup_run.h"

#include "backup/backup_worker.h"

namespace pelantra {
namespace {

// Passes the statuses on and keeps the outcome.
class OutcomeKeeper final : public BackupObserver {
public:
    explicit OutcomeKeeper(BackupObserver& next) : next_(next) { }

    void PostStatus(const std::string& text) override { next_.PostStatus(text); }
    void PostOutcome(const BackupOutcome& outcome) override
    {
        outcome_ = outcome;
        next_.PostOutcome(outcome);
    }

    std::optional<BackupOutcome> outcome_;

private:
    BackupObserver& next_;
};

} // namespace

BackupRun::BackupRun(PostgreSQLSession& session, std::string schoolId)
    : session_(session), schoolId_(std::move(schoolId))
{
}

BackupRun::~BackupRun()
{
    if (staged_)
        (void)DropStaging(session_);
}

Status BackupRun::Stage()
{
    Result<StagedSchool> staged = StageSchool(session_, schoolId_);
    if (!staged.ok())
        return staged.failure();
    staged_.emplace(std::move(staged.value()));
    return {};
}

BackupOutcome BackupRun::Finish(std::optional<BackupOutcome> outcome)
{
    BackupOutcome result = outcome ? std::move(*outcome) : Failure{"Proses backup berakhir tanpa hasil", {}};
    if (!staged_)
        return result;
    const Status dropped = DropStaging(session_);
    staged_.reset();
    if (dropped.ok())
        return result;
    // The archive, if any, stands; the user should still know that the
    // staged copy could not be removed.
    const std::string note = dropped.failure().reason + "\n" + dropped.failure().detail;
    if (result.ok()) {
        result.value().note = note;
        return result;
    }
    const Failure& failure = result.failure();
    return Failure{failure.reason, failure.detail.empty() ? note : failure.detail + "\n\n" + note};
}

BackupOutcome RunBackup(PostgreSQLSession& session, const std::string& folder, const std::string& schoolId,
                        BackupObserver& observer)
{
    BackupRun run(session, schoolId);
    if (Status staged = run.Stage(); !staged.ok())
        return staged.failure();
    OutcomeKeeper keeper(observer);
    BackupWorker(keeper, session, folder, schoolId);
    return run.Finish(keeper.outcome_);
}

} // namespace pelantra
