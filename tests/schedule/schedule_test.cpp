#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <string>

#include "schedule/messages.h"
#include "schedule/schedule.h"
#include "support/files.h"

namespace pelantra {
namespace {

TEST(Schedule, TimesAndDaysAsAPersonWritesThem)
{
    EXPECT_EQ(ParseClockTime("19:30"), QTime(19, 30));
    EXPECT_EQ(ParseClockTime("7:05"), QTime(7, 5));
    EXPECT_EQ(ParseClockTime("07.05"), QTime(7, 5));
    for (const char* bad : {"24:00", "19:60", "1930", "19:3", "", "jam 7", "19:30 "})
        EXPECT_FALSE(ParseClockTime(bad)) << bad;
    EXPECT_EQ(ParseWeekday("Senin"), 1);
    EXPECT_EQ(ParseWeekday("JUMAT"), 5);
    EXPECT_EQ(ParseWeekday("jum'at"), 5);
    EXPECT_EQ(ParseWeekday("ahad"), 7);
    EXPECT_EQ(ParseWeekday("minggu"), 7);
    EXPECT_EQ(ParseWeekday("thursday"), 4);
    EXPECT_FALSE(ParseWeekday("sen"));
    EXPECT_FALSE(ParseWeekday(""));

    Schedule thursday{Schedule::Every::Week, 4, QTime(19, 30), "/srv/cadangan"};
    EXPECT_EQ(DescribeWhen(thursday), "setiap Kamis pukul 19:30");
    // Thursday 10 December 2026.
    const QDateTime before(QDate(2026, 12, 10), QTime(19, 29));
    EXPECT_EQ(NextRun(thursday, before), QDateTime(QDate(2026, 12, 10), QTime(19, 30)));
    EXPECT_EQ(NextRun(thursday, QDateTime(QDate(2026, 12, 10), QTime(19, 30))),
              QDateTime(QDate(2026, 12, 17), QTime(19, 30)));
    const Schedule daily{Schedule::Every::Day, 1, QTime(6, 0), "/srv/cadangan"};
    EXPECT_EQ(NextRun(daily, before), QDateTime(QDate(2026, 12, 11), QTime(6, 0)));
}

// Folders as an operator names them: blanks, a drive's root (whose
// backslash must not escape the quote after it), "&" and "%".
const char* const kFolders[] = {"D:\\", "C:\\Backup Sekolah\\Caf\xC3\xA9", "E:\\A & B 100%"};

TEST(Schedule, TheTaskDefinitionReadsBackAsItWasMeant)
{
    for (const char* folder : kFolders) {
        SCOPED_TRACE(folder);
        const Schedule weekly{Schedule::Every::Week, 5, QTime(7, 5), folder};
        const ScheduledCommand command =
            BackupCommand("C:\\Program Files\\Pelantra\\pelantra-cli.exe", "C:\\ProgramData\\Pelantra", folder);
        const std::string xml = TaskDefinition(weekly, command);
        for (const char* setting :
             {"<LogonType>InteractiveToken</LogonType>", "<MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>",
              "<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>",
              "<StartWhenAvailable>true</StartWhenAvailable>", "<ExecutionTimeLimit>PT2H</ExecutionTimeLimit>",
              "<Friday/>"})
            EXPECT_NE(xml.find(setting), std::string::npos) << setting << "\n" << xml;
        EXPECT_EQ(xml.find("Password"), std::string::npos);
        const std::optional<RegisteredSchedule> read = ParseTaskDefinition(xml);
        ASSERT_TRUE(read && read->schedule) << xml;
        EXPECT_EQ(*read->schedule, weekly);
        EXPECT_EQ(read->command, command);
        EXPECT_TRUE(read->catchesUp);
        EXPECT_EQ(command.arguments, (std::vector<std::string>{"backup", "--all", "--scheduled", folder}));

        const Schedule daily{Schedule::Every::Day, 1, QTime(23, 59), folder};
        EXPECT_EQ(ParseTaskDefinition(TaskDefinition(daily, command))->schedule, daily);
    }
    // What Wine 8 keeps of a registered task: its settings, no trigger or action.
    const std::optional<RegisteredSchedule> wine = ParseTaskDefinition(
        "<!-- Task definition created by Wine -->\n<Task version=\"1.2\" "
        "xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n<Triggers/>\n<Settings>\n"
        "<StartWhenAvailable>true</StartWhenAvailable>\n</Settings>\n<Actions>\n<Exec/>\n</Actions>\n</Task>\n");
    ASSERT_TRUE(wine);
    EXPECT_FALSE(wine->schedule);
    EXPECT_TRUE(wine->catchesUp);
    EXPECT_FALSE(ParseTaskDefinition("ERROR: The system cannot find the file specified."));
}

TEST(Schedule, TheSystemdUnitsReadBackAsTheyWereMeant)
{
    for (const char* folder : {"/srv/cadangan sekolah", "/srv/100% \"benar\"\\x", "/srv/${HOME}/$$/$x"}) {
        SCOPED_TRACE(folder);
        const Schedule weekly{Schedule::Every::Week, 7, QTime(6, 45), folder};
        const ScheduledCommand command = BackupCommand("/opt/pelantra/pelantra-cli", folder, folder);
        const std::string timer = TimerUnit(weekly);
        EXPECT_NE(timer.find("\nOnCalendar=Sun *-*-* 06:45:00\n"), std::string::npos) << timer;
        EXPECT_NE(timer.find("\nPersistent=true\n"), std::string::npos) << timer;
        const std::optional<RegisteredSchedule> read = ParseUnits(timer, ServiceUnit(command));
        ASSERT_TRUE(read && read->schedule);
        EXPECT_EQ(*read->schedule, weekly);
        EXPECT_EQ(read->command, command);
        EXPECT_TRUE(read->catchesUp);
    }
}

TEST(Schedule, NamesTheSystemWouldChangeOrRefuseAreFound)
{
    // systemd replaces "$" in ExecStart: it is written doubled.
    const ScheduledCommand command = BackupCommand("/opt/pelantra/pelantra-cli", "/srv", "/srv/${HOME}$");
    EXPECT_NE(ServiceUnit(command).find(" \"/srv/$${HOME}$$\"\n"), std::string::npos) << ServiceUnit(command);

    using enum ScheduleNameFault;
    const struct {
        const char* path;
        ScheduleNameFault posix;
        ScheduleNameFault windows;
    } cases[] = {
        {"/srv/cadangan sekolah", None, None},
        {"/srv/cadangan\\", TrailingBackslashOrBlank, None},
        {"/srv/cadangan ", TrailingBackslashOrBlank, None},
        {"/srv/caf\xE9", NotUtf8, None},
        {"C:\\Data\\%USERNAME%\\Backup", None, Percent},
        {"/srv/a\nb", ControlCharacter, ControlCharacter},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ScheduleNameFaultOf(c.path, Platform::Posix), c.posix);
        EXPECT_EQ(ScheduleNameFaultOf(c.path, Platform::Windows), c.windows);
    }
}

// The systemd user timer through a stand-in systemctl that logs its arguments.
TEST(Schedule, ATimerIsWrittenStartedAndRemoved)
{
    QTemporaryDir home;
    QTemporaryDir bin;
    const QByteArray path = qgetenv("PATH");
    const QByteArray configHome = qgetenv("XDG_CONFIG_HOME");
    qputenv("PATH", bin.path().toUtf8() + ":" + path);
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    const QString calls = bin.filePath("calls");
    const auto standIn = [&](int code) {
        QFile script(bin.filePath("systemctl"));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
        script.write(("#!/bin/sh\necho \"$*\" >>'" + calls + "'\nexit " + QString::number(code) + "\n").toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };
    standIn(0);

    const SystemSchedule system(Platform::Posix);
    ASSERT_FALSE(system.Read().value()) << "no schedule yet";
    const Schedule daily{Schedule::Every::Day, 1, QTime(12, 15), home.path().toStdString()};
    const ScheduledCommand command = BackupCommand("/usr/bin/pelantra-cli", "/etc/pelantra", daily.folder);
    ASSERT_TRUE(system.Register(daily, command).ok());
    EXPECT_EQ(
        ReadFile(calls.toStdString()),
        "--user daemon-reload\n--user enable --now pelantra-backup.timer\n--user restart pelantra-backup.timer\n");
    const Result<std::optional<RegisteredSchedule>> read = system.Read();
    ASSERT_TRUE(read.ok() && read.value() && read.value()->schedule);
    EXPECT_EQ(*read.value()->schedule, daily);
    EXPECT_EQ(read.value()->command, command);

    ASSERT_TRUE(system.Remove().ok());
    EXPECT_FALSE(system.Read().value());
    EXPECT_NE(ReadFile(calls.toStdString()).find("--user disable --now pelantra-backup.timer\n"), std::string::npos);

    // Without a user manager the units are written, and the message says
    // how to start the timer.
    standIn(1);
    const Status unstarted = system.Register(daily, command);
    ASSERT_FALSE(unstarted.ok());
    EXPECT_EQ(unstarted.failure().reason, kTimerNotStarted);
    EXPECT_TRUE(system.Read().value());
    EXPECT_TRUE(system.Remove().ok());
    EXPECT_FALSE(system.Read().value());

    qputenv("PATH", path);
    qputenv("XDG_CONFIG_HOME", configHome);
}

} // namespace
} // namespace pelantra
