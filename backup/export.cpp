#include "backup/export.h"

#include <QFile>
#include <QFileInfo>

#include "core/database.h"
#include "core/platform.h"

namespace pelantra {

ToolResult ExportStaging(const std::string& basedir, const std::string& port, const std::string& workingDirectory)
{
    ToolCommand command;
    command.program = PgDumpProgram(basedir, kHostPlatform);
    command.arguments = {"--host",         "localhost", "--port", port,          "--username", "postgres",
                         "--no-password",  "--format",  "plain",  "--data-only", "--inserts",  "--file",
                         kWorkingDumpName, "--schema",  "tmpx",   "pendataan"};
    command.workingDirectory = workingDirectory;
    command.environment = {{"PGPASSWORD", kDatabasePassword}};
    return RunTool(command);
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

Status RewriteDumpFile(const std::string& fromPath, const std::string& toPath, const ColumnLists& columns)
{
    QFile in(QString::fromStdString(fromPath));
    QFile out(QString::fromStdString(toPath));
    if (QFileInfo(in) == QFileInfo(out))
        return Failure{kRewriteFailed, "source and target are the same file"};
    if (!in.open(QIODevice::ReadOnly))
        return Failure{kRewriteFailed, fromPath + ": " + in.errorString().toStdString()};
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return Failure{kRewriteFailed, toPath + ": " + out.errorString().toStdString()};

    DumpRewriter rewriter(columns, [&out](std::string_view piece) {
        return out.write(piece.data(), static_cast<qint64>(piece.size())) == static_cast<qint64>(piece.size());
    });
    Status result;
    QByteArray chunk(1 << 16, Qt::Uninitialized);
    qint64 n = 0;
    while (result.ok() && (n = in.read(chunk.data(), chunk.size())) > 0)
        result = rewriter.Feed(std::string_view(chunk.constData(), static_cast<std::size_t>(n)));
    if (result.ok() && n < 0)
        result = Failure{kRewriteFailed, fromPath + ": " + in.errorString().toStdString()};
    if (result.ok())
        result = rewriter.Finish();
    if (result.ok() && !out.flush())
        result = Failure{kRewriteFailed, toPath + ": " + out.errorString().toStdString()};
    out.close();
    if (!result.ok())
        out.remove();
    return result;
}

} // namespace pelantra
