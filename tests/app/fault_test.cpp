// The headless program under faults that an unlucky or hostile user meets,
// run as its own process against the sandbox with tool stand-ins. Every
// fault must be reported, leave an earlier archive byte for byte as it was
// and nothing else behind, and let the next run succeed.

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "core/backup_lock.h"
#include "core/database.h"
#include "support/cli_run.h"
#include "support/files.h"
#include "support/test_database.h"
#include "support/work_folder.h"

namespace pelantra {
namespace {

const std::string kSchool1 = "5e000000-0000-4000-8000-000000000001";
const std::string kSchool2 = "5e000000-0000-4000-8000-000000000002";

class FaultTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        PELANTRA_REQUIRE_DATABASE(sandboxPort);
        port = sandboxPort;
        ASSERT_TRUE(session.OpenOnPort(port)) << session.ErrorText();
        work = std::make_unique<WorkFolder>(port, WorkFolder::Tools::StandIns);
        ASSERT_TRUE(temp.isValid());
        QDir(QString::fromStdString(work->Path())).mkpath("out");
        const CliRun first = Run({"backup", kSchool1, Folder()});
        ASSERT_EQ(first.exitCode, 0) << first.err;
    }

    void TearDown() override
    {
        qunsetenv("FAKE_PG_DUMP");
        qunsetenv("FAKE_7ZA");
        work.reset();
    }

