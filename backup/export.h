#pragma once

#include <string>

#include "backup/tool_run.h"

namespace pelantra {

// The installation's pg_dump, dumping the staging schema as plain INSERT
// statements to its standard output.
ToolCommand ExportCommand(const std::string& basedir, const std::string& port);

// The tool's output as the user sees it: "pg_dump" reads "export".
std::string ExportOutputText(const std::string& output);

} // namespace pelantra
