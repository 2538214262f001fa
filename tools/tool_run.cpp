#include "tools/tool_run.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStringList>
#include <QThread>

#include "core/platform.h"

namespace pelantra {
namespace {

constexpr std::size_t kTailBytes = 64 * 1024;
constexpr int kStartMs = 30000;
constexpr int kStartAttempts = 3;
constexpr int kStartRetryMs = 100;
constexpr int kDetailLines = 12;

bool IsBanner(const std::string& line)
{
    return line.rfind("7-Zip ", 0) == 0 || line.rfind("p7zip Version", 0) == 0 || line.rfind("Copyright (c)", 0) == 0;
}

} // namespace

std::string ToolResult::Describe() const
{
    switch (ending) {
    case Ending::Finished:
        return "exit code " + std::to_string(exitCode);
    case Ending::Crashed:
        return "crashed" + (errorText.empty() ? std::string() : ": " + errorText);
    case Ending::Stalled:
        return "stopped after making no progress";
    case Ending::Stopped:
        return "stopped on request";
    case Ending::FailedToStart:
        break;
    }
    return "failed to start" + (errorText.empty() ? std::string() : ": " + errorText);
}

std::string ToolResult::Detail(const std::string& program) const
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        end = end == std::string::npos ? output.size() : end;
        std::string line = output.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (!line.empty() && !IsBanner(line))
            lines.push_back(line);
        start = end + 1;
    }
    std::string detail = program + ": " + Describe();
    for (std::size_t i = lines.size() > kDetailLines ? lines.size() - kDetailLines : 0; i < lines.size(); ++i)
        detail += "\n" + lines[i];
    return detail;
}

void OutputTail::Append(const QByteArray& bytes)
{
    text_.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (text_.size() > 2 * kTailBytes)
        text_.erase(0, text_.size() - kTailBytes);
}

ToolProcess::ToolProcess(const ToolCommand& command, Channels channels)
    : channels_(channels), messageCodePage_(command.messages)
{
    process_.setProcessChannelMode(channels == Channels::Merged ? QProcess::MergedChannels
                                                                : QProcess::SeparateChannels);
    if (!command.environment.empty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const auto& [name, value] : command.environment)
            environment.insert(QString::fromStdString(name), QString::fromStdString(value));
        process_.setProcessEnvironment(environment);
    }
    QStringList arguments;
    for (const auto& argument : command.arguments)
        arguments << QString::fromStdString(argument);
#ifdef Q_OS_UNIX
    process_.setChildProcessModifier([] {
        EndWithParent();
        WidenStandardPipes();
    });
#endif
    // Creating a process can fail for a moment (Wine under load answers
    // ERROR_INTERNAL_ERROR about once in a few hundred starts): a program
    // that is there is tried again before it counts as one that cannot start.
    const QString program = QString::fromStdString(command.program);
    for (int attempt = 1;; ++attempt) {
        process_.start(program, arguments);
        started_ = process_.waitForStarted(kStartMs);
        if (started_ || attempt == kStartAttempts || !QFileInfo(program).isFile())
            break;
        QThread::msleep(kStartRetryMs);
    }
    if (!started_) {
        startError_ = process_.errorString().toStdString();
        process_.kill();
    }
}

ToolProcess::~ToolProcess()
{
    Stop(ToolResult::Ending::Stopped);
}

bool ToolProcess::CollectMessages()
{
    const QByteArray bytes =
        channels_ == Channels::Merged ? process_.readAllStandardOutput() : process_.readAllStandardError();
    messages_.Append(bytes);
    return !bytes.isEmpty();
}

ToolResult ToolProcess::Ended()
{
    CollectMessages();
    ToolResult result;
    result.output = Utf8FromProgramMessages(messages_.Text(), messageCodePage_);
    if (!started_) {
        result.ending = ToolResult::Ending::FailedToStart;
        result.errorText = startError_;
    } else if (process_.exitStatus() == QProcess::CrashExit) {
        result.ending = ToolResult::Ending::Crashed;
        result.errorText = process_.errorString().toStdString();
    } else {
        result.ending = ToolResult::Ending::Finished;
        result.exitCode = process_.exitCode();
    }
    return result;
}

ToolResult ToolProcess::Stop(ToolResult::Ending why)
{
    if (process_.state() == QProcess::NotRunning)
        return Ended();
    process_.kill();
    process_.waitForFinished(kStartMs);
    ToolResult result = Ended();
    result.ending = why;
    return result;
}

ToolResult ToolProcess::Finish(const ToolWatch& watch)
{
    if (!started_)
        return Ended();
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    qint64 fileSize = -1;
    while (!process_.waitForFinished(kSliceMs)) {
        if (process_.state() == QProcess::NotRunning)
            break;
        if (watch.StopRequested())
            return Stop(ToolResult::Ending::Stopped);
        bool progress = CollectMessages();
        if (!watch.growingFile.empty()) {
            const qint64 size = QFileInfo(QString::fromStdString(watch.growingFile)).size();
            progress = progress || size != fileSize;
            fileSize = size;
        }
        if (progress)
            sinceProgress.restart();
        else if (sinceProgress.elapsed() > watch.stallLimit.count())
            return Stop(ToolResult::Ending::Stalled);
    }
    return Ended();
}

ToolProcess::Reading ToolProcess::ReadOutput(const ToolWatch& watch, const std::function<bool(std::string_view)>& take,
                                             const std::function<bool()>& otherProgress)
{
    constexpr qint64 kChunkBytes = 1 << 16;
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    for (;;) {
        if (watch.StopRequested())
            return Reading::StopRequested;
        const bool spoke = CollectMessages() | (otherProgress && otherProgress());
        const QByteArray chunk = process_.read(kChunkBytes);
        if (!chunk.isEmpty()) {
            if (!take(std::string_view(chunk.constData(), static_cast<std::size_t>(chunk.size()))))
                return Reading::Refused;
            sinceProgress.restart();
            continue;
        }
        if (process_.state() == QProcess::NotRunning && process_.bytesAvailable() == 0)
            return Reading::Ended;
        if (spoke)
            sinceProgress.restart();
        if (!process_.waitForReadyRead(kSliceMs) && sinceProgress.elapsed() > watch.stallLimit.count())
            return Reading::Stalled;
    }
}

ToolResult RunTool(const ToolCommand& command, const ToolWatch& watch)
{
    ToolProcess tool(command, ToolProcess::Channels::Merged);
    return tool.Finish(watch);
}

} // namespace pelantra
