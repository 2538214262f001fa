#include "backup/export.h"

#include "core/database.h"
#include "core/platform.h"

namespace pelantra {

ToolCommand ExportCommand(const std::string& basedir, const std::string& port)
{
    ToolCommand command;
    command.program = PgDumpProgram(basedir, kHostPlatform);
    command.arguments = {"--host",   "localhost", "--port",      port,        "--username", "postgres", "--no-password",
                         "--format", "plain",     "--data-only", "--inserts", "--schema",   "tmpx",     "pendataan"};
    command.environment = {{"PGPASSWORD", kDatabasePassword}};
    return command;
}

std::string ExportOutputText(const std::string& output)
{
    static const std::string from = "pg_dump";
    static const std::string to = "export";
    std::string text;
    size_t start = 0;
    for (size_t found; (found = output.find(from, start)) != std::string::npos; start = found + from.size())
        text.append(output, start, found - start).append(to);
    text.append(output, start, std::string::npos);
    return text;
}

} // namespace pelantra
