#include "schedule/schedule.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <array>

#include "schedule/messages.h"

namespace pelantra {
namespace {

struct DayNames {
    const char* english;
    const char* indonesian;
    const char* other; // another way Indonesians write it
    const char* systemd;
};
constexpr std::array<DayNames, 7> kDays = {{{"Monday", "Senin", "Senen", "Mon"},
                                            {"Tuesday", "Selasa", "Selasa", "Tue"},
                                            {"Wednesday", "Rabu", "Rebo", "Wed"},
                                            {"Thursday", "Kamis", "Kemis", "Thu"},
                                            {"Friday", "Jumat", "Jum'at", "Fri"},
                                            {"Saturday", "Sabtu", "Saptu", "Sat"},
                                            {"Sunday", "Minggu", "Ahad", "Sun"}}};

constexpr const char* kTaskNamespace = "http://schemas.microsoft.com/windows/2004/02/mit/task";
constexpr const char* kCommandOption = "backup";

QString ClockText(const QTime& time)
{
    return QLocale::c().toString(time, "HH:mm");
}

// The argument as CommandLineToArgvW gives it back: quoted when it has a
// blank or a quote, backslashes doubled where a quote follows them.
std::string WindowsArgument(const std::string& argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\').push_back(c);
        backslashes = 0;
    }
    return quoted.append(backslashes * 2, '\\') + "\"";
}

// The arguments of a command line as CommandLineToArgvW splits it (a
// program's arguments, not the program's own name).
std::vector<std::string> SplitWindowsCommandLine(const std::string& line)
{
    std::vector<std::string> arguments;
    std::string current;
    bool inQuotes = false;
    bool any = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\') {
            std::size_t count = 0;
            while (i < line.size() && line[i] == '\\') {
                ++count;
                ++i;
            }
            if (i < line.size() && line[i] == '"') {
                current.append(count / 2, '\\');
                if (count % 2 == 1)
                    current.push_back('"');
                else
                    inQuotes = !inQuotes;
            } else {
                current.append(count, '\\');
                --i;
            }
            any = true;
        } else if (c == '"') {
            if (inQuotes && i + 1 < line.size() && line[i + 1] == '"') {
                current.push_back('"');
                ++i;
            } else {
                inQuotes = !inQuotes;
            }
            any = true;
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            if (any)
                arguments.push_back(std::exchange(current, {}));
            any = false;
        } else {
            current.push_back(c);
            any = true;
        }
    }
    if (any)
        arguments.push_back(current);
    return arguments;
}

// A systemd unit's value: the text as it is, or in double quotes with
// backslashes and quotes escaped; a "%" and a "$" are doubled as systemd
// wants, so that it replaces neither by something of its own.
std::string UnitWord(const std::string& word)
{
    std::string escaped;
    for (const char c : word) {
        if (c == '\\' || c == '"')
            escaped.push_back('\\');
        escaped.push_back(c);
        if (c == '%' || c == '$')
            escaped.push_back(c);
    }
    return "\"" + escaped + "\"";
}

// The words, each as `quote` writes it, between blanks.
std::string Joined(const std::vector<std::string>& words, std::string (*quote)(const std::string&))
{
    std::string line;
    for (const std::string& word : words)
        line.append(line.empty() ? "" : " ").append(quote(word));
    return line;
}

std::vector<std::string> SplitUnitWords(const std::string& line)
{
    std::vector<std::string> words;
    std::string current;
    bool inQuotes = false;
    bool any = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\' && i + 1 < line.size()) {
            current.push_back(line[++i]);
        } else if ((c == '%' || c == '$') && i + 1 < line.size() && line[i + 1] == c) {
            current.push_back(line[++i]);
        } else if (c == '"') {
            inQuotes = !inQuotes;
        } else if (c == ' ' && !inQuotes) {
            if (any)
                words.push_back(std::exchange(current, {}));
            any = false;
            continue;
        } else {
            current.push_back(c);
        }
        any = true;
    }
    if (any)
        words.push_back(current);
    return words;
}

