#pragma once

#include <map>
#include <string>

#include "backup/dump_rewriter.h"
#include "core/result.h"

namespace pelantra {

class ServerSql;
class Sql;

// What the server tells of a staged table's columns in public, quoted as the
// server quotes names, in column order.
struct TableColumns {
    std::string replayed; // what follows the table name in a replayed INSERT (ColumnLists)
    std::string written; // what a copy writes: all but generated columns, comma-separated
};
using TableColumnsMap = std::map<std::string, TableColumns, std::less<>>;

// Every staged table's columns, read on `sql` (inside its transaction, if
// any). Fails when the query fails or a table is missing, with the server's
// message or the table in the detail.
Result<TableColumnsMap> LoadTableColumns(Sql& sql, const ServerSql& server);

} // namespace pelantra
