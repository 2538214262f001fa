#include "backup/column_lists.h"

#include "archive/server_sql.h"
#include "archive/staged_tables.h"
#include "backup/messages.h"
#include "core/database.h"

namespace pelantra {

Result<TableColumnsMap> LoadTableColumns(Sql& sql, const ServerSql& server)
{
    if (!sql.Query(server.ColumnsQuery(), {StagedTablesArray()}))
        return Failure{kColumnsUnreadable, sql.ErrorText()};
    TableColumnsMap columns;
    while (sql.Fetch())
        columns.emplace(sql[0], TableColumns{sql[1], sql[2]});
    for (std::string_view table : kStagedTables) {
        if (!columns.contains(table))
            return Failure{kColumnsUnreadable, FillIn(kNoColumnsFound, {table})};
    }
    return columns;
}

} // namespace pelantra
