#include "backup/backup_run.h"

#include "backup/backup_worker.h"
#include "backup/messages.h"
#include "core/database.h"

namespace pelantra {
namespace {

// Passes the statuses on and keeps the outcome.
class OutcomeKeeper final : public BackupObserver {
public:
    explicit OutcomeKeeper(BackupObserver& next) : next_(next) { }

    void PostStatus(const std::string& text) override { next_.PostStatus(text); }
    void PostStep(BackupStep step) override { next_.PostStep(step); }
    bool StopRequested() const override { return next_.StopRequested(); }
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
        (void)CleanUp();
}

Status BackupRun::Stage()
{
    // Also a setting.ini that lost its port stops the run, as it stops the start.
    if (Status connected = Reconnect(session_); !connected.ok())
        return connected;
    Result<StagedSchool> staged = StageSchool(session_, schoolId_);
    if (!staged.ok())
        return staged.failure();
    staged_.emplace(std::move(staged.value()));
    return {};
}

BackupOutcome BackupRun::Finish(std::optional<BackupOutcome> outcome)
{
    BackupOutcome result = outcome ? std::move(*outcome) : Failure{kRunWithoutOutcome, {}};
    if (!staged_)
        return result;
    const Status dropped = CleanUp();
    if (dropped.ok())
        return result;
    // The archive, if any, stands; the user should still know that the
    // staged copy could not be removed.
    const std::string note = dropped.failure().reason + "\n" + dropped.failure().detail;
    if (result.ok()) {
        AddNote(result.value().note, dropped.failure().reason, dropped.failure().detail);
        return result;
    }
    const Failure& failure = result.failure();
    return Failure{failure.reason, failure.detail.empty() ? note : failure.detail + "\n\n" + note};
}

Status BackupRun::CleanUp()
{
    Status dropped;
    if (BackupLockHeld(session_).ok()) {
        dropped = DropStaging(session_);
    } else if (!session_.Revive()) {
        dropped = Failure{kDropFailed, session_.ErrorText()};
    } else if (Result<BackupLock> again = BackupLock::Take(session_); again.ok()) {
        // Nobody staged since the lock was lost: what is left is ours.
        dropped = DropStaging(session_);
    } // else another backup runs and has made the staging schema its own
    staged_.reset();
    return dropped;
}

BackupOutcome RunBackup(PostgreSQLSession& session, const std::string& folder, const std::string& schoolId,
                        BackupObserver& observer)
{
    BackupRun run(session, schoolId);
    observer.PostStep(BackupStep::Staging);
    if (Status staged = run.Stage(); !staged.ok())
        return staged.failure();
    OutcomeKeeper keeper(observer);
    BackupWorker(keeper, session, folder, schoolId, run.Rows());
    return run.Finish(keeper.outcome_);
}

} // namespace pelantra
