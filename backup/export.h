#pragma once

#include <string>

#include "backup/dump_rewriter.h"
#include "backup/tool_run.h"
#include "core/result.h"

namespace pelantra {

inline constexpr const char* kWorkingDumpName = "kartesa2014.sql";

// Dumps the staging schema as plain INSERT statements into
// `workingDirectory`/kartesa2014.sql with the installation's pg_dump.
ToolResult ExportStaging(const std::string& basedir, const std::string& port, const std::string& workingDirectory);

// The tool's output as the user sees it: "pg_dump" reads "export".
std::string ExportOutputText(const std::string& output);

// Rewrites the dump file `fromPath` into the file `toPath`, which must be
// another file; on failure the target is removed, so no half-written dump
// is left behind.
Status RewriteDumpFile(const std::string& fromPath, const std::string& toPath, const ColumnLists& columns);

} // namespace pelantra