// The value of `key=` in a unit's text.
std::optional<std::string> UnitValue(const std::string& unit, const std::string& key)
{
    const QRegularExpression line("^" + QRegularExpression::escape(QString::fromStdString(key)) + "=(.*)$",
                                  QRegularExpression::MultilineOption);
    const QRegularExpressionMatch found = line.match(QString::fromStdString(unit));
    if (!found.hasMatch())
        return std::nullopt;
    return found.captured(1).toStdString();
}

// The folder of a backup --all command: its last argument.
std::optional<Schedule> WithFolder(std::optional<Schedule> schedule, const ScheduledCommand& command)
{
    if (schedule && !command.arguments.empty())
        schedule->folder = command.arguments.back();
    return schedule;
}

// Where the systemd units go: the user's systemd folder under Qt's
// configuration location.
std::string SystemdUserFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath("systemd/user")
        .toStdString();
}

} // namespace

std::optional<QTime> ParseClockTime(const std::string& text)
{
    static const QRegularExpression clock("^([01]?[0-9]|2[0-3])[:.]([0-5][0-9])$");
    const QRegularExpressionMatch match = clock.match(QString::fromStdString(text));
    if (!match.hasMatch())
        return std::nullopt;
    return QTime(match.captured(1).toInt(), match.captured(2).toInt());
}

std::optional<int> ParseWeekday(const std::string& text)
{
    const QString name = QString::fromStdString(text);
    for (std::size_t i = 0; i < kDays.size(); ++i) {
        for (const char* known : {kDays[i].english, kDays[i].indonesian, kDays[i].other}) {
            if (name.compare(QString::fromUtf8(known), Qt::CaseInsensitive) == 0)
                return static_cast<int>(i) + 1;
        }
    }
    return std::nullopt;
}

std::string DescribeWhen(const Schedule& schedule)
{
    const std::string day = schedule.every == Schedule::Every::Day
                                ? "hari"
                                : kDays[static_cast<std::size_t>(schedule.weekday - 1)].indonesian;
    return FillIn(kScheduleWhen, {day, ClockText(schedule.time).toStdString()});
}

QDateTime NextRun(const Schedule& schedule, const QDateTime& now)
{
    QDateTime next(now.date(), schedule.time);
    while (next <= now || (schedule.every == Schedule::Every::Week && next.date().dayOfWeek() != schedule.weekday))
        next = QDateTime(next.date().addDays(1), schedule.time);
    return next;
}

ScheduleNameFault ScheduleNameFaultOf(const std::string& path, Platform platform)
{
    if (std::any_of(path.begin(), path.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; }))
        return ScheduleNameFault::ControlCharacter;
    if (platform == Platform::Windows)
        return path.find('%') == std::string::npos ? ScheduleNameFault::None : ScheduleNameFault::Percent;
    if (!path.empty() && (path.back() == '\\' || path.back() == ' '))
        return ScheduleNameFault::TrailingBackslashOrBlank;
    return IsValidUtf8(path) ? ScheduleNameFault::None : ScheduleNameFault::NotUtf8;
}

ScheduledCommand BackupCommand(const std::string& program, const std::string& workingFolder, const std::string& folder)
{
    return {program, {kCommandOption, "--all", "--scheduled", folder}, workingFolder};
}

std::string CommandLine(const ScheduledCommand& command, Platform platform)
{
    std::vector<std::string> words = command.arguments;
    words.insert(words.begin(), command.program);
    return Joined(words, platform == Platform::Windows ? WindowsArgument : UnitWord);
}

