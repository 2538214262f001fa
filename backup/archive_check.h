#pragma once

#include <functional>
#include <string>

#include "backup/dump_rewriter.h"
#include "backup/tool_run.h"
#include "core/result.h"

namespace pelantra {

class PostgreSQLSession;

// Opens a backup archive with the program's password, requires exactly the
// one member kartesa2014.sql, and streams it, never to a file, through the
// rewrite's own scanner (DumpCheck); `statements` takes every statement on
// the way, and `opened` is called once the archive has been listed. The
// facts hold the rows per table. An archive that cannot be listed, or whose
// dump breaks off after it began, is damaged; one that yields nothing of
// its dump does not open with the program's password.
Result<DumpFacts> ReadArchive(const std::string& archiver, const std::string& archivePath,
                              const StatementSink& statements = {}, const ToolWatch& watch = {},
                              const std::function<void()>& opened = {});

// Proves that the archive restores: under the backup lock, in one
// transaction that is always rolled back, replays every statement into
// copies of the staged tables (with their keys and checks) in a scratch
// schema and compares each table's rows with the scanner's count. Nothing
// is left in the database afterwards.
Result<DumpFacts> ReplayArchive(PostgreSQLSession& session, const std::string& archiver, const std::string& archivePath,
                                const ToolWatch& watch = {}, const std::function<void()>& opened = {});

} // namespace pelantra
