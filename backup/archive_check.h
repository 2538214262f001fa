#pragma once

#include <string>

#include "backup/dump_rewriter.h"
#include "backup/tool_run.h"
#include "core/result.h"

namespace pelantra {

class PostgreSQLSession;

// Opens a backup archive with the program's password, requires exactly the
// one member kartesa2014.sql, and streams it, never to a file, through the
// rewrite's own scanner (DumpCheck); `statements` takes every statement on
// the way. The facts hold the rows per table.
Result<DumpFacts> ReadArchive(const std::string& archiver, const std::string& archivePath,
                              const StatementSink& statements = {}, const ToolWatch& watch = {});

// Proves that the archive restores: under the backup lock, in one
// transaction that is always rolled back, replays every statement into
// copies of the staged tables (with their keys and checks) in a scratch
// schema and compares each table's rows with the scanner's count. Nothing
// is left in the database afterwards.
Result<DumpFacts> ReplayArchive(PostgreSQLSession& session, const std::string& archiver,
                                const std::string& archivePath);

} // namespace pelantra
