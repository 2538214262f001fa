#include "backup/column_lists.h"

#include "backup/server_sql.h"
#include "backup/staged_tables.h"
#include "core/database.h"

namespace pelantra {

Result<ColumnLists> LoadColumnLists(PostgreSQLSession& session)
{
    constexpr const char* kUnreadable = "Struktur tabel tidak dapat dibaca";
    std::string tables = "{";
    for (std::string_view table : kStagedTables)
        tables.append(tables.size() > 1 ? "," : "").append(table);
    tables += '}';

    Sql sql(session);
    if (!sql.Query(ServerSql(session.ServerVersion()).ColumnListsQuery(), {tables}))
        return Failure{kUnreadable, sql.ErrorText()};
    ColumnLists lists;
    while (sql.Fetch())
        lists.emplace(sql[0], sql[1]);
    for (std::string_view table : kStagedTables) {
        if (!lists.contains(table))
            return Failure{kUnreadable, "no columns found for table public." + std::string(table)};
    }
    return lists;
}

} // namespace pelantra
