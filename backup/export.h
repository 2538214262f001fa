#pragma once

#include <string>

#include "backup/tool_run.h"

inline constexpr const char* kWorkingDumpName = "kartesa2014.sql";

// Dumps the staging schema as plain INSERT statements into
// `workingDirectory`/kartesa2014.sql with the installation's pg_dump.
ToolResult ExportStaging(const std::string& basedir, const std::string& port, const std::string& workingDirectory);

// The tool's output as the user sees it: "pg_dump" reads "export".
std::string ExportOutputText(const std::string& output);