std::string TaskDefinition(const Schedule& schedule, const ScheduledCommand& command)
{
    QString xml;
    QXmlStreamWriter out(&xml);
    out.setAutoFormatting(true);
    out.writeStartDocument();
    out.writeStartElement("Task");
    out.writeAttribute("version", "1.2");
    out.writeDefaultNamespace(kTaskNamespace);
    out.writeStartElement("RegistrationInfo");
    out.writeTextElement("Description", "Pelantra: " + QString::fromStdString(DescribeWhen(schedule)));
    out.writeEndElement();

    out.writeStartElement("Triggers");
    out.writeStartElement("CalendarTrigger");
    const QDateTime first = NextRun(schedule, QDateTime::currentDateTime());
    out.writeTextElement("StartBoundary", QLocale::c().toString(first, "yyyy-MM-ddTHH:mm:ss"));
    out.writeTextElement("Enabled", "true");
    if (schedule.every == Schedule::Every::Day) {
        out.writeStartElement("ScheduleByDay");
        out.writeTextElement("DaysInterval", "1");
    } else {
        out.writeStartElement("ScheduleByWeek");
        out.writeStartElement("DaysOfWeek");
        out.writeEmptyElement(kDays[static_cast<std::size_t>(schedule.weekday - 1)].english);
        out.writeEndElement();
        out.writeTextElement("WeeksInterval", "1");
    }
    out.writeEndElement();
    out.writeEndElement();
    out.writeEndElement();

    // The user who registers it, while logged on: no password is kept.
    out.writeStartElement("Principals");
    out.writeStartElement("Principal");
    out.writeAttribute("id", "Author");
    out.writeTextElement("LogonType", "InteractiveToken");
    out.writeTextElement("RunLevel", "LeastPrivilege");
    out.writeEndElement();
    out.writeEndElement();

    out.writeStartElement("Settings");
    out.writeTextElement("MultipleInstancesPolicy", "IgnoreNew");
    out.writeTextElement("DisallowStartIfOnBatteries", "false");
    out.writeTextElement("StopIfGoingOnBatteries", "false");
    out.writeTextElement("StartWhenAvailable", "true");
    out.writeTextElement("ExecutionTimeLimit", "PT2H");
    out.writeTextElement("Enabled", "true");
    out.writeEndElement();

    out.writeStartElement("Actions");
    out.writeAttribute("Context", "Author");
    out.writeStartElement("Exec");
    out.writeTextElement("Command", QString::fromStdString(command.program));
    out.writeTextElement("Arguments", QString::fromStdString(Joined(command.arguments, WindowsArgument)));
    out.writeTextElement("WorkingDirectory", QString::fromStdString(command.workingFolder));
    out.writeEndElement();
    out.writeEndElement();
    out.writeEndElement();
    out.writeEndDocument();
    return xml.toStdString();
}

