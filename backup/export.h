#pragma once

#include <string>

#include "core/result.h"
#include "tools/tool_run.h"

namespace pelantra {

// `program`, the installation's pg_dump, dumping the staging schema as plain INSERT
// statements to its standard output. A database in a legacy encoding
// (neither UTF8 nor SQL_ASCII, whose bytes no conversion can know) is dumped
// in UTF-8, so that every archive replays through a UTF-8 client.
ToolCommand ExportCommand(const std::string& program, const std::string& port, const std::string& serverEncoding);

// The tool's output as the user sees it: "pg_dump" reads "export".
std::string ExportOutputText(const std::string& output);

// What a person reads below a failure of the dump tool that ran as
// `program`: the real path and how it ended, then its last lines with
// "pg_dump" reading "export".
std::string ExportDetail(ToolResult dumped, const std::string& program);

// Why the dump tool that ran as `program` failed: a pg_dump older than the
// server is told as such, with both versions and what to do.
Failure ExportFailure(const ToolResult& dumped, const std::string& program);

} // namespace pelantra
