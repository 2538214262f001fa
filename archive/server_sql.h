#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace pelantra {

// The statements of a backup that depend on what the server has, chosen by
// the version libpq reports for the connection (90200 for 9.2, 120000 for
// 12). The oldest server the dump tool reads is 9.2; anything newer is used
// only where it exists.
class ServerSql {
public:
    explicit ServerSql(int serverVersion) : version_(serverVersion) { }

    bool HasLockTimeout() const { return version_ >= 90300; }
    bool HasIdentityColumns() const { return version_ >= 100000; }
    bool HasGeneratedColumns() const { return version_ >= 120000; }

    // An empty copy of the public table in the staging schema: its columns
    // with their defaults and, where the server has them, generated columns.
    std::string CreateStagedTable(std::string_view table) const;
    // An empty copy of the public table for a trial restore in `schema`:
    // its columns, keys, checks and, where the server has them, identity and
    // generated columns, but no default, so that nothing it does reaches a
    // sequence or a function of the database.
    std::string CreateScratchTable(std::string_view schema, std::string_view table) const;
    // Per table named in $1 (a text array), three columns: the name; what
    // follows it in a replayed INSERT, "(" + every column + ")" and
    // " OVERRIDING SYSTEM VALUE" where an identity column is GENERATED
    // ALWAYS; and the columns a copy writes, all but generated ones (the
    // staged table computes them itself). Names as the server quotes them,
    // in column order.
    std::string ColumnsQuery() const;
    // The statement that bounds a transaction's wait for a lock; none where
    // the server has no such bound.
    std::optional<std::string> LockTimeout(std::chrono::milliseconds timeout) const;

private:
    int version_;
};

} // namespace pelantra
