#pragma once

#include <QDateTime>
#include <QTime>

#include <optional>
#include <string>
#include <vector>

#include "core/platform.h"
#include "core/result.h"
#include "tools/tool_run.h"

namespace pelantra {

// The automatic backup: every school (pelantra-cli backup --all) into one
// folder, every day or on one day of the week, at one time.
struct Schedule {
    enum class Every { Day, Week };
    Every every = Every::Day;
    int weekday = 1; // Monday 1 ... Sunday 7, for Every::Week
    QTime time;
    std::string folder;

    bool operator==(const Schedule&) const = default;
};

// "19:30", "7:05"; nothing for anything else.
std::optional<QTime> ParseClockTime(const std::string& text);
// A day's name in Indonesian or English, any case ("Senin", "jumat",
// "Jum'at", "minggu", "ahad", "monday"): Monday 1 ... Sunday 7.
std::optional<int> ParseWeekday(const std::string& text);
// "setiap hari pukul 19:30", "setiap Senin pukul 19:30".
std::string DescribeWhen(const Schedule& schedule);
// The first start of the schedule after `now`.
QDateTime NextRun(const Schedule& schedule, const QDateTime& now);

// Why a path cannot go into the system's schedule: a line break or another
// control character; for systemd a trailing backslash (which continues the
// unit's line) or blank (which it trims away), or bytes that are not UTF-8
// (which it ignores); for the Task Scheduler a "%", which it expands with no
// escape for it.
enum class ScheduleNameFault { None, ControlCharacter, TrailingBackslashOrBlank, NotUtf8, Percent };
ScheduleNameFault ScheduleNameFaultOf(const std::string& path, Platform platform = kHostPlatform);

// What the system is told to run: pelantra-cli's path, its arguments, and
// the folder it starts in (that of setting.ini).
struct ScheduledCommand {
    std::string program;
    std::vector<std::string> arguments;
    std::string workingFolder;

    bool operator==(const ScheduledCommand&) const = default;
};
ScheduledCommand BackupCommand(const std::string& program, const std::string& workingFolder, const std::string& folder);
// The program and its arguments on one line, as the system keeps them: as
// Windows splits a command line again (CommandLineToArgvW), or as the
// service's ExecStart.
std::string CommandLine(const ScheduledCommand& command, Platform platform = kHostPlatform);

// The schedule as the system keeps it, read back.
struct RegisteredSchedule {
    std::optional<Schedule> schedule; // nothing when the trigger cannot be read
    ScheduledCommand command;
    bool catchesUp = false; // a missed start runs as soon as it can
};

// The Task Scheduler's form (Windows): the task's definition, and what one
// read back holds. The task runs only while its user is logged on, so no
// password is stored; on battery too; at most 2 hours; never twice at once.
inline constexpr const char* kTaskPath = "\\Pelantra\\Backup otomatis";
std::string TaskDefinition(const Schedule& schedule, const ScheduledCommand& command);
std::optional<RegisteredSchedule> ParseTaskDefinition(const std::string& xml);

// The systemd form (elsewhere): a user timer, Persistent so that a start
// missed while the machine was off runs at the next boot, and its service.
inline constexpr const char* kTimerUnit = "pelantra-backup.timer";
inline constexpr const char* kServiceUnit = "pelantra-backup.service";
std::string TimerUnit(const Schedule& schedule);
std::string ServiceUnit(const ScheduledCommand& command);
std::optional<RegisteredSchedule> ParseUnits(const std::string& timer, const std::string& service);

// The schedule of this user on this system. `platform` chooses the form;
// the system's own is the one that works.
class SystemSchedule {
public:
    explicit SystemSchedule(Platform platform = kHostPlatform);

    Status Register(const Schedule& schedule, const ScheduledCommand& command) const;
    // Nothing when there is no schedule.
    Result<std::optional<RegisteredSchedule>> Read() const;
    Status Remove() const;

private:
    ToolResult Run(const std::string& program, const std::vector<std::string>& arguments) const;
    Status Failed(const char* reason, const std::string& program, const ToolResult& run) const;

    Platform platform_;
};

} // namespace pelantra