    std::string Folder() const { return work->Path() + "/out"; }
    QStringList FolderEntries() const
    {
        return QDir(QString::fromStdString(Folder())).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    // Starts pelantra-cli in the work folder with its own temporary folder.
    void Start(QProcess& cli, const std::vector<std::string>& arguments) const
    {
        QStringList list;
        for (const std::string& argument : arguments)
            list << QString::fromStdString(argument);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TMPDIR", temp.path());
        cli.setProcessEnvironment(environment);
        cli.start(PELANTRA_CLI, list);
        ASSERT_TRUE(cli.waitForStarted());
    }

    CliRun Finish(QProcess& cli) const
    {
        EXPECT_TRUE(cli.waitForFinished(120000));
        CliRun run;
        run.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
        run.out = cli.readAllStandardOutput().toStdString();
        run.err = cli.readAllStandardError().toStdString();
        return run;
    }

    CliRun Run(const std::vector<std::string>& arguments) const
    {
        QProcess cli;
        Start(cli, arguments);
        return Finish(cli);
    }

    // Runs `script` with the shell, pelantra-cli as $0 and the arguments as
    // $1, $2, ...: for what a QProcess cannot give the program itself (a
    // pipe that its reader closes, arguments that are not UTF-8).
    CliRun RunInShell(const std::string& script, std::vector<std::string> arguments) const
    {
        arguments.insert(arguments.begin(), {"-c", script, PELANTRA_CLI});
        QProcess shell;
        QStringList list;
        for (const std::string& argument : arguments)
            list << QString::fromStdString(argument);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TMPDIR", temp.path());
        shell.setProcessEnvironment(environment);
        shell.start("/bin/sh", list);
        return Finish(shell);
    }

    // Waits until the run has begun to write its archive.
    static void AwaitWriting(QProcess& cli)
    {
        QElapsedTimer timer;
        timer.start();
        QByteArray seen;
        while (!seen.contains("menulis ") && timer.elapsed() < 30000) {
            cli.waitForReadyRead(100);
            seen += cli.peek(1 << 16);
        }
        ASSERT_TRUE(seen.contains("menulis ")) << seen.toStdString();
        QThread::msleep(300);
    }

    std::string Query(const std::string& statement) { return Scalar(session, statement); }

    // The earlier archive is as it was and nothing else is left: no staging
    // schema, no lock, no temporary archive, no working files.
    void ExpectNothingLeft(const std::string& earlier)
    {
        const QStringList entries = FolderEntries();
        ASSERT_EQ(entries.size(), 1) << entries.join(' ').toStdString();
        EXPECT_EQ(ReadFile(Folder() + "/" + entries[0].toStdString()), earlier);
        EXPECT_EQ(Query("SELECT count(*) FROM pg_namespace WHERE nspname='tmpx'"), "0");
        EXPECT_EQ(Query("SELECT count(*) FROM pg_locks WHERE locktype='advisory'"), "0");
        EXPECT_TRUE(QDir(temp.path()).isEmpty());
    }

    std::string Archive() const
    {
        const QStringList entries = FolderEntries();
        return entries.size() == 1 ? ReadFile(Folder() + "/" + entries[0].toStdString()) : std::string();
    }

    void ExpectNextRunSucceeds()
    {
        qunsetenv("FAKE_PG_DUMP");
        qunsetenv("FAKE_7ZA");
        const CliRun next = Run({"backup", kSchool1, Folder()});
        EXPECT_EQ(next.exitCode, 0) << next.err;
        // The earlier archive, which the failed runs left as it was, is kept.
        EXPECT_EQ(FolderEntries().size(), 2);
        EXPECT_EQ(QDir(QString::fromStdString(Folder() + "/Riwayat")).entryList(QDir::Files).size(), 1);
    }

    std::string port;
    PostgreSQLSession session;
    std::unique_ptr<WorkFolder> work;
    QTemporaryDir temp;
};

TEST_F(FaultTest, SessionLostToAnotherRunFailsWithoutReplacingTheArchive)
{
    const std::string earlier = Archive();
    // Ends the session that holds the backup lock, then stages school 2 as
    // another run would, before the dump starts.
    const QString script = QString::fromStdString(work->Path()) + "/hijack.sql";
    QFile sql(script);
    ASSERT_TRUE(sql.open(QIODevice::WriteOnly));
    sql.write(("SELECT pg_terminate_backend(pid) FROM pg_locks WHERE locktype='advisory';\n"
               "SELECT pg_sleep(0.2);\n"
               "SELECT pg_advisory_lock(" +
               std::to_string(0x50454C414E545241LL) +
               ");\n"
               "DROP SCHEMA tmpx CASCADE; CREATE SCHEMA tmpx;\n"
               "CREATE TABLE tmpx.sekolah (LIKE public.sekolah);\n"
               "INSERT INTO tmpx.sekolah SELECT * FROM public.sekolah WHERE sekolah_id='" +
               kSchool2 + "';\n")
                  .c_str());
    sql.close();
    qputenv("FAKE_PG_DUMP", "hijack");
    qputenv("FAKE_PG_DUMP_PORT", QByteArray::fromStdString(port));
    qputenv("FAKE_PG_DUMP_SQL", script.toUtf8());

    const CliRun run = Run({"backup", kSchool1, Folder()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.rfind("Backup data gagal dilakukan\n", 0), 0u) << run.err;
    QFile::remove(script);
    ExpectNothingLeft(earlier);
    ExpectNextRunSucceeds();
}

TEST_F(FaultTest, AScheduledRunWaitsForAnotherBackupWhereAnOperatorsSaysSo)
{
    const std::string lock = std::to_string(kBackupLockKey);
    ASSERT_EQ(Query("SELECT pg_advisory_lock(" + lock + ")::text"), "");
    const CliRun operators = Run({"backup", kSchool1, Folder()});
    EXPECT_EQ(operators.exitCode, 1);
    EXPECT_NE(operators.err.find("Backup lain sedang berjalan pada database ini"), std::string::npos) << operators.err;

    QProcess scheduled;
    Start(scheduled, {"backup", "--scheduled", kSchool1, Folder()});
    // Long enough for the run to have met the lock, and to have failed
    // had it not waited.
    EXPECT_FALSE(scheduled.waitForFinished(3000)) << scheduled.readAllStandardError().toStdString();
    ASSERT_EQ(Query("SELECT pg_advisory_unlock(" + lock + ")::text"), "true");
    const CliRun run = Finish(scheduled);
    EXPECT_EQ(run.exitCode, 0) << run.err;
}

TEST_F(FaultTest, DumpToolThatEndsEarlyWithSuccessFails)
{
    const std::string earlier = Archive();
    for (const char* mode : {"nothing", "header", "half"}) {
        SCOPED_TRACE(mode);
        qputenv("FAKE_PG_DUMP", mode);
        const CliRun run = Run({"backup", kSchool1, Folder()});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err.rfind("Backup data gagal dilakukan\n", 0), 0u) << run.err;
        ExpectNothingLeft(earlier);
    }
    ExpectNextRunSucceeds();
}

TEST_F(FaultTest, InterruptionsCleanUp)
{
    const std::string earlier = Archive();
    {
        SCOPED_TRACE("terminated");
        qputenv("FAKE_PG_DUMP", "slow");
        const QString pidFile = temp.path() + "/../pg_dump.pid";
        qputenv("FAKE_PG_DUMP_PID", pidFile.toUtf8());
        QProcess cli;
        Start(cli, {"backup", kSchool1, Folder()});
        AwaitWriting(cli);
        ::kill(static_cast<pid_t>(cli.processId()), SIGTERM);
        const CliRun run = Finish(cli);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("Backup dihentikan"), std::string::npos) << run.err;
        const pid_t tool = static_cast<pid_t>(std::atoi(ReadFile(pidFile.toStdString()).c_str()));
        EXPECT_TRUE(tool > 0 && ::kill(tool, 0) != 0) << "the dump tool still runs";
        QFile::remove(pidFile);
        qunsetenv("FAKE_PG_DUMP_PID");
        ExpectNothingLeft(earlier);
    }
    {
        SCOPED_TRACE("output closed"); // pelantra-cli backup ... | head -n 1
        qputenv("FAKE_PG_DUMP", "late");
        const std::string exitFile = work->Path() + "/exit-code";
        const CliRun run = RunInShell("{ \"$0\" backup \"$1\" \"$2\"; echo $? > \"$3\"; } | head -n 1",
                                      {kSchool1, Folder(), exitFile});
        EXPECT_EQ(ReadFile(exitFile), "1\n");
        EXPECT_NE(run.err.find("Backup dihentikan"), std::string::npos) << run.err;
        ExpectNothingLeft(earlier);
    }
    {
        SCOPED_TRACE("killed");
        qputenv("FAKE_PG_DUMP", "slow");
        QProcess cli;
        Start(cli, {"backup", kSchool1, Folder()});
        AwaitWriting(cli);
        cli.kill();
        Finish(cli);
        EXPECT_GT(FolderEntries().size(), 1) << "a killed run leaves its private folder";
    }
    // The next run removes what the killed one left.
    ExpectNextRunSucceeds();
    EXPECT_EQ(Query("SELECT count(*) FROM pg_namespace WHERE nspname='tmpx'"), "0");
}

