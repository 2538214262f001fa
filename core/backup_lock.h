#pragma once

#include "core/result.h"

namespace pelantra {

class PostgreSQLSession;

// Key of the session-level advisory lock that keeps one backup per database
// from staging until the staging schema is dropped.
inline constexpr long long kBackupLockKey = 0x50454C414E545241; // "PELANTRA"

// The backup lock, held by one session; given back when the object goes.
class BackupLock {
public:
    // Takes the lock unless another session holds it.
    static Result<BackupLock> Take(PostgreSQLSession& session);
    BackupLock(BackupLock&& other) noexcept;
    BackupLock& operator=(BackupLock&&) = delete;
    ~BackupLock();

private:
    explicit BackupLock(PostgreSQLSession& session) : session_(&session) { }
    PostgreSQLSession* session_;
};

// Whether this session still holds the backup lock: it goes with the
// session, and another run may then have staged another school.
Status BackupLockHeld(PostgreSQLSession& session);

} // namespace pelantra
