#pragma once

#include <optional>
#include <string>

#include "backup/dump_rewriter.h"

class PostgreSQLSession;

// The column list of every staged table, read once from the public tables in
// column order. Nothing when the query fails or a table has no columns;
// `error` then says why.
std::optional<ColumnLists> LoadColumnLists(PostgreSQLSession& session, std::string& error);
