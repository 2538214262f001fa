#include "backup/tool_run.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

namespace pelantra {

std::string ToolResult::Describe() const
{
    switch (status) {
    case Status::Finished:
        return "exit code " + std::to_string(exitCode);
    case Status::Crashed:
        return "crashed" + (errorText.empty() ? std::string() : ": " + errorText);
    case Status::FailedToStart:
        break;
    }
    return "failed to start" + (errorText.empty() ? std::string() : ": " + errorText);
}

ToolResult RunTool(const ToolCommand& command)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!command.workingDirectory.empty())
        process.setWorkingDirectory(QString::fromStdString(command.workingDirectory));
    if (!command.environment.empty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const auto& [name, value] : command.environment)
            environment.insert(QString::fromStdString(name), QString::fromStdString(value));
        process.setProcessEnvironment(environment);
    }
    QStringList arguments;
    for (const auto& argument : command.arguments)
        arguments << QString::fromStdString(argument);

    ToolResult result;
    process.start(QString::fromStdString(command.program), arguments);
    if (!process.waitForStarted(-1)) {
        result.status = ToolResult::Status::FailedToStart;
        result.errorText = process.errorString().toStdString();
        return result;
    }
    process.waitForFinished(-1);
    result.output = process.readAll().toStdString();
    if (process.exitStatus() == QProcess::CrashExit) {
        result.status = ToolResult::Status::Crashed;
        result.errorText = process.errorString().toStdString();
    } else {
        result.status = ToolResult::Status::Finished;
        result.exitCode = process.exitCode();
    }
    return result;
}

} // namespace pelantra
