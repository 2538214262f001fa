#pragma once

#include "backup/dump_rewriter.h"
#include "core/result.h"

namespace pelantra {

class PostgreSQLSession;

// What goes after the table name in every replayed INSERT of a staged table:
// its column list, as the server quotes the names, read once from the public
// tables in column order. Fails when the query fails or a table has no
// columns.
Result<ColumnLists> LoadColumnLists(PostgreSQLSession& session);

} // namespace pelantra
