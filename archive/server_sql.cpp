#include "archive/server_sql.h"

#include "archive/staged_tables.h"

namespace pelantra {

std::string ServerSql::CreateStagedTable(std::string_view table) const
{
    // Unlogged: the copy lives only until the dump has read it.
    return "CREATE UNLOGGED TABLE " + Staged(table) + "(LIKE public." + std::string(table) + " INCLUDING DEFAULTS" +
           (HasGeneratedColumns() ? " INCLUDING GENERATED)" : ")");
}

std::string ServerSql::CreateScratchTable(std::string_view schema, std::string_view table) const
{
    // Unlogged: what a check inserts is rolled back, so it need not go through the write-ahead log.
    return "CREATE UNLOGGED TABLE " + std::string(schema) + "." + std::string(table) + "(LIKE public." +
           std::string(table) + " INCLUDING CONSTRAINTS INCLUDING INDEXES" +
           (HasIdentityColumns() ? " INCLUDING IDENTITY" : "") +
           (HasGeneratedColumns() ? " INCLUDING GENERATED)" : ")");
}

std::string ServerSql::ColumnsQuery() const
{
    // An identity column GENERATED ALWAYS takes a replayed value only when
    // the statement overrides it.
    const char* overriding = HasIdentityColumns() ? "|| CASE WHEN bool_or(identity_generation = 'ALWAYS') "
                                                    "THEN ' OVERRIDING SYSTEM VALUE' ELSE '' END"
                                                  : "";
    const char* written = HasGeneratedColumns() ? "CASE WHEN is_generated = 'NEVER' THEN quote_ident(column_name) END"
                                                : "quote_ident(column_name)";
    return std::string("SELECT table_name, '(' || string_agg(quote_ident(column_name), ',' ORDER BY ordinal_position) "
                       "|| ')' ") +
           overriding + ", string_agg(" + written +
           ", ',' ORDER BY ordinal_position) FROM information_schema.columns "
           "WHERE table_schema='public' AND table_name = ANY($1::text[]) GROUP BY table_name";
}

std::optional<std::string> ServerSql::LockTimeout(std::chrono::milliseconds timeout) const
{
    if (!HasLockTimeout())
        return std::nullopt;
    return "SET LOCAL lock_timeout = " + std::to_string(timeout.count());
}

} // namespace pelantra