std::optional<RegisteredSchedule> ParseTaskDefinition(const std::string& xml)
{
    QXmlStreamReader in(QString::fromStdString(xml));
    RegisteredSchedule read;
    Schedule schedule;
    bool timed = false;
    bool daily = false;
    int weekdays = 0;
    bool isTask = false;
    QStringList path;
    while (!in.atEnd()) {
        const QXmlStreamReader::TokenType token = in.readNext();
        if (token == QXmlStreamReader::EndElement) {
            path.removeLast();
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        const QString name = in.name().toString();
        path << name;
        isTask = isTask || (path.size() == 1 && name == "Task");
        const QString parent = path.size() > 1 ? path[path.size() - 2] : QString();
        if (parent == "DaysOfWeek") {
            for (std::size_t i = 0; i < kDays.size(); ++i) {
                if (name == kDays[i].english) {
                    schedule.weekday = static_cast<int>(i) + 1;
                    ++weekdays;
                }
            }
        } else if (name == "ScheduleByDay") {
            daily = true;
        } else if (name == "StartBoundary" && parent == "CalendarTrigger") {
            const QDateTime start = QDateTime::fromString(in.readElementText(), Qt::ISODate);
            path.removeLast();
            schedule.time = QTime(start.time().hour(), start.time().minute());
            timed = start.isValid();
        } else if (parent == "Exec" || (parent == "Settings" && name == "StartWhenAvailable")) {
            const std::string text = in.readElementText().trimmed().toStdString();
            path.removeLast();
            if (name == "Command")
                read.command.program = text;
            else if (name == "Arguments")
                read.command.arguments = SplitWindowsCommandLine(text);
            else if (name == "WorkingDirectory")
                read.command.workingFolder = text;
            else if (name == "StartWhenAvailable")
                read.catchesUp = text == "true";
        }
    }
    if (in.hasError() || !isTask)
        return std::nullopt;
    if (timed && (daily || weekdays == 1)) {
        schedule.every = daily ? Schedule::Every::Day : Schedule::Every::Week;
        read.schedule = WithFolder(schedule, read.command);
    }
    return read;
}

std::string TimerUnit(const Schedule& schedule)
{
    const std::string day = schedule.every == Schedule::Every::Day
                                ? ""
                                : std::string(kDays[static_cast<std::size_t>(schedule.weekday - 1)].systemd) + " ";
    return "[Unit]\nDescription=Pelantra: " + DescribeWhen(schedule) + "\n\n[Timer]\nOnCalendar=" + day + "*-*-* " +
           ClockText(schedule.time).toStdString() +
           ":00\n# A start missed while the machine was off runs as soon as it is on.\nPersistent=true\n\n"
           "[Install]\nWantedBy=timers.target\n";
}

std::string ServiceUnit(const ScheduledCommand& command)
{
    // One run at a time is what a service is; it is stopped after two hours.
    // A path of its own to the end of the line, "%" doubled as systemd wants.
    const std::string folder = QString::fromStdString(command.workingFolder).replace("%", "%%").toStdString();
    return "[Unit]\nDescription=Pelantra: backup otomatis\n\n[Service]\nType=oneshot\nWorkingDirectory=" + folder +
           "\nExecStart=" + CommandLine(command, Platform::Posix) + "\nTimeoutStartSec=2h\n";
}

std::optional<RegisteredSchedule> ParseUnits(const std::string& timer, const std::string& service)
{
    const std::optional<std::string> calendar = UnitValue(timer, "OnCalendar");
    const std::optional<std::string> start = UnitValue(service, "ExecStart");
    if (!calendar || !start)
        return std::nullopt;
    RegisteredSchedule read;
    read.catchesUp = UnitValue(timer, "Persistent") == "true";
    std::vector<std::string> words = SplitUnitWords(*start);
    if (!words.empty()) {
        read.command.program = words.front();
        read.command.arguments.assign(words.begin() + 1, words.end());
    }
    if (const std::optional<std::string> folder = UnitValue(service, "WorkingDirectory"))
        read.command.workingFolder = QString::fromStdString(*folder).replace("%%", "%").toStdString();
    static const QRegularExpression when("^(?:([A-Z][a-z]{2}) )?\\*-\\*-\\* ([0-9]{2}:[0-9]{2}):00$");
    const QRegularExpressionMatch match = when.match(QString::fromStdString(*calendar));
    const std::optional<QTime> time = match.hasMatch() ? ParseClockTime(match.captured(2).toStdString()) : std::nullopt;
    if (!time)
        return read;
    Schedule schedule;
    schedule.time = *time;
    if (!match.captured(1).isEmpty()) {
        schedule.every = Schedule::Every::Week;
        for (std::size_t i = 0; i < kDays.size(); ++i) {
            if (match.captured(1) == kDays[i].systemd)
                schedule.weekday = static_cast<int>(i) + 1;
        }
    }
    read.schedule = WithFolder(schedule, read.command);
    return read;
}

SystemSchedule::SystemSchedule(Platform platform) : platform_(platform) { }

ToolResult SystemSchedule::Run(const std::string& program, const std::vector<std::string>& arguments) const
{
    ToolWatch watch;
    watch.stallLimit = std::chrono::minutes(1);
    return RunTool({program, arguments, {}}, watch);
}

Status SystemSchedule::Failed(const char* reason, const std::string& program, const ToolResult& run) const
{
    return Failure{reason, run.Detail(program)};
}

Status SystemSchedule::Register(const Schedule& schedule, const ScheduledCommand& command) const
{
    if (platform_ == Platform::Windows) {
        // schtasks reads the definition from a file, in UTF-16 as Windows writes it.
        QTemporaryDir scratch;
        const QString file = scratch.filePath("jadwal.xml");
        QFile definition(file);
        const QString xml =
            QString::fromStdString(TaskDefinition(schedule, command))
                .replace("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "<?xml version=\"1.0\" encoding=\"UTF-16\"?>");
        if (!scratch.isValid() || !definition.open(QIODevice::WriteOnly))
            return Failure{kScheduleNotSet, file.toStdString() + ": " + definition.errorString().toStdString()};
        definition.write("\xFF\xFE", 2);
        definition.write(reinterpret_cast<const char*>(xml.utf16()), xml.size() * 2);
        definition.close();
        const ToolResult run =
            Run("schtasks", {"/Create", "/XML", QDir::toNativeSeparators(file).toStdString(), "/TN", kTaskPath, "/F"});
        return run.ExitedWith(0) ? Status() : Failed(kScheduleNotSet, "schtasks", run);
    }
    const QDir units(QString::fromStdString(SystemdUserFolder()));
    const auto write = [&units](const char* name, const std::string& text) {
        QFile unit(units.filePath(name));
        return unit.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               unit.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size());
    };
    if (!units.mkpath(".") || !write(kServiceUnit, ServiceUnit(command)) || !write(kTimerUnit, TimerUnit(schedule)))
        return Failure{kScheduleNotSet, units.path().toStdString()};
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"--user", "daemon-reload"},
                                                      std::vector<std::string>{"--user", "enable", "--now", kTimerUnit},
                                                      std::vector<std::string>{"--user", "restart", kTimerUnit}}) {
        if (const ToolResult run = Run("systemctl", arguments); !run.ExitedWith(0))
            return Failed(kTimerNotStarted, "systemctl", run);
    }
    return {};
}

