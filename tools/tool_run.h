#pragma once

#include <QProcess>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/platform.h"

namespace pelantra {

// How long a wait for an outside program lasts before the watch is looked at again.
inline constexpr int kSliceMs = 100;

// One run of an outside program, given as a program and its arguments (never
// a shell line).
struct ToolCommand {
    std::string program;
    std::vector<std::string> arguments;
    std::vector<std::pair<std::string, std::string>> environment; // added to the inherited one
    MessageCodePage messages = MessageCodePage::Oem; // what its messages are written in, on Windows
};

struct ToolResult {
    // How a run ended.
    enum class Ending {
        Finished,
        FailedToStart,
        Crashed,
        Stalled, // stopped by us after it made no progress for too long
        Stopped, // stopped by us because the run was asked to stop
    };

    Ending ending = Ending::FailedToStart;
    int exitCode = -1; // meaningful when Finished
    std::string output; // what it printed (the last part of a long output), as UTF-8 text
    std::string errorText; // why it did not start or finish

    bool Finished() const { return ending == Ending::Finished; }
    bool ExitedWith(int code) const { return Finished() && exitCode == code; }
    // A short technical description: "exit code 2", "crashed", "failed to start: ...".
    std::string Describe() const;
    // What a person reads below a failure: `program`, the description and
    // the last lines the program printed, without the banner it starts with.
    std::string Detail(const std::string& program) const;
};

// How long a tool may go without progress, and whether the run was asked to
// stop. Progress is output, input taken, or growth of `growingFile`.
struct ToolWatch {
    std::chrono::milliseconds stallLimit = std::chrono::minutes(2);
    std::function<bool()> stopRequested; // empty: never
    std::string growingFile;

    bool StopRequested() const { return stopRequested && stopRequested(); }
};

// The last part of a program's output, bounded so that a chatty program
// cannot fill the memory.
class OutputTail {
public:
    void Append(const QByteArray& bytes);
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

// A started outside program in the current directory. Its standard output
// and error are merged, or kept apart so that the output can be read as
// data. It is killed when the object goes and it still runs.
class ToolProcess {
public:
    enum class Channels { Merged, Separate };

    ToolProcess(const ToolCommand& command, Channels channels);
    ~ToolProcess();
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    bool Started() const { return started_; }
    QProcess& Process() { return process_; }
    // Moves what the program wrote to its error channel, or to its only
    // channel when merged, into the kept output; true when there was some.
    bool CollectMessages();
    // Waits for the end, bounded by progress and the stop request.
    ToolResult Finish(const ToolWatch& watch);
    // How reading the standard output ended.
    enum class Reading { Ended, Refused, StopRequested, Stalled };
    // Reads the standard output (channels kept apart) until the program has
    // ended and all is read, handing each piece to `take`, which refuses
    // with false. Messages on the error channel, and `otherProgress()` when
    // true, count as progress too; the wait is bounded by `watch`.
    Reading ReadOutput(const ToolWatch& watch, const std::function<bool(std::string_view)>& take,
                       const std::function<bool()>& otherProgress = {});
    // Stops the program, if it runs, and reports how the run ended.
    ToolResult Stop(ToolResult::Ending why);

private:
    ToolResult Ended();

    QProcess process_;
    Channels channels_;
    MessageCodePage messageCodePage_;
    OutputTail messages_;
    bool started_ = false;
    std::string startError_;
};

// Runs the program to its end, output and errors merged.
ToolResult RunTool(const ToolCommand& command, const ToolWatch& watch = {});

} // namespace pelantra
