#pragma once

#include <functional>
#include <string>

#include "archive/archive_grammar.h"
#include "core/result.h"
#include "tools/tool_run.h"

namespace pelantra {

class PostgreSQLSession;

// Opens a backup archive with the program's password, requires exactly the
// one member kartesa2014.sql, and streams it, never to a file, through the
// grammar of what an archive may hold (ArchiveGrammar); `rows` takes every
// row on the way, and `opened` is called once the archive has been listed.
// The facts hold the rows per table, the school and when it was packed. A
// file that is no 7z archive, or one with another password or other members,
// is not ours; an archive that cannot be listed, or whose dump breaks off
// after it began or lacks its closing line, is damaged. A failure of the
// archive's own is of kind ArchiveFault; any other (no server, no tools, no
// settings, another backup, a stop) means only that the check was not done.
Result<DumpFacts> ReadArchive(const std::string& archiver, const std::string& archivePath, const RowSink& rows = {},
                              const ToolWatch& watch = {}, const std::function<void()>& opened = {});

// Proves that the archive restores: under the backup lock, in one
// transaction that is always rolled back, inserts every row the grammar let
// through, as bound values in statements of our own, into copies of the
// staged tables (with their keys and checks, without defaults) in a scratch
// schema, as a role made for the check that may do nothing but that, and
// compares each table's rows with the count read. Every statement has a time
// limit, and a stop request cancels the one under way. Nothing is left in
// the database afterwards.
Result<DumpFacts> ReplayArchive(PostgreSQLSession& session, const std::string& archiver, const std::string& archivePath,
                                const ToolWatch& watch = {}, const std::function<void()>& opened = {});

} // namespace pelantra
