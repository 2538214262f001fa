#pragma once

#include <string>
#include <utility>
#include <vector>

namespace pelantra {

// One run of an outside program, given as a program and its arguments (never
// a shell line), run to its end.
struct ToolCommand {
    std::string program;
    std::vector<std::string> arguments;
    std::string workingDirectory; // empty: the current one
    std::vector<std::pair<std::string, std::string>> environment; // added to the inherited one
};

struct ToolResult {
    enum class Status { Finished, FailedToStart, Crashed };

    Status status = Status::FailedToStart;
    int exitCode = -1; // meaningful when Finished
    std::string output; // standard output and standard error together
    std::string errorText; // why it did not start or finish

    bool Finished() const { return status == Status::Finished; }
    bool ExitedWith(int code) const { return Finished() && exitCode == code; }
    // A short technical description: "exit code 2", "crashed", "failed to start: ...".
    std::string Describe() const;
};

// Blocks until the program has ended. Safe to call from any thread.
ToolResult RunTool(const ToolCommand& command);

} // namespace pelantra