TEST_F(FaultTest, ReplayInterruptedInASlowStatementEndsAsStopped)
{
    // Every row of the trial restore now waits on the server.
    ASSERT_TRUE(Sql(session).Execute(
        "ALTER TABLE public.sekolah ADD CONSTRAINT pelantra_lambat CHECK (pg_sleep(30) IS NOT NULL) NOT VALID"));
    struct Undo {
        PostgreSQLSession& session;
        ~Undo() { Sql(session).Execute("ALTER TABLE public.sekolah DROP CONSTRAINT pelantra_lambat"); }
    } undo{session};
    const QStringList archives = FolderEntries();
    ASSERT_EQ(archives.size(), 1);
    QProcess cli;
    Start(cli, {"verify", "--replay", Folder() + "/" + archives[0].toStdString()});
    QElapsedTimer waited;
    waited.start();
    while (Query("SELECT count(*) FROM pg_stat_activity WHERE wait_event = 'PgSleep'") == "0" &&
           waited.elapsed() < 20000)
        QThread::msleep(100);
    ASSERT_EQ(Query("SELECT count(*) FROM pg_stat_activity WHERE wait_event = 'PgSleep'"), "1");
    ::kill(static_cast<pid_t>(cli.processId()), SIGTERM);
    const CliRun run = Finish(cli);
    EXPECT_LT(waited.elapsed(), 20000) << "the statement ran to its end";
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.rfind("Pemeriksaan dihentikan\n", 0), 0u) << run.err;
    EXPECT_EQ(run.out.find("Arsip utuh"), std::string::npos);
    EXPECT_EQ(Query("SELECT count(*) FROM pg_stat_activity WHERE wait_event = 'PgSleep'"), "0");
    EXPECT_EQ(Query("SELECT count(*) FROM pg_namespace WHERE nspname = 'pelantra_uji'"), "0");
    EXPECT_EQ(Query("SELECT count(*) FROM pg_roles WHERE rolname LIKE 'pelantra_uji%'"), "0");
    EXPECT_EQ(Query("SELECT count(*) FROM pg_locks WHERE locktype = 'advisory'"), "0");
}

