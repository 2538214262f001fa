#include "backup/staging.h"

#include <algorithm>
#include <string_view>

#include "archive/server_sql.h"
#include "archive/staged_tables.h"
#include "backup/column_lists.h"
#include "backup/messages.h"
#include "core/database.h"

namespace pelantra {
namespace {

// The reason for a failed staging statement.
Failure StagingFailure(const Sql& sql, const char* otherwise = kStagingFailed)
{
    if (sql.Failed(SqlState::LockNotAvailable))
        return Failure{kSchemaBusy, sql.ErrorText()};
    if (sql.Failed(SqlState::DependentObjectsStillExist))
        return Failure{kSchemaInUse, sql.ErrorText()};
    return Failure{otherwise, sql.ErrorText()};
}

// Drops our tables one by one and then the schema, each without CASCADE, so
// that an object outside the schema that depends on it stops the drop.
Status DropStagingSchema(Sql& sql, const char* reason)
{
    for (std::string_view table : kStagedTables) {
        if (!sql.Execute("DROP TABLE IF EXISTS " + Staged(table) + " RESTRICT"))
            return StagingFailure(sql, reason);
    }
    if (!sql.Execute(std::string("DROP SCHEMA IF EXISTS ") + kStagingSchema + " RESTRICT"))
        return StagingFailure(sql, reason);
    return {};
}

// Inside the open transaction: is there a `sekolah` row for the id? A text
// that is not even a valid key value is simply no school.
Status FindSchool(Sql& sql, const std::string& schoolId)
{
    const auto found =
        sql.QueryValue<bool>("SELECT EXISTS (SELECT 1 FROM public.sekolah WHERE sekolah_id=$1)", {schoolId});
    if (!found.ok() && !sql.Failed(SqlState::InvalidTextRepresentation))
        return StagingFailure(sql);
    if (!found.ok() || !found.value().value_or(false))
        return Failure{kSchoolNotFound, "sekolah_id: " + schoolId};
    return {};
}

// The staging script, in the open transaction; returns the columns of the
// tables it copied and counts the rows copied into each in `rows`.
Result<TableColumnsMap> CopySchoolRows(Sql& sql, const ServerSql& server, const std::string& schoolId,
                                       StagedRows& rows)
{
    if (Status dropped = DropStagingSchema(sql, kStagingFailed); !dropped.ok())
        return dropped.failure();
    if (!sql.Execute(std::string("CREATE SCHEMA ") + kStagingSchema + " AUTHORIZATION postgres"))
        return StagingFailure(sql);
    for (std::string_view table : kStagedTables) {
        if (!sql.Execute(server.CreateStagedTable(table)))
            return StagingFailure(sql);
    }
    const Result<TableColumnsMap> columns = LoadTableColumns(sql, server);
    if (!columns.ok())
        return columns.failure();
    // The school's own rows first: the others are chosen through them. Each
    // source row is copied once, even when its key occurs in several staged
    // rows (a student registered twice, a staff member in two school years).
    // Those chosen through another table are grouped by the row they belong
    // to (a class's memberships together), whatever order the source table
    // has them in after years of updates: the archiver packs rows that repeat
    // their neighbours' values much faster.
    for (const bool own : {true, false}) {
        for (const StagedTable& table : kStagedTableList) {
            if (table.through.empty() != own)
                continue;
            const std::string key(table.key);
            const std::string where =
                own ? "a." + key + "=$1"
                    : "a." + key + " IN (SELECT b." + key + " FROM " + Staged(table.through) + " b) ORDER BY a." + key;
            // The names in the select list are the source's (a), the only
            // table of the outer query.
            const std::string& list = columns.value().at(std::string(table.name)).written;
            const std::string statement = "INSERT INTO " + Staged(table.name) + " (" + list + ") SELECT " + list +
                                          " FROM public." + std::string(table.name) + " a WHERE " + where;
            if (!sql.Execute(statement, own ? SqlParams{schoolId} : SqlParams{}))
                return StagingFailure(sql);
            const std::optional<std::uint64_t> copied = sql.RowsAffected();
            if (!copied)
                return Failure{kStagingFailed, std::string(table.name) + ": " + sql.CommandStatus()};
            rows.perTable.emplace(std::string(table.name), *copied);
        }
    }
    return columns;
}

// The ids of the staged sekolah rows, sorted.
Result<std::vector<std::string>> StagedSchoolIds(Sql& sql)
{
    if (!sql.Query("SELECT " + std::string(kSchoolKey) + "::text FROM " + Staged(kSchoolTable)))
        return StagingFailure(sql);
    std::vector<std::string> ids;
    while (sql.Fetch())
        ids.push_back(sql[0]);
    std::sort(ids.begin(), ids.end());
    return ids;
}

// The size of the staged tables, TOAST included.
Result<std::uint64_t> StagedTableBytes(Sql& sql)
{
    const auto bytes = sql.QueryValue<std::uint64_t>(
        "SELECT sum(pg_catalog.pg_table_size(c.oid)) FROM pg_catalog.pg_class c "
        "WHERE c.relnamespace = $1::regnamespace AND c.relkind = 'r'",
        {kStagingSchema});
    if (!bytes.ok())
        return StagingFailure(sql);
    return bytes.value().value_or(0);
}

} // namespace

Result<StagedSchool> StageSchool(PostgreSQLSession& session, const std::string& schoolId,
                                 std::chrono::milliseconds lockTimeout)
{
    Result<BackupLock> lock = BackupLock::Take(session);
    if (!lock.ok())
        return lock.failure();

    Transaction transaction(session, IsolationLevel::RepeatableRead);
    if (!transaction.Begun())
        return Failure{kStagingFailed, transaction.ErrorText()};
    const ServerSql server(session.ServerVersion());
    if (const auto bound = server.LockTimeout(lockTimeout); bound && !transaction.Execute(*bound))
        return StagingFailure(transaction);
    if (Status found = FindSchool(transaction, schoolId); !found.ok())
        return found.failure();
    StagedRows rows;
    const Result<TableColumnsMap> columns = CopySchoolRows(transaction, server, schoolId, rows);
    if (!columns.ok())
        return columns.failure();
    Result<std::vector<std::string>> schoolIds = StagedSchoolIds(transaction);
    if (!schoolIds.ok())
        return schoolIds.failure();
    rows.schoolIds = std::move(schoolIds.value());
    const Result<std::uint64_t> tableBytes = StagedTableBytes(transaction);
    if (!tableBytes.ok())
        return tableBytes.failure();
    rows.tableBytes = tableBytes.value();
    for (const auto& [table, found] : columns.value())
        rows.columns.emplace(table, found.replayed);
    if (!transaction.Commit())
        return Failure{kStagingFailed, transaction.ErrorText()};
    return StagedSchool{std::move(lock.value()), std::move(rows)};
}

Status DropStaging(PostgreSQLSession& session)
{
    Transaction transaction(session);
    if (!transaction.Begun())
        return Failure{kDropFailed, transaction.ErrorText()};
    if (Status dropped = DropStagingSchema(transaction, kDropFailed); !dropped.ok())
        return dropped;
    if (!transaction.Commit())
        return Failure{kDropFailed, transaction.ErrorText()};
    return {};
}

} // namespace pelantra
