#include "backup/export.h"

#include "archive/staged_tables.h"
#include "backup/messages.h"
#include "core/database.h"
#include "core/platform.h"

namespace pelantra {
namespace {

// The word after `label` in `text`, up to a blank, ';' or the line's end.
std::string VersionAfter(const std::string& text, const std::string& label)
{
    const std::size_t found = text.find(label);
    if (found == std::string::npos)
        return {};
    const std::size_t start = found + label.size();
    const std::size_t end = text.find_first_of(" ;\r\n", start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

} // namespace

ToolCommand ExportCommand(const std::string& program, const std::string& port, const std::string& serverEncoding)
{
    ToolCommand command;
    command.program = program;
    command.arguments = {"--host",      "localhost",     "--port",       port,         "--username",
                         kDatabaseUser, "--no-password", "--format",     "plain",      "--data-only",
                         "--inserts",   "--schema",      kStagingSchema, kDatabaseName};
    if (serverEncoding != "UTF8" && serverEncoding != "SQL_ASCII")
        command.arguments.insert(command.arguments.end() - 1, {"--encoding", "UTF8"});
    // Strings as the replaying session reads them: the dump's own setting
    // of it becomes a comment, and the archive check allows no other kind.
    command.environment = {{"PGPASSWORD", kDatabasePassword}, {"PGOPTIONS", "-c standard_conforming_strings=on"}};
    // pg_dump writes its own messages in its C runtime's locale.
    command.messages = MessageCodePage::Ansi;
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

std::string ExportDetail(ToolResult dumped, const std::string& program)
{
    dumped.output = ExportOutputText(dumped.output);
    return dumped.Detail(program);
}

Failure ExportFailure(const ToolResult& dumped, const std::string& program)
{
    const std::string detail = ExportDetail(dumped, program);
    // pg_dump refuses a server newer than itself with, in every release,
    // "server version: 16.4; pg_dump version: 15.10 (...)".
    if (dumped.output.find("server version mismatch") == std::string::npos)
        return Failure{kExportFailed, detail};
    const std::string server = VersionAfter(dumped.output, "server version: ");
    const std::string tool = VersionAfter(dumped.output, "pg_dump version: ");
    return Failure{FillIn(kDumpToolTooOld, {tool, server, CurrentFolder()}), detail};
}

} // namespace pelantra