TEST_F(FaultTest, PathsAsGiven)
{
    // Relative folder and installation root, from the current directory.
    work->WriteSettings(port, "tools");
    const CliRun relative = Run({"backup", kSchool1, "out"});
    EXPECT_EQ(relative.exitCode, 0) << relative.err;
    EXPECT_NE(relative.out.find("menulis " + Folder() + "/010101_"), std::string::npos) << relative.out;

    // Folder and installation root with bytes that are not UTF-8 (Latin-1).
    const std::string latin1 = work->Path() + "/Cadangan Caf\xE9";
    const std::string latinTools = work->Path() + "/alat-\xE9";
    ASSERT_EQ(::mkdir(latin1.c_str(), 0755), 0);
    ASSERT_EQ(::symlink((work->Path() + "/tools").c_str(), latinTools.c_str()), 0);
    work->WriteSettings(port, latinTools);
    const CliRun bytes =
        RunInShell("exec \"$0\" backup \"$1\" \"$2$(printf '\\351')\"", {kSchool1, work->Path() + "/Cadangan Caf"});
    EXPECT_EQ(bytes.exitCode, 0) << bytes.err;
    std::vector<std::string> inside;
    for (const auto& entry : std::filesystem::directory_iterator(latin1))
        inside.push_back(entry.path().filename().string());
    ASSERT_EQ(inside.size(), 1u);
    EXPECT_EQ(inside[0].rfind("010101_", 0), 0u);
    EXPECT_NE(bytes.out.find("menulis " + latin1 + "/010101_"), std::string::npos) << "the path is shown as given";
    // Qt cannot name these to remove them with the rest.
    std::filesystem::remove_all(latin1);
    std::filesystem::remove(latinTools);
}

// Makes a folder refuse new entries while the object lives, also to root.
class SealedFolder {
public:
    explicit SealedFolder(const QString& path) : path_(path)
    {
        immutable_ = QProcess::execute("chattr", {"+i", path}) == 0;
        if (!immutable_)
            QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
    }
    ~SealedFolder()
    {
        if (immutable_)
            QProcess::execute("chattr", {"-i", path_});
        else
            QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    bool Refuses() const
    {
        QFile probe(path_ + "/probe");
        const bool created = probe.open(QIODevice::WriteOnly);
        if (created)
            probe.remove();
        return !created;
    }

private:
    QString path_;
    bool immutable_ = false;
};

TEST_F(FaultTest, NothingButTheArchiveIsWritten)
{
    // Only the chosen folder can be written to: not the current folder, not
    // the temporary one.
    const SealedFolder current(QString::fromStdString(work->Path()));
    const SealedFolder temporary(temp.path());
    ASSERT_TRUE(current.Refuses() && temporary.Refuses());
    const CliRun run = Run({"backup", kSchool2, Folder()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(FolderEntries().size(), 2);
}

} // namespace
} // namespace pelantra
