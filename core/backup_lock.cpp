#include "core/backup_lock.h"

#include <QDateTime>

#include <string>

#include "core/database.h"
#include "core/indonesian_time.h"
#include "core/messages.h"

namespace pelantra {
namespace {

const std::string kLockKeyText = std::to_string(kBackupLockKey);
// pg_locks shows a bigint advisory key as two halves.
const std::string kLockKeyHigh = std::to_string(static_cast<unsigned long long>(kBackupLockKey) >> 32);
const std::string kLockKeyLow = std::to_string(static_cast<unsigned long long>(kBackupLockKey) & 0xffffffffULL);

} // namespace

Result<BackupLock> BackupLock::Take(PostgreSQLSession& session)
{
    Sql sql(session);
    const auto taken = sql.QueryValue<bool>("SELECT pg_try_advisory_lock($1)", {kLockKeyText});
    if (!taken.ok())
        return Failure{kLockNotTaken, taken.failure().detail};
    if (taken.value().value_or(false))
        return BackupLock(session);
    // Who holds it, for whoever has to find that other backup.
    std::string holder = kLockHeldElsewhere;
    if (sql.Query("SELECT a.pid, a.application_name, host(a.client_addr), "
                  "extract(epoch FROM a.backend_start)::bigint FROM pg_locks l "
                  "JOIN pg_stat_activity a ON a.pid = l.pid WHERE l.locktype = 'advisory' AND l.granted "
                  "AND l.classid = $1::oid AND l.objid = $2::oid AND l.objsubid = 1",
                  {kLockKeyHigh, kLockKeyLow}) &&
        sql.Fetch()) {
        const QDateTime since = QDateTime::fromSecsSinceEpoch(sql.Value<std::uint64_t>(3).value_or(0));
        holder =
            FillIn(kLockHolder, {sql[0], sql[1], sql[2].empty() ? kLocalSocket : sql[2], IndonesianDateTime(since)});
    }
    return Failure{kAnotherBackupRunning, holder, FailureKind::AnotherBackup};
}

BackupLock::BackupLock(BackupLock&& other) noexcept : session_(other.session_)
{
    other.session_ = nullptr;
}

BackupLock::~BackupLock()
{
    if (session_)
        Sql(*session_).Query("SELECT pg_advisory_unlock($1)", {kLockKeyText});
}

Status BackupLockHeld(PostgreSQLSession& session)
{
    Sql sql(session);
    const auto held = sql.QueryValue<bool>(
        "SELECT EXISTS (SELECT 1 FROM pg_locks WHERE locktype='advisory' AND pid=pg_backend_pid() AND granted "
        "AND classid=$1::oid AND objid=$2::oid AND objsubid=1)",
        {kLockKeyHigh, kLockKeyLow});
    if (!held.ok())
        return Failure{kConnectionLost, held.failure().detail};
    if (!held.value().value_or(false))
        return Failure{kConnectionLost, "this session no longer holds the backup lock"};
    return {};
}

} // namespace pelantra