Result<std::optional<RegisteredSchedule>> SystemSchedule::Read() const
{
    if (platform_ == Platform::Windows) {
        const ToolResult query = Run("schtasks", {"/Query", "/TN", kTaskPath, "/XML", "ONE"});
        if (!query.Finished())
            return Failure{kScheduleUnreadable, query.Detail("schtasks")};
        if (query.exitCode != 0)
            return std::optional<RegisteredSchedule>(); // no such task
        const std::size_t start = query.output.find("<?xml");
        std::optional<RegisteredSchedule> read =
            ParseTaskDefinition(start == std::string::npos ? query.output : query.output.substr(start));
        if (!read)
            return Failure{kScheduleUnreadable, query.Detail("schtasks")};
        return read;
    }
    const QDir units(QString::fromStdString(SystemdUserFolder()));
    QFile timer(units.filePath(kTimerUnit));
    QFile service(units.filePath(kServiceUnit));
    if (!timer.exists())
        return std::optional<RegisteredSchedule>();
    if (!timer.open(QIODevice::ReadOnly) || !service.open(QIODevice::ReadOnly))
        return Failure{kScheduleUnreadable, units.path().toStdString()};
    std::optional<RegisteredSchedule> read = ParseUnits(timer.readAll().toStdString(), service.readAll().toStdString());
    if (!read)
        return Failure{kScheduleUnreadable, units.filePath(kTimerUnit).toStdString()};
    return read;
}

Status SystemSchedule::Remove() const
{
    if (platform_ == Platform::Windows) {
        const ToolResult run = Run("schtasks", {"/Delete", "/TN", kTaskPath, "/F"});
        if (run.ExitedWith(0))
            return {};
        // No task to remove is what was asked for.
        if (const Result<std::optional<RegisteredSchedule>> read = Read(); read.ok() && !read.value())
            return {};
        return Failed(kScheduleNotRemoved, "schtasks", run);
    }
    QDir units(QString::fromStdString(SystemdUserFolder()));
    if (!units.exists(kTimerUnit))
        return {};
    // Without a user manager (no session) no timer runs to be stopped: the
    // units' files are what is left to remove.
    (void)Run("systemctl", {"--user", "disable", "--now", kTimerUnit});
    if (!units.remove(kTimerUnit) || !units.remove(kServiceUnit))
        return Failure{kScheduleNotRemoved, units.path().toStdString()};
    (void)Run("systemctl", {"--user", "daemon-reload"});
    return {};
}

} // namespace pelantra
