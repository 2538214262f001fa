#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "tools/tool_run.h"

namespace pelantra {
namespace {

TEST(ToolRun, TellsApartStartFailureCrashAndExitCode)
{
    EXPECT_EQ(RunTool({"/nonexistent/tool", {}, {}}).ending, ToolResult::Ending::FailedToStart);

    const ToolResult crashed = RunTool({"/bin/sh", {"-c", "echo before; kill -KILL $$"}, {}});
    EXPECT_EQ(crashed.ending, ToolResult::Ending::Crashed);
    EXPECT_EQ(crashed.output, "before\n");

    const ToolResult exited = RunTool({"/bin/sh", {"-c", "echo out; echo err >&2; exit 3"}, {{"X", "1"}}});
    EXPECT_TRUE(exited.ExitedWith(3));
    EXPECT_NE(exited.output.find("out"), std::string::npos);
    EXPECT_NE(exited.output.find("err"), std::string::npos);

    const ToolResult environment =
        RunTool({"/bin/sh", {"-c", "printf %s \"$PELANTRA_PROBE\""}, {{"PELANTRA_PROBE", "v"}}});
    EXPECT_EQ(environment.output, "v");

    ToolWatch quiet;
    quiet.stallLimit = std::chrono::milliseconds(300);
    EXPECT_EQ(RunTool({"/bin/sh", {"-c", "exec sleep 600"}, {}}, quiet).ending, ToolResult::Ending::Stalled);
}

} // namespace
} // namespace pelantra
